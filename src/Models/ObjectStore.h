#pragma once

#include "Models/ModelContext.h"

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
    // Whether the path still names the file opened (or last made) there.
    enum class FileState { same, missing, replaced };
    void rememberFile();
    FileState fileState() const;
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
    bool m_fileKnown = false;
    quint64 m_device = 0;
    quint64 m_inode = 0;

    sqlite3_stmt* m_upsertCanvas = nullptr;
    sqlite3_stmt* m_upsertBlock = nullptr;
    sqlite3_stmt* m_upsertLink = nullptr;
    sqlite3_stmt* m_deleteCanvas = nullptr;
    sqlite3_stmt* m_deleteBlock = nullptr;
    sqlite3_stmt* m_deleteLink = nullptr;
};
