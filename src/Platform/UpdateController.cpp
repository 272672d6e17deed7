#include "Platform/UpdateController.h"

#include <QCoreApplication>

UpdateController::UpdateController(QObject* parent)
    : QObject(parent)
{
    m_backend.start = [] {};
    m_backend.checkForUpdates = [this] { Q_EMIT messageRequested(packageManagerMessage()); };
}

UpdateController::UpdateController(Backend backend, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
}

void UpdateController::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_backend.start)
        m_backend.start();
}

void UpdateController::checkForUpdates()
{
    if (m_backend.checkForUpdates)
        m_backend.checkForUpdates();
}

QString UpdateController::packageManagerMessage()
{
    return QStringLiteral("Quillsheet %1 is installed.\n\nOn this system Quillsheet is updated by your "
                          "package manager together with your other software.")
        .arg(QCoreApplication::applicationVersion().isEmpty() ? QStringLiteral(QUILLSHEET_VERSION)
                                                              : QCoreApplication::applicationVersion());
}

UpdaterStartTask::UpdaterStartTask(UpdateController& controller, QObject* parent)
    : QObject(parent)
    , m_controller(controller)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_controller.start(); });
}

void UpdaterStartTask::contentShown()
{
    m_timer.start();
}

void UpdaterStartTask::contentGone()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    m_controller.start();
}
