#include "Views/Settings/SyncStatusButton.h"

#include "Platform/CloudService.h"
#include "Platform/Defaults.h"
#include "Views/Window/PointerHover.h"
#include "Views/Settings/SettingsSymbols.h"

#include <QPainter>
#include <QVariantAnimation>

SyncStatusButton::SyncStatusButton(QWidget* parent)
    : SyncStatusButton(Defaults::standard(), CloudService::shared(), SyncStatusMonitor::Timing{}, parent)
{
}

SyncStatusButton::SyncStatusButton(Defaults& defaults, CloudService& cloud, SyncStatusMonitor::Timing timing,
                                   QWidget* parent)
    : QAbstractButton(parent)
    , m_monitor(new SyncStatusMonitor(defaults, cloud, timing, this))
    , m_pulse(new QVariantAnimation(this))
    , m_hover(new PointerHover(this))
{
    setObjectName(QStringLiteral("SyncStatusButton"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setIconSize(QSize(16, 16));
    // The pulse of the syncing symbol: fades down and back while syncing lasts.
    m_pulse->setDuration(1000);
    m_pulse->setLoopCount(-1);
    m_pulse->setKeyValueAt(0.0, 1.0);
    m_pulse->setKeyValueAt(0.5, 0.35);
    m_pulse->setKeyValueAt(1.0, 1.0);
    connect(m_pulse, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_pulseOpacity = value.toReal();
        update();
    });
    connect(m_monitor, &SyncStatusMonitor::statusChanged, this, &SyncStatusButton::statusChanged);
    connect(this, &QAbstractButton::clicked, m_monitor, &SyncStatusMonitor::refresh);
    statusChanged();
}

SyncStatusMonitor::Presentation SyncStatusButton::presentation() const
{
    return SyncStatusMonitor::presentation(m_monitor->status());
}

QColor SyncStatusButton::tintColor(SyncStatusMonitor::Tint tint)
{
    switch (tint) {
    case SyncStatusMonitor::Tint::secondary:
        return QColor(235, 235, 245, 153);
    case SyncStatusMonitor::Tint::blue:
        return QColor(0x0a, 0x84, 0xff);
    case SyncStatusMonitor::Tint::green:
        return QColor(0x30, 0xd1, 0x58);
    case SyncStatusMonitor::Tint::orange:
        return QColor(0xff, 0x9f, 0x0a);
    case SyncStatusMonitor::Tint::red:
        return QColor(0xff, 0x45, 0x3a);
    }
    return {};
}

bool SyncStatusButton::isPulsing() const
{
    return m_pulse->state() == QAbstractAnimation::Running;
}

void SyncStatusButton::statusChanged()
{
    const SyncStatusMonitor::Presentation look = presentation();
    setIcon(settingsSymbolIcon(look.symbolName, tintColor(look.tint), iconSize().width()));
    setToolTip(m_monitor->status().description());
    setAccessibleName(m_monitor->status().description());
    if (look.pulses) {
        if (m_pulse->state() != QAbstractAnimation::Running)
            m_pulse->start();
    } else {
        m_pulse->stop();
        m_pulseOpacity = 1.0;
    }
    update();
}

bool SyncStatusButton::isHovered() const
{
    return m_hover->isHovered();
}

QSize SyncStatusButton::sizeHint() const
{
    return symbolButtonSizeHint(*this);
}

void SyncStatusButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintSymbolButton(p, *this, isHovered(), m_pulseOpacity);
}
