#include "Views/Canvas/CanvasViewTestSupport.h"

#include <gtest/gtest.h>

namespace {

std::optional<QString> mark(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST(CanvasCurrency, MarksAndConversionTargetsOfAnExpression)
{
    const std::pair<const char*, std::optional<QString>> conversions[] = {
        {"100 EUR in USD", mark("$")},
        {"50 $ to eur", mark("€")},
        {"20 USD In CHF", mark("CHF")},
        {"3 in euros", mark("€")},
        {"10 in CNY", mark("CN¥")},
        {"10 in kr", mark("kr")},
        {"10 in ₹", mark("₹")},
        {"5 in CAD", mark("C$")},
        {"5 to  A$ ", mark("A$")},
        {"1 in 2 to gbp", mark("£")},  // the last conversion decides
        {"100 EUR -> USD", mark("$")},
        {"100 € nach Yen", mark("¥")},
        {"10 € in USD + 5 $", mark("$")},
        {"invoice 10", std::nullopt},  // a separator needs a space on each side
        {"10 in", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : conversions)
        EXPECT_EQ(CanvasView::detectConversionTargetCurrency(QString::fromUtf8(text)), expected) << text;

    const std::pair<const char*, std::optional<QString>> marks[] = {
        {"5 C$", mark("C$")},
        {"10 € + 5 $", mark("€")},  // the first amount's currency
        {"7 CHF", mark("CHF")},
        {"12 + 30", std::nullopt},
        {"3 zł + 2 Kč", mark("zł")},
        {"Kraft 5", std::nullopt},  // marks are case-sensitive: "Kr" is no "kr"
        {"Dekra 5", std::nullopt},  // a lettered mark inside a word is no mark
        {"Zahnkrone 500", std::nullopt},
        {"100 EUR", mark("€")},     // the currency the engine reads
    };
    for (const auto& [text, expected] : marks)
        EXPECT_EQ(CanvasView::detectCurrency(QString::fromUtf8(text)), expected) << text;
}

// Upper-casing "ß" gives two letters; the received text is still read from
// the right place.
TEST(CanvasCurrency, TheRestIsTakenFromTheRightPlaceWhenUpperCasingGrows)
{
    EXPECT_EQ(CanvasView::detectConversionTargetCurrency(QStringLiteral("Maß 10 in kr")), mark("kr"));
    EXPECT_EQ(CanvasView::detectConversionTargetCurrency(QStringLiteral("ßßßß in zł")), mark("zł"));
    EXPECT_EQ(CanvasView::detectConversionTargetCurrency(QStringLiteral("ß in ")), std::nullopt);
}

TEST(CanvasCurrency, ARowWithoutAMarkShowsItsSourcesCurrency)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr euro = addRow(canvas, QString(), QStringLiteral("5 €"), 20);
    const BlockPtr plain = addRow(canvas, QString(), QStringLiteral("12"), 76);
    const BlockPtr pound = addRow(canvas, QString(), QStringLiteral("5 £"), 132);
    const BlockPtr first = addRow(canvas, QString(), QStringLiteral("12 + 30"), 188);
    const BlockPtr second = addRow(canvas, QString(), QStringLiteral("12 + 30"), 244);
    const BlockPtr own = addRow(canvas, QString(), QStringLiteral("7 CHF"), 300);
    CanvasView view(canvas, nullptr, nullptr);

    EXPECT_EQ(view.effectiveCurrency(first), std::nullopt);
    linkRows(canvas, euro, first, QStringLiteral("A"));
    EXPECT_EQ(view.effectiveCurrency(first), mark("€"));
    linkRows(canvas, plain, second, QStringLiteral("A"));
    linkRows(canvas, pound, second, QStringLiteral("B"));
    EXPECT_EQ(view.effectiveCurrency(second), mark("£"));
    linkRows(canvas, euro, own, QStringLiteral("A"));
    EXPECT_EQ(view.effectiveCurrency(own), mark("CHF"));

    // Down a chain, each row adding to the one before.
    BlockPtr previous = first;
    BlockPtr last;
    for (int i = 0; i < 300; ++i) {
        last = addRow(canvas, QString(), QStringLiteral("{A} + 1"), 400 + i * 56.0);
        linkRows(canvas, previous, last, QStringLiteral("A"));
        previous = last;
    }
    EXPECT_EQ(view.effectiveCurrency(last), mark("€"));
}

TEST(CanvasCurrency, RowsLinkedInACircleEndTheSearch)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr a = addRow(canvas, QString(), QStringLiteral("{A}"), 20);
    const BlockPtr b = addRow(canvas, QString(), QStringLiteral("{A}"), 76);
    const BlockPtr c = addRow(canvas, QString(), QStringLiteral("{A} + {B}"), 132);
    const BlockPtr dollar = addRow(canvas, QString(), QStringLiteral("3 $"), 188);
    linkRows(canvas, a, b, QStringLiteral("A"));
    linkRows(canvas, b, c, QStringLiteral("A"));
    linkRows(canvas, c, a, QStringLiteral("A"));
    linkRows(canvas, a, a, QStringLiteral("S"));
    CanvasView view(canvas, nullptr, nullptr);
    EXPECT_EQ(view.effectiveCurrency(a), std::nullopt);
    EXPECT_EQ(view.effectiveCurrency(b), std::nullopt);
    linkRows(canvas, dollar, c, QStringLiteral("B"));
    EXPECT_EQ(view.effectiveCurrency(a), mark("$"));
    EXPECT_EQ(view.effectiveCurrency(b), mark("$"));
}

TEST(CanvasCurrency, TheResultColumnShowsTheMarkAfterTheValue)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr price = addRow(canvas, QString(), QStringLiteral("2,5 €"), 20);
    const BlockPtr copy = addRow(canvas, QString(), QStringLiteral("{A} x 2"), 76);
    const BlockPtr converted = addRow(canvas, QString(), QStringLiteral("{A} to CHF"), 132);
    linkRows(canvas, price, copy, QStringLiteral("A"));
    linkRows(canvas, price, converted, QStringLiteral("A"));
    ShownEditor editor(canvas);
    EXPECT_EQ(editor.view.resultText(price), QStringLiteral("2,5 €"));
    EXPECT_EQ(editor.view.resultText(copy), QStringLiteral("5 €"));
    EXPECT_EQ(editor.view.effectiveCurrency(converted), mark("CHF"));
}
