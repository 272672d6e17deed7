#include "Models/Identifiers.h"

QString uuidString(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

namespace {
std::function<QDateTime()>& clockSource()
{
    static std::function<QDateTime()> source;
    return source;
}
}

QDateTime Clock::now()
{
    const auto& source = clockSource();
    return source ? source() : QDateTime::currentDateTimeUtc();
}

void Clock::setSource(std::function<QDateTime()> source)
{
    clockSource() = std::move(source);
}
