#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"
#include "Models/ModelContext.h"
#include "Services/CanvasPrintPainter.h"
#include "Services/CanvasPrintView.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUndoStack>
#include <gtest/gtest.h>

namespace {

class SumKeywordTest : public ::testing::Test {
protected:
    EditorPreferences preferences;
};

QStringList placeholderNames(const BlockPtr& row)
{
    QStringList names;
    for (const LinkPtr& link : row->incomingLinks())
        names.append(link->placeholderName());
    return names;
}

} // namespace

TEST_F(SumKeywordTest, TypedKeywordSumsTheRowsAboveAndFollowsThem)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr rent = addRow(canvas, QStringLiteral("Miete"), QStringLiteral("800"), 20, QStringLiteral("#00D4FF"));
    const BlockPtr note = addRow(canvas, QStringLiteral("Notiz"), QStringLiteral("\"nur Text\""), 76);
    const BlockPtr power = addRow(canvas, QStringLiteral("Strom"), QStringLiteral("60,5"), 132, QStringLiteral("#FF6B9D"));
    const BlockPtr sum = addRow(canvas, QString(), QStringLiteral("1+1"), 188);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    ASSERT_FALSE(note->result().has_value());

    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(3)));
    QTest::keyClicks(view.labelEditor(), QStringLiteral("Summ"));
    EXPECT_EQ(sum->expression(), QStringLiteral("1+1")); // not yet the keyword
    QTest::keyClicks(view.labelEditor(), QStringLiteral("e"));
    // Every row above counts; the note, without a result, adds nothing yet.
    EXPECT_EQ(sum->expression(), QStringLiteral("{A:00D4FF} + {B:00D4FF} + {C:FF6B9D}"));
    EXPECT_EQ(placeholderNames(sum), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_EQ(canvas->links().size(), 3);
    EXPECT_EQ(rent->outgoingLinks().size(), 1);
    EXPECT_EQ(sum->incomingLinks().first()->colorHex(), QStringLiteral("#00D4FF"));
    EXPECT_EQ(view.resultText(sum), QStringLiteral("860,5"));

    // A trailing space keeps the keyword: the links are made afresh, not doubled.
    QTest::keyClicks(view.labelEditor(), QStringLiteral(" "));
    EXPECT_EQ(sum->label(), QStringLiteral("Summe "));
    EXPECT_EQ(canvas->links().size(), 3);
    EXPECT_EQ(rent->outgoingLinks().size(), 1);

    // Typing on ends the sum, links and expression; Backspace back to the
    // keyword makes it again.
    QTest::keyClicks(view.labelEditor(), QStringLiteral("n"));
    EXPECT_TRUE(canvas->links().isEmpty());
    EXPECT_TRUE(rent->outgoingLinks().isEmpty());
    EXPECT_EQ(sum->expression(), QString());
    EXPECT_FALSE(sum->result().has_value());
    QTest::keyClick(view.labelEditor(), Qt::Key_Backspace);
    EXPECT_EQ(canvas->links().size(), 3);
    EXPECT_EQ(sum->result(), 860.5);

    // Changing a counted row carries on into the sum.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(0)));
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("900"));
    EXPECT_EQ(sum->result(), 960.5);
    EXPECT_EQ(view.resultText(sum), QStringLiteral("960,5"));

    // A counted row without a result (emptied, refused) adds nothing; once
    // it has one again the sum takes it in, with the keyword left as it was.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(2)));
    field = qobject_cast<QLineEdit*>(view.expressionEditor());
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(sum->result(), 900.0);
    EXPECT_FALSE(sum->hasError());
    QTest::keyClicks(field, QStringLiteral("Strom"));
    ASSERT_FALSE(power->result().has_value());
    EXPECT_EQ(sum->result(), 900.0);
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("70"));
    EXPECT_EQ(sum->result(), 970.0);
    EXPECT_EQ(sum->incomingLinks().size(), 3);

    // The note, which had no result when the sum was made, counts once it has one.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(1)));
    field = qobject_cast<QLineEdit*>(view.expressionEditor());
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("57"));
    EXPECT_EQ(note->result(), 57.0);
    EXPECT_EQ(sum->result(), 1027.0);
    EXPECT_EQ(view.resultText(sum), QStringLiteral("1027"));
}

TEST_F(SumKeywordTest, KeywordMatchIgnoresCaseAndBlanksButNotOtherText)
{
    const CanvasPtr canvas = makeCanvas();
    addRow(canvas, QString(), QStringLiteral("2"), 20);
    const BlockPtr row = addRow(canvas, QString(), QString(), 76);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(1)));

    // A typed Tab moves on, so the tabs are put in place before the last key.
    auto* label = qobject_cast<QLineEdit*>(view.labelEditor());
    label->setText(QStringLiteral(" \tsUMME\t"));
    QTest::keyClicks(label, QStringLiteral(" "));
    EXPECT_EQ(row->label(), QStringLiteral(" \tsUMME\t ")); // kept exactly as typed
    EXPECT_EQ(row->expression(), QStringLiteral("{A:00D4FF}"));
    EXPECT_EQ(row->result(), 2.0);

    // Another keyword from the settings; the old one no longer applies.
    Defaults::standard().setValue(QStringLiteral("sumKeyword"), QStringLiteral("Total"));
    row->setExpression(QStringLiteral("7"));
    qobject_cast<QLineEdit*>(view.labelEditor())->clear();
    QTest::keyClicks(view.labelEditor(), QStringLiteral("Summe"));
    EXPECT_EQ(row->expression(), QStringLiteral("7"));
    qobject_cast<QLineEdit*>(view.labelEditor())->clear();
    QTest::keyClicks(view.labelEditor(), QStringLiteral("total"));
    EXPECT_EQ(row->expression(), QStringLiteral("{A:00D4FF}"));

    // An empty keyword matches nothing, not even an empty label.
    Defaults::standard().setValue(QStringLiteral("sumKeyword"), QString());
    row->setExpression(QStringLiteral("7"));
    qobject_cast<QLineEdit*>(view.labelEditor())->setText(QStringLiteral("x"));
    QTest::keyClick(view.labelEditor(), Qt::Key_Backspace);
    EXPECT_EQ(row->expression(), QStringLiteral("7"));
}

TEST_F(SumKeywordTest, NothingToCountChangesNothing)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr first = addRow(canvas, QString(), QStringLiteral("5"), 20);
    const BlockPtr empty = addRow(canvas, QString(), QString(), 76);
    const BlockPtr sum = addRow(canvas, QString(), QStringLiteral("{H:00D4FF}*2"), 132);
    const BlockPtr feeder = addRow(canvas, QString(), QStringLiteral("4"), 188);
    const LinkPtr byHand = linkRows(canvas, feeder, sum, QStringLiteral("H"));
    CalculatorEngine::shared().evaluateCanvas(canvas);
    CanvasView view(canvas, nullptr, nullptr);
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(1000);
    canvas->setModifiedAt(modified);

    // The first row has nothing above it.
    view.applySumExpression(first);
    EXPECT_EQ(first->expression(), QStringLiteral("5"));

    // Rows above that only take the sum's value: the hand-made link and its
    // token stay.
    linkRows(canvas, sum, first, QStringLiteral("S"));
    linkRows(canvas, sum, empty, QStringLiteral("T"));
    view.applySumExpression(sum);
    EXPECT_EQ(sum->expression(), QStringLiteral("{H:00D4FF}*2"));
    EXPECT_EQ(sum->incomingLinks(), LinkList{byHand});
    EXPECT_EQ(sum->result(), 8.0);
    EXPECT_EQ(canvas->modifiedAt(), modified);

    // A row that is not on the canvas.
    const BlockPtr stranger = CalculationBlock::create(BlockType::calculation, QStringLiteral("1"), QString(),
                                                       QString(), 0, 500, 10, 10, QStringLiteral("#00D4FF"));
    view.applySumExpression(stranger);
    EXPECT_EQ(stranger->expression(), QStringLiteral("1"));
    EXPECT_EQ(canvas->links().size(), 3);
}

TEST_F(SumKeywordTest, DetachedLinksAreDeletedFromTheStore)
{
    ModelContext context;
    const CanvasPtr canvas = makeCanvas();
    context.insert(canvas);
    const BlockPtr above = addRow(canvas, QString(), QStringLiteral("10"), 20);
    const BlockPtr sum = addRow(canvas, QStringLiteral("Summe"), QStringLiteral("{X:1} + {Y:2}"), 76);
    const BlockPtr below = addRow(canvas, QString(), QStringLiteral("3"), 132);
    const BlockPtr user = addRow(canvas, QString(), QStringLiteral("{S:1}+1"), 188);
    const LinkPtr handX = linkRows(canvas, below, sum, QStringLiteral("X"));
    const LinkPtr handY = linkRows(canvas, above, sum, QStringLiteral("Y"));
    const LinkPtr uses = linkRows(canvas, sum, user, QStringLiteral("S"));
    CalculatorEngine::shared().evaluateCanvas(canvas);
    ASSERT_EQ(context.linkCount(), 3);
    CanvasView view(canvas, &context, nullptr);

    view.applySumExpression(sum);
    EXPECT_TRUE(handX->isDeleted());
    EXPECT_TRUE(handY->isDeleted());
    EXPECT_TRUE(below->outgoingLinks().isEmpty());
    EXPECT_FALSE(canvas->links().contains(handX));
    EXPECT_EQ(context.linkCount(), 2); // the new A and the untouched outgoing link
    EXPECT_EQ(sum->expression(), QStringLiteral("{A:00D4FF}"));
    ASSERT_EQ(sum->incomingLinks().size(), 1);
    EXPECT_EQ(sum->incomingLinks().first()->sourceBlock(), above);
    EXPECT_EQ(sum->outgoingLinks(), LinkList{uses});
    // The sum's result reached the row that uses it.
    EXPECT_EQ(sum->result(), 10.0);
    EXPECT_EQ(user->result(), 11.0);
}

TEST_F(SumKeywordTest, EveryRowAboveIsCountedButNoRowFedByTheSum)
{
    const CanvasPtr canvas = makeCanvas();
    BlockList rows;
    for (int i = 0; i < 30; ++i)
        rows.append(addRow(canvas, QString(), QStringLiteral("1"), 20 + 56 * i,
                           CanvasView::blockColors().at(i % 8)));
    const BlockPtr sum = addRow(canvas, QString(), QString(), 20 + 56 * 30);
    CalculatorEngine::shared().evaluateCanvas(canvas);
    CanvasView view(canvas, nullptr, nullptr);

    view.applySumExpression(sum);
    const QStringList terms = sum->expression().split(QStringLiteral(" + "));
    ASSERT_EQ(terms.size(), 30);
    EXPECT_EQ(terms.first(), QStringLiteral("{A:00D4FF}"));
    EXPECT_EQ(terms.at(8), QStringLiteral("{I:00D4FF}")); // same colour, its own name
    EXPECT_EQ(terms.at(25), QStringLiteral("{Z:FF6B9D}"));
    // After Z the names go on as links made by hand are named.
    QStringList names = placeholderNames(sum);
    names.removeDuplicates();
    EXPECT_EQ(names.size(), 30);
    EXPECT_EQ(names.at(26), CanvasView::generatePlaceholderName(names.mid(0, 26)));
    EXPECT_EQ(sum->incomingLinks().size(), 30);
    EXPECT_EQ(rows.at(29)->outgoingLinks().size(), 1);
    EXPECT_EQ(sum->result(), 30.0);
    EXPECT_FALSE(sum->hasError());

    // A row above that takes the sum's value is left out: counting it would
    // close a cycle. The letters stay consecutive.
    rows[1]->setExpression(QStringLiteral("{T:00D4FF}"));
    const LinkPtr back = linkRows(canvas, sum, rows[1], QStringLiteral("T"));
    view.applySumExpression(sum);
    EXPECT_EQ(sum->incomingLinks().size(), 29);
    for (const LinkPtr& link : sum->incomingLinks())
        EXPECT_NE(link->sourceBlock(), rows[1]);
    EXPECT_TRUE(sum->expression().startsWith(QStringLiteral("{A:00D4FF} + {B:00FF88}")));
    EXPECT_EQ(sum->result(), 29.0);
    EXPECT_FALSE(sum->hasError());
    EXPECT_EQ(rows[1]->result(), 29.0);
}

TEST_F(SumKeywordTest, ANewLineTakesTheKeywordAndShowsTheSum)
{
    const CanvasPtr canvas = makeCanvas();
    addRow(canvas, QStringLiteral("Miete"), QStringLiteral("800"), 20);
    addRow(canvas, QStringLiteral("Strom"), QStringLiteral("60"), 70);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;

    // Return on the canvas in editor mode adds a text row on a new line.
    view.setSelectedBlockID(canvas->blocks().last()->id());
    QTest::keyClick(&view, Qt::Key_Return);
    const BlockPtr sum = canvas->blocks().last();
    ASSERT_TRUE(sum->isTextBlock());
    ASSERT_EQ(view.indexOfBlock(sum->id()), 2);

    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(2)));
    QTest::keyClicks(view.labelEditor(), QStringLiteral("Summe"));
    EXPECT_EQ(sum->expression(), QStringLiteral("{A:00D4FF} + {B:00D4FF}"));
    EXPECT_EQ(sum->result(), 860.0);
    EXPECT_EQ(view.resultText(sum), QStringLiteral("860"));
}

TEST_F(SumKeywordTest, ADeletedRowLeavesTheSumAndUndoPutsItBack)
{
    const CanvasPtr canvas = makeCanvas();
    addRow(canvas, QString(), QStringLiteral("1"), 20);
    const BlockPtr middle = addRow(canvas, QString(), QStringLiteral("2"), 76, QStringLiteral("#FF6B9D"));
    addRow(canvas, QString(), QStringLiteral("4"), 132, QStringLiteral("#00FF88"));
    const BlockPtr sum = addRow(canvas, QString(), QString(), 188);
    CalculatorEngine::shared().evaluateCanvas(canvas);
    QUndoStack history;
    ShownEditor editor(canvas, &history);
    CanvasView& view = editor.view;
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(3)));
    QTest::keyClicks(view.labelEditor(), QStringLiteral("Summe"));
    const QString written = sum->expression();
    ASSERT_EQ(sum->result(), 7.0);
    view.setFocus();

    view.setSelectedBlockID(middle->id());
    view.deleteSelectedBlock();
    EXPECT_EQ(sum->expression(), QStringLiteral("{A:00D4FF} + {C:00FF88}"));
    EXPECT_EQ(sum->result(), 5.0);
    EXPECT_FALSE(sum->hasError());

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(sum->expression(), written);
    EXPECT_EQ(sum->result(), 7.0);
    // Still the keyword's sum: typing on takes it away.
    EXPECT_TRUE(CanvasView::holdsKeywordSum(sum));
}

TEST_F(SumKeywordTest, UndoTakesAwayOnlyASumThatWasKeptAndNeverWhatWasTypedAfter)
{
    // Keys go to whatever has the keyboard: "\t" is Tab, "\x1b" Escape, "^z"
    // Ctrl+Z and "^Z" Ctrl+Shift+Z; the row is read back after each undo
    // and redo. "^c" and "^v" copy and paste rows; "@" clicks the end of
    // the row's label, "=" its expression with the text selected; "^\b"
    // is Ctrl+Backspace and "#" selects the row above (its label clicked,
    // Escape). The row above holds 2; the row starts with `held`.
    struct Read {
        QString label;
        QString expression;
        std::optional<double> result;
    };
    struct Case {
        const char* name;
        bool inField; // typing starts in the row's label field, else on the canvas
        QString held;
        QStringList keys;
        QList<Read> reads; // one per "^z" or "^Z", in order
        bool textRow = false; // the row is a new line of text, not yet a calculation
    };
    const QString sum = QStringLiteral("{A:00D4FF}");
    const QString summe = QStringLiteral("Summe");
    const QString passedOver = QStringLiteral("Summenausgleich");
    const std::optional<double> none;
    const QList<Case> cases{
        {"canvas: typed past the keyword", false, {}, {QStringLiteral("Summenausgleich 5"), "\x1b", "^z", "^Z"},
         {{passedOver, QStringLiteral("5"), 5.0}, {passedOver, QStringLiteral("5"), 5.0}}},
        {"field: typed past the keyword", true, {}, {passedOver, "\t", QStringLiteral("5"), "\x1b", "\x1b", "^z", "^Z"},
         {{passedOver, QStringLiteral("5"), 5.0}, {passedOver, QStringLiteral("5"), 5.0}}},
        {"canvas: a number after the keyword", false, {}, {QStringLiteral("Summe 7"), "\x1b", "^z"},
         {{summe, QStringLiteral("7"), 7.0}}},
        {"field: typed past the keyword over an expression", true, QStringLiteral("100+50"),
         {passedOver, "\x1b", "^z"}, {{passedOver, QStringLiteral("100+50"), 150.0}}},
        {"canvas: a kept sum", false, {}, {summe, "\x1b", "^z", "^Z", "^z"},
         {{summe, QString(), none}, {summe, sum, 2.0}, {summe, QString(), none}}},
        {"field: a kept sum, undone in the field", true, QStringLiteral("100+50"), {summe, "^z", "^Z", "\x1b", "^z"},
         {{summe, QStringLiteral("100+50"), 150.0}, {summe, sum, 2.0}, {summe, QStringLiteral("100+50"), 150.0}}},
        {"field: a kept sum typed over in its expression", true, {}, {summe, "\t", QStringLiteral(" + 1"), "\x1b", "^z"},
         {{summe, sum + QStringLiteral(" + 1"), 3.0}}},
        {"field: typed past a kept sum after a paste", true, QStringLiteral("100+50"),
         {summe, "\x1b", "^c", "^v", "@", QStringLiteral("n"), "\x1b", "^z", "^z"},
         {{QStringLiteral("Summen"), QStringLiteral("100+50"), 150.0}, {QStringLiteral("Summen"), QStringLiteral("100+50"), 150.0}}},
        {"canvas: a kept sum typed over after its counted row was deleted", false, {},
         {summe, "\x1b", "#", "^\b", "=", QStringLiteral("100"), "\x1b", "^z", "^Z", "^z"},
         {{summe, QStringLiteral("100"), 100.0}, {summe, QStringLiteral("100"), 100.0},
          {summe, QStringLiteral("100"), 100.0}}},
        {"field: typed past the keyword after its counted row was deleted", false, {},
         {summe, "\x1b", "#", "^\b", "@", QStringLiteral("n"), "\x1b", "^z"},
         {{QStringLiteral("Summen"), QString(), none}}},
        {"canvas: a heading on a new line typed past the keyword", false, {}, {QStringLiteral("Summen"), "\x1b", "^z"},
         {{QStringLiteral("Summen"), QString(), none}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CanvasPtr canvas = makeCanvas();
        addRow(canvas, QString(), QStringLiteral("2"), 20);
        const BlockPtr row = addRow(canvas, QString(), c.held, 76);
        if (c.textRow)
            row->setBlockType(BlockType::text);
        CalculatorEngine::shared().evaluateCanvas(canvas);
        QUndoStack history;
        ShownEditor editor(canvas, &history);
        CanvasView& view = editor.view;
        if (c.inField) {
            QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(1)));
        } else {
            view.setFocus();
            view.setSelectedBlockID(row->id());
        }
        qsizetype read = 0;
        for (const QString& key : c.keys) {
            QWidget* keyboard = QApplication::focusWidget() ? QApplication::focusWidget() : &view;
            if (key == QLatin1String("@")) {
                // At the label's right edge: the caret goes after the text.
                const QRectF label = view.labelRect(view.indexOfBlock(row->id()));
                QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {},
                                  QPointF(label.right() - 2, label.center().y()).toPoint());
            } else if (key == QLatin1String("=")) {
                QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {},
                                  editor.at(view.expressionRect(view.indexOfBlock(row->id()))));
                QTest::keyClick(view.expressionEditor(), Qt::Key_A, Qt::ControlModifier);
            } else if (key == QLatin1String("#")) {
                QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(0)));
                QTest::keyClick(view.labelEditor(), Qt::Key_Escape);
            } else if (key == QLatin1String("^\b")) {
                QTest::keyClick(keyboard, Qt::Key_Backspace, Qt::ControlModifier);
            } else if (key == QLatin1String("^c") || key == QLatin1String("^v")) {
                QTest::keyClick(keyboard, key == QLatin1String("^c") ? Qt::Key_C : Qt::Key_V, Qt::ControlModifier);
            } else if (key == QLatin1String("\t") || key == QLatin1String("\x1b")) {
                QTest::keyClick(keyboard, key == QLatin1String("\t") ? Qt::Key_Tab : Qt::Key_Escape);
            } else if (key.startsWith(QLatin1Char('^'))) {
                const bool redo = key == QLatin1String("^Z");
                QTest::keyClick(keyboard, Qt::Key_Z, redo ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
                ASSERT_LT(read, c.reads.size());
                const Read& expected = c.reads[read++];
                SCOPED_TRACE(read);
                EXPECT_EQ(row->label(), expected.label);
                EXPECT_EQ(row->expression(), expected.expression);
                EXPECT_EQ(row->result(), expected.result);
                // No link is left behind that the expression does not use.
                EXPECT_EQ(row->incomingLinks().size(), expected.expression.count(QLatin1Char('{')));
            } else {
                QTest::keyClicks(keyboard, key);
            }
        }
        EXPECT_EQ(read, c.reads.size());
    }
}

namespace {

// One key event per character, carrying it as its text.
void typeOn(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        const int code = c.isLetter() ? c.toUpper().unicode() : c.unicode();
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(code), QString(c), {});
    }
}

QStringList printedParts(const PrintPage& page, int row)
{
    QStringList parts;
    for (const PrintItem& item : page.items) {
        if (item.role == PrintItem::Role::expressionPart && item.row == row)
            parts << item.text;
    }
    return parts;
}

} // namespace

// Rows typed onto the canvas and their sum, printed: the sum row shows every
// term, or ends in "…" where the page cuts it; no term goes missing unmarked,
// whatever the labels beside it.
TEST_F(SumKeywordTest, ThePrintedSumShowsEveryTermOrMarksItsCut)
{
    CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    const QStringList lines{"Miete 1200", "Strom 85,50", "Einkauf 4 x 95,50", "Internet 39,99 €",
                            "Versicherung 1.000,50 / 12", "Summenausgleich 5", "Summe"};
    const CanvasPtr canvas = makeCanvas();
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        typeOn(&view, lines[i]);
        if (i + 1 < lines.size())
            QTest::keyClick(&view, Qt::Key_Return);
    }
    QTest::keyClick(&view, Qt::Key_Escape);
    QStringList shown;
    for (const BlockPtr& row : view.sortedBlocks())
        shown << row->label() + u'|' + view.resultText(row);
    ASSERT_EQ(shown, (QStringList{"Miete|1200", "Strom|85,5", "Einkauf|382", "Internet|39,99 €", "Versicherung|83,38",
                                  "Summenausgleich|5", "Summe|1795,86 €"}));

    const QStringList whole{"1200", "+", "85,5", "+", "382", "+", "39,99 €", "+", "83,38", "+", "5"};
    for (const double width : {2000.0, 595.0, 420.0}) {
        PrintLayoutParameters parameters;
        parameters.width = width;
        const PrintPage page = CanvasPrintView(*canvas, parameters).body();
        const QStringList parts = printedParts(page, 6);
        SCOPED_TRACE(parts.join(u'|').toStdString() + " on a page " + std::to_string(width) + " wide");
        ASSERT_FALSE(parts.isEmpty());
        if (width == 2000.0) {
            EXPECT_EQ(parts, whole);
            continue;
        }
        ASSERT_LT(parts.size(), whole.size() + 1);
        EXPECT_TRUE(parts.last().endsWith(QStringLiteral("…")));
        EXPECT_EQ(parts.mid(0, parts.size() - 1), whole.mid(0, parts.size() - 1));

        // The PDF holds the same: read back, the sum's line ends its
        // expression with "…" before the total.
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("sum.pdf")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(CanvasPrintPainter::pdfData(page, canvas->name()).value_or(QByteArray()));
        file.close();
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (tool.isEmpty())
            continue;
        QProcess process;
        process.start(tool, {QStringLiteral("-layout"), file.fileName(), QStringLiteral("-")});
        process.waitForFinished(30000);
        const QString text = QString::fromUtf8(process.readAllStandardOutput());
        QString sumLine;
        for (const QString& line : text.split(u'\n')) {
            if (line.contains(QStringLiteral("1795,86")))
                sumLine = line;
        }
        EXPECT_TRUE(sumLine.contains(QStringLiteral("…"))) << text.toStdString();
    }
}
