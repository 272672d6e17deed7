#include "Views/Canvas/CanvasView.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

TEST(TableValueText, WholeNumbersCommaAndNoGrouping)
{
    EXPECT_EQ(CanvasView::formatTableValue(0), QStringLiteral("0"));
    EXPECT_EQ(CanvasView::formatTableValue(42), QStringLiteral("42"));
    EXPECT_EQ(CanvasView::formatTableValue(1234.5), QStringLiteral("1234,5"));
    EXPECT_EQ(CanvasView::formatTableValue(1234567.891), QStringLiteral("1234567,89"));
    EXPECT_EQ(CanvasView::formatTableValue(-12.3), QStringLiteral("-12,3"));
    EXPECT_EQ(CanvasView::formatTableValue(0.1 + 0.2), QStringLiteral("0,3"));
    EXPECT_EQ(CanvasView::formatTableValue(1e20), QStringLiteral("100000000000000000000"));
    EXPECT_EQ(CanvasView::formatTableValue(1e-7), QStringLiteral("0"));
    EXPECT_EQ(CanvasView::formatTableValue(99.999), QStringLiteral("100"));
    EXPECT_EQ(CanvasView::formatTableValue(9.995), QStringLiteral("10"));
}

// Ties round to the even neighbour on the value's shortest decimal form.
TEST(TableValueText, TiesRoundHalfToEven)
{
    EXPECT_EQ(CanvasView::formatTableValue(0.125), QStringLiteral("0,12"));
    EXPECT_EQ(CanvasView::formatTableValue(0.135), QStringLiteral("0,14"));
    EXPECT_EQ(CanvasView::formatTableValue(1.015), QStringLiteral("1,02"));
    EXPECT_EQ(CanvasView::formatTableValue(1.025), QStringLiteral("1,02"));
    EXPECT_EQ(CanvasView::formatTableValue(0.005), QStringLiteral("0"));
    EXPECT_EQ(CanvasView::formatTableValue(0.0051), QStringLiteral("0,01"));
    EXPECT_EQ(CanvasView::formatTableValue(2.675), QStringLiteral("2,68"));
    EXPECT_EQ(CanvasView::formatTableValue(-0.125), QStringLiteral("-0,12"));
}

TEST(TableValueText, NeverNegativeZeroAndNonFinite)
{
    EXPECT_EQ(CanvasView::formatTableValue(-0.0), QStringLiteral("0"));
    EXPECT_EQ(CanvasView::formatTableValue(-0.001), QStringLiteral("0"));
    EXPECT_EQ(CanvasView::formatTableValue(-0.005), QStringLiteral("0"));
    EXPECT_EQ(CanvasView::formatTableValue(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("NaN"));
    EXPECT_EQ(CanvasView::formatTableValue(std::numeric_limits<double>::infinity()), QStringLiteral("∞"));
    EXPECT_EQ(CanvasView::formatTableValue(-std::numeric_limits<double>::infinity()), QStringLiteral("-∞"));
}

TEST(ColourNames, ExactMatchOnly)
{
    const QStringList names{"Cyan", "Pink", "Green", "Orange", "Purple", "Red", "Teal", "Yellow"};
    ASSERT_EQ(CanvasView::blockColors().size(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(CanvasView::colorName(CanvasView::blockColors()[i]), names[i]);
    EXPECT_EQ(CanvasView::colorName(QStringLiteral("#00d4ff")), QStringLiteral("Color"));
    EXPECT_EQ(CanvasView::colorName(QStringLiteral("00D4FF")), QStringLiteral("Color"));
    EXPECT_EQ(CanvasView::colorName(QString()), QStringLiteral("Color"));
}
