#pragma once

#include "Models/ModelContext.h"
#include "Store/StoreFileGuard.h"
#include "Store/StoreRecords.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// The document store on disk: one SQLite database in WAL mode ("default.store"
// with its "-wal" and "-shm" companions). Everything written to the context in
// one event-loop turn is saved in one transaction, so a user action reaches
// the file whole or not at all.
class ObjectStore : public QObject {
    Q_OBJECT
public:
    static constexpr const char* schemaVersion = StoreRecords::schemaVersion;
    static constexpr int fileFormatVersion = StoreRecords::fileFormatVersion;
    static constexpr int applicationId = StoreRecords::applicationId;

    // Why a store was refused; start-up picks its advice by it.
    // lockUnusable: the lock cannot be taken for a reason of its own (what
    // stands at its name, a disk without locks), not because another
    // Quillsheet runs.
    enum class OpenFailure { none, locked, notAStore, newerVersion, unreadable, notWritable, diskFull, lockUnusable };
    using Lock = StoreFileGuard::HeldLock;

    // Opens or creates the store at path. On failure returns null and fills
    // failure/message; a refused file is never modified, and no companion file
    // is left beside it that was not there before.
    static std::unique_ptr<ObjectStore> open(const QString& path, QString* message = nullptr,
                                             OpenFailure* failure = nullptr);
    // The same with the lock the caller took with lock() (taken here when
    // empty). The store keeps it when it opens; otherwise the caller does.
    static std::unique_ptr<ObjectStore> open(const QString& path, std::unique_ptr<Lock>& heldLock,
                                             QString* message = nullptr, OpenFailure* failure = nullptr);
    // Takes the lock that keeps every other running Quillsheet away from the
    // store at path (making its folder when missing); null with failure
    // locked only when a live program holds it, and the system's reason
    // when it cannot be made. Whatever stands at the lock's name that is not
    // a plain file is moved aside first; notice then says what went where.
    static std::unique_ptr<Lock> lock(const QString& path, QString* message = nullptr, OpenFailure* failure = nullptr,
                                      QString* notice = nullptr);
    // Whether the file at path could be opened as a store, read where it
    // lies without changing it or making anything beside it; why not when not.
    static bool isReadableStore(const QString& path, QString* why = nullptr);
    // Where the application keeps its store.
    static QString defaultPath();
    // Whether the disk holding a folder has no room left, asked when a store
    // cannot be opened so that the message says so. Tests put in their own;
    // an empty function restores the real one.
    static void setDiskFullProbe(std::function<bool(const QString& folder)> probe);
    // Moments right before the store acts on its files, for tests to change
    // the files there; an empty function removes it.
    // lockTakeover: a lock nobody held is about to be removed.
    enum class Moment { checkpoint, rebuild, lockTakeover };
    static void setMomentProbe(std::function<void(Moment)> probe);
    // Frames in the log before a save folds it into the file (1000 unless
    // set), for tests to make checkpoints frequent.
    static void setCheckpointFrames(int frames);
    // Each of the two looks at the store file keeps a second program out
    // alone, also when the lock file was deleted: tests leave one out.
    enum class StoreFileCheck { none, beforeOpening, whileOpening };
    static void skipStoreFileCheck(StoreFileCheck check);
    ~ObjectStore() override;

    ModelContext& context() { return m_context; }
    // Gives the lock up to the caller, which closes the store next.
    std::unique_ptr<Lock> releaseLock() { return std::move(m_lock); }
    QString path() const { return m_path; }

    // Saves what is pending now; true when nothing is left unsaved.
    bool save();
    // The last failure while it lasts; none once a save succeeds again.
    std::optional<QString> saveError() const { return m_saveError; }
    // True while the file on disk no longer holds the canvases at all (another
    // file took its place, or it is gone and cannot be made again): quitting
    // then loses every canvas, not just the latest changes.
    bool isFileLost() const { return m_state == State::lost; }
    // While the file is lost: the exchange file in the data folder that
    // holds every canvas, written again after each change; empty when it
    // could not be written.
    QString exchangeFile() const { return m_exchangeIsCurrent ? m_exchangeFile : QString(); }
    QDateTime exchangedAt() const { return m_exchangedAt; }
    // When the last save (or the opening) reached the file.
    QDateTime lastSaved() const { return m_lastSaved; }
    // What opening had to do on its own (a log set aside), for the caller to
    // say; empty when nothing.
    QString openingNotice() const { return m_openingNotice; }
    // Delay before a failed save is tried again.
    void setRetryInterval(int milliseconds) { m_retryTimer.setInterval(milliseconds); }

Q_SIGNALS:
    // Once when saving starts failing; changes stay in memory and are retried.
    void saveFailed(const QString& message);
    // When a save succeeds after failures.
    void saveRecovered();
    // When a save found the store's files changed under it and mended them
    // without losing anything: the file gone (its folder deleted, say) and a
    // new store with every record in its place, or its log deleted and what
    // it held written into the file. Once each time.
    void storeMended(const QString& message);

private:
    // Where the store stands with its file. Only the changes between these
    // act on files.
    enum class State {
        opening,  // being loaded: nothing is written, closing leaves all as found
        open,     // the file at the path is this store's; saves go into it
        lost,     // another file took its place, or it is gone and cannot be
                  // made again: nothing is written there, every canvas goes
                  // into the exchange file instead
    };
    // What the path names now, compared with the file the connection has open.
    enum class FileCheck { same, missing, replaced, unknown };

    ObjectStore(const QString& path, sqlite3* db, std::unique_ptr<Lock> lock);
    // Takes the connection's file as this store's: notes which files are its
    // own and folds the log into the file.
    // foldLog: what the log holds goes into the file now (a crash left it,
    // or the store was just written); otherwise nothing is synced.
    bool adoptFile(QString* message, bool foldLog);
    FileCheck checkFile() const;
    // The one place that writes into the main file: right before it acts it
    // checks that the path still names the connection's file, and that file
    // holds what this store last left in it.
    // closing: the log is emptied too, so that it can go.
    bool checkpoint(FileCheck* found = nullptr, bool closing = false);
    // durable: on disk before anything else is written.
    bool writeOwnerNote(std::optional<qint64> checkpointTo, bool durable);
    static int walCommitted(void* self, sqlite3* db, const char* name, int frames);
    // Closes the connection, folding nothing into the file.
    void closeConnection();
    // From open to lost: the log goes aside, never deleted and never left
    // beside the other file, and every canvas goes into the exchange file.
    void letGo();
    void writeExchangeFile();
    bool lockIsStillOurs() const;
    // Whether the log at the path is no longer the one the connection writes.
    bool logIsElsewhere() const;
    // Folds the connection's log into the file and goes on with a new one
    // at the path.
    bool takeLogBack(QString* message, FileCheck* found);
    void sayLogWasMended();
    // Writes every record into a new store at the path and goes on with it.
    bool recreate(QString* message);

    QString m_path;
    State m_state = State::opening;
    sqlite3* m_db = nullptr;
    int m_descriptor = -1; // on the connection's main file, which it holds locked
    StoreFileGuard::Hold m_storeFileHold; // as taken when the file was adopted
    std::unique_ptr<Lock> m_lock;
    ModelContext m_context;
    QTimer m_retryTimer;
    QFileSystemWatcher m_folderWatch;
    std::optional<QString> m_saveError;
    StoreFileGuard::FileId m_mainId;
    StoreFileGuard::FileId m_logId;
    StoreFileGuard::FileId m_indexId;
    StoreFileGuard::Content m_mainContent; // as this store last left it
    QByteArray m_mainMarking;              // the same, as bytes compared before each write
    qint64 m_markRootPage = 0;
    QString m_storeId;
    qint64 m_generation = 0;
    int m_logFrames = 0; // not yet folded into the file
    bool m_noteWritten = false;
    QDateTime m_lastSaved;
    QString m_openingNotice;
    QString m_setAsideLog;
    QString m_strangerAside; // found at the log's name when the log was deleted
    QString m_exchangeFile;
    QDateTime m_exchangedAt;
    bool m_exchangeIsCurrent = false;

    StoreRecords m_records;
};
