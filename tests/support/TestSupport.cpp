#include "support/TestSupport.h"

#include <QFile>
#include <QTest>

bool waitUntil(const std::function<bool()>& condition, int guardMilliseconds)
{
    return QTest::qWaitFor(condition, guardMilliseconds);
}

QString PreferenceFiles::path(const QString& name) const
{
    return m_dir.filePath(name);
}

QString PreferenceFiles::copyForRestart(const QString& file)
{
    const QString copy = m_dir.filePath(QStringLiteral("restart-%1.conf").arg(++m_restarts));
    QFile::remove(copy);
    QFile::copy(file, copy);
    return copy;
}
