#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <functional>
#include <optional>

class Defaults;
class QTimer;
class QWindow;

// Whether the toolbar and the library sidebar should show, decided from
// where the pointer is and when it was there. Kept free of windows and
// timers so every boundary can be tested with plain numbers.
class HoverDecider {
public:
    struct Switches {
        bool autoHideToolbar = true;
        bool autoShowSidebar = true;
    };

    // Band at the top of the window frame that shows the toolbar.
    static constexpr double toolbarZoneHeight = 50.0;
    // Band at the left edge that shows the sidebar.
    static constexpr double sidebarZoneWidth = 10.0;
    // The sidebar hides once the pointer is this far right.
    static constexpr double sidebarHideThreshold = 250.0;
    static constexpr qint64 hideDelayMs = 500;

    // x from the window's left edge, fromTop from the top of its frame.
    // topBand widens the top band where the window's own chrome (menu bar
    // and a shown toolbar) reaches further down than the band.
    void pointerMoved(double x, double fromTop, Switches switches, qint64 nowMs,
                      double topBand = toolbarZoneHeight);
    // Carries out the hides that are due by now.
    void advance(qint64 nowMs);
    // Re-applies the switches after they changed.
    void refreshSettings(Switches switches);
    // While held nothing hides (what the pointer works in would move with
    // the toolbar or the sidebar); holding drops the hides already pending.
    // Showing still works.
    void setHeld(bool held);

    bool showToolbar() const { return m_showToolbar; }
    bool showSidebar() const { return m_showSidebar; }
    void setShowToolbar(bool show) { m_showToolbar = show; }
    bool toolbarHidePending() const { return m_toolbarHideAt.has_value(); }
    bool sidebarHidePending() const { return m_sidebarHideAt.has_value(); }
    // The earliest pending hide, if any.
    std::optional<qint64> nextDeadline() const;

private:
    bool m_showToolbar = false;
    bool m_showSidebar = false;
    bool m_held = false;
    std::optional<qint64> m_toolbarHideAt;
    std::optional<qint64> m_sidebarHideAt;
};

// Watches the pointer in the application's windows and publishes whether the
// main window's toolbar and sidebar should show. Reads its two switches from
// the defaults database at every move, so a change in the settings counts at
// once. Its pending hides die with it.
class HoverMonitor : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>;

    // Watches the whole application's windows (an application event filter).
    explicit HoverMonitor(Defaults& defaults, QObject* parent = nullptr);
    // Without an event filter, on the given clock (tests drive it).
    HoverMonitor(Defaults& defaults, Clock clock, QObject* parent = nullptr);
    ~HoverMonitor() override;

    bool showToolbar() const { return m_decider.showToolbar(); }
    bool showSidebar() const { return m_decider.showSidebar(); }
    bool autoHideToolbar() const;
    bool autoShowSidebar() const;

    void refreshSettings();
    // A pointer position in window coordinates of the frame (title bar
    // included where the window system reports it).
    void handlePointer(double x, double fromTop, double topBand = HoverDecider::toolbarZoneHeight);
    // How far down from the frame's top a window's chrome reaches; the top
    // band never ends above it, so a shown toolbar does not hide under the
    // pointer that went to use it.
    void setChromeHeight(std::function<double(const QWindow*)> chromeHeight) { m_chromeHeight = std::move(chromeHeight); }
    // Which windows' pointer moves count; all of the application's when unset.
    void setWatchedWindows(std::function<bool(const QWindow*)> watched) { m_watched = std::move(watched); }
    // Asked at every decision: while it says so, nothing hides.
    void setHold(std::function<bool()> held) { m_hold = std::move(held); }
    // Decides again from where the pointer stands in window now, as if it had
    // moved there; nothing when it is outside the window.
    void recheck(QWindow* window);
    // Runs the hides that are due by the clock's time (the timer calls it).
    void fireDueHides();

    const HoverDecider& decider() const { return m_decider; }

Q_SIGNALS:
    void showToolbarChanged(bool show);
    void showSidebarChanged(bool show);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    HoverDecider::Switches switches() const;
    void publish(bool toolbarBefore, bool sidebarBefore);
    // Lets step move the decider, then publishes what changed and re-arms
    // the timer for the next due hide.
    void decide(const std::function<void()>& step);
    void scheduleTimer();
    void handleWindowPointer(QWindow* window, QPointF position);

    Defaults& m_defaults;
    Clock m_clock;
    HoverDecider m_decider;
    QTimer* m_timer;
    std::function<double(const QWindow*)> m_chromeHeight;
    std::function<bool(const QWindow*)> m_watched;
    std::function<bool()> m_hold;
};
