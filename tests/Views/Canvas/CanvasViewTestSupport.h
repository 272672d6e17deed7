#pragma once

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Platform/Defaults.h"
#include "Views/Canvas/CanvasView.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

// In-memory canvases and rows for editor tests.
inline CanvasPtr makeCanvas(const QString& name = QStringLiteral("Budget"))
{
    return Canvas::create(name, 0, 0, 1);
}

inline BlockPtr addRow(const CanvasPtr& canvas, const QString& label, const QString& expression, double y,
                       const QString& color = QStringLiteral("#00D4FF"))
{
    BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), label, 20, y, 200, 56, color);
    row->setCanvas(canvas);
    canvas->appendBlock(row);
    return row;
}

inline LinkPtr linkRows(const CanvasPtr& canvas, const BlockPtr& source, const BlockPtr& destination,
                        const QString& name)
{
    LinkPtr link = Link::create(source, destination, name, source->colorHex());
    link->setCanvas(canvas);
    canvas->appendLink(link);
    return link;
}

// Preferences the editor reads, restored after each test.
class EditorPreferences {
public:
    EditorPreferences()
    {
        for (const char* key : {"canvasLightMode", "sumKeyword", "editorMode"})
            Defaults::standard().remove(QString::fromLatin1(key));
    }
    ~EditorPreferences()
    {
        for (const char* key : {"canvasLightMode", "sumKeyword", "editorMode"})
            Defaults::standard().remove(QString::fromLatin1(key));
    }
};

// A shown editor of a given size.
struct ShownEditor {
    explicit ShownEditor(const CanvasPtr& canvas, QUndoStack* undoStack = nullptr, QSize size = {900, 600})
        : view(canvas, nullptr, undoStack)
    {
        view.resize(size);
        view.show();
        (void)QTest::qWaitForWindowExposed(&view);
        QApplication::processEvents();
    }
    // Centre of a column of a row, in table coordinates.
    QPoint at(const QRectF& rect) const { return rect.center().toPoint(); }
    CanvasView view;
};

// A canvas of rows "Row 0", "Row 1", … valued 1, 2, … in the palette's colours.
inline CanvasPtr manyRows(int count)
{
    CanvasPtr canvas = makeCanvas();
    for (int i = 0; i < count; ++i)
        addRow(canvas, QStringLiteral("Row %1").arg(i), QString::number(i + 1), 20 + i * 56.0,
               CanvasView::blockColors().at(i % 8));
    return canvas;
}

// A left-button mouse event sent straight to a widget (press, move or release).
inline void send(QWidget* target, QEvent::Type type, QPointF point, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, point, target->mapToGlobal(point), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A menu item by its text, searched through submenus too.
inline QAction* findAction(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
        if (action->menu()) {
            if (QAction* inner = findAction(action->menu(), text))
                return inner;
        }
    }
    return nullptr;
}
