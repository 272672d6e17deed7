#pragma once

#include <QColor>
#include <QString>
#include <optional>

// Reads a colour text such as "#00D4FF": trims white space, drops every "#",
// accepts an optional "0x"/"0X", then reads hex digits as far as they go.
// Bits above 24 are ignored. None when no hex digit can be read; each caller
// picks its own fallback.
std::optional<QColor> colorFromHex(const QString& text);

// The platform's standard cyan: what an unreadable row colour shows as.
inline QColor standardCyanColor()
{
    return QColor(0, 192, 232);
}

// A colour made for white paper: same hue, saturation × 1.3 (at most 1),
// brightness × 0.7, fully opaque. Black stays black.
QColor printDarker(const QColor& color);

// WCAG contrast ratio of two opaque sRGB colours, from 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
