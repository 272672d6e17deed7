#include "Store/ObjectStore.h"

#include "Platform/AppIdentity.h"
#include "Platform/FileWriting.h"
#include "Store/CanvasExport.h"
#include "Store/StoreRecords.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

Q_LOGGING_CATEGORY(storeLog, "com.quillsheet.Store")

using namespace StoreSql;

namespace {

// Whether a write-ahead log with at least one frame lies beside the file.
bool logHoldsFrames(const QString& path)
{
    return QFileInfo(path + QStringLiteral("-wal")).size() > 32;
}

using StoreFileGuard::idOf;

// Beside the store while it is lost: the exchange file that holds its canvases.
const QString exchangeNoteSuffix = QStringLiteral(".unsaved");

// The files the program writes beside the store besides SQLite's own: made
// only by it, so that anything else standing at these names is not its.
const QString ownFileSuffixes[] = {StoreFileGuard::noteSuffix, StoreFileGuard::noteDraftSuffix, exchangeNoteSuffix};

// Where a log goes that must not be read into the file beside it; empty
// when it cannot be moved.
QString setLogAside(const QString& path)
{
    return FileWriting::moveAside(path + StoreFileGuard::logSuffix);
}

QString movedAsideText(const QString& path, const QString& what, const QString& aside)
{
    return QStringLiteral("“%1” was %2, not a file Quillsheet wrote. It was moved to “%3”, unchanged.")
        .arg(QDir::toNativeSeparators(path), what, QDir::toNativeSeparators(aside));
}

std::function<void(ObjectStore::Moment)>& momentProbe()
{
    static std::function<void(ObjectStore::Moment)> probe;
    return probe;
}

// Frames in the log before a save folds it into the file, as SQLite would.
int checkpointFrames = 1000;

ObjectStore::StoreFileCheck skippedStoreFileCheck = ObjectStore::StoreFileCheck::none;

std::function<bool(const QString&)>& diskFullProbe()
{
    static std::function<bool(const QString&)> probe;
    return probe;
}

} // namespace

void ObjectStore::setDiskFullProbe(std::function<bool(const QString& folder)> probe)
{
    diskFullProbe() = std::move(probe);
}

bool ObjectStore::isReadableStore(const QString& path, QString* why)
{
    QString reason;
    if (!why)
        why = &reason;
    QFile head(path);
    if (!head.open(QIODevice::ReadOnly)) {
        *why = head.errorString();
        return false;
    }
    if (head.read(16) != QByteArrayView("SQLite format 3\0", 16)) {
        *why = QStringLiteral("not a database");
        return false;
    }
    head.close();
    // "immutable": nothing is made beside the file, not even to read it.
    sqlite3* db = nullptr;
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1";
    bool readable = false;
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
        const auto appId = queryInteger(db, "PRAGMA application_id");
        const auto version = queryInteger(db, "PRAGMA user_version");
        const auto tables = queryInteger(db, "SELECT count(*) FROM sqlite_master");
        if ((!appId || !version || !tables) && (sqlite3_extended_errcode(db) & 0xff) == SQLITE_CORRUPT
            && logHoldsFrames(path))
            readable = true; // whole only with its log: opening the copy decides
        else if (!appId || !version || !tables)
            *why = errorText(db);
        else if (*tables > 0 && *appId != applicationId)
            *why = QStringLiteral("not a Quillsheet store");
        else if (*version > fileFormatVersion)
            *why = QStringLiteral("written by a newer version of Quillsheet");
        else if (*tables == 0)
            readable = true;
        else {
            ModelContext scratch;
            bool damaged = false;
            readable = StoreRecords::read(db, scratch, why, &damaged);
        }
    } else {
        *why = errorText(db);
    }
    sqlite3_close(db);
    return readable;
}

QString ObjectStore::defaultPath()
{
    return QDir(applicationDataFolder()).filePath(QStringLiteral("default.store"));
}

namespace {

QString fullDiskText(const QString& shown)
{
    return QStringLiteral("The disk holding the store “%1” is full. Free some space, then start Quillsheet again.")
        .arg(shown);
}

// Says why a store is refused. The caller reports it, once.
void reportRefusal(QString* message, ObjectStore::OpenFailure* failure, ObjectStore::OpenFailure kind,
                   const QString& text)
{
    if (message)
        *message = text;
    if (failure)
        *failure = kind;
}

QString folderNotWritableText(const QString& folder, const QString& reason)
{
    return QStringLiteral("The folder “%1” cannot be written (%2), so Quillsheet cannot keep its store there.")
        .arg(QDir::toNativeSeparators(folder), reason);
}

} // namespace

std::unique_ptr<ObjectStore::Lock> ObjectStore::lock(const QString& path, QString* message, OpenFailure* failure,
                                                     QString* notice)
{
    auto refuse = [&](OpenFailure kind, const QString& text) -> std::unique_ptr<Lock> {
        reportRefusal(message, failure, kind, text);
        return nullptr;
    };
    const QString shown = QDir::toNativeSeparators(path);
    const QString folder = QFileInfo(path).absolutePath();
    const QString lockPath = path + StoreFileGuard::lockSuffix;
    const QString shownLock = QDir::toNativeSeparators(lockPath);
    auto cannotLock = [&](const QString& reason) {
        const auto& probe = diskFullProbe();
        if (probe ? probe(folder) : StoreFileGuard::folderHasNoRoom(folder))
            return refuse(OpenFailure::diskFull, fullDiskText(shown));
        return refuse(OpenFailure::lockUnusable,
                      QStringLiteral("The store “%1” cannot be locked (%2).").arg(shown, reason));
    };
    const QString inUse = QStringLiteral("The store “%1” is in use by another running Quillsheet.").arg(shown);
    // The lock file lies beside the store, so its folder has to be there first.
    if (const std::error_code madeFolder = StoreFileGuard::makeFolder(folder)) {
        if (madeFolder == std::errc::permission_denied || madeFolder == std::errc::read_only_file_system)
            return refuse(OpenFailure::notWritable,
                          QStringLiteral("The folder “%1” cannot be made (%2), so Quillsheet cannot keep its store there.")
                              .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(madeFolder.message())));
        return cannotLock(QString::fromLocal8Bit(madeFolder.message()));
    }

    // One writer: a second running instance must not write the same file.
    // Each round either takes the lock, finds it held, or clears what stood
    // in its way; a few rounds cover another start doing the same meanwhile.
    QString lastReason;
    for (int round = 0; round < 8; ++round) {
        // A folder, link or pipe at the lock's name is nobody's lock.
        QString aside, what, why;
        if (!StoreFileGuard::moveAsideWhatIsNotAFile(lockPath, &aside, &what, &why)) {
            if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
                return refuse(OpenFailure::notWritable,
                              QStringLiteral("“%1” is %2, not Quillsheet's lock file, and the folder “%3” cannot be "
                                             "written (%4), so it cannot be moved aside.")
                                  .arg(shownLock, what, QDir::toNativeSeparators(folder), why));
            return refuse(OpenFailure::lockUnusable,
                          QStringLiteral("“%1” is %2, not Quillsheet's lock file, and it cannot be moved aside (%3).")
                              .arg(shownLock, what, why));
        }
        if (!aside.isEmpty()) {
            const QString said = QStringLiteral("“%1” was %2, not Quillsheet's lock file. It was moved to “%3”, "
                                                "unchanged, and Quillsheet made its lock file there.")
                                     .arg(shownLock, what, QDir::toNativeSeparators(aside));
            if (!notice)
                qCWarning(storeLog).noquote() << said; // nobody else to say it
            else
                *notice = notice->isEmpty() ? said : *notice + QStringLiteral("\n\n") + said;
        }
        int error = 0;
        if (std::unique_ptr<Lock> made = Lock::make(lockPath, &error)) {
            if (failure)
                *failure = OpenFailure::none;
            return made;
        }
        if (error == EWOULDBLOCK)
            return refuse(OpenFailure::locked, inUse); // taken over by another start as it was made
        if (error == EACCES || error == EPERM || error == EROFS)
            return refuse(OpenFailure::notWritable,
                          folderNotWritableText(folder, QString::fromLocal8Bit(std::strerror(error))));
        if (error != EEXIST && error != ELOOP)
            return cannotLock(QString::fromLocal8Bit(std::strerror(error)));

        // Something stands there: a lock a live program holds keeps this start out.
        const StoreFileGuard::Hold hold = StoreFileGuard::lockHold(lockPath);
        if (hold.kind == StoreFileGuard::Hold::Kind::held)
            return refuse(OpenFailure::locked, inUse);
        if (hold.kind == StoreFileGuard::Hold::Kind::failed)
            return refuse(OpenFailure::lockUnusable,
                          QStringLiteral("The lock file “%1” cannot be locked (%2).").arg(shownLock, hold.reason()));
        if (hold.kind == StoreFileGuard::Hold::Kind::notAFile)
            continue;
        // Nobody holds it: left by a program that is gone, or being made
        // this moment, which a lock without text is waited for.
        if (!StoreFileGuard::lockHasText(lockPath) && !StoreFileGuard::isAbandonedLock(lockPath))
            continue;
        const StoreFileGuard::FileId found = StoreFileGuard::idOf(lockPath);
        if (const auto& probe = momentProbe())
            probe(Moment::lockTakeover);
        if (!StoreFileGuard::takeOverUnheldLock(lockPath)) {
            lastReason = QString::fromLocal8Bit(std::strerror(errno));
            if (!StoreFileGuard::isMissing(lockPath) && ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
                return refuse(OpenFailure::notWritable,
                              folderNotWritableText(folder, QString::fromLocal8Bit(std::strerror(errno))));
            // The same file, still unheld, stays: another round would not
            // change that and only wait again.
            if (StoreFileGuard::idOf(lockPath) == found
                && StoreFileGuard::lockHold(lockPath).kind == StoreFileGuard::Hold::Kind::free)
                break;
        }
    }
    return refuse(OpenFailure::lockUnusable,
                  QStringLiteral("The lock file “%1” cannot be taken over (%2).")
                      .arg(shownLock, lastReason.isEmpty() ? QStringLiteral("it keeps changing") : lastReason));
}

std::unique_ptr<ObjectStore> ObjectStore::open(const QString& path, QString* message, OpenFailure* failure)
{
    std::unique_ptr<Lock> held;
    return open(path, held, message, failure);
}

std::unique_ptr<ObjectStore> ObjectStore::open(const QString& path, std::unique_ptr<Lock>& heldLock,
                                               QString* message, OpenFailure* failure)
{
    auto refuse = [&](OpenFailure kind, const QString& text) -> std::unique_ptr<ObjectStore> {
        reportRefusal(message, failure, kind, text);
        return nullptr;
    };
    const QString shown = QDir::toNativeSeparators(path);

    const QFileInfo info(path);
    // A full disk is the likely cause of many failures below; say so.
    const auto diskIsFull = [&](sqlite3* db) {
        if (db && (sqlite3_extended_errcode(db) & 0xff) == SQLITE_FULL)
            return true;
        const auto& probe = diskFullProbe();
        return probe ? probe(info.absolutePath()) : StoreFileGuard::folderHasNoRoom(info.absolutePath());
    };
    const QString fullText = fullDiskText(shown);

    QString lockNotice;
    if (!heldLock) {
        heldLock = ObjectStore::lock(path, message, failure, &lockNotice);
        if (!heldLock)
            return nullptr;
    }
    // Whatever happens below, the caller keeps the lock unless the store takes it.
    std::unique_ptr<Lock>& lock = heldLock;
    const QString inUse = QStringLiteral("The store “%1” is in use by another running Quillsheet.").arg(shown);
    const auto cannotHold = [&](const StoreFileGuard::Hold& hold) {
        return QStringLiteral("The store “%1” cannot be locked (%2).").arg(shown, hold.reason());
    };
    // A folder or pipe at the store's names is no store: reading a pipe
    // would wait for a writer that never comes. SQLite would write its log
    // and index through a link, into whatever file it points to.
    for (const QString& suffix : {QString(), StoreFileGuard::logSuffix, StoreFileGuard::indexSuffix}) {
        struct stat found = {};
        const QByteArray name = QFile::encodeName(path + suffix);
        if ((suffix.isEmpty() ? ::stat(name.constData(), &found) : ::lstat(name.constData(), &found)) == 0
            && !S_ISREG(found.st_mode))
            return refuse(OpenFailure::notAStore,
                          QStringLiteral("“%1” is %2, not a file of a Quillsheet store.")
                              .arg(QDir::toNativeSeparators(path + suffix), StoreFileGuard::kindOfFile(found.st_mode)));
    }
    // The lock file may have been deleted or replaced under a running
    // program: the hold on the store file itself still tells.
    if (skippedStoreFileCheck != StoreFileCheck::beforeOpening) {
        const StoreFileGuard::Hold hold = StoreFileGuard::storeFileHold(path);
        if (hold.kind == StoreFileGuard::Hold::Kind::held)
            return refuse(OpenFailure::locked, inUse);
        if (hold.kind == StoreFileGuard::Hold::Kind::failed)
            return refuse(OpenFailure::lockUnusable, cannotHold(hold));
    }

    // Anything but a plain file at the names of the program's own files
    // was put there by someone else: kept, aside, and neither read nor
    // written through.
    for (const QString& suffix : ownFileSuffixes) {
        QString aside, what, why;
        if (!StoreFileGuard::moveAsideWhatIsNotAFile(path + suffix, &aside, &what, &why))
            return refuse(OpenFailure::unreadable,
                          QStringLiteral("“%1” is %2, not a file Quillsheet wrote, and it cannot be moved aside (%3).")
                              .arg(QDir::toNativeSeparators(path + suffix), what, why));
        if (!aside.isEmpty())
            lockNotice = lockNotice.isEmpty() ? movedAsideText(path + suffix, what, aside)
                                              : lockNotice + QStringLiteral("\n\n") + movedAsideText(path + suffix, what, aside);
    }

    // A log that this program left beside a file which then took another's
    // place (and was not removed, as the program ended abruptly) belongs to
    // that other file: replayed into this one it would mix the two.
    // Read only into the file it was written for: a file put in its place,
    // or the same file written over in place, whatever their times say.
    QString setAside;
    const QString logPath = path + StoreFileGuard::logSuffix;
    if (QFileInfo(logPath).size() > 0) {
        const auto note = StoreFileGuard::OwnerNote::read(path + StoreFileGuard::noteSuffix);
        // SQLite deletes a log it finds beside a missing or empty file.
        const bool mainGone = QFileInfo(path).size() == 0;
        if (mainGone || (note && note->log == idOf(logPath) && !note->describes(path))) {
            const bool otherFile = note && !(idOf(path) == note->main);
            const StoreFileGuard::Content found = StoreFileGuard::contentOf(path);
            const bool olderCopy = note && !note->storeId.isEmpty() && found.storeId == note->storeId;
            const QString aside = setLogAside(path);
            if (aside.isEmpty())
                return refuse(OpenFailure::unreadable,
                              QStringLiteral("The store “%1” has a log beside it that belongs to another file, and "
                                             "the log cannot be moved away.").arg(shown));
            QFile::remove(path + StoreFileGuard::indexSuffix);
            QFile::remove(path + StoreFileGuard::noteSuffix);
            const QString shownAside = QDir::toNativeSeparators(aside);
            if (mainGone)
                setAside = QStringLiteral("The store “%1” was %2 when Quillsheet started, so Quillsheet made a new, "
                                          "empty store there: the canvases it held are not in it. The log with its "
                                          "latest changes was not read into the new store but moved to “%3”.")
                               .arg(shown, QFileInfo::exists(path) ? QStringLiteral("empty") : QStringLiteral("missing"),
                                    shownAside);
            else if (olderCopy)
                setAside = QStringLiteral("The store “%1” is an older copy of itself (a backup put back, say): the "
                                          "changes made after that copy was taken are not in it. The log with the "
                                          "latest of them was not read into it but moved to “%2”.")
                               .arg(shown, shownAside);
            else
                setAside = QStringLiteral("The store “%1” had a log beside it that Quillsheet had written for %2. It "
                                          "was not read into the store but moved to “%3”.")
                               .arg(shown,
                                    otherFile ? QStringLiteral("another file")
                                              : QStringLiteral("this file before it was written over"),
                                    shownAside);
        }
    }
    // A log deleted between a crash and this start took with it the changes
    // not yet written into the store; its note tells, and when it was last
    // written is when the store last held everything. Another program that
    // read the store folds the log into it before deleting it, and the store
    // is then written after the note.
    if (QFileInfo(logPath).size() == 0 && QFileInfo(path).size() > 0) {
        const QString notePath = path + StoreFileGuard::noteSuffix;
        const auto note = StoreFileGuard::OwnerNote::read(notePath);
        const auto modified = [](const QString& file) {
            struct stat info = {};
            if (::stat(QFile::encodeName(file).constData(), &info) != 0)
                return std::pair<qint64, qint64>(0, 0);
            return std::pair<qint64, qint64>(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        };
        if (note && note->log.known && !(idOf(logPath) == note->log) && idOf(path) == note->main
            && modified(path) <= modified(notePath)) {
            const QString said
                = QStringLiteral("The store's log “%1” was deleted after Quillsheet last ended without closing the "
                                 "store: the changes made since %2 that were only in that log are not in the store.")
                      .arg(QDir::toNativeSeparators(logPath),
                           QLocale().toString(QFileInfo(notePath).lastModified(), QLocale::ShortFormat));
            setAside = setAside.isEmpty() ? said : setAside + QStringLiteral("\n\n") + said;
            QFile::remove(notePath);
        }
    }
    // Canvases written to an exchange file when the store was lost last time.
    if (const auto exchangeNote = StoreFileGuard::readPlainFile(path + exchangeNoteSuffix, 8192)) {
        const QString written = QFile::decodeName(*exchangeNote);
        if (QFileInfo::exists(written)) {
            const QString said = QStringLiteral("When Quillsheet last ran, its store could not be written, so all your "
                                                "canvases were written to “%1”. Import that file to have them here.")
                                     .arg(QDir::toNativeSeparators(written));
            setAside = setAside.isEmpty() ? said : setAside + QStringLiteral("\n\n") + said;
        }
        QFile::remove(path + exchangeNoteSuffix);
    }

    const bool existing = info.exists() && (info.size() > 0 || QFileInfo(path + QStringLiteral("-wal")).size() > 0);
    const QByteArray file = QFile::encodeName(path);

    if (existing && info.size() > 0) {
        // Any file of ours starts with the database header. SQLite takes a
        // short file without one for an empty database and would write a new
        // store over it.
        QFile head(path);
        if (!head.open(QIODevice::ReadOnly))
            return refuse(OpenFailure::unreadable,
                          QStringLiteral("The store “%1” cannot be read (%2).").arg(shown, head.errorString()));
        if (head.read(16) != QByteArrayView("SQLite format 3\0", 16))
            return refuse(OpenFailure::notAStore, QStringLiteral("The file “%1” is not a Quillsheet store.").arg(shown));
    }

    if (existing) {
        // Identify the file read-only first: a file that is not ours is left untouched.
        // "immutable" keeps the probe from creating -wal/-shm files beside a foreign file.
        sqlite3* probe = nullptr;
        const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded() + "?immutable=1";
        int rc = sqlite3_open_v2(uri.constData(), &probe, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        std::optional<qint64> appId, version, tables;
        if (rc == SQLITE_OK) {
            appId = queryInteger(probe, "PRAGMA application_id");
            version = queryInteger(probe, "PRAGMA user_version");
            tables = queryInteger(probe, "SELECT count(*) FROM sqlite_master");
        }
        const QString probeError = errorText(probe);
        const int probeCode = probe ? sqlite3_extended_errcode(probe) : rc;
        sqlite3_close(probe);
        // A checkpoint cut short (by a full disk, say) leaves the main file
        // shorter than its header says, whole only with its log: the opening
        // below reads both before anything is written.
        const bool wholeOnlyWithLog = (probeCode & 0xff) == SQLITE_CORRUPT && logHoldsFrames(path);
        if ((!appId || !version || !tables) && !wholeOnlyWithLog) {
            if ((probeCode & 0xff) == SQLITE_NOTADB || (probeCode & 0xff) == SQLITE_CORRUPT)
                return refuse(OpenFailure::notAStore,
                              QStringLiteral("The file “%1” is not a Quillsheet store or is damaged (%2).")
                                  .arg(shown, probeError));
            return refuse(OpenFailure::unreadable,
                          QStringLiteral("The store “%1” cannot be read (%2).").arg(shown, probeError));
        }
        const bool emptyDatabase = appId && *appId == 0 && *version == 0 && *tables == 0;
        if (appId && !emptyDatabase && *appId != applicationId)
            return refuse(OpenFailure::notAStore,
                          QStringLiteral("The file “%1” is not a Quillsheet store.").arg(shown));
        if (version && !emptyDatabase && *version > fileFormatVersion)
            return refuse(OpenFailure::newerVersion,
                          QStringLiteral("The store “%1” was written by a newer version of Quillsheet.").arg(shown));
    }

    // A store that cannot be written would take edits that never reach it.
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QByteArray name = QFile::encodeName(path + suffix);
        if (!QFileInfo::exists(path + suffix))
            continue;
        const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        return refuse(OpenFailure::notWritable, QStringLiteral("The store file “%1” cannot be written (%2).")
                                                    .arg(QDir::toNativeSeparators(path + suffix), reason));
    }

    // SQLite makes "-wal" and "-shm" beside a store in write-ahead mode even
    // to read it. A refused store is left as it was found: the companions made
    // here go again; those already there may hold the newest changes and stay.
    // The lock keeps every other Quillsheet away meanwhile.
    const QString companionSuffixes[] = {QStringLiteral("-wal"), QStringLiteral("-shm")};
    QStringList foundCompanions;
    for (const QString& suffix : companionSuffixes) {
        const QFileInfo companion(path + suffix);
        if (companion.exists() || companion.isSymLink())
            foundCompanions.append(suffix);
    }

    sqlite3* db = nullptr;
    std::unique_ptr<ObjectStore> store;
    auto closeAndRefuseAs = [&](OpenFailure kind, const QString& text) {
        if (store) {
            lock = std::move(store->m_lock); // held until the companions are gone
            store.reset();
        } else {
            sqlite3_close(db);
        }
        db = nullptr;
        for (const QString& suffix : companionSuffixes)
            if (!foundCompanions.contains(suffix))
                QFile::remove(path + suffix);
        return refuse(kind, text);
    };
    auto closeAndRefuse = [&](const QString& text) {
        if (diskIsFull(db))
            return closeAndRefuseAs(OpenFailure::diskFull, fullText);
        return closeAndRefuseAs(OpenFailure::unreadable,
                                QStringLiteral("The store “%1” cannot be opened (%2).").arg(shown, text));
    };
    // What the main file holds, read while no connection has it open.
    const StoreFileGuard::Content foundContent = StoreFileGuard::contentOf(path);
    // A log left with frames (by a crash) is folded in at once; an empty
    // one needs nothing, and opening then syncs nothing.
    const bool logHadFrames = logHoldsFrames(path);
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        return closeAndRefuse(errorText(db));
    // SQLite falls back to reading alone when it may not write.
    if (sqlite3_db_readonly(db, "main") == 1)
        return closeAndRefuseAs(OpenFailure::notWritable,
                                QStringLiteral("The store file “%1” cannot be written.").arg(shown));
    // Short: saves run on the main thread, and a failed save is retried anyway.
    sqlite3_busy_timeout(db, 250);
    // Checkpoints are this store's own, each after a check of the file.
    sqlite3_wal_autocheckpoint(db, 0);
    // Closing never folds the log into the main file: only a checked checkpoint does.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // Nothing is written to a store until it has loaded whole.
    QString error;
    if (!exec(db, "PRAGMA query_only=1", &error))
        return closeAndRefuse(error);

    // The probe read the main file alone; what a log held is visible only now.
    const auto tables = queryInteger(db, "SELECT count(*) FROM sqlite_master");
    const auto appId = queryInteger(db, "PRAGMA application_id");
    const auto version = queryInteger(db, "PRAGMA user_version");
    if (!tables || !appId || !version)
        return closeAndRefuse(errorText(db));
    if (*tables > 0 && *appId != applicationId)
        return closeAndRefuseAs(OpenFailure::notAStore,
                                QStringLiteral("The file “%1” is not a Quillsheet store.").arg(shown));
    if (*version > fileFormatVersion)
        return closeAndRefuseAs(OpenFailure::newerVersion,
                                QStringLiteral("The store “%1” was written by a newer version of Quillsheet.").arg(shown));

    if (*tables == 0) {
        // Empty: there is nothing to load, and the store is made now.
        if (!useWriteAheadLog(db, &error) || !StoreRecords::createSchema(db, &error))
            return closeAndRefuse(error);
    }

    store.reset(new ObjectStore(path, db, std::move(lock)));
    bool damaged = false;
    if (!store->m_records.prepare(db) || !StoreRecords::read(db, store->m_context, &error, &damaged)) {
        if (error.isEmpty())
            error = errorText(db);
        if (damaged)
            return closeAndRefuseAs(
                OpenFailure::notAStore,
                QStringLiteral("The file “%1” is not a Quillsheet store or is damaged (%2).").arg(shown, error));
        return closeAndRefuseAs(OpenFailure::unreadable,
                                QStringLiteral("The store “%1” cannot be read (%2).").arg(shown, error));
    }
    // Loaded whole: only now may the file change.
    if (*tables > 0 && !useWriteAheadLog(db, &error))
        return closeAndRefuse(error);
    store->m_mainContent = foundContent;
    if (!store->adoptFile(&error, logHadFrames || *tables == 0)) {
        if (store->m_storeFileHold.kind == StoreFileGuard::Hold::Kind::held)
            return closeAndRefuseAs(OpenFailure::locked, inUse);
        if (store->m_storeFileHold.kind == StoreFileGuard::Hold::Kind::failed)
            return closeAndRefuseAs(OpenFailure::lockUnusable, cannotHold(store->m_storeFileHold));
        return closeAndRefuse(error);
    }
    store->m_openingNotice = lockNotice.isEmpty() || setAside.isEmpty() ? lockNotice + setAside
                                                                        : lockNotice + QStringLiteral("\n\n") + setAside;
    if (failure)
        *failure = OpenFailure::none;
    return store;
}

ObjectStore::ObjectStore(const QString& path, sqlite3* db, std::unique_ptr<Lock> lock)
    : m_path(path)
    , m_db(db)
    , m_lock(std::move(lock))
{
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(5000);
    connect(&m_retryTimer, &QTimer::timeout, this, &ObjectStore::save);
    connect(&m_context, &ModelContext::turnEnded, this, &ObjectStore::save);
    // In a turn of its own, so that no turn's changes are split. A deleted
    // store is made again at once too: until then every canvas lives only in
    // memory, and a crash would take them all.
    connect(&m_folderWatch, &QFileSystemWatcher::directoryChanged, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (logIsElsewhere() || (m_state == State::open && checkFile() == FileCheck::missing))
                save();
        });
    });
    // The exchange file of a lost store is stale after any change.
    const auto stale = [this] { m_exchangeIsCurrent = false; };
    connect(&m_context, &ModelContext::changed, this, stale);
    connect(&m_context, &ModelContext::canvasChanged, this, stale);
    connect(&m_context, &ModelContext::blockChanged, this, stale);
    connect(&m_context, &ModelContext::linkChanged, this, stale);
}

ObjectStore::~ObjectStore()
{
    // Keeps what is still pending, also in a store made anew when the file
    // went, or in the exchange file while it is lost.
    if (m_state != State::opening)
        save();
    if (m_state == State::open && m_db) {
        FileCheck found = FileCheck::same;
        // A log nothing was ever written into has nothing to fold or sync.
        const bool logIsEmpty = m_logFrames == 0 && QFileInfo(m_path + StoreFileGuard::logSuffix).size() == 0;
        if (logIsEmpty ? (found = checkFile()) == FileCheck::same : checkpoint(&found, true)) {
            closeConnection();
            // Every row is in the file now: the emptied log and its companions go.
            const QString log = m_path + StoreFileGuard::logSuffix;
            if (idOf(log) == m_logId && QFileInfo(log).size() == 0) {
                // The note first: left naming a log that is gone, it would
                // tell the next start that changes were lost.
                QFile::remove(m_path + StoreFileGuard::noteSuffix);
                QFile::remove(log);
                if (idOf(m_path + StoreFileGuard::indexSuffix) == m_indexId)
                    QFile::remove(m_path + StoreFileGuard::indexSuffix);
            }
        } else if (found == FileCheck::replaced || found == FileCheck::missing) {
            letGo();
        } else {
            // The log keeps what the file lacks, and the note says whose it is.
            closeConnection();
        }
    }
    m_records.finalize();
    closeConnection();
    // The lock goes last; a file another start made in its place stays.
}

void ObjectStore::setCheckpointFrames(int frames)
{
    checkpointFrames = frames > 0 ? frames : 1000;
}

void ObjectStore::skipStoreFileCheck(StoreFileCheck check)
{
    skippedStoreFileCheck = check;
}

void ObjectStore::setMomentProbe(std::function<void(Moment)> probe)
{
    momentProbe() = std::move(probe);
}

bool ObjectStore::adoptFile(QString* message, bool foldLog)
{
    // Checkpoints are this store's own, each after a check of the file.
    sqlite3_wal_autocheckpoint(m_db, 0);
    sqlite3_wal_hook(m_db, &ObjectStore::walCommitted, this);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    int persist = 1;
    sqlite3_file_control(m_db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);

    if (m_descriptor < 0)
        m_descriptor = StoreFileGuard::openConnectionsFile(m_db, m_path);
    if (m_descriptor < 0) {
        *message = QStringLiteral("another file took its place while it was opened");
        return false;
    }
    // Held for as long as the connection is open, whatever becomes of the lock file.
    m_storeFileHold = StoreFileGuard::holdStoreFile(m_descriptor);
    if (skippedStoreFileCheck == StoreFileCheck::whileOpening)
        m_storeFileHold = {};
    if (m_storeFileHold.kind == StoreFileGuard::Hold::Kind::held) {
        *message = QStringLiteral("another running Quillsheet has it open");
        return false;
    }
    if (m_storeFileHold.kind != StoreFileGuard::Hold::Kind::free) {
        *message = QStringLiteral("it cannot be locked (%1)").arg(m_storeFileHold.reason());
        return false;
    }
    // Stores of earlier versions get their identifier now.
    const QString identity = QStringLiteral("INSERT OR IGNORE INTO meta(key, value) VALUES('storeId', '%1'), "
                                            "('generation', '0')")
                                 .arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!exec(m_db, identity.toUtf8().constData(), message))
        return false;
    foldLog = foldLog || sqlite3_changes(m_db) > 0;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT key, value FROM meta WHERE key IN ('storeId', 'generation')", -1, &stmt,
                           nullptr)
        == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const QString value = columnText(stmt, 1);
            if (columnText(stmt, 0) == QLatin1String("storeId"))
                m_storeId = value;
            else
                m_generation = value.toLongLong();
        }
    }
    sqlite3_finalize(stmt);
    m_mainId = StoreFileGuard::idOfDescriptor(m_descriptor);
    m_logId = StoreFileGuard::connectionsLog(m_db, m_path);
    // A log deleted meanwhile is noticed at once, not only at the next save.
    // Watched anew: a watch follows its folder when that is moved away, and
    // the store may now lie in a folder made again at the old name.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (m_folderWatch.directories().contains(folder))
        m_folderWatch.removePath(folder);
    m_folderWatch.addPath(folder);
    m_indexId = idOf(m_path + StoreFileGuard::indexSuffix);
    if (const auto root = queryInteger(m_db, "SELECT rootpage FROM sqlite_master WHERE name='meta'"))
        m_markRootPage = *root;
    // The file was found to be ours: it is what this store now holds it to be.
    m_mainMarking = StoreFileGuard::markingBytes(m_descriptor, m_markRootPage);
    m_lastSaved = QDateTime::currentDateTime();
    m_state = State::open;
    m_logFrames = 0;
    // Written before the first save puts frames into the log.
    m_noteWritten = false;
    if (!foldLog)
        return true;
    FileCheck found = FileCheck::same;
    if (!checkpoint(&found) && found != FileCheck::same) {
        m_state = State::opening;
        *message = QStringLiteral("another file took its place while it was opened");
        return false;
    }
    return true;
}

ObjectStore::FileCheck ObjectStore::checkFile() const
{
    if (m_state != State::open || !m_db)
        return FileCheck::replaced;
    const StoreFileGuard::FileId atPath = idOf(m_path);
    if (!atPath.known)
        return StoreFileGuard::isMissing(m_path) ? FileCheck::missing : FileCheck::unknown;
    // Renamed over, or made anew by another start.
    if (!(atPath == StoreFileGuard::idOfDescriptor(m_descriptor)))
        return FileCheck::replaced;
    // Written over in place, whatever its times say.
    // The page with the store's identifier and generation changes with any
    // other store's file, even one of the same size and times.
    const QByteArray marking = StoreFileGuard::markingBytes(m_descriptor, m_markRootPage);
    if (marking.isEmpty())
        return FileCheck::unknown;
    return marking == m_mainMarking ? FileCheck::same : FileCheck::replaced;
}

bool ObjectStore::writeOwnerNote(std::optional<qint64> checkpointTo, bool durable)
{
    StoreFileGuard::OwnerNote note;
    note.main = m_mainId;
    note.log = m_logId;
    note.storeId = m_mainContent.storeId;
    note.generation = m_mainContent.generation;
    note.checkpointTo = checkpointTo;
    if (!note.log.known)
        return true; // no log yet: nothing to read at a start
    QStringList asides;
    m_noteWritten = note.write(m_path + StoreFileGuard::noteSuffix, durable, &asides);
    for (const QString& aside : asides)
        qCWarning(storeLog).noquote() << "What stood at a name of the log's note was moved to" << aside;
    return m_noteWritten;
}

bool ObjectStore::checkpoint(FileCheck* found, bool closing)
{
    if (const auto& probe = momentProbe())
        probe(Moment::checkpoint);
    const FileCheck check = checkFile();
    if (found)
        *found = check;
    if (check != FileCheck::same)
        return false;
    // The generation marks the main file as this checkpoint leaves it.
    const qint64 next = m_generation + 1;
    const QByteArray mark = "UPDATE meta SET value='" + QByteArray::number(next) + "' WHERE key='generation'";
    if (!exec(m_db, mark.constData()))
        return false;
    m_generation = next;
    if (!m_logId.known)
        m_logId = StoreFileGuard::connectionsLog(m_db, m_path);
    // Unnoted, a checkpoint cut short would pass for a file written over:
    // the note is on disk before the checkpoint writes into the file.
    if (!writeOwnerNote(next, true))
        return false;
    int logFrames = 0, copied = 0;
    const bool whole = sqlite3_wal_checkpoint_v2(m_db, "main",
                                                 closing ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE,
                                                 &logFrames, &copied)
            == SQLITE_OK
        && copied == logFrames;
    // Read through the connection, not by opening the file again: closing
    // any other descriptor on it would drop the connection's locks, and
    // another program closing the store would then delete its log.
    if (whole) {
        m_mainContent.storeId = m_storeId;
        m_mainContent.generation = next;
        m_logFrames = 0;
    }
    m_mainMarking = StoreFileGuard::markingBytes(m_descriptor, m_markRootPage);
    // Lost with a power cut, the note before says either generation fits.
    writeOwnerNote(whole ? std::nullopt : std::optional<qint64>(next), false);
    return whole;
}

int ObjectStore::walCommitted(void* self, sqlite3*, const char*, int frames)
{
    static_cast<ObjectStore*>(self)->m_logFrames = frames;
    return SQLITE_OK;
}

void ObjectStore::closeConnection()
{
    m_records.finalize();
    if (m_db) {
        // Closing never folds the log into the file: only checkpoint() does.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

void ObjectStore::letGo()
{
    closeConnection();
    m_state = State::lost;
    // This store's log belongs to the file that was there: read into the one
    // there now it would mix the two. Its rows are kept, never deleted.
    const QString log = m_path + StoreFileGuard::logSuffix;
    if (m_logId.known && idOf(log) == m_logId) {
        bool gone = false;
        if (QFileInfo(log).size() == 0) {
            gone = QFile::remove(log);
        } else {
            m_setAsideLog = setLogAside(m_path);
            gone = !m_setAsideLog.isEmpty();
        }
        if (gone) {
            if (idOf(m_path + StoreFileGuard::indexSuffix) == m_indexId)
                QFile::remove(m_path + StoreFileGuard::indexSuffix);
            const auto note = StoreFileGuard::OwnerNote::read(m_path + StoreFileGuard::noteSuffix);
            if (note && note->log == m_logId)
                QFile::remove(m_path + StoreFileGuard::noteSuffix);
        }
    }
    if (!m_setAsideLog.isEmpty())
        qCWarning(storeLog).noquote() << "The log of the replaced store was moved to" << m_setAsideLog;
    writeExchangeFile();
}

void ObjectStore::writeExchangeFile()
{
    const auto standsThere = [](const QString& file) {
        return QFileInfo::exists(file) || QFileInfo(file).isSymLink();
    };
    if (m_exchangeFile.isEmpty()) {
        // A name nothing holds yet: what is there is not this store's.
        const QString stem = QDir(QFileInfo(m_path).absolutePath())
                                 .filePath(QStringLiteral("Canvases not saved %1")
                                               .arg(QDateTime::currentDateTime().toString(
                                                   QStringLiteral("yyyy-MM-dd HH.mm.ss"))));
        m_exchangeFile = stem + QStringLiteral(".quillsheet");
        for (int n = 2; standsThere(m_exchangeFile); ++n)
            m_exchangeFile = stem + QStringLiteral(" %1.quillsheet").arg(n);
    }
    const auto sayAside = [](const QString& file, const QString& aside) {
        if (!aside.isEmpty())
            qCWarning(storeLog).noquote() << "What stood at" << file << "was moved to" << aside;
    };
    QString error, aside;
    const std::optional<QByteArray> bytes = exchangeFileBytes(m_context.canvases(), &error);
    std::optional<QString> failed
        = bytes ? FileWriting::writeOwnFile(m_exchangeFile, *bytes, &aside) : std::optional(error);
    sayAside(m_exchangeFile, aside);
    if (failed) {
        m_exchangeIsCurrent = false;
        qCWarning(storeLog).noquote() << "The canvases could not be written to" << m_exchangeFile << *failed;
        return;
    }
    m_exchangeIsCurrent = true;
    m_exchangedAt = QDateTime::currentDateTime();
    // The next start names it, should this one end first. Written when it
    // names another file or is gone, not again with every change.
    const QString notePath = m_path + exchangeNoteSuffix;
    const QByteArray named = QFile::encodeName(m_exchangeFile);
    if (StoreFileGuard::readPlainFile(notePath, named.size() + 1) == named)
        return;
    FileWriting::writeOwnFile(notePath, named, &aside);
    sayAside(notePath, aside);
}

bool ObjectStore::lockIsStillOurs() const
{
    return m_lock && m_lock->isAtItsPath();
}

bool ObjectStore::recreate(QString* message)
{
    const QString shown = QDir::toNativeSeparators(m_path);
    // The lock file went with the folder: take it again, unless another
    // running Quillsheet has taken that place meanwhile.
    const QString lockPath = m_path + StoreFileGuard::lockSuffix;
    if (!lockIsStillOurs()) {
        if (QFileInfo::exists(lockPath)) {
            *message = QStringLiteral("another Quillsheet now uses “%1”").arg(shown);
            return false;
        }
        m_lock.reset();
        m_lock = lock(m_path, message); // makes the folder again
        if (!m_lock) {
            // Said within the save failure's own sentence.
            if (message->endsWith(u'.'))
                message->chop(1);
            return false;
        }
    }
    if (QFileInfo::exists(m_path)) {
        *message = QStringLiteral("another file has taken the place of “%1”").arg(shown);
        return false;
    }
    // A log left beside the deleted file must not be read into the new one;
    // with rows in it, it is kept aside. Ours goes once the new store holds
    // every record, which it then holds too.
    const QString log = m_path + StoreFileGuard::logSuffix;
    QString ourLogAside;
    if (QFileInfo(log).exists()) {
        const bool ours = m_logId.known && idOf(log) == m_logId;
        const bool removed = ours && QFileInfo(log).size() == 0 && QFile::remove(log);
        const QString aside = removed ? QString() : setLogAside(m_path);
        if (!removed && aside.isEmpty()) {
            *message = QStringLiteral("a log beside “%1” cannot be moved away").arg(shown);
            return false;
        }
        if (ours)
            ourLogAside = aside;
        if (idOf(m_path + StoreFileGuard::indexSuffix) == m_indexId)
            QFile::remove(m_path + StoreFileGuard::indexSuffix);
    }

    if (const auto& probe = momentProbe())
        probe(Moment::rebuild);
    // Made here, so that a failure removes only what this attempt made.
    const int made = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (made < 0) {
        *message = errno == EEXIST ? QStringLiteral("another file has taken the place of “%1”").arg(shown)
                                   : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const StoreFileGuard::FileId madeId = StoreFileGuard::idOfDescriptor(made);
    ::close(made);

    sqlite3* fresh = nullptr;
    int freshDescriptor = -1;
    StoreFileGuard::FileId madeLog, madeIndex;
    auto removeFresh = [&] {
        sqlite3_close(fresh);
        if (freshDescriptor >= 0)
            ::close(freshDescriptor);
        if (idOf(m_path) == madeId)
            QFile::remove(m_path);
        if (madeLog.known && idOf(m_path + StoreFileGuard::logSuffix) == madeLog)
            QFile::remove(m_path + StoreFileGuard::logSuffix);
        if (madeIndex.known && idOf(m_path + StoreFileGuard::indexSuffix) == madeIndex)
            QFile::remove(m_path + StoreFileGuard::indexSuffix);
        return false;
    };
    if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &fresh, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        *message = errorText(fresh);
        return removeFresh();
    }
    sqlite3_db_config(fresh, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_wal_autocheckpoint(fresh, 0); // writing every record could pass SQLite's own mark
    freshDescriptor = StoreFileGuard::openConnectionsFile(fresh, m_path);
    if (freshDescriptor < 0 || !(StoreFileGuard::idOfDescriptor(freshDescriptor) == madeId)) {
        *message = QStringLiteral("another file has taken the place of “%1”").arg(shown);
        return removeFresh();
    }
    const bool walMode = useWriteAheadLog(fresh, message);
    madeLog = StoreFileGuard::connectionsLog(fresh, m_path);
    madeIndex = idOf(m_path + StoreFileGuard::indexSuffix);
    if (!walMode || !StoreRecords::createSchema(fresh, message)) {
        if (message->isEmpty())
            *message = errorText(fresh);
        return removeFresh();
    }
    sqlite3_busy_timeout(fresh, 250);
    sqlite3* old = std::exchange(m_db, fresh);
    const int oldDescriptor = std::exchange(m_descriptor, freshDescriptor);
    m_records.finalize();
    if (!m_records.prepare(m_db) || !m_records.write(m_db, m_context.allRecords(), message)) {
        if (message->isEmpty())
            *message = errorText(fresh);
        m_records.finalize();
        m_db = old;
        m_descriptor = oldDescriptor;
        if (old)
            m_records.prepare(m_db);
        return removeFresh();
    }
    // The old connection still holds the removed file: closing it must
    // neither fold its log into anything nor remove files by their names.
    if (old) {
        sqlite3_db_config(old, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close(old);
    }
    if (oldDescriptor >= 0)
        ::close(oldDescriptor);
    // Every canvas is in the store again.
    if (!m_exchangeFile.isEmpty())
        QFile::remove(m_path + exchangeNoteSuffix);
    m_exchangeFile.clear();
    m_setAsideLog.clear();
    m_logId = madeLog;
    m_indexId = madeIndex;
    m_storeId.clear();
    m_generation = 0;
    m_mainContent = {};
    m_state = State::opening;
    if (!adoptFile(message, true)) {
        // Written whole, but not folded into the file: kept as it is.
        letGo();
        return false;
    }
    if (!ourLogAside.isEmpty())
        QFile::remove(ourLogAside);
    return true;
}

bool ObjectStore::logIsElsewhere() const
{
    return m_state == State::open && m_logId.known && !(idOf(m_path + StoreFileGuard::logSuffix) == m_logId);
}

bool ObjectStore::takeLogBack(QString* message, FileCheck* found)
{
    const QString shown = QDir::toNativeSeparators(m_path + StoreFileGuard::logSuffix);
    // Everything the deleted log holds goes into the file through the
    // handle the connection still has on it.
    if (!checkpoint(found, true)) {
        *message = QStringLiteral("its log “%1” was deleted, and what it holds cannot be written into the store yet")
                       .arg(shown);
        return false;
    }
    // Everything is in the file: the note of the deleted log goes with it,
    // and the new log gets its own at the next save.
    QFile::remove(m_path + StoreFileGuard::noteSuffix);
    // Whatever lies at the log's name now was not written for this file.
    const QString log = m_path + StoreFileGuard::logSuffix;
    if (QFileInfo(log).exists() || QFileInfo(log).isSymLink()) {
        const QString aside = setLogAside(m_path);
        if (aside.isEmpty()) {
            *message = QStringLiteral("another file lies at its log's name “%1” and cannot be moved away").arg(shown);
            return false;
        }
        m_strangerAside = aside;
    }
    // A new connection starts a log at the path.
    const StoreFileGuard::FileId mainId = m_mainId;
    closeConnection();
    m_state = State::opening;
    sqlite3* db = nullptr;
    QString error;
    bool reopened = sqlite3_open_v2(QFile::encodeName(m_path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
        == SQLITE_OK;
    if (reopened) {
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_wal_autocheckpoint(db, 0);
        sqlite3_busy_timeout(db, 250);
        m_db = db;
        reopened = useWriteAheadLog(db, &error) && m_records.prepare(db) && adoptFile(&error, false)
            && m_mainId == mainId;
    } else {
        error = errorText(db);
        sqlite3_close(db);
    }
    if (!reopened) {
        // The file holds every saved row; the rest goes into the exchange file.
        *message = QStringLiteral("its log “%1” was deleted, and the store cannot be opened again (%2)")
                       .arg(shown, error.isEmpty() ? errorText(m_db) : error);
        letGo();
        return false;
    }
    return true;
}

void ObjectStore::sayLogWasMended()
{
    const QString notice
        = QStringLiteral("The store's log “%1” was deleted while Quillsheet was running. Nothing was lost: what it "
                         "held has been written into the store “%2”, and Quillsheet goes on with a new log.")
              .arg(QDir::toNativeSeparators(m_path + StoreFileGuard::logSuffix), QDir::toNativeSeparators(m_path))
        + (m_strangerAside.isEmpty() ? QString()
                                     : QStringLiteral(" Another file that lay at the log's name was moved to “%1”.")
                                           .arg(QDir::toNativeSeparators(m_strangerAside)));
    m_strangerAside.clear();
    qCWarning(storeLog).noquote() << notice;
    Q_EMIT storeMended(notice);
}

bool ObjectStore::save()
{
    if (m_state == State::opening)
        return false;
    // Before each save: does the path still name the file being written?
    const bool wasLost = m_state == State::lost;
    FileCheck found = checkFile();
    if (m_state == State::lost)
        found = StoreFileGuard::isMissing(m_path) ? FileCheck::missing : FileCheck::replaced;
    QString message;
    // A log deleted (or put aside) under the connection: it goes on writing
    // into a file that nothing will read again.
    bool logMended = false, logStuck = false;
    if (found == FileCheck::same && logIsElsewhere()) {
        FileCheck atCheckpoint = FileCheck::same;
        logMended = takeLogBack(&message, &atCheckpoint);
        if (!logMended && (atCheckpoint == FileCheck::replaced || atCheckpoint == FileCheck::missing))
            found = atCheckpoint;
        else
            logStuck = !logMended;
    }
    if (found == FileCheck::same && !logStuck && !m_context.hasChanges()) {
        if (logMended)
            sayLogWasMended();
        return true;
    }
    bool written = false;
    switch (logStuck ? FileCheck::unknown : found) {
    case FileCheck::same:
        // A start after a crash reads the log only into the file the note names.
        if (!m_noteWritten && !writeOwnerNote(std::nullopt, false)) {
            message = QStringLiteral("the note beside its log cannot be written");
            break;
        }
        written = m_records.write(m_db, m_context.pendingChanges(), &message);
        // Folded into the file now and then, never without its check.
        if (written && m_logFrames >= checkpointFrames) {
            FileCheck atCheckpoint = FileCheck::same;
            if (!checkpoint(&atCheckpoint) && (atCheckpoint == FileCheck::replaced || atCheckpoint == FileCheck::missing))
                letGo();
        }
        break;
    case FileCheck::missing:
        // Every record is in memory: they all go into a new store there.
        written = recreate(&message);
        if (!written && m_state == State::open)
            letGo();
        break;
    case FileCheck::replaced:
        if (m_state == State::open)
            letGo();
        break;
    case FileCheck::unknown:
        if (message.isEmpty())
            message = QStringLiteral("its file cannot be looked at");
        break;
    }
    // While nothing can be saved, every change goes into the exchange file.
    if (m_state == State::lost && !m_exchangeIsCurrent)
        writeExchangeFile();
    if (written) {
        m_lastSaved = QDateTime::currentDateTime();
        m_context.clearChanges();
        m_retryTimer.stop();
        if (m_saveError) {
            m_saveError.reset();
            qCInfo(storeLog) << "Saving works again";
            Q_EMIT saveRecovered();
        }
        if (found == FileCheck::missing) {
            const QString notice = QStringLiteral("The store “%1” was removed while Quillsheet was running. All your "
                                                  "canvases have been written into a new store there.")
                                       .arg(QDir::toNativeSeparators(m_path));
            qCWarning(storeLog).noquote() << notice;
            Q_EMIT storeMended(notice);
        }
        if (logMended)
            sayLogWasMended();
        return true;
    }
    // Nothing is lost: the changes stay in memory and the save is tried again.
    const bool firstFailure = !m_saveError.has_value();
    const QString shown = QDir::toNativeSeparators(m_path);
    const QString since = m_lastSaved.toString(QStringLiteral("HH:mm"));
    const QString keep = QStringLiteral("Keep Quillsheet open and ");
    const QString orExport = QStringLiteral(", or choose “Export All Canvases…”.");
    const QString rescued = exchangeFile().isEmpty()
        ? QString()
        : QStringLiteral(" All your canvases are in “%1” (written again after each change).")
              .arg(QDir::toNativeSeparators(m_exchangeFile));
    const QString logAside = m_setAsideLog.isEmpty()
        ? QString()
        : QStringLiteral(" The store's log was moved to “%1”.").arg(QDir::toNativeSeparators(m_setAsideLog));
    if (m_state == State::lost && found == FileCheck::replaced && m_lock && !lockIsStillOurs()) {
        m_saveError = QStringLiteral("The canvases since %1 cannot be saved: another start of Quillsheet has made a new "
                                     "store at “%2”, and this one does not write over it.%3 Keep Quillsheet open and "
                                     "choose “Export All Canvases…”, then import that file in the other Quillsheet.")
                          .arg(since, shown, rescued);
    } else if (m_state == State::lost && found == FileCheck::replaced) {
        m_saveError = QStringLiteral("The canvases since %1 cannot be saved: another file has taken the place of the "
                                     "store “%2”, and Quillsheet does not write over it.%3%4 %5move that file away "
                                     "(Quillsheet then writes all your canvases there again)%6")
                          .arg(since, shown, rescued, logAside, keep, orExport);
    } else if (m_state == State::lost) {
        m_saveError = QStringLiteral("The canvases since %1 cannot be saved: the store “%2” was removed and cannot be "
                                     "made again (%3).%4 %5free some space or make its folder writable (Quillsheet "
                                     "then writes all your canvases there again)%6")
                          .arg(since, shown, message, rescued, keep, orExport);
    } else {
        m_saveError = QStringLiteral("The changes since %1 cannot be saved (%2). Quillsheet keeps them and tries "
                                     "again. %3free some space if the disk is full%4")
                          .arg(since, message, keep, orExport);
    }
    if (firstFailure || wasLost != isFileLost()) {
        qCWarning(storeLog).noquote() << *m_saveError;
        Q_EMIT saveFailed(*m_saveError);
    }
    m_retryTimer.start();
    return false;
}
