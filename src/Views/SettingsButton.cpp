#include "Views/SettingsButton.h"

#include "Views/SettingsSymbols.h"

#include <QPainter>

SettingsButton::SettingsButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("SettingsButton"));
    setToolTip(QStringLiteral("Settings"));
    setAccessibleName(QStringLiteral("Settings"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setIcon(settingsSymbolIcon(QStringLiteral("gearshape"), QColor(235, 235, 245, 153), 16));
    setIconSize(QSize(16, 16));
}

QSize SettingsButton::sizeHint() const
{
    return iconSize() + QSize(12, 12);
}

void SettingsButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    m_hovered = true;
    update();
}

void SettingsButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    m_hovered = false;
    update();
}

void SettingsButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_hovered) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 26));
        p.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    const QRect target(QPoint((width() - iconSize().width()) / 2, (height() - iconSize().height()) / 2), iconSize());
    icon().paint(&p, target);
}
