#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <functional>

// A new random (version 4) identifier for a record.
QUuid newIdentifier();

// UUID text as stored and shown everywhere: upper case, hyphenated, no braces.
QString uuidString(const QUuid& id);

// The current time. Tests may replace the source; production reads the system clock.
namespace Clock {
QDateTime now();
void setSource(std::function<QDateTime()> source); // empty function restores the system clock
}
