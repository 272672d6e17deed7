#pragma once

#include "Platform/CloudService.h"

#include <QObject>
#include <QString>
#include <chrono>

class Defaults;

// Whether the canvases are mirrored to the cloud, derived from the user's
// switch, the program's entitlement, the result of start-up and the cloud
// account, and derived again when the account, the defaults or the store
// change. Every failure becomes a status, never an alert.
class SyncStatusMonitor : public QObject {
    Q_OBJECT
public:
    struct SyncStatus {
        enum class Kind { error, idle, syncing, synced, disabled, offline };
        Kind kind = Kind::idle;
        QString message; // error only

        static SyncStatus error(const QString& message) { return {Kind::error, message}; }
        static SyncStatus idle() { return {Kind::idle, {}}; }
        static SyncStatus syncing() { return {Kind::syncing, {}}; }
        static SyncStatus synced() { return {Kind::synced, {}}; }
        static SyncStatus disabled() { return {Kind::disabled, {}}; }
        static SyncStatus offline() { return {Kind::offline, {}}; }

        // The indicator's tooltip.
        QString description() const;
        bool operator==(const SyncStatus&) const = default;
    };

    // Messages of the error status.
    static const QString localOnlyMessage;
    static const QString restrictedMessage;
    static const QString noAccountMessage;

    enum class Tint { secondary, blue, green, orange, red };
    struct Presentation {
        QString symbolName;
        Tint tint = Tint::secondary;
        bool pulses = false;
        bool operator==(const Presentation&) const = default;
    };
    static Presentation presentation(const SyncStatus& status);

    static SyncStatus statusForAccountAnswer(CloudService::AccountAnswer answer);

    struct Timing {
        // A click shows syncing this long before checking again.
        std::chrono::milliseconds refreshRecheck{300};
        // A change from another device shows syncing this long.
        std::chrono::milliseconds remoteChangeShown{500};
    };

    // Over the standard defaults and the machine's cloud service.
    explicit SyncStatusMonitor(QObject* parent = nullptr);
    SyncStatusMonitor(Defaults& defaults, CloudService& cloud, Timing timing, QObject* parent = nullptr);
    ~SyncStatusMonitor() override;

    const SyncStatus& status() const { return m_status; }

    // The indicator's click: shows syncing, then checks again.
    void refresh();

Q_SIGNALS:
    void statusChanged();

private:
    void setupNotifications();
    void checkAccountStatus();
    void remoteChangeArrived();
    bool iCloudEnabled() const;
    void setStatus(const SyncStatus& status);

    Defaults& m_defaults;
    CloudService& m_cloud;
    Timing m_timing;
    SyncStatus m_status;
    QList<QMetaObject::Connection> m_observers;
};
