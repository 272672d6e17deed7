#pragma once

#include "Models/ModelContext.h"

#include <QDateTime>
#include <QLockFile>
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
    static constexpr const char* schemaVersion = "1.0.0";
    static constexpr int fileFormatVersion = 1;        // PRAGMA user_version
    static constexpr int applicationId = 0x51534854;   // "QSHT", PRAGMA application_id

    enum class OpenFailure { none, locked, notAStore, newerVersion, unreadable, notWritable };

    // Opens or creates the store at path. On failure returns null and fills
    // failure/message; a refused file is never modified, and no companion file
    // is left beside it that was not there before.
    static std::unique_ptr<ObjectStore> open(const QString& path, QString* message = nullptr,
                                             OpenFailure* failure = nullptr);
    // The same with the lock the caller took with lock() (taken here when
    // empty). The store keeps it when it opens; otherwise the caller does.
    static std::unique_ptr<ObjectStore> open(const QString& path, std::unique_ptr<QLockFile>& heldLock,
                                             QString* message = nullptr, OpenFailure* failure = nullptr);
    // Takes the lock that keeps every other running Quillsheet away from the
    // store at path (making its folder when missing); null with failure
    // locked when another holds it, and the system's reason when it cannot
    // be made.
    static std::unique_ptr<QLockFile> lock(const QString& path, QString* message = nullptr,
                                           OpenFailure* failure = nullptr);
    // Whether the file at path could be opened as a store, read where it
    // lies without changing it or making anything beside it; why not when not.
    static bool isReadableStore(const QString& path, QString* why = nullptr);
    // Where the application keeps its store.
    static QString defaultPath();
    // Whether the disk holding a folder has no room left, asked when a store
    // cannot be opened so that the message says so. Tests put in their own;
    // an empty function restores the real one.
    static void setDiskFullProbe(std::function<bool(const QString& folder)> probe);
    ~ObjectStore() override;

    ModelContext& context() { return m_context; }
    // Gives the lock up to the caller, which closes the store next.
    std::unique_ptr<QLockFile> releaseLock() { return std::move(m_lock); }
    QString path() const { return m_path; }

    // Saves what is pending now; true when nothing is left unsaved.
    bool save();
    // The last failure while it lasts; none once a save succeeds again.
    std::optional<QString> saveError() const { return m_saveError; }
    // True while the file on disk no longer holds the canvases at all (another
    // file took its place, or it is gone and cannot be made again): quitting
    // then loses every canvas, not just the latest changes.
    bool isFileLost() const { return m_fileLost; }
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
    // When the file was gone at a save (its folder deleted, say) and a new
    // store with every record took its place; once each time.
    void storeRecreated(const QString& message);

private:
    ObjectStore(const QString& path, sqlite3* db, std::unique_ptr<QLockFile> lock);
    bool prepareStatements();
    void finalizeStatements();
    // Whether the path still names the file as this store last left it.
    enum class FileState { same, missing, replaced };
    struct FileStamp {
        bool known = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0; // nanoseconds
        qint64 changed = 0;  // of the inode: tools that copy a file's times keep this one new
        bool sameFile(const FileStamp& other) const
        {
            return known && other.known && device == other.device && inode == other.inode;
        }
        bool operator==(const FileStamp& other) const
        {
            return sameFile(other) && size == other.size && modified == other.modified && changed == other.changed;
        }
    };
    static FileStamp stampOf(const QString& file);
    // ownerNote: also note beside the log which file it belongs to.
    void rememberFile(bool ownerNote = false);
    // The note beside the log: the main file and log it was written for,
    // how the main file stood when this store last wrote into it, and
    // whether a checkpoint was under way (then the main file may differ and
    // only the log makes it whole).
    // False when it could not be written: then no checkpoint may run.
    bool writeOwnerNote(bool checkpointing);
    // Checkpoints are this store's own, so the note can say when one runs.
    void watchCheckpoints();
    static int walCommitted(void* self, sqlite3* db, const char* name, int frames);
    FileState fileState() const;
    // Closes the file without folding the log into it and removes the
    // companions this store made, as long as they are still the same files.
    void letGo();
    bool lockIsStillOurs() const;
    // Writes every record into a new store at the path and goes on with it.
    bool recreate(QString* message);
    bool load(QString* message, bool* damaged);
    bool writeChanges(const ModelContext::Changes& changes, QString* message);

    QString m_path;
    sqlite3* m_db = nullptr;
    std::unique_ptr<QLockFile> m_lock;
    ModelContext m_context;
    QTimer m_retryTimer;
    std::optional<QString> m_saveError;
    FileStamp m_file;
    FileStamp m_wal;
    FileStamp m_shm;
    FileStamp m_lockFile;
    bool m_fileLost = false;
    QDateTime m_lastSaved;
    QString m_openingNotice;

    sqlite3_stmt* m_upsertCanvas = nullptr;
    sqlite3_stmt* m_upsertBlock = nullptr;
    sqlite3_stmt* m_upsertLink = nullptr;
    sqlite3_stmt* m_deleteCanvas = nullptr;
    sqlite3_stmt* m_deleteBlock = nullptr;
    sqlite3_stmt* m_deleteLink = nullptr;
};
