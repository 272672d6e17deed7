#include "Platform/StoreStartup.h"

#include "Platform/CloudService.h"
#include "Platform/Defaults.h"
#include "Platform/FileWriting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

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

namespace {

// Copies every byte and puts it on disk; why gets the system's reason.
bool copyFile(const QString& from, const QString& to, QString* why)
{
    QFile source(from);
    QByteArray bytes;
    if (source.open(QIODevice::ReadOnly))
        bytes = source.readAll();
    std::optional<QString> failure;
    if (source.error() != QFileDevice::NoError)
        failure = source.errorString();
    else
        failure = FileWriting::writeWholeFile(to, bytes);
    if (failure)
        *why = QStringLiteral("%1: %2").arg(QFileInfo(from).fileName(), *failure);
    return !failure;
}

} // namespace

StoreMigration migrateStoreFromSandboxIfNeeded(const QString& dataFolder, const QString& homeFolder, QString* why)
{
    QString reason;
    if (!why)
        why = &reason;
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
        if (!QFileInfo(from).isFile()) {
            *why = QStringLiteral("%1 is not a file").arg(name);
            return removeCopies();
        }
        if (!copyFile(from, partial, why))
            return removeCopies();
    }

    // Companions first, the main file last: until the main file is in place a
    // later start treats the folder as empty and copies again.
    QStringList placed;
    for (auto it = copied.crbegin(); it != copied.crend(); ++it) {
        const QString destination = target.filePath(*it);
        QFile::remove(destination); // a companion left without its main file
        QFile partial(target.filePath(*it + partialSuffix));
        if (!partial.rename(destination)) {
            *why = QStringLiteral("%1: %2").arg(*it, partial.errorString());
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

StoreOpening openApplicationStore(const QString& path, const QString& homeFolder, Defaults& defaults,
                                  CloudService& cloud, const StartupPrinter& print)
{
    StoreOpening opening;
    QString error;
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
    // Another running Quillsheet owns the store: leave everything alone.
    auto alreadyRunning = [&] {
        opening.outcome = StoreOpening::Outcome::alreadyRunning;
        opening.error = error;
        return std::move(opening);
    };
    // Held from here on, so that a second start can neither copy nor open.
    std::unique_ptr<QLockFile> lock = ObjectStore::lock(path, &error, &failure);
    if (!lock && failure == ObjectStore::OpenFailure::locked)
        return alreadyRunning();
    // Without a lock nothing is copied; opening below says why it cannot lock.
    if (lock && !homeFolder.isEmpty()) {
        opening.migration = migrateStoreFromSandboxIfNeeded(QFileInfo(path).absolutePath(), homeFolder, &error);
        if (opening.migration == StoreMigration::failed) {
            // No store is made: it would stand in the way of the next try.
            opening.error = error;
            print(StartupText::copyFailed + error, true);
            return opening;
        }
    }

    // Anything but a stored false counts as the wish to mirror.
    const bool wanted = defaults.boolValue(QStringLiteral("iCloudSyncEnabled")).value_or(true);
    const bool mirror = wanted && cloud.hasContainerEntitlement();

    error.clear();
    std::unique_ptr<ObjectStore> store = ObjectStore::open(path, lock, &error, &failure);
    if (!store && failure == ObjectStore::OpenFailure::locked)
        return alreadyRunning();
    if (store && mirror && !cloud.attachMirror(*store, &error)) {
        lock = store->releaseLock();
        store.reset();
    }
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
    store = ObjectStore::open(path, lock, &error, &failure);
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
