#include "Models/CalcSettings.h"
#include "Models/HexColor.h"
#include "Services/CanvasPrintView.h"
#include "Services/PrintFixture.h"
#include "support/TestSupport.h"

#include <QFontMetricsF>
#include <QLocale>

#include <clocale>
#include <limits>

using Role = PrintItem::Role;

namespace {

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

const QColor pink(0xFF, 0x6B, 0x9D);
const QColor gray(142, 142, 147);

} // namespace

TEST_F(PrintFixture, LabelColumnFollowsTheLongestLabel)
{
    const QString flag = QStringLiteral("🇩🇪");
    const std::pair<QStringList, double> cases[] = {
        {{}, 100},
        {{"", ""}, 100},
        {{"abc"}, 100},
        {{"a", "twelve chars"}, 136},
        {{QString(19, QLatin1Char('w'))}, 200},
        {{QString(400, QLatin1Char('w'))}, 200},
        // Characters as a reader counts them: a flag or "é" (e + accent) is one.
        {{flag.repeated(12)}, 136},
        {{QStringLiteral("e\u0301").repeated(12)}, 136},
    };
    for (const auto& [labels, width] : cases) {
        canvas = Canvas::create(QStringLiteral("Widths"), 0, 0, 1);
        for (const QString& label : labels)
            addRow(label, QStringLiteral("1"));
        EXPECT_DOUBLE_EQ(layoutFor(ExportMode::pdf).labelColumnWidth(), width) << labels.join(u',').toStdString();
    }
}

TEST_F(PrintFixture, ResultColumnCountsOnlyRowsWithAResult)
{
    using Rows = QList<std::pair<QString, std::optional<double>>>;
    const std::pair<Rows, double> cases[] = {
        {{}, 120},
        {{{"a", 1}, {"b", 123456}}, 120},
        // 12 characters: 14 × 9 + 40.
        {{{"", 123456789012}}, 166},
        // A long label needs 6 per character; capped at 180.
        {{{QString(30, QLatin1Char('l')), 1}}, 180},
        // Without a result a row adds nothing, however long its label.
        {{{QString(300, QLatin1Char('l')), std::nullopt}}, 120},
        {{{"", 1e24}}, 180},
    };
    for (const auto& [rows, width] : cases) {
        canvas = Canvas::create(QStringLiteral("Widths"), 0, 0, 1);
        for (const auto& [label, result] : rows)
            addRow(label, QStringLiteral("1"), result);
        EXPECT_DOUBLE_EQ(layoutFor(ExportMode::pdf).resultColumnWidth(), width);
    }
}

TEST_F(PrintFixture, MinimumResultWidthIsCappedOnlyWithRows)
{
    PrintLayoutParameters wide;
    wide.minResultWidth = 200;
    EXPECT_DOUBLE_EQ(CanvasPrintView(*canvas, wide).resultColumnWidth(), 200);
    addRow(QString(), QStringLiteral("1"));
    EXPECT_DOUBLE_EQ(CanvasPrintView(*canvas, wide).resultColumnWidth(), 180);
}

TEST_F(PrintFixture, RowsPrintTopToBottomEqualPositionsInStoredOrder)
{
    const std::pair<const char*, double> rows[] = {
        {"c", 300}, {"a", 100}, {"b1", 200}, {"z", std::numeric_limits<double>::quiet_NaN()}, {"b2", 200},
        {"top", -1e308}, {"inf", std::numeric_limits<double>::infinity()}};
    for (const auto& [label, y] : rows)
        addRow(label, "", std::nullopt, "#FF6B9D", y);
    QStringList order;
    for (const BlockPtr& row : layoutFor(ExportMode::pdf).sortedBlocks())
        order << row->label();
    EXPECT_EQ(order, QStringList({"top", "a", "b1", "b2", "c", "z", "inf"}));

    const PrintPage laid = page();
    QStringList printed;
    for (int i = 0; i < 7; ++i)
        printed << texts(laid, Role::rowLabel, i);
    EXPECT_EQ(printed, order);
}

TEST_F(PrintFixture, PageIsFixedByTheRowCount)
{
    for (const int rows : {0, 1, 10, 37}) {
        canvas = Canvas::create(QStringLiteral("Rows"), 0, 0, 1);
        for (int i = 0; i < rows; ++i) {
            const BlockPtr row = addRow(QStringLiteral("r%1").arg(i), QStringLiteral("%1 + 1").arg(i), i + 1.0);
            if (i % 3 == 0)
                row->setBlockType(BlockType::text);
        }
        const PrintPage laid = page();
        EXPECT_EQ(laid.size, QSizeF(595, rows * 56 + 120));
        ASSERT_EQ(laid.rowTops.size(), rows);
        for (int i = 0; i < rows; ++i) {
            EXPECT_DOUBLE_EQ(laid.rowTops[i], laid.titleBottom + i * 56);
            for (const PrintItem& item : items(laid, Role::rowLabel, i)) {
                // Every row's text stands within its own 56-point band.
                EXPECT_GE(item.rect.top(), laid.rowTops[i]);
                EXPECT_LE(item.rect.bottom(), laid.rowTops[i] + 56);
            }
        }
        // The title and the 20-point space at the bottom fit the page.
        EXPECT_LE(laid.titleBottom + rows * 56 + 20, laid.size.height());
        const QList<PrintItem> background = items(laid, Role::background);
        ASSERT_EQ(background.size(), 1);
        EXPECT_EQ(background[0].rect, QRectF(0, 0, 595, rows * 56 + 120));
    }
}

TEST_F(PrintFixture, CellsStandOnOneBaselineInTheirColumns)
{
    const BlockPtr source = addRow("Miete", "1200", 1200);
    const BlockPtr row = addRow("Nebenkosten", "{A} + 12%", 1344);
    link(source, row, QStringLiteral("A"));
    const PrintPage laid = page();
    const CanvasPrintView layout = layoutFor(ExportMode::pdf);
    const double labelWidth = layout.labelColumnWidth();

    const PrintItem label = items(laid, Role::rowLabel, 1).value(0);
    const QList<PrintItem> parts = items(laid, Role::expressionPart, 1);
    const PrintItem value = items(laid, Role::resultValue, 1).value(0);
    ASSERT_EQ(parts.size(), 4);
    EXPECT_DOUBLE_EQ(label.baseline.x(), 16);
    // The linked value's stack (its source's label above it) starts the cell.
    const PrintItem linkLabel = items(laid, Role::partLabel, 1).value(0);
    EXPECT_EQ(linkLabel.text, QStringLiteral("Miete"));
    EXPECT_DOUBLE_EQ(std::min(parts[0].rect.left(), linkLabel.rect.left()), 16 + labelWidth + 4);
    EXPECT_NEAR(value.rect.right(), 595 - 16, 0.01);
    for (const PrintItem& part : parts)
        EXPECT_DOUBLE_EQ(part.baseline.y(), label.baseline.y());
    EXPECT_DOUBLE_EQ(value.baseline.y(), label.baseline.y());
    // Boxes are measured in the font each text is drawn with.
    for (const PrintItem& item : laid.items) {
        if (item.kind == PrintItem::Kind::text) {
            EXPECT_NEAR(item.rect.width(), QFontMetricsF(item.font).horizontalAdvance(item.text), 0.01)
                << item.text.toStdString();
        }
    }
    // Parts follow each other 4 points apart at least.
    for (qsizetype i = 1; i < parts.size(); ++i)
        EXPECT_GE(parts[i].rect.left(), parts[i - 1].rect.right() + 4 - 0.01);
    // The row's label small above its value, right-aligned with it.
    const PrintItem small = items(laid, Role::resultLabel, 1).value(0);
    EXPECT_EQ(small.text, QStringLiteral("Nebenkosten"));
    EXPECT_EQ(small.font.pixelSize(), 9);
    EXPECT_NEAR(small.rect.right(), value.rect.right(), 0.01);
    EXPECT_LT(small.rect.bottom(), value.rect.top() + 0.01);
}

TEST_F(PrintFixture, PageAndTitleColoursFollowModeAndLightSetting)
{
    struct Case { ExportMode mode; bool light; std::optional<QString> titleHex; QColor background; QColor title; };
    const QColor orange(0xFF, 0xB8, 0x00);
    const Case cases[] = {
        {ExportMode::pdf, false, std::nullopt, Qt::black, withAlpha(Qt::white, 0.9)},
        {ExportMode::pdf, false, QStringLiteral("#FFB800"), Qt::black, orange},
        {ExportMode::pdf, false, QStringLiteral("not a colour"), Qt::black, withAlpha(Qt::white, 0.9)},
        {ExportMode::pdf, true, std::nullopt, Qt::white, Qt::black},
        {ExportMode::pdf, true, QStringLiteral("#FFB800"), Qt::white, printDarker(orange)},
        {ExportMode::print, false, QStringLiteral("#FFB800"), Qt::white, Qt::black},
        {ExportMode::print, true, QStringLiteral("#FFB800"), Qt::white, Qt::black},
        {ExportMode::print, false, std::nullopt, Qt::white, Qt::black},
    };
    for (const Case& c : cases) {
        canvas->setTitleColorHex(c.titleHex);
        const PrintPage laid = page(c.mode, c.light);
        EXPECT_EQ(laid.background, c.background);
        const QList<PrintItem> title = items(laid, Role::title);
        ASSERT_EQ(title.size(), 1);
        EXPECT_EQ(title[0].text, QStringLiteral("Budget"));
        EXPECT_EQ(title[0].color, c.title) << int(c.mode) << c.light;
        EXPECT_TRUE(title[0].font.pixelSize() == 28 && title[0].font.bold());
    }
}

TEST_F(PrintFixture, RowColoursOnDarkAndLightPages)
{
    const BlockPtr source = addRow("Basis", "100", 100, "#00FF88");
    const BlockPtr row = addRow("Mix", "2 + 3 × {A:#zz} + (1)% \"Stück\"", 5, "#FF6B9D");
    link(source, row, QStringLiteral("A"));
    row->setPartColor(QStringLiteral("#FFB800"), 1, QStringLiteral("3"));
    const QColor orange(0xFF, 0xB8, 0x00);

    for (const auto& [mode, light] : {std::pair{ExportMode::pdf, false}, {ExportMode::pdf, true}, {ExportMode::print, false}}) {
        const bool dark = mode == ExportMode::pdf && !light;
        auto darken = [&](const QColor& color) { return dark ? color : printDarker(color); };
        const QColor display = darken(pink);
        const PrintPage laid = page(mode, light);
        const QList<PrintItem> parts = items(laid, Role::expressionPart, 1);
        ASSERT_EQ(parts.size(), 11) << int(mode);
        // 2 + 3 × {A} + ( 1 ) % "Stück"
        EXPECT_EQ(parts[0].color, darken(display)) << "a number without a colour of its own";
        EXPECT_EQ(parts[1].color, dark ? withAlpha(Qt::white, 0.5) : gray) << "operator";
        EXPECT_EQ(parts[2].color, darken(orange)) << "a number with its own colour";
        EXPECT_EQ(parts[4].text, QStringLiteral("100"));
        EXPECT_EQ(parts[4].color, darken(QColor(0x00, 0xFF, 0x88))) << "a link takes its source row's colour";
        EXPECT_EQ(parts[6].color, dark ? withAlpha(Qt::white, 0.5) : gray) << "parenthesis";
        EXPECT_EQ(parts[9].text, QStringLiteral("%"));
        EXPECT_EQ(parts[9].color, display) << "percent";
        EXPECT_EQ(parts[10].text, QStringLiteral("Stück"));
        EXPECT_EQ(parts[10].color, dark ? withAlpha(Qt::white, 0.7) : gray) << "text";
        EXPECT_EQ(items(laid, Role::rowLabel, 1).value(0).color, withAlpha(display, dark ? 0.7 : 0.8));
        EXPECT_EQ(items(laid, Role::resultValue, 1).value(0).color, display);
        EXPECT_EQ(items(laid, Role::resultLabel, 1).value(0).color, withAlpha(display, 0.6));
    }
}

TEST_F(PrintFixture, UnreadableRowColourStartsFromCyan)
{
    for (const QString& hex : {QString(), QStringLiteral("purple"), QStringLiteral("#")}) {
        canvas = Canvas::create(QStringLiteral("Cyan"), 0, 0, 1);
        addRow("x", "1", 1, hex);
        EXPECT_EQ(items(page(ExportMode::pdf, false), Role::resultValue, 0).value(0).color, standardCyanColor());
        EXPECT_EQ(items(page(ExportMode::pdf, true), Role::resultValue, 0).value(0).color,
                  printDarker(standardCyanColor()));
    }
}

TEST(PrintValueText, DecimalCommaAtMostTwoDigitsNoGrouping)
{
    const std::pair<double, const char*> cases[] = {
        {12.5, "12,5"},          {2.0, "2"},         {1.0 / 3, "0,33"},      {-0.5, "-0,5"},
        {0.125, "0,12"},         {0.135, "0,14"},    {1234567.891, "1234567,89"}, {1e20, "100000000000000000000"},
        {-0.001, "0"},           {2.675, "2,68"},
    };
    // Whatever the process's locales say, a printed digit never changes.
    const QLocale saved;
    const std::string savedC = std::setlocale(LC_ALL, nullptr);
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
                                 QLocale(QLocale::Arabic, QLocale::Egypt)}) {
        QLocale::setDefault(locale);
        std::setlocale(LC_ALL, locale.name().toUtf8() + ".UTF-8");
        for (const auto& [value, text] : cases)
            EXPECT_EQ(CanvasPrintView::formatValue(value), QString::fromUtf8(text)) << locale.name().toStdString();
    }
    QLocale::setDefault(saved);
    std::setlocale(LC_ALL, savedC.c_str());
}

TEST_F(PrintFixture, LinkedValuesShowTheSourceResultOrAGreyQuestionMark)
{
    const BlockPtr miete = addRow("Miete", "1.200,5", 1200.456, "#00FF88");
    const BlockPtr open = addRow("Offen", "x", std::nullopt);
    const BlockPtr row = addRow("Summe", "{A} + {B} + {C:#FFB800}", 1200.46);
    link(miete, row, QStringLiteral("A"));
    link(open, row, QStringLiteral("B"));
    const PrintPage laid = page(ExportMode::pdf, false);
    // As the canvas shows them: a link without a value (or without its
    // source row) is a grey "?", never its stored name.
    EXPECT_EQ(texts(laid, Role::expressionPart, 2),
              QStringList({"1200,46", "+", "?", "+", "?"}));
    // Only a resolved link carries its source row's label.
    EXPECT_EQ(texts(laid, Role::partLabel, 2), QStringList({"Miete"}));
    const QList<PrintItem> parts = items(laid, Role::expressionPart, 2);
    EXPECT_EQ(parts[0].color, QColor(0x00, 0xFF, 0x88)) << "the source row's colour";
    EXPECT_EQ(parts[2].color, QColor(142, 142, 147));
    EXPECT_EQ(parts[4].color, QColor(142, 142, 147));
}

// However long the labels (the row's, or a linked value's above it) and
// however narrow the page, an expression prints whole or as its first parts
// with the last cut and ended in "…", never with parts dropped unmarked.
TEST_F(PrintFixture, ACutExpressionEndsInAnEllipsisWhateverTookTheRoom)
{
    for (const int rowLabel : {0, 6, 15, 40}) {
        for (const int sourceLabel : {0, 4, 12, 30}) {
            for (const int terms : {1, 2, 4, 7}) {
                canvas = Canvas::create(QStringLiteral("Cut"), 0, 0, 1);
                QStringList tokens;
                QStringList whole;
                for (int i = 0; i < terms; ++i) {
                    const QString name(QChar(u'A' + i));
                    tokens << QLatin1Char('{') + name + QLatin1Char('}');
                    whole << QString::number(1000 + i) + QStringLiteral(",5");
                    if (i + 1 < terms)
                        whole << QStringLiteral("+");
                }
                QList<BlockPtr> sources;
                for (int i = 0; i < terms; ++i)
                    sources << addRow(QString(sourceLabel, QChar(u'q')), QString::number(1000 + i) + QStringLiteral(",5"),
                                      1000.5 + i);
                const BlockPtr sum = addRow(QString(rowLabel, QChar(u'S')), tokens.join(QStringLiteral(" + ")), 1);
                for (int i = 0; i < terms; ++i)
                    link(sources[i], sum, QString(QChar(u'A' + i)));
                // One row on every page width, point by point: some end a
                // part just short of the spacing after it.
                QList<double> widths{300.0, 360.0, 420.0, 500.0, 595.0, 5000.0};
                if (rowLabel == 6 && sourceLabel == 0 && terms == 7) {
                    for (double w = 301; w < 700; ++w)
                        widths << w;
                }
                for (const double width : widths) {
                    PrintLayoutParameters parameters;
                    parameters.width = width;
                    const PrintPage laid = CanvasPrintView(*canvas, parameters).body();
                    const QList<PrintItem> parts = items(laid, Role::expressionPart, terms);
                    QStringList printed;
                    for (const PrintItem& part : parts)
                        printed << part.text;
                    SCOPED_TRACE(printed.join(u'|').toStdString() + " labels " + std::to_string(rowLabel) + "/"
                                 + std::to_string(sourceLabel) + " page " + std::to_string(width));
                    ASSERT_FALSE(printed.isEmpty());
                    if (width == 5000.0) {
                        EXPECT_EQ(printed, whole);
                        continue;
                    }
                    // A linked value keeps its label above it while any of
                    // it shows; a lone "…" and an operator carry none.
                    qsizetype labelled = 0;
                    for (const QString& text : printed)
                        labelled += sourceLabel > 0 && !text.startsWith(u'+') && text != QStringLiteral("…");
                    EXPECT_EQ(items(laid, Role::partLabel, terms).size(), labelled);
                    if (printed == whole)
                        continue;
                    ASSERT_LE(printed.size(), whole.size());
                    const qsizetype last = printed.size() - 1;
                    EXPECT_EQ(printed.mid(0, last), whole.mid(0, last));
                    ASSERT_TRUE(printed[last].endsWith(QStringLiteral("…")));
                    EXPECT_TRUE(whole[last].startsWith(printed[last].chopped(1)));
                    // Within the expression's cell: clear of the result.
                    const QList<PrintItem> result = items(laid, Role::resultValue, terms);
                    ASSERT_EQ(result.size(), 1);
                    for (const PrintItem& part : parts)
                        EXPECT_LE(part.rect.right(), result[0].rect.left() + 0.5) << part.text.toStdString();
                }
            }
        }
    }
}

TEST_F(PrintFixture, NumberLabelsStandSmallAboveTheirNumbers)
{
    const BlockPtr row = addRow("", "4 x 95,50 + 4", 386);
    row->setPartLabel(QStringLiteral("Stunden"), 0, QStringLiteral("4"));
    row->setPartLabel(QStringLiteral(""), 1, QStringLiteral("95,50"));
    const PrintPage laid = page();
    const QList<PrintItem> labels = items(laid, Role::partLabel, 0);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].text, QStringLiteral("Stunden"));
    EXPECT_EQ(labels[0].font.pixelSize(), 9);
    const PrintItem four = items(laid, Role::expressionPart, 0).value(0);
    EXPECT_NEAR(labels[0].rect.center().x(), four.rect.center().x(), 0.01);
    EXPECT_LE(labels[0].rect.bottom(), four.rect.top() + 0.01);
    EXPECT_EQ(labels[0].color, withAlpha(four.color, 0.7));
    // Empty label: the value alone in the result cell.
    EXPECT_TRUE(items(laid, Role::resultLabel, 0).isEmpty());
    EXPECT_EQ(texts(laid, Role::resultValue, 0), QStringList({"386"}));
}

TEST_F(PrintFixture, EveryRowKindPrintsItsFieldsAlike)
{
    const BlockPtr text = addRow("Notiz", "\"Anmerkung\"", std::nullopt);
    text->setBlockType(BlockType::text);
    text->setTextContent(QStringLiteral("hidden content"));
    const BlockPtr failed = addRow("Fehler", "1/0", std::nullopt);
    failed->setHasError(true);
    failed->setErrorMessage(QStringLiteral("Division by zero"));
    const BlockPtr stale = addRow("Alt", "2", 2);
    stale->setHasError(true);
    stale->setErrorMessage(QStringLiteral("Invalid expression"));
    const PrintPage laid = page();
    QStringList all;
    for (const PrintItem& item : laid.items)
        all << item.text;
    EXPECT_FALSE(all.contains(QStringLiteral("hidden content")));
    EXPECT_EQ(texts(laid, Role::expressionPart, 0), QStringList({"Anmerkung"}));
    // A failed row prints its error where the value would stand, as the
    // canvas shows it; a row that has a value prints the value.
    EXPECT_TRUE(items(laid, Role::resultValue, 1).isEmpty());
    const PrintItem error = items(laid, Role::resultError, 1).value(0);
    EXPECT_EQ(error.text, QStringLiteral("Division by zero"));
    EXPECT_EQ(error.font.pixelSize(), 13);
    EXPECT_EQ(error.color, QColor(235, 235, 245, 153));
    EXPECT_NEAR(error.rect.right(), 595 - 16, 0.01);
    EXPECT_EQ(texts(laid, Role::resultValue, 2), QStringList({"2"}));
    EXPECT_TRUE(items(laid, Role::resultError, 2).isEmpty());

    // A value prints with its currency, its own or its source's, as the
    // canvas shows it.
    const BlockPtr converted = addRow("", "100 € in USD", 125);
    const BlockPtr bike = addRow("E-Bike", "1.299 € + Helm 79 €", 1378);
    const BlockPtr twice = addRow("", "{A} x 2", 2756);
    link(bike, twice, QStringLiteral("A"));
    const PrintPage withCurrencies = page();
    EXPECT_EQ(texts(withCurrencies, Role::resultValue), QStringList({"2", "125 $", "1378 €", "2756 €"}));
    EXPECT_EQ(texts(withCurrencies, Role::expressionPart, 5).value(0), QStringLiteral("1378 €"));
}

TEST_F(PrintFixture, ImportedExtremesStayOnThePage)
{
    const QString huge = QString(1 << 20, QLatin1Char('W'));
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    canvas->setName(QStringLiteral("Quartal ").repeated(20000));
    canvas->setTitleColorHex(QStringLiteral("#GG"));
    addRow(huge, huge, 1e300, QStringLiteral("\u0000zz"));
    addRow("big", "1e300 × 1e300", -1e300, "#FFFFFFFFFFFFFFFFFFFF", 1e308);
    addRow("nan", "{A:" + huge + "}", nan, "#00D4FF", nan);
    addRow("inf", "(((((", inf, "#00D4FF", -inf);
    addRow("n", "5", 5)->setPartLabel(huge, 0, QStringLiteral("5"));

    const PrintPage laid = page(ExportMode::pdf, true);
    EXPECT_EQ(laid.size, QSizeF(595, 5 * 56 + 120));
    for (const PrintItem& item : laid.items) {
        SCOPED_TRACE(item.text.left(40).toStdString());
        EXPECT_GE(item.rect.left(), -0.01);
        EXPECT_LE(item.rect.right(), 595.01);
        EXPECT_GE(item.rect.top(), -0.01);
        EXPECT_LE(item.rect.bottom(), laid.size.height() + 0.01);
        EXPECT_LT(item.text.size(), 2000);
    }
    // The title wraps, then ends with an ellipsis within its room.
    const QStringList title = texts(laid, Role::title);
    ASSERT_GE(title.size(), 2);
    EXPECT_TRUE(title.last().endsWith(QStringLiteral("…")));
    EXPECT_LE(laid.titleBottom, 100.01);
    for (const QString& label : texts(laid, Role::rowLabel))
        EXPECT_FALSE(label.isEmpty());
    EXPECT_TRUE(texts(laid, Role::rowLabel).join(u' ').contains(QStringLiteral("…")));
}

// The number style decides how typed numbers are read, never how results print.
TEST_F(PrintFixture, ResultsPrintAlikeUnderEitherNumberStyle)
{
    const BlockPtr source = addRow("Basis", "1,234,567.891", 1234567.891);
    const BlockPtr row = addRow("Mal", "{A} x 2", 2469135.782);
    link(source, row, QStringLiteral("A"));
    CalcSettings& settings = CalcSettings::shared();
    const DecimalStyle saved = settings.decimalStyle();
    for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        settings.setDecimalStyle(style);
        const PrintPage laid = page();
        EXPECT_EQ(texts(laid, Role::resultValue), QStringList({"1234567,89", "2469135,78"}));
        EXPECT_EQ(texts(laid, Role::expressionPart, 1).value(0), QStringLiteral("1234567,89"));
        // Expressions print as typed.
        EXPECT_EQ(texts(laid, Role::expressionPart, 0), QStringList({"1,234,567.891"}));
    }
    settings.setDecimalStyle(saved);
}
