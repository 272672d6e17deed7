#include "Platform/CloudService.h"

#include <QPointer>
#include <QTimer>

CloudService::Backend CloudService::unavailableBackend()
{
    Backend backend;
    backend.hasContainerEntitlement = [] { return false; };
    backend.accountStatus = [] { return AccountStatus::noAccount; };
    backend.attachMirror = [](ObjectStore&, QString* error) {
        if (error)
            *error = QStringLiteral("No cloud database is available on this system.");
        return false;
    };
    return backend;
}

CloudService& CloudService::shared()
{
    static CloudService* service = new CloudService(unavailableBackend());
    return *service;
}

CloudService::CloudService(Backend backend, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
}

bool CloudService::hasContainerEntitlement() const
{
    return m_backend.hasContainerEntitlement && m_backend.hasContainerEntitlement();
}

CloudService::AccountStatus CloudService::accountStatus() const
{
    return m_backend.accountStatus ? m_backend.accountStatus() : AccountStatus::couldNotDetermine;
}

bool CloudService::attachMirror(ObjectStore& store, QString* error)
{
    if (!m_backend.attachMirror) {
        if (error)
            *error = QStringLiteral("No cloud database is available on this system.");
        return false;
    }
    const bool attached = m_backend.attachMirror(store, error);
    if (attached)
        m_mirroring = true;
    return attached;
}

void CloudService::requestAccountStatus(QObject* context, std::function<void(AccountAnswer)> onAnswer)
{
    if (!context || !onAnswer)
        return;
    QPointer<QObject> guard(context);
    auto deliver = [guard, onAnswer = std::move(onAnswer)](AccountAnswer answer) {
        if (guard)
            onAnswer(answer);
    };
    if (m_backend.queryAccountStatus) {
        m_backend.queryAccountStatus(std::move(deliver));
        return;
    }
    QTimer::singleShot(0, context, [self = QPointer<CloudService>(this), deliver = std::move(deliver)] {
        if (self)
            deliver(self->accountStatus());
    });
}

bool quillsheetHasICloudEntitlement()
{
    return CloudService::shared().hasContainerEntitlement();
}
