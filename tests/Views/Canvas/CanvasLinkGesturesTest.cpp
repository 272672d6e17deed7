#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

void drag(QWidget* table, QPointF from, QPointF to)
{
    send(table, QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(table, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(table, QEvent::MouseMove, to, Qt::LeftButton);
    send(table, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

// Right-clicks a point of the table and hands back the menu that opened.
QMenu* rightClick(CanvasView& view, QPointF point)
{
    QWidget* table = view.tableWidget();
    QContextMenuEvent event(QContextMenuEvent::Mouse, point.toPoint(), table->mapToGlobal(point.toPoint()));
    QApplication::sendEvent(table, &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QAction* actionNamed(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QStringList texts(QMenu* menu)
{
    QStringList list;
    for (QAction* action : menu->actions())
        list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

// A point on the first part of a row's expression.
QPointF firstPart(const CanvasView& view, int row)
{
    const QRectF rect = view.expressionRect(row);
    return QPointF(rect.left() + 4, rect.center().y());
}

} // namespace

TEST(CanvasLinkGestures, DraggingAResultOntoARowLinksThemAfterScrolling)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = manyRows(30);
    ShownEditor editor(canvas, nullptr, QSize(900, 400));
    CanvasView& view = editor.view;
    QScrollBar* bar = view.scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();

    const BlockList rows = view.sortedBlocks();
    const QPointF handle = view.linkHandleRect(24).center();
    QWidget* table = view.tableWidget();
    send(table, QEvent::MouseButtonPress, handle, Qt::LeftButton);
    send(table, QEvent::MouseMove, view.expressionRect(26).center(), Qt::LeftButton);
    ASSERT_TRUE(view.temporaryLink().has_value());
    EXPECT_EQ(view.temporaryLink()->startPoint, handle); // the line starts at the handle
    send(table, QEvent::MouseMove, view.expressionRect(27).center(), Qt::LeftButton);
    EXPECT_EQ(view.temporaryLink()->currentPoint, view.expressionRect(27).center());
    // The dashed line in the source's colour at 0.6 over the black canvas.
    const QPointF middle = (handle + view.expressionRect(27).center()) / 2;
    const QImage image = table->grab(QRectF(middle - QPointF(8, 8), QSizeF(16, 16)).toRect()).toImage();
    const QColor line = QColor(0x00, 0xD4, 0xFF); // row 24 is cyan
    bool found = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            found = found || (std::abs(pixel.green() - int(line.green() * 0.6)) < 25 && pixel.red() < 30
                              && std::abs(pixel.blue() - int(line.blue() * 0.6)) < 25);
        }
    EXPECT_TRUE(found);
    send(table, QEvent::MouseButtonRelease, view.expressionRect(27).center(), Qt::NoButton);

    EXPECT_FALSE(view.temporaryLink().has_value());
    EXPECT_EQ(rows[27]->expression(), QStringLiteral("28 + {A:") + rows[24]->colorHex() + QLatin1Char('}'));
    EXPECT_EQ(view.resultText(rows[27]), QStringLiteral("53"));
    EXPECT_TRUE(rows[26]->incomingLinks().isEmpty());

    // Dropped back on its own row: nothing.
    drag(table, view.linkHandleRect(24).center(), view.expressionRect(24).center());
    EXPECT_EQ(canvas->links().size(), 1);
    EXPECT_EQ(canvas->blocks().size(), 30);
}

TEST(CanvasLinkGestures, DraggingAResultBelowAllRowsMakesALinkedRow)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = manyRows(3);
    canvas->blocks()[1]->setExpression(QStringLiteral("4,5 $"));
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    const BlockPtr source = view.sortedBlocks()[1];

    drag(view.tableWidget(), view.linkHandleRect(1).center(), view.tappableAreaRect().center());
    ASSERT_EQ(canvas->blocks().size(), 4);
    const BlockPtr added = view.sortedBlocks().last();
    EXPECT_EQ(added->positionY(), 188);
    EXPECT_EQ(added->expression(), QStringLiteral("{A:#FF6B9D}"));
    EXPECT_EQ(view.resultText(added), QStringLiteral("4,5 $"));
    EXPECT_EQ(view.selectedBlockID(), added->id());
    EXPECT_TRUE(source->outgoingLinks().value(0) && source->outgoingLinks()[0]->destinationBlock() == added);
}

// The number's own menu: add a label inline, then edit it from the label.
TEST(CanvasLinkGestures, ANumbersMenuAddsALabelTypedInline)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr rent = addRow(canvas, QStringLiteral("Miete"), QStringLiteral("850 + 120"), 20);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;

    QMenu* menu = rightClick(view, firstPart(view, 0));
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(menu), (QStringList{QStringLiteral("Add Label"), QStringLiteral("-"), QStringLiteral("Color")}));
    // A menu closes before its action runs.
    QAction* add = actionNamed(menu, QStringLiteral("Add Label"));
    menu->close();
    add->trigger();
    QApplication::processEvents();

    auto* field = qobject_cast<QLineEdit*>(view.numberLabelEditor());
    ASSERT_TRUE(field);
    EXPECT_TRUE(field->isVisible());
    EXPECT_EQ(view.window()->focusWidget(), field); // the closed menu hands focus back to it
    view.activateWindow();
    QApplication::processEvents();
    EXPECT_TRUE(view.isEditingPartLabel());
    EXPECT_LT(field->geometry().bottom(), view.expressionRect(0).center().y()); // above the number
    QTest::keyClicks(field, QStringLiteral("  kalt "));
    EXPECT_EQ(view.editingLabelText(), QStringLiteral("  kalt "));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(rent->partLabels().value(QStringLiteral("n0")), QStringLiteral("kalt"));
    EXPECT_FALSE(view.isEditingPartLabel());
    EXPECT_FALSE(field->isVisible());
    EXPECT_EQ(rent->expression(), QStringLiteral("850 + 120")); // decoration only

    // A click on the label opens it again; Escape keeps it as it was.
    const QRectF number = view.expressionRect(0);
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {},
                      QPoint(int(number.left() + 16), int(number.center().y() - 22)));
    ASSERT_TRUE(field->isVisible());
    EXPECT_EQ(field->text(), QStringLiteral("kalt"));
    EXPECT_FALSE(view.focusedBlockID().has_value());
    QTest::keyClicks(field, QStringLiteral("xyz"));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(field->isVisible());
    EXPECT_EQ(rent->getPartLabel(0, QStringLiteral("850")), QStringLiteral("kalt"));

    // Now the menu offers editing and removing.
    menu = rightClick(view, firstPart(view, 0));
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(menu), (QStringList{QStringLiteral("Edit Label"), QStringLiteral("Remove Label"), QStringLiteral("-"),
                                        QStringLiteral("Color")}));
    menu->close();
}

TEST(CanvasLinkGestures, ALinkedValuesMenuNamesItsSourceAndDeletesTheLink)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr source = addRow(canvas, QString(), QStringLiteral("7"), 20);
    const BlockPtr labelled = addRow(canvas, QStringLiteral("Netto"), QStringLiteral("3"), 76);
    const BlockPtr row = addRow(canvas, QString(), QStringLiteral("{A:#00D4FF} + {B:#00D4FF}"), 132);
    const BlockPtr missing = addRow(canvas, QString(), QStringLiteral("{Gone}"), 188);
    linkRows(canvas, source, row, QStringLiteral("A"));
    linkRows(canvas, labelled, row, QStringLiteral("B"));
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    EXPECT_EQ(view.resultText(row), QStringLiteral("10"));

    QMenu* menu = rightClick(view, firstPart(view, 2));
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(menu), (QStringList{QStringLiteral("Linked from: Row 1"), QStringLiteral("-"),
                                        QStringLiteral("Delete Link")}));
    EXPECT_FALSE(menu->actions().first()->isEnabled());
    QAction* remove = actionNamed(menu, QStringLiteral("Delete Link"));
    menu->close();
    remove->trigger();
    EXPECT_EQ(row->expression(), QStringLiteral(" + {B:#00D4FF}"));
    EXPECT_EQ(canvas->links().size(), 1);
    EXPECT_EQ(view.resultText(row), QStringLiteral("3"));

    std::unique_ptr<QMenu> named(view.createLinkedValueMenu(row, QStringLiteral("B"), nullptr));
    ASSERT_TRUE(named);
    EXPECT_EQ(named->actions().first()->text(), QStringLiteral("Linked from: Netto"));

    // The grey "?" has no menu of its own: the row's menu opens.
    menu = rightClick(view, firstPart(view, 3));
    ASSERT_TRUE(menu);
    EXPECT_TRUE(actionNamed(menu, QStringLiteral("Delete Row")));
    menu->close();
    Q_UNUSED(missing)
}

TEST(CanvasLinkGestures, AResultDroppedOnANewLineIsCalculatedThere)
{
    EditorPreferences preferences;
    CanvasPtr canvas = manyRows(1);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    // Return on the canvas in editor mode adds a text row on a new line.
    view.setSelectedBlockID(canvas->blocks().first()->id());
    QTest::keyClick(&view, Qt::Key_Return);
    const BlockPtr line = canvas->blocks().last();
    ASSERT_TRUE(line->isTextBlock());
    ASSERT_EQ(view.indexOfBlock(line->id()), 1);

    drag(view.tableWidget(), view.linkHandleRect(0).center(), view.expressionRect(1).center());
    EXPECT_EQ(line->expression(), QStringLiteral("{A:#00D4FF}"));
    EXPECT_EQ(line->result(), 1.0);
    EXPECT_EQ(view.resultText(line), QStringLiteral("1"));
}
