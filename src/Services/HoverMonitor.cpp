#include "Services/HoverMonitor.h"

#include "Platform/Defaults.h"

#include <QCoreApplication>
#include <algorithm>
#include <QCursor>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

namespace {

const QString autoHideToolbarKey = QStringLiteral("autoHideToolbar");
const QString autoShowSidebarKey = QStringLiteral("autoShowSidebar");

HoverMonitor::Clock monotonicClock()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

} // namespace

void HoverDecider::pointerMoved(double x, double fromTop, Switches switches, qint64 nowMs, double topBand)
{
    if (switches.autoHideToolbar) {
        if (fromTop < std::max(topBand, toolbarZoneHeight)) {
            m_toolbarHideAt.reset();
            m_showToolbar = true;
        } else if (m_showToolbar && !m_held) {
            // Every move outside the band pushes the hide back.
            m_toolbarHideAt = nowMs + hideDelayMs;
        }
    } else {
        m_toolbarHideAt.reset();
        m_showToolbar = true;
    }

    if (switches.autoShowSidebar) {
        if (x < sidebarZoneWidth) {
            m_sidebarHideAt.reset();
            m_showSidebar = true;
        } else if (m_showSidebar && !m_held && x > sidebarHideThreshold) {
            m_sidebarHideAt = nowMs + hideDelayMs;
        }
        // Between the two a pending hide stays pending.
    }
}

void HoverDecider::advance(qint64 nowMs)
{
    if (m_toolbarHideAt && *m_toolbarHideAt <= nowMs) {
        m_toolbarHideAt.reset();
        m_showToolbar = false;
    }
    if (m_sidebarHideAt && *m_sidebarHideAt <= nowMs) {
        m_sidebarHideAt.reset();
        m_showSidebar = false;
    }
}

void HoverDecider::refreshSettings(Switches switches)
{
    if (!switches.autoHideToolbar) {
        // A hide scheduled before the switch went off would only flicker.
        m_toolbarHideAt.reset();
        m_showToolbar = true;
    }
    if (!switches.autoShowSidebar) {
        m_sidebarHideAt.reset();
        m_showSidebar = false;
    }
}

void HoverDecider::setHeld(bool held)
{
    m_held = held;
    if (held) {
        m_toolbarHideAt.reset();
        m_sidebarHideAt.reset();
    }
}

std::optional<qint64> HoverDecider::nextDeadline() const
{
    if (m_toolbarHideAt && m_sidebarHideAt)
        return std::min(*m_toolbarHideAt, *m_sidebarHideAt);
    return m_toolbarHideAt ? m_toolbarHideAt : m_sidebarHideAt;
}

HoverMonitor::HoverMonitor(Defaults& defaults, QObject* parent)
    : HoverMonitor(defaults, monotonicClock(), parent)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

HoverMonitor::HoverMonitor(Defaults& defaults, Clock clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(std::move(clock))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &HoverMonitor::fireDueHides);
    if (!autoHideToolbar())
        m_decider.setShowToolbar(true);
}

HoverMonitor::~HoverMonitor()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool HoverMonitor::autoHideToolbar() const
{
    return m_defaults.boolValue(autoHideToolbarKey).value_or(true);
}

bool HoverMonitor::autoShowSidebar() const
{
    return m_defaults.boolValue(autoShowSidebarKey).value_or(true);
}

HoverDecider::Switches HoverMonitor::switches() const
{
    return {autoHideToolbar(), autoShowSidebar()};
}

void HoverMonitor::decide(const std::function<void()>& step)
{
    const bool toolbar = showToolbar();
    const bool sidebar = showSidebar();
    m_decider.setHeld(m_hold && m_hold());
    step();
    publish(toolbar, sidebar);
    scheduleTimer();
}

void HoverMonitor::refreshSettings()
{
    decide([this] { m_decider.refreshSettings(switches()); });
}

void HoverMonitor::handlePointer(double x, double fromTop, double topBand)
{
    decide([&] { m_decider.pointerMoved(x, fromTop, switches(), m_clock(), topBand); });
}

void HoverMonitor::fireDueHides()
{
    decide([this] { m_decider.advance(m_clock()); });
}

void HoverMonitor::publish(bool toolbarBefore, bool sidebarBefore)
{
    if (showToolbar() != toolbarBefore)
        Q_EMIT showToolbarChanged(showToolbar());
    if (showSidebar() != sidebarBefore)
        Q_EMIT showSidebarChanged(showSidebar());
}

void HoverMonitor::scheduleTimer()
{
    const std::optional<qint64> deadline = m_decider.nextDeadline();
    if (!deadline) {
        m_timer->stop();
        return;
    }
    m_timer->start(int(std::clamp<qint64>(*deadline - m_clock(), 0, HoverDecider::hideDelayMs)));
}

bool HoverMonitor::eventFilter(QObject* watched, QEvent* event)
{
    // Each pointer move reaches its top-level window once before the widgets
    // under it see copies of it: read it there only.
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseMove && type != QEvent::Enter && type != QEvent::Leave) || !watched->isWindowType())
        return false;
    auto* window = static_cast<QWindow*>(watched);
    // Menus and tooltips are windows too, but not the ones the bands are about.
    const Qt::WindowType kind = window->type();
    if (kind != Qt::Window && kind != Qt::Dialog)
        return false;
    if (m_watched && !m_watched(window))
        return false;

    QPointF position;
    if (type == QEvent::MouseMove)
        position = static_cast<QMouseEvent*>(event)->position();
    else if (type == QEvent::Enter)
        position = static_cast<QEnterEvent*>(event)->position();
    else
        position = window->mapFromGlobal(QCursor::pos());
    handleWindowPointer(window, position);
    return false;
}

void HoverMonitor::recheck(QWindow* window)
{
    const QPointF position = window->mapFromGlobal(QCursor::pos());
    if (window->isVisible() && QRectF(QPointF(0, 0), window->size()).contains(position))
        handleWindowPointer(window, position);
}

void HoverMonitor::handleWindowPointer(QWindow* window, QPointF position)
{
    // Where the window system reports no frame, the content's top counts.
    const QMargins frame = window->frameMargins();
    const double chrome = m_chromeHeight ? m_chromeHeight(window) : 0.0;
    handlePointer(position.x() + frame.left(), position.y() + frame.top(), frame.top() + chrome);
}
