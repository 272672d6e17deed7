#include "Models/Identifiers.h"

#include <QRandomGenerator>

#include <cstring>

QUuid newIdentifier()
{
    // From the process's generator, which the system seeds once: asking the
    // system for every record made building large canvases slow.
    quint32 words[4];
    QRandomGenerator::global()->fillRange(words);
    char bytes[16];
    std::memcpy(bytes, words, sizeof bytes);
    bytes[6] = char((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = char((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return QUuid::fromRfc4122(QByteArrayView(bytes, sizeof bytes));
}

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
