#include "Platform/AppIdentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

void applyApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setOrganizationDomain(QStringLiteral("quillsheet.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillsheet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLSHEET_VERSION));
}

QString applicationDataFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder;
}
