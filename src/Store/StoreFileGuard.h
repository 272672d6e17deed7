#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <system_error>

class QLockFile;

struct sqlite3;

// What tells this store's files from any other file at the same names:
// device and inode say which file a name or a descriptor stands for (times
// and owner change with a chmod, a hard link or a backup tool and say
// nothing), and the main file's content says whether it still holds what
// this store last wrote into it.
namespace StoreFileGuard {

inline const QString logSuffix = QStringLiteral("-wal");
inline const QString indexSuffix = QStringLiteral("-shm");
inline const QString noteSuffix = QStringLiteral("-wal.owner");
inline const QString lockSuffix = QStringLiteral(".lock");

struct FileId {
    bool known = false;
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileId& other) const
    {
        return known && other.known && device == other.device && inode == other.inode;
    }
};
// Unknown when there is no such file.
FileId idOf(const QString& path);
FileId idOfDescriptor(int descriptor);
bool isMissing(const QString& path);

// What the main file holds: the store's identifier and generation (written
// into the file by each checkpoint of this store) and its header. Files of
// older versions hold no identifier until their first checkpoint.
struct Content {
    QString storeId;
    qint64 generation = -1;
    QByteArray header; // the first 100 bytes; empty when unreadable
    bool hasIdentity() const { return !storeId.isEmpty(); }
    bool operator==(const Content& other) const = default;
};
// Read from the main file alone, never from a log beside it, without
// changing or making anything.
Content contentOf(const QString& path);

// The bytes that change whenever anything else is put into the file: its
// header and the page holding the identifier and generation, read through
// the descriptor. Empty when they cannot be read.
QByteArray markingBytes(int descriptor, qint64 markRootPage);

// A descriptor of our own on the file the connection has open: SQLite keeps
// its own to itself, and an open descriptor goes on naming the same file
// whatever is renamed over its name. -1 when the name no longer names the
// connection's file.
int openConnectionsFile(sqlite3* db, const QString& path);
// Which file the connection writes its log to; unknown while it has none.
FileId connectionsLog(sqlite3* db, const QString& path);

// The note beside the log: which log it is, and what the main file held
// when this store last wrote into it, so that a start after a crash reads
// the log only into the file it was written for.
struct OwnerNote {
    FileId main;
    FileId log;
    QString storeId;       // of the main file; empty while it holds none
    qint64 generation = -1;
    // Set while a checkpoint runs: the main file may then hold either
    // generation, or a mixture that only the log makes whole.
    std::optional<qint64> checkpointTo;
    // Notes of earlier versions named the main file by inode, size and time.
    bool legacy = false;
    qint64 legacySize = 0;
    qint64 legacyModified = 0;

    static std::optional<OwnerNote> read(const QString& notePath);
    // durable: on disk when it returns, not just in place.
    bool write(const QString& notePath, bool durable) const;
    // Whether the main file at path is the one the log was written for.
    bool describes(const QString& mainPath) const;
};

// The lock that keeps a second Quillsheet away from the store.
// Whether no process holds the lock file (the program that made it is gone,
// wherever it ran): live locks keep their file locked while they are held.
// One that cannot even be read is looked up in the system's list of locks.
bool nobodyHoldsLock(const QString& lockPath);
// Whether the system's list of locks names the file.
bool listedAsLocked(const FileId& file);
// Removes a lock file that nobody holds, whoever owns it and whatever its
// mode, as long as the folder is the user's; false when it stays.
bool takeOverUnheldLock(const QString& lockPath);
// The running program also holds the store file itself, so that a lock
// file deleted or replaced under it lets no second program in.
bool storeFileIsHeld(const QString& path);
bool holdStoreFile(int descriptor);
// Whether the lock names the process that made it.
bool lockHasText(const QLockFile& lock);
// A lock file left without text that nobody holds, waited for a little in
// case it is being made this moment.
bool isAbandonedLock(const QLockFile& lock, const QString& lockPath);
// What the system says when the lock file cannot be made; empty when it can.
QString lockFileReason(const QString& lockPath);
// Whether the disk holding a folder has no room left.
bool folderHasNoRoom(const QString& folder);
// Makes a folder, also where a symbolic link on the way points to a folder
// that was deleted: the link stays, its target is made again.
std::error_code makeFolder(const QString& folder);

} // namespace StoreFileGuard
