#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

// Slots come from the rows as laid out and scrolled, not from fixed offsets.
TEST(CanvasViewGestures, HandleDragReordersByRealGeometryAfterScrolling)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = manyRows(30);
    ShownEditor editor(canvas, nullptr, QSize(900, 400));
    CanvasView& view = editor.view;
    QScrollBar* bar = view.scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();

    const int index = 24;
    const BlockPtr dragged = view.sortedBlocks().at(index);
    QWidget* table = view.tableWidget();
    const QPointF start = view.dragHandleRect(index).center();
    send(table, QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(table, QEvent::MouseMove, start + QPointF(0, 4), Qt::LeftButton); // under the threshold
    EXPECT_FALSE(view.draggingBlockID().has_value());
    send(table, QEvent::MouseMove, start + QPointF(0, 2 * 56 + 10), Qt::LeftButton);
    EXPECT_EQ(view.draggingBlockID(), dragged->id());
    EXPECT_EQ(view.selectedBlockID(), dragged->id());
    EXPECT_EQ(view.dropTargetIndex(), index + 3);
    send(table, QEvent::MouseButtonRelease, start + QPointF(0, 2 * 56 + 10), Qt::NoButton);
    EXPECT_FALSE(view.draggingBlockID().has_value());
    EXPECT_FALSE(view.dropTargetIndex().has_value());
    EXPECT_EQ(view.sortedBlocks().indexOf(dragged), index + 2);
}

TEST(CanvasViewGestures, DraggingARowOfAMultiSelectionKeepsTheGroup)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = manyRows(4);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    const BlockList rows = view.sortedBlocks();
    view.setSelectedBlockIDs({rows[0]->id(), rows[1]->id()});
    const QPointF start = view.dragHandleRect(1).center();
    send(view.tableWidget(), QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(view.tableWidget(), QEvent::MouseMove, start + QPointF(0, 20), Qt::LeftButton);
    EXPECT_EQ(view.selectedBlockIDs().size(), 2);
    send(view.tableWidget(), QEvent::MouseButtonRelease, start + QPointF(0, 20), Qt::NoButton);
    EXPECT_FALSE(view.draggingBlockID().has_value());
}

TEST(CanvasViewGestures, LinkDragDrawsFromTheHandleAndEndsOnRelease)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = manyRows(3);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    const BlockPtr source = view.sortedBlocks().at(0);
    const QPointF start = view.linkHandleRect(0).center();
    send(view.tableWidget(), QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(view.tableWidget(), QEvent::MouseMove, start + QPointF(-3, 0), Qt::LeftButton);
    EXPECT_FALSE(view.temporaryLink().has_value());
    const QPointF target = view.expressionRect(2).center();
    send(view.tableWidget(), QEvent::MouseMove, target, Qt::LeftButton);
    ASSERT_TRUE(view.temporaryLink().has_value());
    EXPECT_EQ(view.temporaryLink()->sourceBlock, source);
    EXPECT_EQ(view.temporaryLink()->startPoint, start);
    EXPECT_EQ(view.temporaryLink()->currentPoint, target);
    send(view.tableWidget(), QEvent::MouseButtonRelease, target, Qt::NoButton);
    EXPECT_FALSE(view.temporaryLink().has_value());
}

// Focus that leaves for a menu or another window comes back to the same field.
TEST(CanvasViewFocus, FocusLostToAPopupOrWindowKeepsTheEditingState)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = manyRows(2);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    const BlockPtr row = view.sortedBlocks().at(0);
    view.setFocusedBlockID(row->id());
    QWidget* field = view.expressionEditor();
    ASSERT_TRUE(field->hasFocus());

    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(field, &popup);
    QFocusEvent window(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(field, &window);
    EXPECT_EQ(view.focusedBlockID(), row->id());
    EXPECT_TRUE(field->isVisible());

    // Focus taken by another field of the window ends the editing.
    QFocusEvent other(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(field, &other);
    EXPECT_FALSE(view.focusedBlockID().has_value());
    EXPECT_FALSE(field->isVisible());
}

namespace {
QStringList loggedKeys;
void collectKeys(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    if (QByteArray(context.category) == "com.quillsheet.CanvasView")
        loggedKeys << message;
}
} // namespace

TEST(CanvasViewKeys, ModifierPressesAreNeverDispatched)
{
    EditorPreferences preferences;
    QLoggingCategory::setFilterRules(QStringLiteral("com.quillsheet.CanvasView.info=true"));
    const CanvasPtr canvas = manyRows(1);
    ShownEditor editor(canvas);
    loggedKeys.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectKeys);
    for (Qt::Key key : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_CapsLock})
        QTest::keyClick(&editor.view, key);
    EXPECT_TRUE(loggedKeys.isEmpty());
    QTest::keyClick(&editor.view, Qt::Key_A);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    ASSERT_FALSE(loggedKeys.isEmpty());
    EXPECT_TRUE(loggedKeys.first().startsWith(QStringLiteral("🔑 handleKeyPress: char='a'")));
    EXPECT_EQ(loggedKeys.filter(QStringLiteral("handleKeyPress")).size(), 1);
}
