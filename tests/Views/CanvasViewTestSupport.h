#pragma once

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Platform/Defaults.h"
#include "Views/CanvasView.h"

#include <QApplication>
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
