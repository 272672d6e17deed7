#include "Platform/StoreStartup.h"

#include "Platform/CloudService.h"
#include "Platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString storeName = QStringLiteral("default.store");
const QStringList storeSuffixes = {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")};
const QString partialSuffix = QStringLiteral(".copying");

} // namespace

QString formerStoreFolder(const QString& homeFolder)
{
    return QDir(homeFolder).filePath(
        QStringLiteral("Library/Containers/com.tarnwickhaus.Quillsheet/Data/Library/Application Support"));
}

StoreMigration migrateStoreFromSandboxIfNeeded(const QString& dataFolder, const QString& homeFolder)
{
    if (dataFolder.isEmpty() || !QDir().mkpath(dataFolder))
        return StoreMigration::notNeeded;
    const QDir target(dataFolder);
    if (QFileInfo::exists(target.filePath(storeName)))
        return StoreMigration::notNeeded;
    const QDir source(formerStoreFolder(homeFolder));
    if (!QFileInfo(source.filePath(storeName)).isFile())
        return StoreMigration::notNeeded;

    // Copy everything under temporary names first.
    QStringList copied;
    auto removeCopies = [&] {
        for (const QString& name : copied)
            QFile::remove(target.filePath(name + partialSuffix));
        return StoreMigration::failed;
    };
    for (const QString& suffix : storeSuffixes) {
        const QString name = storeName + suffix;
        const QString from = source.filePath(name);
        if (!QFileInfo::exists(from))
            continue;
        const QString partial = target.filePath(name + partialSuffix);
        QFile::remove(partial);
        copied.append(name);
        if (!QFileInfo(from).isFile() || !QFile::copy(from, partial))
            return removeCopies();
    }

    // Companions first, the main file last: until the main file is in place a
    // later start treats the folder as empty and copies again.
    QStringList placed;
    for (auto it = copied.crbegin(); it != copied.crend(); ++it) {
        const QString destination = target.filePath(*it);
        QFile::remove(destination); // a companion left without its main file
        if (!QFile::rename(target.filePath(*it + partialSuffix), destination)) {
            for (const QString& name : placed)
                QFile::remove(target.filePath(name));
            return removeCopies();
        }
        placed.append(*it);
    }
    return StoreMigration::copied;
}

QString StartupText::alreadyRunning()
{
    return QStringLiteral("Quillsheet is already running.");
}

StoreOpening openApplicationStore(const QString& path, Defaults& defaults, CloudService& cloud,
                                  const StartupPrinter& print)
{
    StoreOpening opening;
    // Anything but a stored false counts as the wish to mirror.
    const bool wanted = defaults.boolValue(QStringLiteral("iCloudSyncEnabled")).value_or(true);
    const bool mirror = wanted && cloud.hasContainerEntitlement();

    QString error;
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
    std::unique_ptr<ObjectStore> store = ObjectStore::open(path, &error, &failure);
    if (!store && failure == ObjectStore::OpenFailure::locked) {
        // Another running Quillsheet owns the store: leave everything alone.
        opening.outcome = StoreOpening::Outcome::alreadyRunning;
        opening.error = error;
        return opening;
    }
    if (store && mirror && !cloud.attachMirror(*store, &error))
        store.reset();
    if (store) {
        defaults.setValue(QStringLiteral("cloudKitInitFailed"), false);
        opening.outcome = StoreOpening::Outcome::opened;
        opening.store = std::move(store);
        opening.mirrored = mirror;
        return opening;
    }

    print(StartupText::cloudFailed + error, false);
    defaults.setValue(QStringLiteral("cloudKitInitFailed"), true);

    error.clear();
    store = ObjectStore::open(path, &error, &failure);
    if (!store) {
        opening.outcome = failure == ObjectStore::OpenFailure::locked ? StoreOpening::Outcome::alreadyRunning
                                                                      : StoreOpening::Outcome::failed;
        opening.error = error;
        if (opening.outcome == StoreOpening::Outcome::failed)
            print(StartupText::storeFailed + error, true);
        return opening;
    }
    opening.outcome = StoreOpening::Outcome::opened;
    opening.store = std::move(store);
    return opening;
}
