#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

class RowNavigationTest : public ::testing::Test {
protected:
    EditorPreferences preferences;
};

} // namespace

TEST_F(RowNavigationTest, ReturnTabAndArrowsWalkTheTable)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr first = addRow(canvas, QStringLiteral("eins"), QStringLiteral("1"), 20);
    const BlockPtr second = addRow(canvas, QStringLiteral("zwei"), QStringLiteral("2"), 76);
    const BlockPtr third = addRow(canvas, QStringLiteral("drei"), QStringLiteral("3"), 132);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    QWidget* label = view.labelEditor();
    QWidget* expression = view.expressionEditor();

    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.labelRect(0)));
    ASSERT_EQ(view.focusedLabelBlockID(), first->id());

    // Up and Shift-Tab on the first row change nothing.
    QTest::keyClick(label, Qt::Key_Up);
    QTest::keyClick(label, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(view.focusedLabelBlockID(), first->id());
    EXPECT_FALSE(view.focusedBlockID().has_value());
    EXPECT_TRUE(label->hasFocus());

    // Tab: own expression, editing, same selection.
    QTest::keyClick(label, Qt::Key_Tab);
    EXPECT_EQ(view.focusedBlockID(), first->id());
    EXPECT_FALSE(view.focusedLabelBlockID().has_value());
    EXPECT_TRUE(first->isEditing());
    EXPECT_EQ(view.selectedBlockID(), first->id());
    EXPECT_TRUE(expression->hasFocus());

    // Return in the expression: next row's label; the row left stops editing.
    QTest::keyClick(expression, Qt::Key_Return);
    EXPECT_EQ(view.focusedLabelBlockID(), second->id());
    EXPECT_EQ(view.selectedBlockID(), second->id());
    EXPECT_FALSE(first->isEditing());
    EXPECT_TRUE(label->hasFocus());

    // Shift-Tab: the expression of the row above.
    QTest::keyClick(label, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(view.focusedBlockID(), first->id());
    EXPECT_EQ(view.selectedBlockID(), first->id());
    EXPECT_TRUE(first->isEditing());
    EXPECT_TRUE(expression->hasFocus());

    // Return in a label goes to its own expression.
    QTest::keyClick(expression, Qt::Key_Return);
    QTest::keyClick(label, Qt::Key_Return);
    EXPECT_EQ(view.focusedBlockID(), second->id());

    // The arrows walk the label column.
    QTest::keyClick(expression, Qt::Key_Return);
    EXPECT_EQ(view.focusedLabelBlockID(), third->id());
    QTest::keyClick(label, Qt::Key_Up);
    EXPECT_EQ(view.focusedLabelBlockID(), second->id());
    EXPECT_EQ(view.selectedBlockID(), second->id());
    QTest::keyClick(label, Qt::Key_Down);
    EXPECT_EQ(view.focusedLabelBlockID(), third->id());
    EXPECT_EQ(view.selectedBlockID(), third->id());
    EXPECT_EQ(canvas->blocks().size(), 3);

    // Down from the last label adds a row whose label takes focus shortly after.
    QTest::keyClick(label, Qt::Key_Down);
    ASSERT_EQ(canvas->blocks().size(), 4);
    const BlockPtr added = view.sortedBlocks().last();
    EXPECT_EQ(view.selectedBlockID(), added->id());
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.focusedLabelBlockID() == added->id(); }));
    EXPECT_TRUE(label->hasFocus());

    // Return in the last expression adds a row whose label takes the keys,
    // as after a middle row: label, Tab, amount make one row.
    QTest::keyClick(label, Qt::Key_Tab);
    QTest::keyClicks(expression, QStringLiteral("4"));
    QTest::keyClick(expression, Qt::Key_Return);
    ASSERT_EQ(canvas->blocks().size(), 5);
    const BlockPtr last = view.sortedBlocks().last();
    EXPECT_EQ(view.selectedBlockID(), last->id());
    EXPECT_FALSE(added->isEditing());
    EXPECT_EQ(added->result(), 4.0);
    EXPECT_EQ(view.focusedLabelBlockID(), last->id());
    EXPECT_TRUE(label->hasFocus());
    QTest::keyClicks(label, QStringLiteral("Puffer"));
    QTest::keyClick(label, Qt::Key_Tab);
    QTest::keyClicks(expression, QStringLiteral("50"));
    ASSERT_EQ(canvas->blocks().size(), 5);
    EXPECT_EQ(last->label(), QStringLiteral("Puffer"));
    EXPECT_EQ(last->expression(), QStringLiteral("50"));
    EXPECT_EQ(view.resultText(last), QStringLiteral("50"));
}

TEST_F(RowNavigationTest, RowsOffTheCanvasMoveNothing)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr only = addRow(canvas, QString(), QStringLiteral("1"), 20);
    const BlockPtr stranger = CalculationBlock::create(BlockType::calculation, QString(), QString(), QString(), 20,
                                                       76, 200, 56, QStringLiteral("#00D4FF"));
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    view.setFocusedLabelBlockID(only->id());

    view.moveToNextRow(stranger);
    view.moveToNextRowLabel(stranger);
    view.moveToPreviousRowLabel(stranger);
    view.moveToPreviousRowExpression(stranger);
    EXPECT_EQ(canvas->blocks().size(), 1);
    EXPECT_EQ(view.focusedLabelBlockID(), only->id());
    EXPECT_EQ(view.selectedBlockID(), only->id());
    EXPECT_FALSE(stranger->isEditing());
}
