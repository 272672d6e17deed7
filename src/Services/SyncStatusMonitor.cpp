#include "Services/SyncStatusMonitor.h"

#include "Platform/Defaults.h"

#include <QPointer>
#include <QTimer>

const QString SyncStatusMonitor::localOnlyMessage = QStringLiteral("iCloud nicht verfügbar – nur lokal gespeichert");
const QString SyncStatusMonitor::restrictedMessage = QStringLiteral("iCloud eingeschränkt");
const QString SyncStatusMonitor::noAccountMessage = QStringLiteral("Kein iCloud-Konto angemeldet");

QString SyncStatusMonitor::SyncStatus::description() const
{
    switch (kind) {
    case Kind::error:
        return QStringLiteral("Error: ") + message;
    case Kind::idle:
        return QStringLiteral("Ready");
    case Kind::syncing:
        return QStringLiteral("Syncing...");
    case Kind::synced:
        return QStringLiteral("Synced");
    case Kind::disabled:
        return QStringLiteral("iCloud Sync Disabled");
    case Kind::offline:
        return QStringLiteral("Offline");
    }
    return {};
}

SyncStatusMonitor::Presentation SyncStatusMonitor::presentation(const SyncStatus& status)
{
    using Kind = SyncStatus::Kind;
    switch (status.kind) {
    case Kind::idle:
        return {QStringLiteral("cloud"), Tint::secondary, false};
    case Kind::syncing:
        return {QStringLiteral("arrow.triangle.2.circlepath.icloud"), Tint::blue, true};
    case Kind::synced:
        return {QStringLiteral("checkmark.icloud"), Tint::green, false};
    case Kind::disabled:
        return {QStringLiteral("icloud.slash"), Tint::secondary, false};
    case Kind::offline:
        return {QStringLiteral("xmark.icloud"), Tint::orange, false};
    case Kind::error:
        return {QStringLiteral("exclamationmark.icloud"), Tint::red, false};
    }
    return {};
}

SyncStatusMonitor::SyncStatus SyncStatusMonitor::statusForAccountAnswer(CloudService::AccountAnswer answer)
{
    if (!answer)
        return SyncStatus::offline();
    switch (*answer) {
    case CloudService::AccountStatus::available:
        return SyncStatus::synced();
    case CloudService::AccountStatus::restricted:
        return SyncStatus::error(restrictedMessage);
    case CloudService::AccountStatus::noAccount:
        return SyncStatus::error(noAccountMessage);
    case CloudService::AccountStatus::couldNotDetermine:
    case CloudService::AccountStatus::temporarilyUnavailable:
        break;
    }
    return SyncStatus::offline();
}

SyncStatusMonitor::SyncStatusMonitor(QObject* parent)
    : SyncStatusMonitor(Defaults::standard(), CloudService::shared(), Timing{}, parent)
{
}

SyncStatusMonitor::SyncStatusMonitor(Defaults& defaults, CloudService& cloud, Timing timing, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_cloud(cloud)
    , m_timing(timing)
{
    setupNotifications();
    checkAccountStatus();
}

SyncStatusMonitor::~SyncStatusMonitor()
{
    for (const auto& observer : std::as_const(m_observers))
        disconnect(observer);
}

void SyncStatusMonitor::setupNotifications()
{
    // Each connection has this monitor as its context: it ends with the monitor.
    m_observers.append(connect(&m_cloud, &CloudService::accountChanged, this, &SyncStatusMonitor::checkAccountStatus));
    m_observers.append(connect(&m_cloud, &CloudService::remoteChange, this, &SyncStatusMonitor::remoteChangeArrived));
    m_observers.append(connect(&m_defaults, &Defaults::changed, this, &SyncStatusMonitor::checkAccountStatus));
}

bool SyncStatusMonitor::iCloudEnabled() const
{
    return m_defaults.boolValue(QStringLiteral("iCloudSyncEnabled")).value_or(true);
}

void SyncStatusMonitor::checkAccountStatus()
{
    if (!iCloudEnabled() || !m_cloud.hasContainerEntitlement()) {
        setStatus(SyncStatus::disabled());
        return;
    }
    if (m_defaults.boolValue(QStringLiteral("cloudKitInitFailed")).value_or(false)) {
        setStatus(SyncStatus::error(localOnlyMessage));
        return;
    }
    // The switch takes effect at the next start: a run that opened its store
    // without a mirror syncs nothing, whatever the account says.
    if (!m_cloud.isMirroring()) {
        setStatus(SyncStatus::disabled());
        return;
    }
    // The status stays as it is until the answer comes. Several checks may
    // run at once; the last answer to arrive wins.
    m_cloud.requestAccountStatus(this, [this](CloudService::AccountAnswer answer) {
        if (iCloudEnabled())
            setStatus(statusForAccountAnswer(answer));
    });
}

void SyncStatusMonitor::remoteChangeArrived()
{
    if (!iCloudEnabled())
        return;
    setStatus(SyncStatus::syncing());
    QTimer::singleShot(m_timing.remoteChangeShown, this, [this] { setStatus(SyncStatus::synced()); });
}

void SyncStatusMonitor::refresh()
{
    if (!iCloudEnabled()) {
        setStatus(SyncStatus::disabled());
        return;
    }
    setStatus(SyncStatus::syncing());
    QTimer::singleShot(m_timing.refreshRecheck, this, &SyncStatusMonitor::checkAccountStatus);
}

void SyncStatusMonitor::setStatus(const SyncStatus& status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

// Meta-object code built with this file, so linking the class pulls in no other class's.
#include "moc_SyncStatusMonitor.cpp"
