#include "Views/Window/PointerHover.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPainter>

PointerHover::PointerHover(QWidget* widget)
    : QObject(widget)
    , m_widget(widget)
{
    widget->installEventFilter(this);
}

bool PointerHover::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        m_hovered = event->type() == QEvent::Enter;
        m_widget->update();
    }
    return QObject::eventFilter(watched, event);
}

QSize symbolButtonSizeHint(const QAbstractButton& button)
{
    return button.iconSize() + QSize(12, 12);
}

void paintSymbolButton(QPainter& p, const QAbstractButton& button, bool hovered, qreal iconOpacity)
{
    p.setRenderHint(QPainter::Antialiasing);
    if (hovered) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 26));
        p.drawRoundedRect(QRectF(button.rect()), 6, 6);
    }
    p.setOpacity(iconOpacity);
    const QSize icon = button.iconSize();
    const QRect target(QPoint((button.width() - icon.width()) / 2, (button.height() - icon.height()) / 2), icon);
    button.icon().paint(&p, target);
}
