#pragma once

#include <QColor>
#include <QString>
#include <optional>

// Reads a colour text such as "#00D4FF": trims white space, drops every "#",
// accepts an optional "0x"/"0X", then reads hex digits as far as they go.
// Bits above 24 are ignored. None when no hex digit can be read; each caller
// picks its own fallback.
std::optional<QColor> colorFromHex(const QString& text);
