#include "Platform/NotificationCenter.h"

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

void NotificationCenter::post(const QString& name)
{
    Q_EMIT posted(name);
}
