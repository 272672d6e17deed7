// The editor's row operations driven as a user drives them: keys on the
// canvas, clicks and drags on the table.

#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"
#include "Models/Identifiers.h"
#include "Models/ModelContext.h"
#include "Store/ObjectStore.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QUndoStack>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {


class RowOperationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clock::setSource({});
        CalcSettings::shared().setRowClipboard(std::nullopt);
        CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    }
    void TearDown() override
    {
        Clock::setSource({});
        CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    }

    // Selects a row the way a user does: click its expression, then Escape
    // hands the keyboard back to the canvas with the row still selected.
    static void selectRow(CanvasView& view, int index)
    {
        QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.expressionRect(index).center().toPoint());
        QTest::keyClick(view.expressionEditor(), Qt::Key_Escape);
        ASSERT_FALSE(view.focusedBlockID().has_value());
    }
    static void ctrlClickRow(CanvasView& view, int index)
    {
        QTest::mouseClick(view.tableWidget(), Qt::LeftButton, Qt::ControlModifier,
                          view.labelRect(index).center().toPoint());
    }
    // The rows in table order as "label|expression".
    static QStringList rows(const CanvasView& view)
    {
        QStringList list;
        for (const BlockPtr& row : view.sortedBlocks())
            list << row->label() + u'|' + row->expression();
        return list;
    }
    static QStringList labels(const CanvasView& view)
    {
        QStringList list;
        for (const BlockPtr& row : view.sortedBlocks())
            list << row->label();
        return list;
    }

    EditorPreferences preferences;
    QUndoStack undoStack;
};

CanvasPtr lettered(int count)
{
    CanvasPtr canvas = makeCanvas();
    for (int i = 0; i < count; ++i)
        addRow(canvas, QString(QChar(u'A' + i)), QString::number(i + 1), 20 + 56.0 * i);
    return canvas;
}

} // namespace

TEST_F(RowOperationsTest, DeletingARowAndUndoingBringsItBackWhole)
{
    ModelContext context;
    const CanvasPtr canvas = makeCanvas();
    context.insert(canvas);
    const BlockPtr net = addRow(canvas, QStringLiteral("Netto"), QStringLiteral("100+20"), 20, QStringLiteral("#FF6B9D"));
    net->setPartLabels({{QStringLiteral("n0"), QStringLiteral("Basis")}});
    net->setPartColors({{QStringLiteral("n1"), QStringLiteral("#00FF88")}});
    const BlockPtr gross = addRow(canvas, QStringLiteral("Brutto"), QStringLiteral("{A:#FF6B9D}×2"), 76);
    const BlockPtr other = addRow(canvas, QStringLiteral("Rest"), QStringLiteral("5"), 132);
    linkRows(canvas, net, gross, QStringLiteral("A"));
    const LinkPtr into = linkRows(canvas, other, net, QStringLiteral("R"));
    const QUuid netID = net->id();
    const QUuid linkID = net->outgoingLinks().first()->id();
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    ASSERT_EQ(view.resultText(gross), QStringLiteral("240"));

    selectRow(view, 0);
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(labels(view), (QStringList{QStringLiteral("Brutto"), QStringLiteral("Rest")}));
    EXPECT_TRUE(net->isDeleted());
    EXPECT_FALSE(gross->result().has_value());
    EXPECT_EQ(gross->errorMessage(), QStringLiteral("Missing value: its source row is gone"));
    EXPECT_TRUE(canvas->links().isEmpty());
    EXPECT_TRUE(other->outgoingLinks().isEmpty()) << "a link with no destination is not left behind";
    EXPECT_FALSE(view.selectedBlockID().has_value());
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Delete Block"));

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    const BlockPtr back = view.sortedBlocks().first();
    EXPECT_EQ(back->id(), netID);
    EXPECT_EQ(back->label(), QStringLiteral("Netto"));
    EXPECT_EQ(back->expression(), QStringLiteral("100+20"));
    EXPECT_EQ(back->colorHex(), QStringLiteral("#FF6B9D"));
    EXPECT_EQ(back->partLabels().value(QStringLiteral("n0")), QStringLiteral("Basis"));
    EXPECT_EQ(back->partColors().value(QStringLiteral("n1")), QStringLiteral("#00FF88"));
    EXPECT_EQ(back->context(), &context);
    ASSERT_EQ(back->outgoingLinks().size(), 1);
    EXPECT_EQ(back->outgoingLinks().first()->id(), linkID);
    EXPECT_EQ(back->outgoingLinks().first()->destinationBlock(), gross);
    ASSERT_EQ(back->incomingLinks().size(), 1);
    EXPECT_EQ(back->incomingLinks().first()->sourceBlock(), other);
    EXPECT_EQ(canvas->links().size(), 2);
    EXPECT_EQ(view.resultText(gross), QStringLiteral("240")) << "the dependent row resolves again";

    // Redo deletes the same row again, and undo brings it back once more.
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(labels(view), (QStringList{QStringLiteral("Brutto"), QStringLiteral("Rest")}));
    EXPECT_EQ(gross->errorMessage(), QStringLiteral("Missing value: its source row is gone"));
    EXPECT_TRUE(canvas->links().isEmpty());
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view.sortedBlocks().first()->id(), netID);
    EXPECT_EQ(view.sortedBlocks().first()->incomingLinks().size(), 1);
    EXPECT_EQ(view.resultText(gross), QStringLiteral("240"));
    Q_UNUSED(into)
}

TEST_F(RowOperationsTest, UndoLinksOnlyToRowsStillThereAndSkipsRowsGone)
{
    const CanvasPtr canvas = lettered(3);
    const BlockList rows = canvas->blocks();
    linkRows(canvas, rows[0], rows[1], QStringLiteral("A"));
    linkRows(canvas, rows[2], rows[0], QStringLiteral("C"));
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;

    selectRow(view, 0);
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    canvas->removeBlock(rows[1]); // gone by another way than this editor
    view.refresh();
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(labels(view), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    ASSERT_EQ(canvas->links().size(), 1);
    EXPECT_EQ(canvas->links().first()->sourceBlock(), rows[2]);
    EXPECT_TRUE(view.sortedBlocks().first()->outgoingLinks().isEmpty());

    // Undoing a paste whose rows were deleted meanwhile changes nothing else.
    selectRow(view, 1);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(canvas->blocks().size(), 3);
    canvas->removeBlock(canvas->blocks().last());
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(labels(view), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    EXPECT_EQ(undoStack.count(), 0);
}

TEST_F(RowOperationsTest, CtrlClickedRowsAreCutAndDeletedTogether)
{
    const CanvasPtr canvas = lettered(4);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    ctrlClickRow(view, 3);
    ctrlClickRow(view, 1);
    ASSERT_EQ(view.selectedBlockIDs().size(), 2);
    QTest::keyClick(&view, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(labels(view), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    ASSERT_TRUE(CalcSettings::shared().rowClipboard().has_value());
    const auto& copied = CalcSettings::shared().rowClipboard()->blocks;
    ASSERT_EQ(copied.size(), 2);
    EXPECT_EQ(copied[0].label, QStringLiteral("B")) << "the clipboard keeps table order";
    EXPECT_EQ(copied[1].relativeY, 112);
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Delete Blocks"));
    EXPECT_TRUE(view.selectedBlockIDs().isEmpty());

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(labels(view), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                                         QStringLiteral("D")}));
}

// What shows as selected is what the row commands act on.
TEST_F(RowOperationsTest, APlainClickEndsTheMultiSelection)
{
    const CanvasPtr canvas = lettered(4);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    auto selected = [&view] {
        QStringList shown;
        for (const BlockPtr& row : view.sortedBlocks())
            if (view.selectedBlockID() == row->id() || view.selectedBlockIDs().contains(row->id()))
                shown << row->label();
        return shown.join(QString());
    };

    ctrlClickRow(view, 0);
    ctrlClickRow(view, 1);
    selectRow(view, 2); // the label or expression of another row
    EXPECT_EQ(selected(), QStringLiteral("C"));
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("ABD"));

    // A click on the handle of a row of the group, without a drag.
    ctrlClickRow(view, 0);
    ctrlClickRow(view, 1);
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.dragHandleRect(1).center().toPoint());
    EXPECT_EQ(selected(), QStringLiteral("B"));
    EXPECT_TRUE(view.selectedBlockIDs().isEmpty());
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(CalcSettings::shared().rowClipboard()->blocks.size(), 1);

    // Ctrl-clicking the last chosen row again lets it go, highlight included.
    ctrlClickRow(view, 2);
    ctrlClickRow(view, 2);
    EXPECT_EQ(selected(), QStringLiteral("B"));

    // Escape on the canvas clears the whole selection.
    ctrlClickRow(view, 0);
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_EQ(selected(), QString());
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("ABD"));
}

TEST_F(RowOperationsTest, CopyAndPasteOfTwoLinkedRowsGivesANewLinkedPair)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr price = addRow(canvas, QStringLiteral("Preis"), QStringLiteral("10"), 20);
    const BlockPtr outside = addRow(canvas, QStringLiteral("Extern"), QStringLiteral("3"), 76);
    const BlockPtr total = addRow(canvas, QStringLiteral("Gesamt"), QStringLiteral("{A:#00D4FF}+{B:#00D4FF}"), 132);
    total->setPartLabels({{QStringLiteral("n0"), QStringLiteral("Stück")}});
    linkRows(canvas, price, total, QStringLiteral("A"));
    linkRows(canvas, outside, total, QStringLiteral("B"));
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    ASSERT_EQ(view.resultText(total), QStringLiteral("13"));

    ctrlClickRow(view, 2);
    ctrlClickRow(view, 0);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(CalcSettings::shared().rowClipboard()->links.size(), 1) << "only links among the copied rows";
    view.setSelectedBlockIDs({});
    view.setSelectedBlockID(std::nullopt);
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);

    ASSERT_EQ(canvas->blocks().size(), 5);
    const BlockList rows = view.sortedBlocks();
    const BlockPtr newPrice = rows[3];
    const BlockPtr newTotal = rows[4];
    EXPECT_EQ(newPrice->label(), QStringLiteral("Preis"));
    EXPECT_NE(newPrice->id(), price->id());
    EXPECT_EQ(newPrice->positionY(), 132 + 56);
    EXPECT_EQ(newTotal->positionY(), 132 + 56 + 112);
    EXPECT_EQ(newTotal->partLabels(), total->partLabels());
    ASSERT_EQ(newTotal->incomingLinks().size(), 1);
    const LinkPtr link = newTotal->incomingLinks().first();
    EXPECT_EQ(link->sourceBlock(), newPrice);
    EXPECT_EQ(link->placeholderName(), QStringLiteral("A"));
    EXPECT_EQ(link->colorHex(), QStringLiteral("#007AFF"));
    EXPECT_EQ(link->canvas(), canvas);
    // B came from a row left behind: the pasted row lacks that value.
    EXPECT_EQ(newTotal->errorMessage(), QStringLiteral("Missing value: its source row is gone"));
    EXPECT_EQ(view.selectedBlockIDs(), (QSet<QUuid>{newPrice->id(), newTotal->id()}));
    EXPECT_EQ(view.selectedBlockID(), newPrice->id());
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Paste Rows"));

    // The new pair is linked: a change to the new source reaches the new total.
    newTotal->setExpression(QStringLiteral("{A:#00D4FF}+1"));
    view.setSelectedBlockIDs({});
    view.setSelectedBlockID(newPrice->id());
    QTest::keyClick(&view, Qt::Key_0);
    EXPECT_EQ(newPrice->expression(), QStringLiteral("100"));
    EXPECT_EQ(newTotal->result(), 101);
    EXPECT_EQ(total->result(), 13) << "the original pair is untouched";

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 3);
    EXPECT_EQ(canvas->links().size(), 2);
    EXPECT_TRUE(price->outgoingLinks().size() == 1 && outside->outgoingLinks().size() == 1);
}

TEST_F(RowOperationsTest, EmptyOrStaleSelectionCopiesNothingAndPasteStillWorks)
{
    const CanvasPtr canvas = lettered(2);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 2);
    EXPECT_EQ(undoStack.count(), 0);

    selectRow(view, 1);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    view.setSelectedBlockID(QUuid::createUuid());
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier); // names no row: keeps the clipboard
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(canvas->blocks().size(), 3);
    EXPECT_EQ(view.sortedBlocks().last()->label(), QStringLiteral("B"));
    EXPECT_EQ(view.sortedBlocks().last()->positionY(), 76 + 56);
}

TEST_F(RowOperationsTest, AltArrowsMoveTheSelectionOnePlace)
{
    const CanvasPtr canvas = lettered(4);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    selectRow(view, 0);
    const QDateTime before = canvas->modifiedAt();
    QTest::keyClick(&view, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(canvas->modifiedAt(), before) << "the first row cannot move up";
    QTest::keyClick(&view, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("BACD"));
    QList<double> positions;
    for (const BlockPtr& row : view.sortedBlocks())
        positions << row->positionY();
    EXPECT_EQ(positions, (QList<double>{20, 76, 132, 188}));

    // Two selected rows move together; rows apart each move one place.
    view.setSelectedBlockID(std::nullopt);
    ctrlClickRow(view, 2);
    ctrlClickRow(view, 3);
    QTest::keyClick(&view, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("BCDA"));
    view.setSelectedBlockIDs({view.sortedBlocks()[1]->id(), view.sortedBlocks()[3]->id()});
    QTest::keyClick(&view, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("CBAD"));
    QTest::keyClick(&view, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("BCDA"));

    // The row menu selects its row alone first.
    const std::unique_ptr<QMenu> menu(view.createRowContextMenu(view.sortedBlocks()[3], 3, 4, nullptr));
    EXPECT_FALSE(menu->actions().at(1)->isEnabled()) << "Move Down on the last row";
    menu->actions().at(0)->trigger();
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("BCAD"));
    EXPECT_TRUE(view.selectedBlockIDs().isEmpty());
}

// Rows moved past the window's edge bring the scroll with them.
TEST_F(RowOperationsTest, MovedRowsStayInView)
{
    const CanvasPtr canvas = manyRows(30);
    ShownEditor editor(canvas, nullptr, QSize(900, 400));
    CanvasView& view = editor.view;
    QScrollBar* bar = view.scrollArea()->verticalScrollBar();
    auto visible = [&](const BlockPtr& row) {
        const QRectF rect = view.rowRect(view.indexOfBlock(row->id()));
        return rect.top() >= bar->value() && rect.bottom() <= bar->value() + view.scrollArea()->viewport()->height();
    };
    const BlockPtr moved = view.sortedBlocks().first();
    selectRow(view, 0);
    for (int i = 1; i <= 20; ++i) {
        QTest::keyClick(&view, Qt::Key_Down, Qt::AltModifier);
        QApplication::processEvents();
        ASSERT_EQ(view.indexOfBlock(moved->id()), i);
        ASSERT_TRUE(visible(moved)) << "after " << i << " moves down";
    }
    bar->setValue(bar->maximum());
    ASSERT_FALSE(visible(moved));
    const std::unique_ptr<QMenu> menu(view.createRowContextMenu(moved, 20, 30, nullptr));
    menu->actions().at(0)->trigger(); // Move Up
    QApplication::processEvents();
    EXPECT_EQ(view.indexOfBlock(moved->id()), 19);
    EXPECT_TRUE(visible(moved));
}

TEST_F(RowOperationsTest, DraggingARowByItsHandleDropsItAtTheMarkedSlot)
{
    const CanvasPtr canvas = lettered(4);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    QWidget* table = view.tableWidget();
    const double pitch = view.rowPitch();

    // B (row 1) dragged: its own slots 1 and 2 show no marker.
    const QPointF start = view.dragHandleRect(1).center();
    send(table, QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(table, QEvent::MouseMove, start + QPointF(0, 10), Qt::LeftButton);
    EXPECT_FALSE(view.dropTargetIndex().has_value());
    EXPECT_FALSE(view.dropIndicatorY().has_value());
    send(table, QEvent::MouseMove, start + QPointF(0, -pitch), Qt::LeftButton);
    ASSERT_EQ(view.dropTargetIndex(), 0);
    EXPECT_DOUBLE_EQ(*view.dropIndicatorY(), view.rowRect(0).top() - 1);
    // The marker eases to a new slot from where it stood.
    send(table, QEvent::MouseMove, start + QPointF(0, 2 * pitch), Qt::LeftButton);
    ASSERT_EQ(view.dropTargetIndex(), 3);
    EXPECT_DOUBLE_EQ(*view.dropIndicatorY(), view.rowRect(0).top() - 1);
    // Near the marker it stays put.
    const double lastY = view.lastDropY();
    send(table, QEvent::MouseMove, start + QPointF(0, 2 * pitch - 24), Qt::LeftButton);
    EXPECT_EQ(view.dropTargetIndex(), 3);
    EXPECT_EQ(view.lastDropY(), lastY);
    send(table, QEvent::MouseButtonRelease, start + QPointF(0, 2 * pitch), Qt::NoButton);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("ACBD"));
    EXPECT_FALSE(view.draggingBlockID().has_value());

    // A selection of A and B dropped below the last row goes there in order.
    view.setSelectedBlockIDs({view.sortedBlocks()[0]->id(), view.sortedBlocks()[2]->id()});
    const QPointF handle = view.dragHandleRect(2).center();
    send(table, QEvent::MouseButtonPress, handle, Qt::LeftButton);
    send(table, QEvent::MouseMove, handle + QPointF(0, 3 * pitch), Qt::LeftButton);
    EXPECT_EQ(view.dropTargetIndex(), 4);
    send(table, QEvent::MouseButtonRelease, handle + QPointF(0, 3 * pitch), Qt::NoButton);
    EXPECT_EQ(labels(view).join(QString()), QStringLiteral("CDAB"));
}

TEST_F(RowOperationsTest, TypingOnTheCanvasGoesToTheSelectedRow)
{
    const CanvasPtr canvas = lettered(1);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    const BlockPtr row = canvas->blocks().first();

    // Keys without text never make rows.
    for (Qt::Key key : {Qt::Key_F5, Qt::Key_Left, Qt::Key_Home, Qt::Key_Up, Qt::Key_PageDown, Qt::Key_Shift})
        QTest::keyClick(&view, key);
    EXPECT_EQ(canvas->blocks().size(), 1);

    selectRow(view, 0);
    QTest::keyClicks(&view, QStringLiteral("2,5*2-1%"));
    EXPECT_EQ(row->expression(), QStringLiteral("12,5*2-1%")); // stored as typed
    EXPECT_TRUE(row->isEditing());
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&view, Qt::Key_Backspace);
    EXPECT_EQ(row->expression(), QStringLiteral("12,5*2"));
    EXPECT_EQ(view.resultText(row), QStringLiteral("25"));

    QTest::keyClicks(&view, QStringLiteral(" Netto z"));
    EXPECT_EQ(row->label(), QStringLiteral("A"));
    EXPECT_EQ(row->expression(), QStringLiteral("12,5*2 Netto z"))
        << "letters and spaces go on into an expression that holds text";

    CalcSettings::shared().setDecimalStyle(DecimalStyle::usPeriod);
    view.setSelectedBlockID(std::nullopt);
    QTest::keyClicks(&view, QStringLiteral(","));
    ASSERT_EQ(canvas->blocks().size(), 2) << "typing with nothing selected starts a row";
    EXPECT_EQ(view.sortedBlocks().last()->expression(), QStringLiteral(","));

    QTest::keyClick(&view, Qt::Key_Equal);
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(view.selectedBlockID().has_value());
    EXPECT_FALSE(view.sortedBlocks().last()->isSelected());
}

// Escape leaves a label or expression field alike: the row stays selected
// and the canvas takes the keys again, Ctrl+Backspace included.
TEST_F(RowOperationsTest, EscapeInAFieldEndsEditingAndKeepsTheSelection)
{
    for (const bool labelField : {false, true}) {
        SCOPED_TRACE(labelField ? "label field" : "expression field");
        const CanvasPtr canvas = lettered(2);
        ShownEditor editor(canvas);
        CanvasView& view = editor.view;
        const BlockPtr row = view.sortedBlocks().first();
        Clock::setSource([] { return QDateTime(QDate(2030, 1, 1), QTime(12, 0)); });
        const QRectF cell = labelField ? view.labelRect(0) : view.expressionRect(0);
        QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, cell.center().toPoint());
        QWidget* field = labelField ? view.labelEditor() : view.expressionEditor();
        QTest::keyClick(field, Qt::Key_5);
        EXPECT_EQ(labelField ? row->label() : row->expression(), labelField ? QStringLiteral("A5") : QStringLiteral("15"))
            << "digits in a field are the field's";
        QTest::keyClick(field, Qt::Key_Escape);
        EXPECT_FALSE(view.focusedBlockID().has_value());
        EXPECT_FALSE(field->isVisible());
        EXPECT_EQ(view.selectedBlockID(), row->id());
        EXPECT_EQ(canvas->modifiedAt(), QDateTime(QDate(2030, 1, 1), QTime(12, 0)));
        EXPECT_TRUE(view.hasFocus());

        // Typing goes to the selected row, no longer to the field's cursor.
        QTest::keyClicks(&view, QStringLiteral("+1"));
        EXPECT_EQ(row->label(), labelField ? QStringLiteral("A5") : QStringLiteral("A"));
        EXPECT_TRUE(row->expression().endsWith(QStringLiteral("+1")));
        QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
        EXPECT_EQ(canvas->blocks().size(), 1);
        EXPECT_FALSE(canvas->blocks().contains(row));
    }
}

TEST_F(RowOperationsTest, ReturnAndTabInEditorModeAddRowsOnLines)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr selected = addRow(canvas, QStringLiteral("S"), QStringLiteral("1"), 120);
    const BlockPtr line3 = addRow(canvas, QStringLiteral("T"), QStringLiteral("2"), 170);
    const BlockPtr line4 = addRow(canvas, QStringLiteral("U"), QStringLiteral("3"), 220);
    line3->setPositionX(300);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;

    selectRow(view, 0);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(line3->positionY(), 220);
    EXPECT_EQ(line3->positionX(), 300);
    EXPECT_EQ(line4->positionY(), 270);
    const BlockPtr added = canvas->blocks().last();
    EXPECT_EQ(added->positionX(), 20);
    EXPECT_EQ(added->positionY(), 170);
    EXPECT_TRUE(added->isTextBlock());
    EXPECT_EQ(added->colorHex(), CanvasView::blockColors().at(3));
    EXPECT_TRUE(added->isEditing());
    EXPECT_EQ(view.selectedBlockID(), added->id());
    EXPECT_FALSE(selected->isSelected() || selected->isEditing());

    // Escape ends the new text row's editing and keeps it selected.
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(added->isEditing());
    EXPECT_EQ(view.selectedBlockID(), added->id());
    QTest::keyClick(&view, Qt::Key_Tab);
    ASSERT_EQ(canvas->blocks().size(), 5);
    const BlockPtr beside = canvas->blocks().last();
    EXPECT_EQ(beside->positionX(), 20 + 150 + 10);
    EXPECT_EQ(beside->positionY(), 170);

    // What is typed after Tab lands in the new row, which then calculates.
    QTest::keyClicks(&view, QStringLiteral("7*6"));
    EXPECT_EQ(beside->expression(), QStringLiteral("7*6"));
    EXPECT_FALSE(beside->isTextBlock());
    EXPECT_EQ(view.resultText(beside), QStringLiteral("42"));

    // Deleting a row closes up the rest of its line.
    view.setSelectedBlockID(added->id());
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(beside->positionX(), 20);
}

TEST_F(RowOperationsTest, ReturnOutsideEditorModeEndsTheSelection)
{
    Defaults::standard().setValue(QStringLiteral("editorMode"), false);
    const CanvasPtr canvas = lettered(2);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    selectRow(view, 0);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_FALSE(view.selectedBlockID().has_value());
    EXPECT_EQ(canvas->blocks().size(), 2);
    QTest::keyClick(&view, Qt::Key_Tab);
    EXPECT_EQ(canvas->blocks().size(), 3);
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Add Block"));
}

// Tab on a row with a result (outside editor mode) adds a row below it that
// takes that result through a link.
TEST_F(RowOperationsTest, TabOnARowWithAResultAddsALinkedRowBelow)
{
    Defaults::standard().setValue(QStringLiteral("editorMode"), false);
    const CanvasPtr canvas = lettered(2);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    const BlockPtr source = view.sortedBlocks().first();
    ASSERT_TRUE(source->result().has_value());
    selectRow(view, 0);
    QTest::keyClick(&view, Qt::Key_Tab);
    ASSERT_EQ(canvas->blocks().size(), 3);
    const BlockPtr linked = canvas->blocks().last();
    ASSERT_EQ(linked->incomingLinks().size(), 1);
    EXPECT_EQ(linked->incomingLinks().first()->sourceBlock(), source);
    EXPECT_GT(linked->positionY(), source->positionY());
    EXPECT_EQ(linked->result(), source->result());
}

// Undoing an added row that another row took a value from: the other row
// must not go on showing the vanished value.
TEST_F(RowOperationsTest, UndoingAnAddedRowRecalculatesItsDependants)
{
    const CanvasPtr canvas = lettered(1);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    const BlockPtr other = canvas->blocks().first();
    other->setExpression(QString());
    view.addNewBlock();
    const BlockPtr added = canvas->blocks().last();
    added->setExpression(QStringLiteral("5"));
    CalculatorEngine::shared().evaluateBlock(added);
    view.createLink(added, other);
    ASSERT_EQ(other->result(), 5.0);

    undoStack.undo();
    EXPECT_TRUE(added->isDeleted());
    EXPECT_FALSE(other->result().has_value());
    EXPECT_TRUE(other->hasError());
    EXPECT_TRUE(other->incomingLinks().isEmpty());
    EXPECT_TRUE(canvas->links().isEmpty());
}

// A multi-selection whose rows are all gone deletes nothing and leaves no
// empty step to undo.
TEST_F(RowOperationsTest, DeletingASelectionThatIsGoneRegistersNothing)
{
    const CanvasPtr canvas = lettered(2);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    const QDateTime modified = canvas->modifiedAt();
    view.setSelectedBlockIDs({QUuid::createUuid(), QUuid::createUuid()});
    view.deleteSelectedBlocks();
    EXPECT_EQ(undoStack.count(), 0);
    EXPECT_EQ(canvas->blocks().size(), 2);
    EXPECT_EQ(canvas->modifiedAt(), modified);
    EXPECT_TRUE(view.selectedBlockIDs().isEmpty());
}

// Undo and Redo of deleting, pasting and adding rows, driven by keys, with
// the store read back after each: nothing typed is written over or lost.
TEST_F(RowOperationsTest, UndoAndRedoOfRowStepsKeepWhatWasTyped)
{
    // Keys go to whatever has the keyboard. "#N" clicks the label of row N
    // (table order) and Escape leaves it selected on the canvas; "=N"
    // clicks its expression and selects the text, "&N" Ctrl-clicks it,
    // "~S>D" links row S into row D as a drag from its result does;
    // "^\b" is Ctrl+Backspace, "^c", "^x", "^v" copy, cut and paste rows, "^z" Ctrl+Z and "^Z" Ctrl+Shift+Z,
    // after each of which the rows ("label|expression|result", "-" for
    // none) and links ("name source>destination") are read.
    struct Read {
        QStringList rows;
        QStringList links;
    };
    struct Case {
        const char* name;
        QStringList start; // "label|expression", top to bottom
        QStringList startLinks;
        QStringList keys;
        QList<Read> reads;
        bool editorMode = true;
    };
    const QString two = QStringLiteral("|2|2");
    const QString five = QStringLiteral("|5|5");
    const QString ten = QStringLiteral("|10|10");
    const QString twenty = QStringLiteral("|20|20");
    const QString net = QStringLiteral("Netto|100|100");
    const QString gross = QStringLiteral("Brutto|{A:00D4FF}×2|200");
    const QString grossMissing = QStringLiteral("Brutto|{A:00D4FF}×2|-");
    const QString typedSum = QStringLiteral("Summe|100|100");
    const QList<Case> cases{
        {"a counted row deleted, then the sum typed over",
         {QStringLiteral("|2"), QStringLiteral("|5"), QStringLiteral("|")}, {},
         {"#2", "Summe", "\x1b", "#0", "^\b", "=1", "100", "\x1b", "^z", "^Z", "^z"},
         {{{two, five, typedSum}, {QStringLiteral("B 1>2")}},
          {{five, typedSum}, {QStringLiteral("B 0>1")}},
          {{two, five, typedSum}, {QStringLiteral("B 1>2")}}}},
        {"a pasted row typed into", {QStringLiteral("|10"), QStringLiteral("|20")}, {},
         {"#0", "^c", "#1", "^v", "=2", "15", "\x1b", "^z", "^Z", "^z", "^Z"},
         {{{ten, twenty}, {}},
          {{ten, twenty, QStringLiteral("|15|15")}, {}},
          {{ten, twenty}, {}},
          {{ten, twenty, QStringLiteral("|15|15")}, {}}}},
        {"another row typed into between undoing and redoing a paste",
         {QStringLiteral("|10"), QStringLiteral("|20")}, {},
         {"#0", "^c", "^v", "^z", "=1", "25", "\x1b", "^Z"},
         {{{ten, twenty}, {}},
          {{ten, ten, QStringLiteral("|25|25")}, {}}}},
        {"a deleted row typed into after its undo",
         {QStringLiteral("Netto|100"), QStringLiteral("Brutto|{A:00D4FF}×2")},
         {QStringLiteral("A 0>1")},
         {"#0", "^\b", "^z", "=0", "7", "\x1b", "^Z", "^z"},
         {{{net, gross}, {QStringLiteral("A 0>1")}},
          {{grossMissing}, {}},
          {{QStringLiteral("Netto|7|7"), QStringLiteral("Brutto|{A:00D4FF}×2|14")}, {QStringLiteral("A 0>1")}}}},
        {"the row using a deleted row typed over",
         {QStringLiteral("Netto|100"), QStringLiteral("Brutto|{A:00D4FF}×2")},
         {QStringLiteral("A 0>1")},
         {"#0", "^\b", "=0", "50", "\x1b", "^z", "^Z"},
         {{{net, QStringLiteral("Brutto|50|50")}, {}},
          {{QStringLiteral("Brutto|50|50")}, {}}}},
        {"two linked rows cut together",
         {QStringLiteral("A|10"), QStringLiteral("B|{A:00D4FF}+1"), QStringLiteral("C|{B:00D4FF}×2")},
         {QStringLiteral("A 0>1"), QStringLiteral("B 1>2")},
         {"&1", "&0", "^x", "^z", "^Z", "^z"},
         {{{QStringLiteral("A|10|10"), QStringLiteral("B|{A:00D4FF}+1|11"), QStringLiteral("C|{B:00D4FF}×2|22")},
           {QStringLiteral("A 0>1"), QStringLiteral("B 1>2")}},
          {{QStringLiteral("C|{B:00D4FF}×2|-")}, {}},
          {{QStringLiteral("A|10|10"), QStringLiteral("B|{A:00D4FF}+1|11"), QStringLiteral("C|{B:00D4FF}×2|22")},
           {QStringLiteral("A 0>1"), QStringLiteral("B 1>2")}}}},
        {"a link made since takes the deleted row's name",
         {QStringLiteral("Netto|100"), QStringLiteral("Brutto|{A:00D4FF}×2"), QStringLiteral("D|5")},
         {QStringLiteral("A 0>1")},
         {"#0", "^\b", "~1>0", "^z", "^Z", "^z"},
         {{{net, QStringLiteral("Brutto|{A:00D4FF}×2|10"), QStringLiteral("D|5|5")}, {QStringLiteral("A 2>1")}},
          {{QStringLiteral("Brutto|{A:00D4FF}×2|10"), QStringLiteral("D|5|5")}, {QStringLiteral("A 1>0")}},
          {{net, QStringLiteral("Brutto|{A:00D4FF}×2|10"), QStringLiteral("D|5|5")}, {QStringLiteral("A 2>1")}}}},
        {"a row labelled as a sum with its own expression",
         {QStringLiteral("|2"), QStringLiteral("Summe|7 + {A:00D4FF}")},
         {QStringLiteral("A 0>1")},
         {"#0", "^\b", "^z"},
         {{{two, QStringLiteral("Summe|7 + {A:00D4FF}|9")}, {QStringLiteral("A 0>1")}}}},
        {"Tab on a line", {QStringLiteral("|2")}, {},
         {"#0", "\t", "3", "\x1b", "^z", "^Z"},
         {{{two}, {}},
          {{two, QStringLiteral("|3|3")}, {}}}},
        {"Tab below a row with a result", {QStringLiteral("|2")}, {},
         {"#0", "\t", "+1", "\x1b", "^z", "^Z", "^z"},
         {{{two}, {}},
          {{two, QStringLiteral("|{A}+1|3")}, {QStringLiteral("A 0>1")}},
          {{two}, {}}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Defaults::standard().setValue(QStringLiteral("editorMode"), c.editorMode);
        QTemporaryDir folder;
        auto store = ObjectStore::open(folder.filePath(QStringLiteral("default.store")));
        ASSERT_TRUE(store);
        const CanvasPtr canvas = makeCanvas();
        store->context().insert(canvas);
        for (const QString& row : c.start)
            addRow(canvas, row.section(QLatin1Char('|'), 0, 0), row.section(QLatin1Char('|'), 1),
                   20 + 56.0 * canvas->blocks().size());
        for (const QString& link : c.startLinks) {
            const QStringList ends = link.section(QLatin1Char(' '), 1).split(QLatin1Char('>'));
            linkRows(canvas, canvas->blocks().at(ends[0].toInt()), canvas->blocks().at(ends[1].toInt()),
                     link.section(QLatin1Char(' '), 0, 0));
        }
        ASSERT_TRUE(store->save());
        QUndoStack history;
        CanvasView view(canvas, &store->context(), &history);
        view.resize(900, 600);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

        const auto rowText = [](const QString& label, const QString& expression, std::optional<double> result) {
            return label + QLatin1Char('|') + expression + QLatin1Char('|')
                + (result ? QString::number(*result) : QStringLiteral("-"));
        };
        const auto shown = [&] {
            Read read;
            const BlockList rows = view.sortedBlocks();
            for (const BlockPtr& row : rows)
                read.rows << rowText(row->label(), row->expression(), row->result());
            for (const LinkPtr& link : canvas->links())
                read.links << QStringLiteral("%1 %2>%3").arg(link->placeholderName())
                                  .arg(rows.indexOf(link->sourceBlock())).arg(rows.indexOf(link->destinationBlock()));
            read.links.sort();
            return read;
        };
        const auto stored = [&] {
            Read read;
            sqlite3* db = nullptr;
            sqlite3_open_v2(QFile::encodeName(store->path()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt* query = nullptr;
            QList<qint64> order;
            sqlite3_prepare_v2(db, "SELECT pk, label, expression, result FROM block WHERE canvas_pk IS NOT NULL "
                                   "ORDER BY position_y, canvas_order", -1, &query, nullptr);
            while (sqlite3_step(query) == SQLITE_ROW) {
                order << sqlite3_column_int64(query, 0);
                const auto text = [&](int column) {
                    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, column)));
                };
                std::optional<double> result;
                if (sqlite3_column_type(query, 3) != SQLITE_NULL)
                    result = sqlite3_column_double(query, 3);
                read.rows << rowText(text(1), text(2), result);
            }
            sqlite3_finalize(query);
            sqlite3_prepare_v2(db, "SELECT placeholder_name, source_pk, destination_pk FROM link", -1, &query, nullptr);
            while (sqlite3_step(query) == SQLITE_ROW)
                read.links << QStringLiteral("%1 %2>%3")
                                  .arg(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, 0))))
                                  .arg(order.indexOf(sqlite3_column_int64(query, 1)))
                                  .arg(order.indexOf(sqlite3_column_int64(query, 2)));
            sqlite3_finalize(query);
            sqlite3_close(db);
            read.links.sort();
            return read;
        };

        qsizetype reads = 0;
        for (const QString& key : c.keys) {
            QWidget* keyboard = QApplication::focusWidget() ? QApplication::focusWidget() : &view;
            if (key.startsWith(QLatin1Char('#')) || key.startsWith(QLatin1Char('='))) {
                const int index = key.mid(1).toInt();
                const bool label = key.startsWith(QLatin1Char('#'));
                QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {},
                                  (label ? view.labelRect(index) : view.expressionRect(index)).center().toPoint());
                QWidget* field = label ? view.labelEditor() : view.expressionEditor();
                if (label)
                    QTest::keyClick(field, Qt::Key_Escape);
                else
                    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            } else if (key.startsWith(QLatin1Char('~'))) {
                const QStringList ends = key.mid(1).split(QLatin1Char('>'));
                view.createLink(view.sortedBlocks().at(ends[0].toInt()), view.sortedBlocks().at(ends[1].toInt()));
            } else if (key.startsWith(QLatin1Char('&'))) {
                ctrlClickRow(view, key.mid(1).toInt());
            } else if (key == QLatin1String("^\b")) {
                QTest::keyClick(keyboard, Qt::Key_Backspace, Qt::ControlModifier);
            } else if (key == QLatin1String("^c") || key == QLatin1String("^v") || key == QLatin1String("^x")) {
                const Qt::Key letter = key == QLatin1String("^c") ? Qt::Key_C
                    : key == QLatin1String("^v")                  ? Qt::Key_V
                                                                  : Qt::Key_X;
                QTest::keyClick(keyboard, letter, Qt::ControlModifier);
            } else if (key == QLatin1String("\t") || key == QLatin1String("\x1b")) {
                QTest::keyClick(keyboard, key == QLatin1String("\t") ? Qt::Key_Tab : Qt::Key_Escape);
            } else if (key == QLatin1String("^z") || key == QLatin1String("^Z")) {
                const bool redo = key == QLatin1String("^Z");
                QTest::keyClick(keyboard, Qt::Key_Z,
                                redo ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
                QApplication::processEvents();
                ASSERT_LT(reads, c.reads.size());
                const Read& expected = c.reads[reads++];
                SCOPED_TRACE(reads);
                const Read onCanvas = shown();
                EXPECT_EQ(onCanvas.rows, expected.rows);
                EXPECT_EQ(onCanvas.links, expected.links);
                ASSERT_TRUE(store->save());
                const Read inStore = stored();
                EXPECT_EQ(inStore.rows, expected.rows);
                EXPECT_EQ(inStore.links, expected.links);
            } else {
                QTest::keyClicks(keyboard, key);
            }
        }
        EXPECT_EQ(reads, c.reads.size());
    }
}

// Rows added with Return and Tab stand below the row they came from, in the
// order typed, whatever positions the rows before them were given: also
// after the canvas was stored and read back.
TEST_F(RowOperationsTest, RowsAddedWithReturnAndTabStandBelowTheirRowAfterARestart)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("default.store"));
    {
        auto store = ObjectStore::open(path);
        ASSERT_TRUE(store);
        const CanvasPtr canvas = Canvas::create(QStringLiteral("Canvas 1"), 0, 0, 1);
        store->context().insert(canvas);
        ShownEditor editor(canvas);
        QTest::keyClicks(&editor.view, QStringLiteral("10"));
        QTest::keyClick(&editor.view, Qt::Key_Return);
        QTest::keyClicks(&editor.view, QStringLiteral("20"));
        QTest::keyClick(&editor.view, Qt::Key_Return);
        QTest::keyClick(&editor.view, Qt::Key_Escape);
        EXPECT_EQ(rows(editor.view), (QStringList{"|10", "|20", "|"}));
        ASSERT_TRUE(store->save());
    }
    for (int restart = 0; restart < 2; ++restart) {
        auto store = ObjectStore::open(path);
        ASSERT_TRUE(store);
        ASSERT_EQ(store->context().canvases().size(), 1);
        const CanvasPtr canvas = store->context().canvases().first();
        ShownEditor editor(canvas);
        CanvasView& view = editor.view;
        if (restart == 0) {
            // Below the last row: a table row, off the editor's lines.
            QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.tappableAreaRect().center().toPoint());
            QTest::keyClicks(&view, QStringLiteral("B1"));
            QTest::keyClick(&view, Qt::Key_Tab);
            QTest::keyClicks(&view, QStringLiteral("B2"));
            QTest::keyClick(&view, Qt::Key_Tab);
            QTest::keyClicks(&view, QStringLiteral("B3"));
            QTest::keyClick(&view, Qt::Key_Return);
            QTest::keyClicks(&view, QStringLiteral("B4"));
            QTest::keyClick(&view, Qt::Key_Escape);
        }
        EXPECT_EQ(rows(view), (QStringList{"|10", "|20", "|", "B1|", "B2|", "B3|", "B4|"})) << restart;
        ASSERT_TRUE(store->save());
    }
}

// Outside editor mode Tab looks for a free spot below the selected row; a
// spot level with it or above it is never taken, however the rows around it
// stand.
TEST_F(RowOperationsTest, TabOutsideEditorModeNeverPlacesTheNewRowAboveItsRow)
{
    Defaults::standard().setValue(QStringLiteral("editorMode"), false);
    const CanvasPtr canvas = makeCanvas();
    // Rows beside the last one and a tall wide one below: every spot near
    // the last row is taken but those a little above it.
    const BlockPtr last = addRow(canvas, QStringLiteral("Last"), QString(), 200);
    addRow(canvas, QStringLiteral("Right"), QString(), 200)->setPositionX(280);
    addRow(canvas, QStringLiteral("Left"), QString(), 200)->setPositionX(-240);
    const BlockPtr wide = addRow(canvas, QStringLiteral("Wide"), QStringLiteral("3"), 290);
    wide->setPositionX(-2000);
    wide->setWidth(4300);
    wide->setHeight(300);
    ShownEditor editor(canvas, &undoStack);
    CanvasView& view = editor.view;
    view.setSelectedBlockID(last->id());
    QTest::keyClick(&view, Qt::Key_Tab);
    QTest::keyClicks(&view, QStringLiteral("Next"));
    EXPECT_EQ(rows(view), (QStringList{"Last|", "Right|", "Left|", "Wide|3", "Next|"}));
}

// Rows that come back or are pasted stand by the rows around them in the
// table as it is then, whatever positions moves gave the rows since: on
// screen, in the store and after a restart. Five rows typed with Return,
// then keys: "#N" selects row N, "&N" Ctrl-clicks it, "!v" and "!^" are
// Alt+Down and Alt+Up, "^\b" Ctrl+Backspace, "^c", "^v", "^z", "^Z" Ctrl+C,
// Ctrl+V, Ctrl+Z and Ctrl+Shift+Z, "\r" Return, "\t" Tab, "\x1b" Escape,
// "?" reads the table; other text is typed.
TEST_F(RowOperationsTest, RowsComeBackAndArePastedByTheRowsAroundThem)
{
    struct Case {
        const char* name;
        QStringList keys;
        QList<QStringList> reads; // the last also after the restart
    };
    const QList<Case> cases{
        {"a deleted row after a move", {"#2", "^\b", "#0", "!v", "^z", "?", "#2", "\r", "Neu", "\x1b", "?"},
         {{"Berta", "Anton", "Cäsar", "Dora", "Emil"}, {"Berta", "Anton", "Cäsar", "Neu", "Dora", "Emil"}}},
        {"the first row deleted, the row after it moved", {"#0", "^\b", "#0", "!v", "^z", "?"},
         {{"Cäsar", "Anton", "Berta", "Dora", "Emil"}}},
        {"two deleted rows after a move", {"&1", "&2", "^\b", "#2", "!^", "^z", "?", "^Z", "^z", "?"},
         {{"Anton", "Emil", "Berta", "Cäsar", "Dora"}, {"Anton", "Emil", "Berta", "Cäsar", "Dora"}}},
        {"a row pasted below its own", {"#0", "^c", "^v", "?"},
         {{"Anton", "Anton", "Berta", "Cäsar", "Dora", "Emil"}}},
        {"two rows pasted, undone, moved past and redone",
         {"&0", "&2", "^c", "#1", "^v", "?", "^z", "#0", "!v", "^Z", "?", "\x1b", "^v", "?"},
         {{"Anton", "Berta", "Anton", "Cäsar", "Cäsar", "Dora", "Emil"},
          {"Berta", "Anton", "Anton", "Cäsar", "Cäsar", "Dora", "Emil"},
          {"Berta", "Anton", "Anton", "Cäsar", "Cäsar", "Dora", "Emil", "Anton", "Cäsar"}}},
        {"Tab and Return after a move", {"#0", "!v", "#0", "\t", "Tab", "\x1b", "#0", "\r", "Ret", "\x1b", "?"},
         {{"Berta", "Tab", "Ret", "Anton", "Cäsar", "Dora", "Emil"}}},
        {"a Tab row after the first row deleted and undone keeps its line",
         {"#0", "\t", "Tab", "\x1b", "#1", "^\b", "^z", "#0", "\r", "Ret", "\x1b", "?"},
         {{"Anton", "Tab", "Ret", "Berta", "Cäsar", "Dora", "Emil"}}},
        {"a Tab row undone, its row moved, redone", {"#1", "\t", "Tab", "\x1b", "^z", "#0", "!v", "^Z", "?"},
         {{"Berta", "Tab", "Anton", "Cäsar", "Dora", "Emil"}}},
    };
    // As a German keyboard delivers them: the character as the key's text.
    const auto type = [](QWidget* widget, const QString& text) {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(c.toUpper().unicode()), QString(c), {});
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("default.store"));
        const auto storedLabels = [&] {
            QStringList read;
            sqlite3* db = nullptr;
            sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt* query = nullptr;
            sqlite3_prepare_v2(db,
                               "SELECT label FROM block WHERE canvas_pk IS NOT NULL "
                               "ORDER BY position_y, canvas_order",
                               -1, &query, nullptr);
            while (sqlite3_step(query) == SQLITE_ROW)
                read << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
            sqlite3_finalize(query);
            sqlite3_close(db);
            return read;
        };
        {
            auto store = ObjectStore::open(path);
            ASSERT_TRUE(store);
            const CanvasPtr canvas = makeCanvas();
            store->context().insert(canvas);
            QUndoStack history;
            CanvasView view(canvas, &store->context(), &history);
            view.resize(900, 700);
            view.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
            type(&view, QStringLiteral("Anton"));
            for (const QString& name : {QStringLiteral("Berta"), QStringLiteral("Cäsar"), QStringLiteral("Dora"),
                                        QStringLiteral("Emil")}) {
                QTest::keyClick(&view, Qt::Key_Return);
                type(&view, name);
            }
            // The first Escape ends the editing of the text row, the second the selection.
            QTest::keyClick(&view, Qt::Key_Escape);
            QTest::keyClick(&view, Qt::Key_Escape);
            ASSERT_EQ(labels(view), (QStringList{"Anton", "Berta", "Cäsar", "Dora", "Emil"}));

            qsizetype reads = 0;
            for (const QString& key : c.keys) {
                QWidget* keyboard = QApplication::focusWidget() ? QApplication::focusWidget() : &view;
                if (key.size() > 1 && key.startsWith(QLatin1Char('#'))) {
                    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {},
                                      view.labelRect(key.mid(1).toInt()).center().toPoint());
                    QTest::keyClick(view.labelEditor(), Qt::Key_Escape);
                } else if (key.size() > 1 && key.startsWith(QLatin1Char('&'))) {
                    ctrlClickRow(view, key.mid(1).toInt());
                } else if (key == QLatin1String("!v") || key == QLatin1String("!^")) {
                    QTest::keyClick(keyboard, key == QLatin1String("!v") ? Qt::Key_Down : Qt::Key_Up, Qt::AltModifier);
                } else if (key == QLatin1String("^\b")) {
                    QTest::keyClick(keyboard, Qt::Key_Backspace, Qt::ControlModifier);
                } else if (key.size() == 2 && key.startsWith(QLatin1Char('^'))) {
                    const QChar letter = key.at(1);
                    const Qt::KeyboardModifiers modifiers =
                        letter.isUpper() ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier;
                    QTest::keyClick(keyboard, char(letter.toLower().toLatin1()), modifiers);
                } else if (key == QLatin1String("\r") || key == QLatin1String("\t") || key == QLatin1String("\x1b")) {
                    QTest::keyClick(keyboard, key == QLatin1String("\r") ? Qt::Key_Return
                                        : key == QLatin1String("\t") ? Qt::Key_Tab
                                                                     : Qt::Key_Escape);
                } else if (key == QLatin1String("?")) {
                    QApplication::processEvents();
                    ASSERT_LT(reads, c.reads.size());
                    SCOPED_TRACE(reads);
                    const QStringList& expected = c.reads[reads++];
                    EXPECT_EQ(labels(view), expected);
                    ASSERT_TRUE(store->save());
                    EXPECT_EQ(storedLabels(), expected);
                } else {
                    type(keyboard, key);
                }
            }
            EXPECT_EQ(reads, c.reads.size());
        }
        // Restarted: the same order from what was stored.
        auto store = ObjectStore::open(path);
        ASSERT_TRUE(store);
        ASSERT_EQ(store->context().canvases().size(), 1);
        EXPECT_EQ(labels(ShownEditor(store->context().canvases().first()).view), c.reads.last());
    }
}
