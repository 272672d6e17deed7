#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <system_error>

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
// The note is written here first, then renamed over the note.
inline const QString noteDraftSuffix = QStringLiteral("-wal.owner.new");
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
    // durable: on disk when it returns, not just in place. Written into a
    // file made new, never through a link; what stood at the note's names
    // that is not a plain file goes aside, and movedAside gets where.
    bool write(const QString& notePath, bool durable, QStringList* movedAside = nullptr) const;
    // Whether the main file at path is the one the log was written for.
    bool describes(const QString& mainPath) const;
};

// The lock that keeps a second Quillsheet away from the store: a file
// beside it that the running program holds locked, and the store file
// itself held the same way.

// Whether a live program holds a lock. Only the system's "would block"
// means held; any other failure is its own (error is its errno), so that a
// disk without locks is never taken for a second Quillsheet.
struct Hold {
    enum class Kind { free, held, failed, notAFile };
    Kind kind = Kind::free;
    int error = 0;
    QString reason() const;
};

// The lock file, held for as long as this object lives. Its file goes with
// it, but only while the path still names that file: one another start
// made in its place is that start's.
class HeldLock {
public:
    // Makes the lock file (never through a link, never waiting on what
    // stands there) and locks it; null with error set when it cannot.
    static std::unique_ptr<HeldLock> make(const QString& lockPath, int* error);
    ~HeldLock();
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    QString path() const { return m_path; }
    // Whether the path still names this lock's file.
    bool isAtItsPath() const;

private:
    HeldLock(const QString& path, int descriptor);
    QString m_path;
    int m_descriptor = -1;
};

// The content of a plain file, read where it lies: never through a link,
// never waiting on a pipe. None when there is no plain file at path.
std::optional<QByteArray> readPlainFile(const QString& path, qint64 maxSize);

// Every lock the store takes goes through here; tests put in their own
// (one returning -1 with errno set) to fail it; an empty one restores flock.
void setLockCallForTests(std::function<int(int descriptor, int operation)> call);

// What a file of this mode is, for messages: "a folder", "a link", "a pipe".
QString kindOfFile(unsigned mode);
// Who holds the lock file at lockPath; notAFile when something else stands
// there (a folder, a link, a pipe).
Hold lockHold(const QString& lockPath);
// Whether the system's list of locks names the file.
bool listedAsLocked(const FileId& file);
// Removes a lock file that nobody holds, whoever owns it and whatever its
// mode (one that cannot be read only where the folder is the user's);
// false when it stays, as when another program takes it meanwhile.
bool takeOverUnheldLock(const QString& lockPath);
// Moves aside, never deletes, whatever stands at path that is not a plain
// file: a folder with all it holds, a link (not what it points to), a pipe.
// aside gets where it went (empty when nothing was there to move), what
// what it was ("a folder"); false with why when it cannot be moved.
bool moveAsideWhatIsNotAFile(const QString& path, QString* aside, QString* what, QString* why);
// Who holds the store file. A live program holds it for as long as it has
// the store open, whatever became of the lock file.
Hold storeFileHold(const QString& path);
// Locks the store file through the connection's descriptor: free when it is
// now held by this program.
Hold holdStoreFile(int descriptor);
// Whether the lock names the process that made it.
bool lockHasText(const QString& lockPath);
// A lock file left without text that nobody holds, waited for a little in
// case it is being made this moment.
bool isAbandonedLock(const QString& lockPath);
// Whether the disk holding a folder has no room left.
bool folderHasNoRoom(const QString& folder);
// Makes a folder, also where a symbolic link on the way points to a folder
// that was deleted: the link stays, its target is made again.
std::error_code makeFolder(const QString& folder);

} // namespace StoreFileGuard
