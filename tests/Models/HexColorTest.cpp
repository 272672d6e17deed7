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

TEST(HexColor, PrintDarkerKeepsHueRaisesSaturationLowersBrightness)
{
    struct Case {
        QColor in;
        double hue; // degrees; -1 for none
        double saturation;
        double brightness;
    };
    const Case cases[] = {
        {QColor::fromRgbF(1, 0, 0), 0, 1.0, 0.7},
        {QColor::fromRgbF(0, 0, 0), -1, 0, 0},
        {QColor::fromRgbF(1, 1, 1), -1, 0, 0.7},
        // Saturation 0.5 → 0.65; brightness 1 → 0.7.
        {QColor::fromHsvF(0.5f, 0.5f, 1.0f), 180, 0.65, 0.7},
        // Saturation caps at 1.
        {QColor::fromHsvF(240 / 360.0f, 0.9f, 0.5f), 240, 1.0, 0.35},
    };
    for (const Case& c : cases) {
        const QColor out = printDarker(c.in);
        if (c.hue >= 0) {
            EXPECT_NEAR(out.hsvHueF() * 360, c.hue, 0.5) << c.in.name().toStdString();
        }
        EXPECT_NEAR(out.hsvSaturationF(), c.saturation, 0.01) << c.in.name().toStdString();
        EXPECT_NEAR(out.valueF(), c.brightness, 0.01) << c.in.name().toStdString();
        EXPECT_EQ(out.alphaF(), 1.0f);
    }
}

TEST(HexColor, PrintDarkerMakesHalfTransparentOpaque)
{
    const QColor half = QColor::fromRgbF(0, 0.5f, 1, 0.5f);
    EXPECT_EQ(printDarker(half).alphaF(), 1.0f);
    EXPECT_EQ(printDarker(half).spec(), QColor::Rgb);
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
