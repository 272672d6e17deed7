// Key presses that reach the canvas rather than a field.

#include "Views/CanvasView.h"

#include <QKeyEvent>

bool CanvasView::handleKeyPress(QKeyEvent* event)
{
    // The canvas's keyboard commands arrive with the keyboard work; every key
    // is ignored until then and goes on to the window.
    qCInfo(canvasLogger) << "key" << Qt::Key(event->key()) << event->text() << "selected"
                         << (m_selectedBlockID ? m_selectedBlockID->toString() : QStringLiteral("none"))
                         << "labelEditing" << m_isEditingPartLabel;
    return false;
}
