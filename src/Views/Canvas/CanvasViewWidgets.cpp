#include "Views/Canvas/CanvasViewWidgets.h"

#include "Views/Canvas/CanvasView.h"

#include <QHelpEvent>
#include <limits>
#include <QKeyEvent>
#include <QPainter>
#include <QPaintEvent>

CanvasTableSurface::CanvasTableSurface(CanvasView* view, QWidget* parent)
    : QWidget(parent)
    , m_view(view)
{
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

bool CanvasTableSurface::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        m_view->tableToolTip(static_cast<QHelpEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void CanvasTableSurface::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    m_view->paintTable(painter, event->rect());
}

void CanvasTableSurface::mousePressEvent(QMouseEvent* event)
{
    m_view->tableMousePress(event);
}

void CanvasTableSurface::mouseMoveEvent(QMouseEvent* event)
{
    m_view->tableMouseMove(event);
}

void CanvasTableSurface::mouseReleaseEvent(QMouseEvent* event)
{
    m_view->tableMouseRelease(event);
}

void CanvasTableSurface::contextMenuEvent(QContextMenuEvent* event)
{
    m_view->tableContextMenu(event);
}

void CanvasTableSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_view->m_header)
        m_view->m_header->setGeometry(0, int(CanvasView::tableTopPadding), width(), m_view->m_header->height());
    m_view->placeEditors();
}

RowTextField::RowTextField(QWidget* parent)
    : QLineEdit(parent)
{
    setFrame(false);
    // A line edit keeps 32,767 characters by default: a longer imported
    // expression or label would lose the rest at the first keystroke.
    setMaxLength(std::numeric_limits<int>::max());
    setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, Qt::transparent);
    setPalette(colors);
}

bool RowTextField::event(QEvent* event)
{
    // Tab and Backtab are taken here, before focus traversal sees them.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && onKey && onKey(key)) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void RowTextField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab && onKey && onKey(event)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void RowTextField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (onFocusOut)
        onFocusOut(event->reason());
}
