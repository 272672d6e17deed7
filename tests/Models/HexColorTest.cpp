#include "Models/HexColor.h"

#include <gtest/gtest.h>

TEST(HexColor, ReadsPaletteAndLooseForms)
{
    EXPECT_EQ(colorFromHex(QStringLiteral("#00D4FF")), QColor(0x00, 0xD4, 0xFF));
    EXPECT_EQ(colorFromHex(QStringLiteral("  ff5252\n")), QColor(0xFF, 0x52, 0x52));
    EXPECT_EQ(colorFromHex(QStringLiteral("##B3#88FF")), QColor(0xB3, 0x88, 0xFF));
    EXPECT_EQ(colorFromHex(QStringLiteral("0x64FFDA")), QColor(0x64, 0xFF, 0xDA));
    EXPECT_EQ(colorFromHex(QStringLiteral("0XFFFF00")), QColor(0xFF, 0xFF, 0x00));
}

TEST(HexColor, StopsAtFirstNonDigitAndIgnoresHighBits)
{
    // "12g" reads 0x12: blue 0x12.
    EXPECT_EQ(colorFromHex(QStringLiteral("12g45")), QColor(0, 0, 0x12));
    // Bits above 24 are dropped.
    EXPECT_EQ(colorFromHex(QStringLiteral("#AB00D4FF")), QColor(0x00, 0xD4, 0xFF));
    EXPECT_EQ(colorFromHex(QStringLiteral("FFFFFFFFFF123456")), QColor(0x12, 0x34, 0x56));
}

TEST(HexColor, NoDigitMeansNoColour)
{
    EXPECT_FALSE(colorFromHex(QString()).has_value());
    EXPECT_FALSE(colorFromHex(QStringLiteral("#")).has_value());
    EXPECT_FALSE(colorFromHex(QStringLiteral("  red ")).has_value());
    EXPECT_FALSE(colorFromHex(QStringLiteral("#zz00ff")).has_value());
}

// The darkening for a white page: hue kept, saturation x1.3 (capped),
// brightness x0.7, always opaque.
TEST(HexColor, PrintDarkerKeepsHueAndDarkens)
{
    struct Case {
        QColor in;
        double hue, saturation, value;
    };
    const QList<Case> cases{
        {QColor::fromRgbF(1, 0, 0), 0, 1.0, 0.7},
        {QColor::fromHsvF(0.5, 0.5, 0.8), 0.5, 0.65, 0.56},
        {QColor::fromHsvF(0.25, 0.9, 1.0), 0.25, 1.0, 0.7},  // saturation capped at 1
        {QColor::fromRgbF(1, 0, 0, 0.5), 0, 1.0, 0.7},       // half transparent becomes opaque
        {QColor(Qt::black), -1, 0, 0},
        {QColor(Qt::white), -1, 0, 0.7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.name(QColor::HexArgb).toStdString());
        const QColor out = printDarker(c.in);
        EXPECT_DOUBLE_EQ(out.alphaF(), 1.0);
        EXPECT_NEAR(out.hsvSaturationF(), c.saturation, 0.01);
        EXPECT_NEAR(out.valueF(), c.value, 0.01);
        if (c.hue >= 0) {
            EXPECT_NEAR(out.hsvHueF(), c.hue, 0.01);
        }
    }
}

TEST(HexColor, ContrastRatioBetweenColours)
{
    struct Case {
        QColor a, b;
        double ratio;
    };
    const QList<Case> cases{
        {Qt::black, Qt::white, 21.0},
        {Qt::white, Qt::black, 21.0},
        {Qt::white, Qt::white, 1.0},
        {QColor(0x77, 0x77, 0x77), Qt::white, 4.48},
        {QColor(0xFF, 0xFF, 0x00), Qt::white, 1.07},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(contrastRatio(c.a, c.b), c.ratio, 0.02) << c.a.name().toStdString();
}
