#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Models/Identifiers.h"
#include "Models/ModelContext.h"
#include "Views/Canvas/TextFieldBridges.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QUndoStack>
#include <gtest/gtest.h>

namespace {

class CanvasViewTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::setSource({}); }
    void TearDown() override { Clock::setSource({}); }
    EditorPreferences preferences;
};

} // namespace

TEST_F(CanvasViewTest, TypingIntoARowEvaluatesAtEveryKeystroke)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr first = addRow(canvas, QStringLiteral("Miete"), QString(), 20);
    const BlockPtr second = addRow(canvas, QStringLiteral("Strom"), QStringLiteral("60"), 76);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;

    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(0)));
    ASSERT_EQ(view.focusedBlockID(), first->id());
    EXPECT_EQ(view.selectedBlockID(), first->id());
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    ASSERT_TRUE(field->isVisible());
    ASSERT_TRUE(field->hasFocus());

    QTest::keyClicks(field, QStringLiteral("8"));
    EXPECT_EQ(view.resultText(first), QStringLiteral("8"));
    const int counter = view.evaluationCounter();
    QTest::keyClicks(field, QStringLiteral("50+120,5"));
    EXPECT_EQ(first->expression(), QStringLiteral("850+120,5"));
    EXPECT_EQ(view.resultText(first), QStringLiteral("970,5"));
    EXPECT_EQ(view.evaluationCounter(), counter + 8);
    EXPECT_EQ(view.resultText(second), QStringLiteral("60"));

    // A refresh never overwrites what is being typed nor moves the caret.
    field->setCursorPosition(2);
    view.refresh();
    QApplication::processEvents();
    EXPECT_EQ(field->text(), QStringLiteral("850+120,5"));
    EXPECT_EQ(field->cursorPosition(), 2);

    // Return moves on to the next row's label and re-evaluates the row left.
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(view.focusedBlockID().has_value());
    EXPECT_EQ(view.focusedLabelBlockID(), second->id());
    EXPECT_EQ(view.selectedBlockID(), second->id());
    EXPECT_FALSE(first->isEditing());
    EXPECT_TRUE(view.labelEditor()->hasFocus());
}

TEST_F(CanvasViewTest, PickerStateFollowsATrailingHash)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QString(), QString(), 20);
    ShownEditor editor(canvas);
    QTest::mouseClick(editor.view.tableWidget(), Qt::LeftButton, {}, editor.at(editor.view.expressionRect(0)));
    QTest::keyClicks(editor.view.expressionEditor(), QStringLiteral("5+#"));
    EXPECT_TRUE(editor.view.showLinkAutocomplete());
    EXPECT_EQ(editor.view.linkAutocompleteBlockID(), row->id());
    QTest::keyClicks(editor.view.expressionEditor(), QStringLiteral("1"));
    EXPECT_FALSE(editor.view.showLinkAutocomplete());
}

TEST_F(CanvasViewTest, LabelsAreWrittenPerKeystrokeAndWidenTheColumn)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QString(), QStringLiteral("1"), 20);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    EXPECT_EQ(view.labelRect(0).width(), 120);
    const QDateTime modified = canvas->modifiedAt();

    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(0)));
    ASSERT_EQ(view.focusedLabelBlockID(), row->id());
    EXPECT_EQ(view.selectedBlockID(), row->id());
    QTest::keyClicks(view.labelEditor(), QStringLiteral("Nebenkosten"));
    EXPECT_EQ(row->label(), QStringLiteral("Nebenkosten"));
    EXPECT_EQ(view.labelRect(0).width(), 11 * 12 + 24);
    EXPECT_EQ(view.expressionRect(0).left(), 16 + 156 + 12);
    EXPECT_EQ(canvas->modifiedAt(), modified); // typing is no structural edit

    // Tab goes to the row's own expression, without leaving the editor.
    QTest::keyClick(view.labelEditor(), Qt::Key_Tab);
    EXPECT_EQ(view.focusedBlockID(), row->id());
    EXPECT_TRUE(row->isEditing());
    EXPECT_TRUE(view.expressionEditor()->hasFocus());
}

TEST_F(CanvasViewTest, ClickingBelowTheTableAddsARow)
{
    const CanvasPtr canvas = makeCanvas();
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    // Only the header and the tappable area.
    EXPECT_EQ(view.tappableAreaRect().top(), view.rowsTop());
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.tappableAreaRect()));
    ASSERT_EQ(canvas->blocks().size(), 1);
    const BlockPtr first = canvas->blocks().first();
    EXPECT_EQ(QPointF(first->positionX(), first->positionY()), QPointF(20, 20));
    EXPECT_EQ(QSizeF(first->width(), first->height()), QSizeF(200, 56));
    EXPECT_EQ(first->colorHex(), QStringLiteral("#00D4FF"));
    EXPECT_TRUE(first->isSelected());
    EXPECT_TRUE(first->isEditing());
    EXPECT_EQ(view.selectedBlockID(), first->id());

    QApplication::processEvents();
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.tappableAreaRect()));
    ASSERT_EQ(canvas->blocks().size(), 2);
    const BlockPtr second = canvas->blocks().last();
    EXPECT_EQ(second->positionY(), 76);
    EXPECT_EQ(second->colorHex(), QStringLiteral("#FF6B9D"));
    EXPECT_FALSE(first->isSelected());
    EXPECT_FALSE(first->isEditing());
    EXPECT_EQ(view.sortedBlocks().last(), second);

    // Far below the rows too (the table reaches down the whole window), and
    // with a field open: what is typed next goes into the new row, never on
    // into the row left.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(1)));
    QTest::keyClicks(view.labelEditor(), QStringLiteral("Miete"));
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {},
                      QPoint(450, int(view.rowRect(1).bottom()) + 230));
    ASSERT_EQ(canvas->blocks().size(), 3);
    const BlockPtr third = view.sortedBlocks().last();
    EXPECT_EQ(view.selectedBlockID(), third->id());
    EXPECT_FALSE(view.labelEditor()->isVisible());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Versicherung 19% von 300"));
    EXPECT_EQ(second->label(), QStringLiteral("Miete"));
    EXPECT_EQ(second->expression(), QString());
    EXPECT_EQ(third->label(), QStringLiteral("Versicherung"));
    EXPECT_EQ(third->expression(), QStringLiteral("19% von 300"));
}

TEST_F(CanvasViewTest, RowsAreShownInPositionOrder)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr low = addRow(canvas, QStringLiteral("low"), QStringLiteral("1"), 300);
    const BlockPtr high = addRow(canvas, QStringLiteral("high"), QStringLiteral("2"), 10);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    EXPECT_EQ(view.indexOfBlock(high->id()), 0);
    EXPECT_EQ(view.indexOfBlock(low->id()), 1);
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(0)));
    EXPECT_EQ(view.focusedLabelBlockID(), high->id());

    low->setPositionY(0);
    view.refresh();
    EXPECT_EQ(view.indexOfBlock(low->id()), 0);
    // The open field follows its row to the new place.
    EXPECT_NEAR(view.labelEditor()->geometry().center().y(), view.labelRect(1).center().y(), 1.0);
}

TEST_F(CanvasViewTest, AppearingClearsFlagsAndEvaluatesOnce)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QString(), QStringLiteral("2*21"), 20);
    row->setIsSelected(true);
    row->setIsEditing(true);
    row->setIsLabelEditing(true);
    CanvasView view(canvas, nullptr, nullptr);
    EXPECT_FALSE(row->result().has_value());
    EXPECT_EQ(view.evaluationCounter(), 0);
    view.show();
    (void)QTest::qWaitForWindowExposed(&view);
    EXPECT_FALSE(row->isSelected() || row->isEditing() || row->isLabelEditing());
    EXPECT_EQ(row->result(), 42.0);
    EXPECT_EQ(view.evaluationCounter(), 1);
    EXPECT_FALSE(view.selectedBlockID().has_value());
    view.hide();
    view.show();
    EXPECT_EQ(view.evaluationCounter(), 1);
}

TEST_F(CanvasViewTest, TitleColourMenuAndFallbacks)
{
    const CanvasPtr canvas = makeCanvas();
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    QColor dim(Qt::white);
    dim.setAlphaF(0.9);
    EXPECT_EQ(view.titleField()->titleColor(), dim);

    std::unique_ptr<QMenu> menu(view.createTitleColorMenu(nullptr));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("Title Color"));
    EXPECT_EQ(menu->actions().first()->menu()->actions().size(), 10); // 8 colours, divider, Default
    const QDateTime before = QDateTime::fromSecsSinceEpoch(1000);
    canvas->setModifiedAt(before);
    findAction(menu.get(), QStringLiteral("Red"))->trigger();
    EXPECT_EQ(canvas->titleColorHex(), QStringLiteral("#FF5252"));
    EXPECT_EQ(view.titleField()->titleColor(), QColor(0xFF, 0x52, 0x52));
    EXPECT_GT(canvas->modifiedAt(), before);

    canvas->setTitleColorHex(QStringLiteral("not hex"));
    view.refresh();
    EXPECT_EQ(view.titleField()->titleColor(), dim);
    findAction(menu.get(), QStringLiteral("Default"))->trigger();
    EXPECT_FALSE(canvas->titleColorHex().has_value());

    Defaults::standard().setValue(QStringLiteral("canvasLightMode"), true);
    QColor dark(Qt::black);
    dark.setAlphaF(0.9);
    EXPECT_EQ(view.titleField()->titleColor(), dark);
    // A title colour on the white canvas is drawn darker, as the rows are.
    findAction(menu.get(), QStringLiteral("Yellow"))->trigger();
    EXPECT_EQ(canvas->titleColorHex(), QStringLiteral("#FFFF00"));
    EXPECT_EQ(view.titleField()->titleColor(), CanvasView::lightCanvasColor(QColor(0xFF, 0xFF, 0x00)));
}

TEST_F(CanvasViewTest, TitleEditsRenameAndAreNotOverwritten)
{
    const CanvasPtr canvas = makeCanvas(QStringLiteral("Budget"));
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    ClickableTextField* field = view.titleField()->field();
    EXPECT_EQ(field->text(), QStringLiteral("Budget"));
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_TRUE(view.isEditingCanvasTitle());
    EXPECT_TRUE(field->hasFocus());
    field->end(false);
    QTest::keyClicks(field, QStringLiteral(" 2025"));
    EXPECT_EQ(canvas->name(), QStringLiteral("Budget 2025"));

    // A rename from elsewhere waits until editing has ended.
    canvas->setName(QStringLiteral("Elsewhere"));
    view.refresh();
    EXPECT_EQ(field->text(), QStringLiteral("Budget 2025"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(view.isEditingCanvasTitle());
    view.refresh();
    EXPECT_EQ(field->text(), QStringLiteral("Elsewhere"));
}

TEST_F(CanvasViewTest, ReturnInTheTitleEndsItsEditOnlyAndTheCanvasTypesOn)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QStringLiteral("a"), QStringLiteral("1"), 20);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    view.setSelectedBlockID(row->id());
    ClickableTextField* field = view.titleField()->field();
    QTest::mouseClick(field, Qt::LeftButton);
    field->end(false);
    QTest::keyClicks(field, QStringLiteral("!"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(view.isEditingCanvasTitle());
    EXPECT_EQ(canvas->name(), QStringLiteral("Budget!"));
    // The Return was the title's alone: no line was added for it.
    EXPECT_EQ(canvas->blocks().size(), 1);

    // The keyboard is the canvas's again: digits go to the selected row.
    ASSERT_EQ(QApplication::focusWidget(), &view);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_5);
    EXPECT_EQ(row->expression(), QStringLiteral("15"));
}

TEST_F(CanvasViewTest, RowMenuColoursOnlyThatRowAndDisablesEnds)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr a = addRow(canvas, QStringLiteral("a"), QStringLiteral("1"), 20);
    const BlockPtr b = addRow(canvas, QStringLiteral("b"), QStringLiteral("2"), 76);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    view.setSelectedBlockID(a->id());

    std::unique_ptr<QMenu> firstMenu(view.createRowContextMenu(a, 0, 2, nullptr));
    EXPECT_FALSE(findAction(firstMenu.get(), QStringLiteral("Move Up"))->isEnabled());
    EXPECT_TRUE(findAction(firstMenu.get(), QStringLiteral("Move Down"))->isEnabled());
    std::unique_ptr<QMenu> onlyMenu(view.createRowContextMenu(a, 0, 1, nullptr));
    EXPECT_FALSE(findAction(onlyMenu.get(), QStringLiteral("Move Up"))->isEnabled());
    EXPECT_FALSE(findAction(onlyMenu.get(), QStringLiteral("Move Down"))->isEnabled());

    std::unique_ptr<QMenu> menu(view.createRowContextMenu(b, 1, 2, nullptr));
    EXPECT_FALSE(findAction(menu.get(), QStringLiteral("Move Down"))->isEnabled());
    const QDateTime before = QDateTime::fromSecsSinceEpoch(1000);
    canvas->setModifiedAt(before);
    findAction(menu.get(), QStringLiteral("Pink"))->trigger();
    EXPECT_EQ(b->colorHex(), QStringLiteral("#FF6B9D"));
    EXPECT_EQ(a->colorHex(), QStringLiteral("#00D4FF"));
    EXPECT_EQ(view.selectedBlockID(), a->id());
    EXPECT_GT(canvas->modifiedAt(), before);
}

TEST_F(CanvasViewTest, RowColourActionFollowsTheSelection)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr a = addRow(canvas, QStringLiteral("a"), QStringLiteral("1"), 20);
    const BlockPtr b = addRow(canvas, QStringLiteral("b"), QStringLiteral("2"), 76);
    const BlockPtr c = addRow(canvas, QStringLiteral("c"), QStringLiteral("3"), 132);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    QAction* action = view.rowColorAction();
    EXPECT_FALSE(action->isVisible());
    EXPECT_EQ(action->toolTip(), QStringLiteral("Row color"));

    // A single selected row: coloured, the canvas not touched.
    view.setSelectedBlockID(a->id());
    EXPECT_TRUE(action->isVisible());
    const QDateTime before = QDateTime::fromSecsSinceEpoch(1000);
    canvas->setModifiedAt(before);
    findAction(action->menu(), QStringLiteral("Green"))->trigger();
    EXPECT_EQ(a->colorHex(), QStringLiteral("#00FF88"));
    EXPECT_EQ(canvas->modifiedAt(), before);

    // Command-click builds a multi-selection, which takes precedence.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, Qt::ControlModifier, editor.at(view.resultRect(2)));
    EXPECT_EQ(view.selectedBlockIDs(), (QSet<QUuid>{a->id(), c->id()}));
    EXPECT_EQ(view.selectedBlockID(), c->id());
    findAction(action->menu(), QStringLiteral("Yellow"))->trigger();
    EXPECT_EQ(a->colorHex(), QStringLiteral("#FFFF00"));
    EXPECT_EQ(c->colorHex(), QStringLiteral("#FFFF00"));
    EXPECT_EQ(b->colorHex(), QStringLiteral("#00D4FF"));
    EXPECT_GT(canvas->modifiedAt(), before);

    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, Qt::ControlModifier, editor.at(view.resultRect(2)));
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, Qt::ControlModifier, editor.at(view.resultRect(0)));
    EXPECT_TRUE(view.selectedBlockIDs().isEmpty());
    EXPECT_FALSE(view.selectedBlockID().has_value());
    EXPECT_FALSE(action->isVisible());
}

TEST_F(CanvasViewTest, PlainClickOnResultDoesNothingOnTheHandleSelectsTheRow)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QStringLiteral("a"), QStringLiteral("1"), 20);
    ShownEditor editor(canvas);
    QTest::mouseClick(editor.view.tableWidget(), Qt::LeftButton, {}, editor.at(editor.view.resultRect(0)));
    EXPECT_FALSE(editor.view.selectedBlockID().has_value());
    QTest::mouseClick(editor.view.tableWidget(), Qt::LeftButton, {}, editor.at(editor.view.dragHandleRect(0)));
    EXPECT_EQ(editor.view.selectedBlockID(), row->id());
    EXPECT_FALSE(editor.view.focusedBlockID().has_value());
    EXPECT_EQ(canvas->blocks().size(), 1);
}

TEST_F(CanvasViewTest, TextPartColourMenu)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QString(), QStringLiteral("2 x 3 x 4"), 20);
    CanvasView view(canvas, nullptr, nullptr);
    std::unique_ptr<QMenu> menu(view.createTextPartMenu(row, QStringLiteral("x"), nullptr));
    EXPECT_EQ(findAction(menu.get(), QStringLiteral("Reset to Default")), nullptr);
    findAction(menu.get(), QStringLiteral("Orange"))->trigger();
    EXPECT_EQ(row->partColors().value(QStringLiteral("text:x")), QStringLiteral("#FFB800"));
    std::unique_ptr<QMenu> again(view.createTextPartMenu(row, QStringLiteral("x"), nullptr));
    findAction(again.get(), QStringLiteral("Reset to Default"))->trigger();
    EXPECT_FALSE(row->partColors().contains(QStringLiteral("text:x")));
    // Operators have no menu of their own: the row's menu opens.
    const IndexedExpressionParts parts = CanvasView::assignNumberIndicesToParts(CanvasView::parseExpressionParts(QStringLiteral("2 + 3")));
    EXPECT_EQ(view.createPartMenu(row, parts[1], nullptr), nullptr);
}

TEST_F(CanvasViewTest, AddingBlocksWithUndo)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr existing = addRow(canvas, QString(), QStringLiteral("1"), 20);
    existing->setHeight(50);
    QUndoStack stack;
    CanvasView view(canvas, nullptr, &stack);
    view.setSelectedBlockID(existing->id());
    existing->setIsLabelEditing(true);
    view.addNewBlock();
    ASSERT_EQ(canvas->blocks().size(), 2);
    const BlockPtr added = canvas->blocks().last();
    EXPECT_EQ(QPointF(added->positionX(), added->positionY()), QPointF(20, 90));
    EXPECT_EQ(QSizeF(added->width(), added->height()), QSizeF(250, 50));
    EXPECT_FALSE(existing->isLabelEditing());
    EXPECT_EQ(stack.undoText(), QStringLiteral("Add Block"));

    view.undo();
    EXPECT_EQ(canvas->blocks().size(), 1);
    EXPECT_EQ(stack.redoText(), QStringLiteral("Add Block")); // Redo brings the row back
    EXPECT_EQ(view.selectedBlockID(), added->id()); // stale, counts as no selection

    view.createNewBlockWithInput(QStringLiteral("6*7"));
    const BlockPtr typed = canvas->blocks().last();
    EXPECT_EQ(typed->result(), 42.0);
    EXPECT_EQ(QSizeF(typed->width(), typed->height()), QSizeF(150, 50));
    EXPECT_EQ(QPointF(typed->positionX(), typed->positionY()), QPointF(20, 90));
    EXPECT_EQ(typed->colorHex(), QStringLiteral("#FF6B9D"));
}

TEST_F(CanvasViewTest, UndoOfAnAdditionWhoseRowIsGoneChangesNothing)
{
    const CanvasPtr canvas = makeCanvas();
    QUndoStack stack;
    CanvasView view(canvas, nullptr, &stack);
    view.addNewBlock();
    const BlockPtr added = canvas->blocks().first();
    canvas->removeBlock(added);
    const QDateTime before = QDateTime::fromSecsSinceEpoch(1000);
    canvas->setModifiedAt(before);
    stack.undo();
    EXPECT_EQ(canvas->modifiedAt(), before);
}

TEST_F(CanvasViewTest, KeypadActionsOnTheSelectedRow)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QString(), QStringLiteral("12"), 20);
    CanvasView view(canvas, nullptr, nullptr);
    view.appendToSelectedBlock(QStringLiteral("3"), true); // no selection: a new row
    ASSERT_EQ(canvas->blocks().size(), 2);
    EXPECT_EQ(canvas->blocks().last()->expression(), QStringLiteral("3"));

    view.setSelectedBlockID(row->id());
    view.appendToSelectedBlock(QStringLiteral("+1"), false);
    EXPECT_EQ(row->result(), 13.0);
    EXPECT_TRUE(row->isEditing());
    view.deleteFromSelectedBlock();
    EXPECT_EQ(row->expression(), QStringLiteral("12+"));
    view.finishEditing();
    EXPECT_FALSE(row->isEditing());
}

TEST_F(CanvasViewTest, ChangesMadeElsewhereRedrawThroughTheStoreContext)
{
    ModelContext context;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QString(), QStringLiteral("1"), 20);
    context.insert(canvas);
    CanvasView view(canvas, &context, nullptr);
    view.resize(900, 600); // wide enough that no label is cut
    view.show();
    EXPECT_EQ(view.labelRect(0).width(), 120);
    row->setLabel(QString(20, QLatin1Char('a')));
    ASSERT_TRUE(waitUntil([&] { return view.labelRect(0).width() == 264; }, 2000));
}

// Undo and Redo reach the window's stack from the canvas; a focused field
// keeps the keys for its own text.
TEST_F(CanvasViewTest, UndoShortcutReachesTheStackOutsideFields)
{
    const CanvasPtr canvas = makeCanvas();
    addRow(canvas, QString(), QStringLiteral("1"), 20);
    QUndoStack stack;
    ShownEditor editor(canvas, &stack);
    CanvasView& view = editor.view;
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.addNewBlock();
    ASSERT_EQ(canvas->blocks().size(), 2);

    view.setFocusedBlockID(canvas->blocks().first()->id());
    QTest::keyClicks(view.expressionEditor(), QStringLiteral("2"));
    QTest::keyClick(view.expressionEditor(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 2);
    EXPECT_EQ(qobject_cast<QLineEdit*>(view.expressionEditor())->text(), QStringLiteral("1"));
    EXPECT_EQ(canvas->blocks().first()->expression(), QStringLiteral("1")); // the undo is written through
    EXPECT_EQ(canvas->blocks().first()->result(), 1.0);

    view.setFocus(Qt::OtherFocusReason);
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 1);
}
