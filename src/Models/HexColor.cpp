#include "Models/HexColor.h"

#include <algorithm>
#include <cmath>

std::optional<QColor> colorFromHex(const QString& text)
{
    QString s = text.trimmed();
    s.remove(QLatin1Char('#'));
    qsizetype i = 0;
    if (s.size() >= 2 && s[0] == QLatin1Char('0') && (s[1] == QLatin1Char('x') || s[1] == QLatin1Char('X')))
        i = 2;
    quint32 value = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        // Only the low 24 bits matter, so overflow of the higher ones is harmless.
        value = (value << 4) | quint32(digit);
        any = true;
    }
    if (!any && i == 2)
        return QColor::fromRgb(0, 0, 0); // "0x" with nothing after it still reads the digit 0
    if (!any)
        return std::nullopt;
    return QColor::fromRgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

QColor printDarker(const QColor& color)
{
    if (!color.isValid())
        return color;
    float hue = 0;
    float saturation = 0;
    float brightness = 0;
    float alpha = 0;
    color.toHsv().getHsvF(&hue, &saturation, &brightness, &alpha);
    return QColor::fromHsvF(hue, std::min(saturation * 1.3f, 1.0f), brightness * 0.7f, 1.0f).toRgb();
}

namespace {

double relativeLuminance(const QColor& color)
{
    auto linear = [](float channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
