// What the result column shows and does: values, the error of a row that
// cannot be computed, text cut with "…", link drags from the value.

#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"

#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

namespace {

class ResultCellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedRates = CalcSettings::shared().exchangeRates();
        CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    }
    void TearDown() override { CalcSettings::shared().setExchangeRates(savedRates); }

    static QString shownResult(const CanvasView& view, const BlockPtr& row)
    {
        return view.resultCell(row, view.indexOfBlock(row->id())).shown;
    }

    EditorPreferences preferences;
    CalcSettings::ExchangeRates savedRates;
};

} // namespace

// A failed row says why, in the engine's words, where its value would be.
TEST_F(ResultCellTest, AFailedRowShowsItsErrorInTheResultColumn)
{
    struct Case {
        QString expression;
        QString shown;
    };
    const QList<Case> cases{
        {QStringLiteral("10 / 0"), QStringLiteral("Division by zero")},
        {QStringLiteral("(3 + 4"), QStringLiteral("Unbalanced parentheses")},
        {QStringLiteral("sqrt(-4)"), QStringLiteral("Invalid result")},
        {QStringLiteral("()"), QStringLiteral("Invalid expression")},
        // No rates loaded yet: the amount is not shown as if converted.
        {QStringLiteral("100 € in USD"), QStringLiteral("No exchange rate for EUR → USD")},
        {QStringLiteral("Beitrag 2024 120 €"), QStringLiteral("Invalid expression")},
    };
    CalcSettings::shared().setExchangeRates(CalcSettings::ExchangeRates::empty());
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr good = addRow(canvas, QStringLiteral("Gut"), QStringLiteral("12"), 20);
    double y = 76;
    QList<BlockPtr> failing;
    for (const Case& c : cases) {
        failing << addRow(canvas, QString(), c.expression, y);
        y += 56;
    }
    ShownEditor editor(canvas);
    const double widthWithValuesOnly = CanvasView::tableResultColumnWidth(BlockList{good});
    EXPECT_EQ(editor.view.tableResultColumnWidth(), widthWithValuesOnly) << "errors do not widen the column";
    for (qsizetype i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].expression.toStdString());
        const CanvasView::ResultCell cell = editor.view.resultCell(failing[i], editor.view.indexOfBlock(failing[i]->id()));
        EXPECT_TRUE(cell.isError);
        EXPECT_EQ(cell.fullText, cases[i].shown);
        EXPECT_EQ(cell.shown, cases[i].shown);
        EXPECT_TRUE(editor.view.resultText(failing[i]).isEmpty()) << "no value, no currency";
        EXPECT_EQ(failing[i]->expression(), cases[i].expression) << "the row keeps its expression";
        // Right-aligned with the values, no link handle.
        const int index = editor.view.indexOfBlock(failing[i]->id());
        EXPECT_NEAR(cell.textBox.right(), editor.view.resultCell(good, 0).textBox.right(), 0.5);
        EXPECT_FALSE(editor.view.startsLinkDrag(index, cell.textBox.center()));
        EXPECT_FALSE(editor.view.startsLinkDrag(index, editor.view.linkHandleRect(index).center()));
    }
    EXPECT_FALSE(editor.view.resultCell(good, 0).isError);
    EXPECT_EQ(shownResult(editor.view, good), QStringLiteral("12"));
    // The hover text says why, and what could not be read.
    EXPECT_EQ(editor.view.resultCell(failing.last(), editor.view.indexOfBlock(failing.last()->id())).hoverText,
              QStringLiteral("Invalid expression — two numbers with only words between them: 2024 120"));
}

TEST_F(ResultCellTest, ARowWhoseSourceWasDeletedMissesItsValue)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr source = addRow(canvas, QStringLiteral("Quelle"), QStringLiteral("5"), 20);
    const BlockPtr user = addRow(canvas, QString(), QStringLiteral("{A:#00D4FF} + 1"), 76);
    linkRows(canvas, source, user, QStringLiteral("A"));
    ShownEditor editor(canvas);
    EXPECT_EQ(shownResult(editor.view, user), QStringLiteral("6"));
    editor.view.setSelectedBlockID(source->id());
    editor.view.deleteSelectedBlock();
    // Said as the canvas shows the link (a grey "?"), never by its stored name.
    EXPECT_EQ(shownResult(editor.view, user), QStringLiteral("Missing value: its source row is gone"));
    EXPECT_TRUE(editor.view.resultCell(user, 0).isError);
}

TEST_F(ResultCellTest, ARefusedRowQuotesItsLinksAsTheCanvasShowsThem)
{
    // By the source row's label, else by its value; never by the stored token.
    const CanvasPtr canvas = makeCanvas();
    addRow(canvas, QStringLiteral("Miete"), QStringLiteral("800"), 20, QStringLiteral("#00D4FF"));
    addRow(canvas, QString(), QStringLiteral("60,5"), 76, QStringLiteral("#FF6B9D"));
    addRow(canvas, QStringLiteral("Miete"), QStringLiteral("1"), 132, QStringLiteral("#00FF88"));
    const BlockPtr sum = addRow(canvas, QString(), QString(), 188);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    view.setFocus();
    view.setSelectedBlockID(sum->id());
    QTest::keyClicks(&view, QStringLiteral("Summe"));
    ASSERT_EQ(sum->result(), 861.5);
    QTest::keyClick(&view, Qt::Key_Escape);
    view.setSelectedBlockID(sum->id()); // selected again: keys go to the expression
    QTest::keyClicks(&view, QStringLiteral("xx"));
    ASSERT_FALSE(sum->result().has_value());
    // The quote is where reading failed: the last operator and the words after it.
    EXPECT_EQ(view.resultCell(sum, 3).hoverText,
              QStringLiteral("Invalid expression — an operator followed only by words: + Miete xx"));
}

// Rows with nothing to show stay empty: text rows, rows never evaluated,
// rows with nothing to compute.
TEST_F(ResultCellTest, RowsWithoutAFailureStayEmpty)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr text = addRow(canvas, QString(), QString(), 20);
    text->setBlockType(BlockType::text);
    const BlockPtr empty = addRow(canvas, QString(), QString(), 76);
    const BlockPtr blank = addRow(canvas, QString(), QStringLiteral("   "), 132);
    ShownEditor editor(canvas);
    const BlockPtr neverEvaluated = addRow(canvas, QString(), QStringLiteral("1 +"), 188);
    editor.view.refresh();
    for (const BlockPtr& row : {text, empty, blank, neverEvaluated}) {
        const CanvasView::ResultCell cell = editor.view.resultCell(row, editor.view.indexOfBlock(row->id()));
        EXPECT_TRUE(cell.isEmpty()) << row->expression().toStdString();
        EXPECT_FALSE(cell.isError);
    }
}

// Too wide for its cell: cut at the end with "…", the whole text as tooltip.
TEST_F(ResultCellTest, TextTooWideForItsCellEndsWithAnEllipsis)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr big = addRow(canvas, QString(), QStringLiteral("123456789012345678901234567890"), 20);
    const BlockPtr longExpression = addRow(
        canvas, QString(), QStringLiteral("1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10 + 11 + 12 + 13 + 14 + 15 + 16 + 17"), 76);
    const BlockPtr word = addRow(canvas, QString(), QStringLiteral("\"Lebensmittelgeschäftsrechnung\" 12"), 132);
    const BlockPtr failing = addRow(canvas, QString(), QStringLiteral("{Vorjahresmonatsdurchschnitt}"), 188);
    const BlockPtr shortOne = addRow(canvas, QString(), QStringLiteral("1 + 2"), 244);
    // A source without a value, named in the message by its long label.
    const BlockPtr empty = addRow(canvas, QStringLiteral("Vorjahresmonatsdurchschnitt"), QString(), 300);
    linkRows(canvas, empty, failing, QStringLiteral("Vorjahresmonatsdurchschnitt"));
    ShownEditor editor(canvas, nullptr, QSize(560, 500));
    CanvasView& view = editor.view;

    const CanvasView::ResultCell value = view.resultCell(big, 0);
    EXPECT_TRUE(value.shown.endsWith(QStringLiteral("…"))) << value.shown.toStdString();
    EXPECT_TRUE(value.fullText.startsWith(value.shown.chopped(1)));
    EXPECT_LE(value.textBox.width(), view.resultRect(0).width());

    const CanvasView::ResultCell error = view.resultCell(failing, 3);
    EXPECT_EQ(error.fullText, QStringLiteral("Missing value for Vorjahresmonatsdurchschnitt"));
    EXPECT_TRUE(error.shown.endsWith(QStringLiteral("…"))) << error.shown.toStdString();
    EXPECT_GE(error.textBox.left(), view.expressionRect(3).left());

    for (const BlockPtr& row : {longExpression, word}) {
        const QStringList parts = view.shownExpressionParts(row);
        ASSERT_FALSE(parts.isEmpty());
        EXPECT_TRUE(parts.last().endsWith(QStringLiteral("…")))
            << parts.join(u'|').toStdString() << " in " << view.expressionRect(view.indexOfBlock(row->id())).width();
        EXPECT_LT(parts.size(), CanvasView::parseExpressionParts(row->expression()).size() + 1);
    }
    EXPECT_EQ(view.shownExpressionParts(shortOne), (QStringList{QStringLiteral("1"), QStringLiteral("+"), QStringLiteral("2")}));
    EXPECT_EQ(view.resultCell(shortOne, 4).shown, QStringLiteral("3"));

    // Hovering the cut cells shows the whole text; a whole value needs none.
    auto toolTipAt = [&](int row) {
        const QPoint point = view.resultRect(row).center().toPoint();
        QHelpEvent help(QEvent::ToolTip, point, view.tableWidget()->mapToGlobal(point));
        QApplication::sendEvent(view.tableWidget(), &help);
        return help.isAccepted() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(toolTipAt(3), error.fullText);
    EXPECT_EQ(toolTipAt(0), value.fullText);
    EXPECT_EQ(toolTipAt(4), QString());
    QToolTip::hideText();
}

// An imported row of a hundred thousand characters (label, expression and
// its message) is drawn measuring only the start of each text that can show,
// and cut exactly where the longest start that fits ends.
TEST_F(ResultCellTest, AVeryLongRowIsFittedMeasuringOnlyWhatShows)
{
    const int length = 100000;
    QString sum = QStringLiteral("1+").repeated(length / 2);
    sum.chop(1);
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr digits = addRow(canvas, QString(length, QLatin1Char('L')), QString(length, QLatin1Char('7')), 20);
    const BlockPtr letters = addRow(canvas, QString(), QString(length, QLatin1Char('q')), 76);
    const BlockPtr sums = addRow(canvas, QString(), sum, 132);
    const BlockPtr braces = addRow(canvas, QString(), QString(length, QLatin1Char('{')), 188);
    const BlockPtr missing = addRow(canvas, QString(), QLatin1Char('{') + QString(length, QLatin1Char('n')) + u'}', 244);
    // Its source has a label as long and no value: the message names it.
    const BlockPtr unvalued = addRow(canvas, QString(length, QLatin1Char('n')), QString(), 300);
    linkRows(canvas, unvalued, missing, QString(length, QLatin1Char('n')));
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    view.tableWidget()->repaint();
    EXPECT_LT(view.measuredCharacters(), 20000) << "each text measured as far as it shows, a few times";

    const QStringList shown = view.shownExpressionParts(digits);
    ASSERT_EQ(shown.size(), 1);
    ASSERT_TRUE(shown[0].endsWith(QStringLiteral("…")));
    const QString start = shown[0].chopped(1);
    EXPECT_FALSE(start.isEmpty());
    EXPECT_TRUE(digits->expression().startsWith(start));
    QFont numbers = view.font();
    numbers.setPixelSize(20);
    numbers.setWeight(QFont::Medium);
    const QFontMetricsF metrics(numbers);
    const double room = view.expressionRect(0).right() - view.expressionRect(0).left() - metrics.horizontalAdvance(QStringLiteral("…"));
    EXPECT_LE(metrics.horizontalAdvance(start), room);
    EXPECT_GT(metrics.horizontalAdvance(start + u'7'), room) << "the longest start that fits";

    EXPECT_EQ(view.shownExpressionParts(missing), QStringList{QStringLiteral("?")});
    for (const BlockPtr& row : {letters, sums, braces}) {
        const QStringList parts = view.shownExpressionParts(row);
        ASSERT_FALSE(parts.isEmpty());
        EXPECT_TRUE(parts.last().endsWith(QStringLiteral("…"))) << parts.join(u'|').left(80).toStdString();
        EXPECT_LT(parts.join(QString()).size(), 1000);
    }
    const CanvasView::ResultCell failed = view.resultCell(missing, 4);
    EXPECT_TRUE(failed.isError);
    EXPECT_TRUE(failed.shown.endsWith(QStringLiteral("…")));
    EXPECT_LT(failed.shown.size(), 1000);

    // Its tooltip holds what one line across the screen can show.
    const QPoint point = view.resultRect(4).center().toPoint();
    QHelpEvent help(QEvent::ToolTip, point, view.tableWidget()->mapToGlobal(point));
    QApplication::sendEvent(view.tableWidget(), &help);
    EXPECT_TRUE(QToolTip::text().startsWith(QStringLiteral("Missing value for nnn")));
    EXPECT_LT(QToolTip::text().size(), 5000);
    QToolTip::hideText();

    // Its fields hold the whole text, so a keystroke loses nothing.
    view.setFocusedBlockID(digits->id());
    auto* expression = qobject_cast<QLineEdit*>(view.expressionEditor());
    EXPECT_EQ(expression->text().size(), length);
    expression->end(false);
    QTest::keyClick(expression, Qt::Key_Backspace);
    EXPECT_EQ(digits->expression().size(), length - 1);
    view.setFocusedLabelBlockID(digits->id());
    EXPECT_EQ(qobject_cast<QLineEdit*>(view.labelEditor())->text().size(), length);
}

// A value with its currency wider than its column is never cut short while
// the expression leaves room: "38457,6…" would read as another number.
TEST_F(ResultCellTest, AWideValueReachesIntoTheFreeExpressionSpace)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr wide = addRow(canvas, QStringLiteral("Summe"), QStringLiteral("38457,69 $"), 20);
    ShownEditor editor(canvas);
    const CanvasView::ResultCell cell = editor.view.resultCell(wide, 0);
    EXPECT_EQ(cell.fullText, QStringLiteral("38457,69 $"));
    EXPECT_EQ(cell.shown, cell.fullText);
    EXPECT_GT(cell.textBox.left(), editor.view.expressionTextEnd(wide, 0)) << "never over the expression";
    EXPECT_EQ(editor.view.tableResultColumnWidth(), CanvasView::tableResultColumnWidth(BlockList{wide}))
        << "the column width rule stays";
}

// Pressing on the value itself (not only the handle beside it) drags a link.
TEST_F(ResultCellTest, DraggingTheResultValueLinksTwoRows)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr source = addRow(canvas, QStringLiteral("Netto"), QStringLiteral("250"), 20);
    addRow(canvas, QString(), QStringLiteral("7"), 76);
    const BlockPtr target = addRow(canvas, QString(), QString(), 132);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    QWidget* table = view.tableWidget();

    const CanvasView::ResultCell cell = view.resultCell(source, 0);
    struct Spot {
        const char* name;
        QPointF point;
        bool starts;
    };
    const QList<Spot> spots{
        {"value", cell.textBox.center(), true},
        {"value's first glyph", QPointF(cell.textBox.left() + 2, cell.textBox.center().y()), true},
        {"label above the value", cell.labelBox.center(), true},
        {"handle", view.linkHandleRect(0).center(), true},
        {"empty part of the cell", QPointF(view.resultRect(0).left() + 2, cell.textBox.center().y()), false},
    };
    for (const Spot& spot : spots)
        EXPECT_EQ(view.startsLinkDrag(0, spot.point), spot.starts) << spot.name;

    // The pointer shows that the value can be dragged.
    send(table, QEvent::MouseMove, cell.textBox.center(), Qt::NoButton);
    EXPECT_EQ(table->cursor().shape(), Qt::OpenHandCursor);

    const QPointF drop = view.expressionRect(2).center();
    send(table, QEvent::MouseButtonPress, cell.textBox.center(), Qt::LeftButton);
    send(table, QEvent::MouseMove, (cell.textBox.center() + drop) / 2, Qt::LeftButton);
    ASSERT_TRUE(view.temporaryLink().has_value());
    send(table, QEvent::MouseMove, drop, Qt::LeftButton);
    send(table, QEvent::MouseButtonRelease, drop, Qt::NoButton);
    EXPECT_FALSE(view.temporaryLink().has_value());
    ASSERT_EQ(target->incomingLinks().size(), 1);
    EXPECT_EQ(target->incomingLinks().first()->sourceBlock(), source);
    EXPECT_EQ(view.resultText(target), QStringLiteral("250"));

    // A short press on the value links nothing and selects nothing.
    QTest::mouseClick(table, Qt::LeftButton, {}, cell.textBox.center().toPoint());
    EXPECT_EQ(canvas->links().size(), 1);
}
