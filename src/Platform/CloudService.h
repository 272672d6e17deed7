#pragma once

#include <QObject>
#include <QString>
#include <functional>

class ObjectStore;

// Mirroring of the store to the user's cloud database. This machine has no
// cloud database and the program carries no cloud entitlement, so the
// standard service answers honestly that none is available. Tests give the
// service answers of their own to drive every branch of start-up.
class CloudService : public QObject {
    Q_OBJECT
public:
    enum class AccountStatus { available, noAccount, restricted, couldNotDetermine, temporarilyUnavailable };

    struct Backend {
        std::function<bool()> hasContainerEntitlement;
        std::function<AccountStatus()> accountStatus;
        // Starts mirroring an opened store; false with a message when it cannot.
        std::function<bool(ObjectStore& store, QString* error)> attachMirror;
    };

    // The service of this machine: no entitlement, no account, no mirror.
    static CloudService& shared();
    static Backend unavailableBackend();

    explicit CloudService(Backend backend, QObject* parent = nullptr);

    bool hasContainerEntitlement() const;
    AccountStatus accountStatus() const;
    bool attachMirror(ObjectStore& store, QString* error);

    // Called by a backend when the platform reports these events.
    void notifyAccountChanged() { Q_EMIT accountChanged(); }
    void notifyRemoteChange() { Q_EMIT remoteChange(); }

Q_SIGNALS:
    void accountChanged();
    void remoteChange();

private:
    Backend m_backend;
};

// Whether the running program may mirror to the cloud (the shared service's answer).
bool quillsheetHasICloudEntitlement();
