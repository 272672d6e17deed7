#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class ObjectStore;

// Mirroring of the store to the user's cloud database. This machine has no
// cloud database and the program carries no cloud entitlement, so the
// standard service answers honestly that none is available. Tests give the
// service answers of their own to drive every branch of start-up.
class CloudService : public QObject {
    Q_OBJECT
public:
    enum class AccountStatus { available, noAccount, restricted, couldNotDetermine, temporarilyUnavailable };
    // The answer of an account query; none when the query itself failed.
    using AccountAnswer = std::optional<AccountStatus>;

    struct Backend {
        std::function<bool()> hasContainerEntitlement;
        std::function<AccountStatus()> accountStatus;
        // Starts mirroring an opened store; false with a message when it cannot.
        std::function<bool(ObjectStore& store, QString* error)> attachMirror;
        // Asks for the account state and calls answer once, on the main
        // thread, whenever the answer is there. Unset: accountStatus, answered
        // from the event loop.
        std::function<void(std::function<void(AccountAnswer)> answer)> queryAccountStatus;
    };

    // The service of this machine: no entitlement, no account, no mirror.
    static CloudService& shared();
    static Backend unavailableBackend();

    explicit CloudService(Backend backend, QObject* parent = nullptr);

    bool hasContainerEntitlement() const;
    AccountStatus accountStatus() const;
    bool attachMirror(ObjectStore& store, QString* error);
    // Whether a mirror was attached in this run; it stays for the whole run.
    bool isMirroring() const { return m_mirroring; }

    // Never answers before returning. The answer is dropped when context is
    // gone by then.
    void requestAccountStatus(QObject* context, std::function<void(AccountAnswer)> onAnswer);

    // Called by a backend when the platform reports these events.
    void notifyAccountChanged() { Q_EMIT accountChanged(); }
    void notifyRemoteChange() { Q_EMIT remoteChange(); }

Q_SIGNALS:
    void accountChanged();
    void remoteChange();

private:
    Backend m_backend;
    bool m_mirroring = false;
};

// Whether the running program may mirror to the cloud (the shared service's answer).
bool quillsheetHasICloudEntitlement();
