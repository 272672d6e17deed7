#include "Platform/StoreStartup.h"

#include "Platform/CloudService.h"
#include "Platform/Defaults.h"
#include "Platform/FileWriting.h"

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

namespace {

// Copies every byte into a file made new and puts it on disk; why gets the
// system's reason.
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
        failure = FileWriting::writeOwnFile(to, bytes); // in the data folder: never through a link
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
    // Copied in, a file that is not a store would be refused at every start.
    if (!ObjectStore::isReadableStore(source.filePath(storeName), why))
        return StoreMigration::leftAsItWas;

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

QString StartupText::wayOut(const QString& path, ObjectStore::OpenFailure failure, const QString& error)
{
    if (failure == ObjectStore::OpenFailure::notWritable)
        return QStringLiteral("Make the folder or file named above writable, then start Quillsheet again.");
    if (failure == ObjectStore::OpenFailure::diskFull)
        return QString(); // the error says it already
    if (failure == ObjectStore::OpenFailure::lockUnusable)
        return QStringLiteral("Quillsheet locks its store and the file “%1.lock” beside it while it runs, so that no "
                              "second Quillsheet writes the store. Move away whatever stands at “%1.lock”, or keep "
                              "the data folder on a disk that allows file locks, then start Quillsheet again.")
            .arg(QDir::toNativeSeparators(path));
    return QStringLiteral("To start with a new, empty store, move or rename “%1” (with “%1-wal” and “%1-shm” if they "
                          "are there), then start Quillsheet again.")
        .arg(QDir::toNativeSeparators(path));
}

QString StartupText::cannotOpen(const QString& path, ObjectStore::OpenFailure failure, const QString& error)
{
    // A folder that cannot be written has no file to speak of yet.
    const QString left = failure == ObjectStore::OpenFailure::notWritable
            || failure == ObjectStore::OpenFailure::lockUnusable
        ? QStringLiteral("Nothing was changed.")
                                                                          : QStringLiteral("The file was left as it is.");
    return QStringLiteral("Quillsheet cannot open its store and has to quit. %1\n\nStore: %2\n\nError: %3\n\n%4")
        .arg(left, QDir::toNativeSeparators(path), error, wayOut(path, failure, error))
        .trimmed();
}

QString StartupText::oldStoreLeft(const QString& oldStore, const QString& why)
{
    return QStringLiteral("The store of Quillsheet's earlier version cannot be opened (%1), so Quillsheet started with "
                          "a new, empty store. The old store was left as it was: %2")
        .arg(why, QDir::toNativeSeparators(oldStore));
}

StoreOpening openApplicationStore(const QString& path, const QString& homeFolder, Defaults& defaults,
                                  CloudService& cloud, const StartupPrinter& print)
{
    StoreOpening opening;
    QString error;
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
    // Another running Quillsheet owns the store: leave everything alone.
    // Any other refusal is said once, with the way out.
    QString lockNotice;
    auto refused = [&] {
        // What was moved aside on the way is said all the same.
        if (!lockNotice.isEmpty())
            print(lockNotice, false);
        opening.error = error;
        opening.failure = failure;
        if (failure == ObjectStore::OpenFailure::locked) {
            opening.outcome = StoreOpening::Outcome::alreadyRunning;
        } else {
            opening.outcome = StoreOpening::Outcome::failed;
            print((StartupText::storeFailed + error + u' ' + StartupText::wayOut(path, failure, error)).trimmed(), true);
        }
        return std::move(opening);
    };
    // Held from here on, so that a second start can neither copy nor open.
    std::unique_ptr<ObjectStore::Lock> lock = ObjectStore::lock(path, &error, &failure, &lockNotice);
    if (!lock)
        return refused();
    QString oldStoreWhy;
    if (!homeFolder.isEmpty()) {
        opening.migration = migrateStoreFromSandboxIfNeeded(QFileInfo(path).absolutePath(), homeFolder, &oldStoreWhy);
        if (opening.migration == StoreMigration::failed) {
            // No store is made: it would stand in the way of the next try.
            opening.error = oldStoreWhy;
            if (!lockNotice.isEmpty())
                print(lockNotice, false);
            print(StartupText::copyFailed + oldStoreWhy, true);
            return opening;
        }
    }

    // Anything but a stored false counts as the wish to mirror.
    const bool wanted = defaults.boolValue(QStringLiteral("iCloudSyncEnabled")).value_or(true);
    const bool mirror = wanted && cloud.hasContainerEntitlement();

    bool mirrorFailed = false;
    std::unique_ptr<ObjectStore> store = ObjectStore::open(path, lock, &error, &failure);
    if (!store && opening.migration == StoreMigration::copied
        && (failure == ObjectStore::OpenFailure::notAStore || failure == ObjectStore::OpenFailure::newerVersion)) {
        // What was copied is refused after all (its log held the rest): the
        // copies go, the old files stay, and the start goes on with a new store.
        for (const QString& suffix : storeSuffixes)
            QFile::remove(path + suffix);
        opening.migration = StoreMigration::leftAsItWas;
        oldStoreWhy = error;
        store = ObjectStore::open(path, lock, &error, &failure);
    }
    opening.notice = lockNotice;
    if (opening.migration == StoreMigration::leftAsItWas) {
        const QString left = StartupText::oldStoreLeft(QDir(formerStoreFolder(homeFolder)).filePath(storeName), oldStoreWhy);
        opening.notice = opening.notice.isEmpty() ? left : opening.notice + QStringLiteral("\n\n") + left;
    }
    if (!store) {
        // The file itself is refused: the same open without mirroring would be too.
        defaults.setValue(QStringLiteral("cloudKitInitFailed"), true);
        return refused();
    }
    if (mirror && !cloud.attachMirror(*store, &error)) {
        lock = store->releaseLock();
        store.reset();
        print(StartupText::cloudFailed + error, false);
        defaults.setValue(QStringLiteral("cloudKitInitFailed"), true);
        error.clear();
        store = ObjectStore::open(path, lock, &error, &failure);
        if (!store)
            return refused();
        mirrorFailed = true;
    } else {
        defaults.setValue(QStringLiteral("cloudKitInitFailed"), false);
    }
    if (!store->openingNotice().isEmpty())
        opening.notice = opening.notice.isEmpty() ? store->openingNotice()
                                                  : opening.notice + QStringLiteral("\n\n") + store->openingNotice();
    opening.outcome = StoreOpening::Outcome::opened;
    opening.mirrored = mirror && !mirrorFailed;
    opening.store = std::move(store);
    return opening;
}
