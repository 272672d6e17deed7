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
