#include "Views/Settings/SettingsButton.h"

#include "Views/Window/PointerHover.h"
#include "Views/Settings/SettingsSymbols.h"

#include <QPainter>

SettingsButton::SettingsButton(QWidget* parent)
    : QAbstractButton(parent)
    , m_hover(new PointerHover(this))
{
    setObjectName(QStringLiteral("SettingsButton"));
    setToolTip(QStringLiteral("Settings"));
    setAccessibleName(QStringLiteral("Settings"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setIcon(settingsSymbolIcon(QStringLiteral("gearshape"), QColor(235, 235, 245, 153), 16));
    setIconSize(QSize(16, 16));
}

bool SettingsButton::isHovered() const
{
    return m_hover->isHovered();
}

QSize SettingsButton::sizeHint() const
{
    return symbolButtonSizeHint(*this);
}

void SettingsButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintSymbolButton(p, *this, isHovered());
}
