#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// The software-update controller. On Linux updates come from the package
// manager, so the standard controller schedules nothing and answers the
// update command with a message saying so; tests give it a backend that counts.
class UpdateController : public QObject {
    Q_OBJECT
public:
    struct Backend {
        std::function<void()> start;
        std::function<void()> checkForUpdates;
    };

    // Created unstarted, as the first step of start-up.
    explicit UpdateController(QObject* parent = nullptr);
    explicit UpdateController(Backend backend, QObject* parent = nullptr);

    // Starts the scheduled checks once; later calls do nothing.
    void start();
    bool isStarted() const { return m_started; }
    void checkForUpdates();

    // What the update command tells the user on this system.
    static QString packageManagerMessage();

Q_SIGNALS:
    // The standard controller asks the window to show this text.
    void messageRequested(const QString& text);

private:
    Backend m_backend;
    bool m_started = false;
};

// Starts the update controller a while after the main window's content is
// shown, or at once when the content goes away before that.
class UpdaterStartTask : public QObject {
    Q_OBJECT
public:
    static constexpr int delayMilliseconds = 3000;

    explicit UpdaterStartTask(UpdateController& controller, QObject* parent = nullptr);

    void contentShown();
    void contentGone();
    bool isWaiting() const { return m_timer.isActive(); }
    int delay() const { return m_timer.interval(); }

private:
    UpdateController& m_controller;
    QTimer m_timer;
};
