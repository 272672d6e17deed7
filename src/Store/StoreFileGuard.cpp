#include "Store/StoreFileGuard.h"

#include "Platform/FileWriting.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QSysInfo>
#include <QThread>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace StoreFileGuard {

namespace {

FileId fromStat(const struct stat& info)
{
    return FileId{true, quint64(info.st_dev), quint64(info.st_ino)};
}

const QByteArray noteHeading = "quillsheet-log-note 2";

std::function<int(int, int)>& lockCall()
{
    static std::function<int(int, int)> call;
    return call;
}

int lockFile(int descriptor, int operation)
{
    const auto& call = lockCall();
    return call ? call(descriptor, operation) : ::flock(descriptor, operation);
}

// Opened where it lies: never through a link, never waiting for a pipe's
// other end, and only when it is a plain file.
int openPlainFile(const QByteArray& name, int flags, bool* notAFile)
{
    *notAFile = false;
    const int fd = ::open(name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        *notAFile = errno == ELOOP;
        return -1;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *notAFile = true;
        errno = EINVAL;
        return -1;
    }
    return fd;
}

} // namespace

void setLockCallForTests(std::function<int(int descriptor, int operation)> call)
{
    lockCall() = std::move(call);
}

std::optional<QByteArray> readPlainFile(const QString& path, qint64 maxSize)
{
    bool notAFile = false;
    const int fd = openPlainFile(QFile::encodeName(path), O_RDONLY, &notAFile);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes(maxSize, '\0');
    const ssize_t read = ::read(fd, bytes.data(), size_t(maxSize));
    ::close(fd);
    if (read < 0)
        return std::nullopt;
    bytes.resize(qsizetype(read));
    return bytes;
}

FileId idOf(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return fromStat(info);
}

FileId idOfDescriptor(int descriptor)
{
    struct stat info = {};
    if (descriptor < 0 || ::fstat(descriptor, &info) != 0)
        return {};
    return fromStat(info);
}

bool isMissing(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

Content contentOf(const QString& path)
{
    Content content;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return content;
    content.header = file.read(100);
    file.close();
    if (content.header.size() < 100)
        return content;
    // "immutable": the log beside the file is not read, and nothing is made.
    sqlite3* db = nullptr;
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1";
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT key, value FROM meta WHERE key IN ('storeId', 'generation')", -1, &stmt,
                               nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const QByteArray key = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                const QString value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
                if (key == "storeId")
                    content.storeId = value;
                else
                    content.generation = value.toLongLong();
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return content;
}

QByteArray markingBytes(int descriptor, qint64 markRootPage)
{
    QByteArray bytes(100, '\0');
    if (descriptor < 0 || ::pread(descriptor, bytes.data(), 100, 0) != 100)
        return {};
    const unsigned char* header = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qint64 stored = (qint64(header[16]) << 8) | header[17];
    const qint64 pageSize = stored == 1 ? 65536 : stored;
    if (pageSize < 512 || markRootPage < 1)
        return bytes;
    QByteArray page(pageSize, '\0');
    const ssize_t read = ::pread(descriptor, page.data(), size_t(pageSize), off_t((markRootPage - 1) * pageSize));
    page.resize(read > 0 ? qsizetype(read) : 0);
    return bytes + page;
}

int openConnectionsFile(sqlite3* db, const QString& path)
{
    // For writing where it can be: some file systems (NFS) lock a file
    // exclusively only through such a descriptor.
    const QByteArray name = QFile::encodeName(path);
    int descriptor = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (descriptor < 0 && (errno == EACCES || errno == EROFS))
        descriptor = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    // SQLite compares the name with the file it opened; both then name ours.
    int moved = 1;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK || moved
        || !(idOfDescriptor(descriptor) == idOf(path))) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

FileId connectionsLog(sqlite3* db, const QString& path)
{
    sqlite3_file* log = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK || !log || !log->pMethods)
        return {};
    int moved = 1;
    if (log->pMethods->xFileControl(log, SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK || moved)
        return {};
    return idOf(path + logSuffix);
}

std::optional<OwnerNote> OwnerNote::read(const QString& notePath)
{
    const std::optional<QByteArray> text = readPlainFile(notePath, 4096);
    if (!text)
        return std::nullopt;
    const QList<QByteArray> lines = text->split('\n');
    OwnerNote note;
    auto idFrom = [](const QList<QByteArray>& fields, qsizetype at) {
        bool device = false, inode = false;
        FileId id{true, fields.value(at).toULongLong(&device), fields.value(at + 1).toULongLong(&inode)};
        id.known = device && inode;
        return id;
    };
    if (lines.value(0).trimmed() != noteHeading) {
        // "main-device main-inode log-device log-inode size modified changed checkpointing"
        const QList<QByteArray> fields = lines.value(0).trimmed().split(' ');
        if (fields.size() < 4)
            return std::nullopt;
        note.legacy = true;
        note.main = idFrom(fields, 0);
        note.log = idFrom(fields, 2);
        if (fields.size() >= 8) {
            note.legacySize = fields[4].toLongLong();
            note.legacyModified = fields[5].toLongLong();
            if (fields[7] == "1")
                note.checkpointTo = 0;
        } else {
            note.checkpointTo = 0; // no stamps: only the inode can tell
        }
        return note;
    }
    for (const QByteArray& line : lines.mid(1)) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        const QByteArray& key = fields.first();
        if (key == "main")
            note.main = idFrom(fields, 1);
        else if (key == "log")
            note.log = idFrom(fields, 1);
        else if (key == "store")
            note.storeId = QString::fromLatin1(fields.value(1));
        else if (key == "generation")
            note.generation = fields.value(1).toLongLong();
        else if (key == "checkpoint-to")
            note.checkpointTo = fields.value(1).toLongLong();
    }
    if (!note.log.known)
        return std::nullopt;
    return note;
}

bool OwnerNote::write(const QString& notePath, bool durable, QStringList* movedAside) const
{
    QByteArray text = noteHeading + '\n';
    text += "main " + QByteArray::number(main.device) + ' ' + QByteArray::number(main.inode) + '\n';
    text += "log " + QByteArray::number(log.device) + ' ' + QByteArray::number(log.inode) + '\n';
    if (!storeId.isEmpty())
        text += "store " + storeId.toLatin1() + '\n';
    text += "generation " + QByteArray::number(generation) + '\n';
    if (checkpointTo)
        text += "checkpoint-to " + QByteArray::number(*checkpointTo) + '\n';
    // Whole or not at all: written beside it, then renamed over it. One
    // sync where the order of writes matters, none where it does not.
    QStringList asides;
    auto setAside = [&asides](const QString& path) {
        struct stat found = {};
        if (::lstat(QFile::encodeName(path).constData(), &found) != 0 || S_ISREG(found.st_mode))
            return true;
        const QString to = FileWriting::moveAside(path);
        if (!to.isEmpty())
            asides.append(to);
        return !to.isEmpty() || errno == ENOENT;
    };
    auto said = [&](bool written) {
        if (movedAside)
            *movedAside = asides;
        return written;
    };
    const QByteArray name = QFile::encodeName(notePath);
    const QByteArray written = name + ".new"; // noteDraftSuffix
    // Made new here: a draft a crash left is ours and goes, anything else
    // standing at its name goes aside, and nothing is written through a link.
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 2; ++attempt) {
        fd = ::open(written.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            break;
        struct stat found = {};
        if (::lstat(written.constData(), &found) == 0 && S_ISREG(found.st_mode))
            ::unlink(written.constData());
        else if (!setAside(QFile::decodeName(written)))
            return said(false);
    }
    if (fd < 0)
        return said(false);
    bool whole = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    whole = whole && (!durable || ::fdatasync(fd) == 0);
    whole = ::close(fd) == 0 && whole;
    // The rename would drop a link or a pipe at the note's name: kept, aside.
    if (!whole || !setAside(notePath) || ::rename(written.constData(), name.constData()) != 0) {
        ::unlink(written.constData());
        return said(false);
    }
    return said(true);
}

bool OwnerNote::describes(const QString& mainPath) const
{
    const FileId file = idOf(mainPath);
    if (legacy) {
        if (!(file == main))
            return false;
        if (checkpointTo)
            return true;
        const QFileInfo info(mainPath);
        struct stat stamps = {};
        if (::stat(QFile::encodeName(mainPath).constData(), &stamps) != 0)
            return false;
        const qint64 modified = qint64(stamps.st_mtim.tv_sec) * 1000000000 + stamps.st_mtim.tv_nsec;
        return info.size() == legacySize && modified == legacyModified;
    }
    const Content content = contentOf(mainPath);
    const bool generationFits = content.generation == generation || (checkpointTo && content.generation == *checkpointTo);
    if (!storeId.isEmpty() && content.storeId == storeId && generationFits)
        return true;
    // A file without an identifier (an older store before its first
    // checkpoint here) is known by its inode alone, as is one whose
    // checkpoint was cut short and cannot be read without its log.
    if (storeId.isEmpty() && !content.hasIdentity() && file == main)
        return true;
    return checkpointTo && !content.hasIdentity() && file == main;
}

QString Hold::reason() const
{
    return QString::fromLocal8Bit(std::strerror(error));
}

namespace {

FileId idOfName(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return fromStat(info);
}

Hold holdFrom(int flockResult)
{
    if (flockResult == 0)
        return {};
    if (errno == EWOULDBLOCK)
        return {Hold::Kind::held};
    return {Hold::Kind::failed, errno};
}

} // namespace

std::unique_ptr<HeldLock> HeldLock::make(const QString& lockPath, int* error)
{
    const QByteArray name = QFile::encodeName(lockPath);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    if (lockFile(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = errno;
        if (idOfDescriptor(fd) == idOfName(lockPath))
            ::unlink(name.constData());
        ::close(fd);
        return nullptr;
    }
    // The maker's text, as earlier versions write it and read it.
    const QByteArray text = QByteArray::number(QCoreApplication::applicationPid()) + '\n'
        + QCoreApplication::applicationName().toUtf8() + '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
    // A lock left empty by a power cut is taken over after a wait, so a
    // failed write or sync costs nothing more.
    if (::write(fd, text.constData(), size_t(text.size())) == text.size())
        ::fdatasync(fd);
    *error = 0;
    return std::unique_ptr<HeldLock>(new HeldLock(lockPath, fd));
}

HeldLock::HeldLock(const QString& path, int descriptor)
    : m_path(path)
    , m_descriptor(descriptor)
{
}

HeldLock::~HeldLock()
{
    // Removed while still held, so that nobody takes a file on its way out.
    if (isAtItsPath())
        ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_descriptor);
}

bool HeldLock::isAtItsPath() const
{
    return idOfDescriptor(m_descriptor) == idOfName(m_path);
}

// A lock file that exists but that no process holds: the program that made
// it is gone, wherever it ran (another machine, an earlier boot). Live locks
// keep their file locked for as long as they are held.
Hold lockHold(const QString& lockPath)
{
    bool notAFile = false;
    const int fd = openPlainFile(QFile::encodeName(lockPath), O_RDONLY, &notAFile);
    if (fd < 0) {
        if (notAFile)
            return {Hold::Kind::notAFile};
        if (errno == ENOENT)
            return {};
        // Not even readable: the system's list of locks decides.
        if (errno == EACCES)
            return {listedAsLocked(idOfName(lockPath)) ? Hold::Kind::held : Hold::Kind::free};
        return {Hold::Kind::failed, errno};
    }
    const Hold hold = holdFrom(lockFile(fd, LOCK_EX | LOCK_NB));
    ::close(fd);
    return hold;
}

bool listedAsLocked(const FileId& file)
{
    if (!file.known)
        return false;
    QFile locks(QStringLiteral("/proc/locks"));
    // Unknown counts as held: a live program is never locked out.
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return true;
    // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:5678 0 EOF"
    const QByteArray wanted = QByteArray::number(::major(file.device), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(::minor(file.device), 16).rightJustified(2, '0') + ':' + QByteArray::number(file.inode);
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // Lines of waiters start with "->" and shift the fields by one.
        for (const QByteArray& field : fields)
            if (field == wanted)
                return true;
    }
    return false;
}

bool takeOverUnheldLock(const QString& lockPath)
{
    const QByteArray name = QFile::encodeName(lockPath);
    bool notAFile = false;
    const int fd = openPlainFile(name, O_RDONLY, &notAFile);
    if (fd < 0) {
        // Not even readable: the system's list of locks decides, where the
        // folder is the user's.
        const QString folder = QFileInfo(lockPath).absolutePath();
        struct stat folderInfo = {};
        const FileId before = idOfName(lockPath);
        if (errno != EACCES || !before.known || ::stat(QFile::encodeName(folder).constData(), &folderInfo) != 0
            || folderInfo.st_uid != ::geteuid() || listedAsLocked(before) || !(idOfName(lockPath) == before))
            return false;
        return ::unlink(name.constData()) == 0;
    }
    // Held while it goes, so that nobody takes it meanwhile and loses it.
    const bool taken = lockFile(fd, LOCK_EX | LOCK_NB) == 0 && idOfDescriptor(fd) == idOfName(lockPath)
        && ::unlink(name.constData()) == 0;
    ::close(fd);
    return taken;
}

QString kindOfFile(unsigned mode)
{
    if (S_ISREG(mode))
        return QStringLiteral("a file");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISLNK(mode))
        return QStringLiteral("a link");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a device");
}

bool moveAsideWhatIsNotAFile(const QString& path, QString* aside, QString* what, QString* why)
{
    aside->clear();
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || S_ISREG(info.st_mode))
        return true;
    *what = kindOfFile(info.st_mode);
    // A rename keeps a folder whole and a link pointing where it did, and
    // never lands on what another start moved aside the same second.
    const QString to = FileWriting::moveAside(path);
    if (to.isEmpty()) {
        if (errno == ENOENT)
            return true; // another start moved it meanwhile
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Another start may have put its lock there since the look above: that
    // goes back, unless yet another has taken the name.
    const QByteArray toName = QFile::encodeName(to);
    struct stat moved = {};
    const bool there = ::lstat(toName.constData(), &moved) == 0;
    if (there && S_ISREG(moved.st_mode)) {
        ::renameat2(AT_FDCWD, toName.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE);
        return true;
    }
    if (there)
        *what = kindOfFile(moved.st_mode); // what went, should it have changed since the look
    *aside = to;
    return true;
}

Hold storeFileHold(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Opened for writing where it can be: some file systems lock only such.
    int fd = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES)
            return {listedAsLocked(idOf(path)) ? Hold::Kind::held : Hold::Kind::free};
        if (errno == ENOENT || errno == ENOTDIR)
            return {}; // no file yet, nobody has it
        return {Hold::Kind::failed, errno};
    }
    const Hold hold = holdFrom(lockFile(fd, LOCK_SH | LOCK_NB));
    ::close(fd);
    return hold;
}

Hold holdStoreFile(int descriptor)
{
    if (descriptor < 0)
        return {Hold::Kind::failed, EBADF};
    return holdFrom(lockFile(descriptor, LOCK_EX | LOCK_NB));
}

bool lockHasText(const QString& lockPath)
{
    bool notAFile = false;
    const int fd = openPlainFile(QFile::encodeName(lockPath), O_RDONLY, &notAFile);
    if (fd < 0)
        return false;
    char text[64] = {};
    const ssize_t read = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    // "pid\n...": from then on it is held exactly while its file is locked.
    const QByteArray firstLine = QByteArray(text, read > 0 ? qsizetype(read) : 0).split('\n').first();
    bool number = false;
    return read > 0 && QByteArray(text, qsizetype(read)).contains('\n') && firstLine.toLongLong(&number) > 0 && number;
}

// A lock file whose text cannot be read and that no process holds: left
// empty by a crash or power cut right after it was made, or being made at
// this moment (its maker locks it right after making it, then writes its
// text). It is waited for a little, then taken over.
bool isAbandonedLock(const QString& lockPath)
{
    constexpr int longestWait = 2000; // milliseconds; the window is not shown yet
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (lockHasText(lockPath) || isMissing(lockPath) || lockHold(lockPath).kind != Hold::Kind::free)
            return false;
        struct stat info = {};
        if (waited.elapsed() >= longestWait || ::lstat(QFile::encodeName(lockPath).constData(), &info) != 0
            || qAbs(qint64(::time(nullptr)) - qint64(info.st_mtim.tv_sec)) >= 10)
            return true;
        QThread::msleep(50);
    }
}

// A byte written and flushed in the folder tells best: free-space figures
// lag behind blocks the file system keeps in reserve.
bool folderHasNoRoom(const QString& folder)
{
    QByteArray name = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".quillsheet-space-XXXXXX")));
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return errno == ENOSPC || errno == EDQUOT;
    const bool full = ::write(fd, "x", 1) != 1 || ::fsync(fd) != 0;
    const int error = errno;
    ::close(fd);
    ::unlink(name.constData());
    return full && (error == ENOSPC || error == EDQUOT);
}

// Makes a folder, also where a symbolic link on the way points to a folder
// that was deleted: the link stays, its target is made again.
std::error_code makeFolder(const QString& folder)
{
    std::error_code error;
    for (int links = 0; links < 8; ++links) {
        error.clear();
        std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
        if (!error)
            return error;
        QString dangling;
        for (QString at = folder; !at.isEmpty() && at != QLatin1String("/"); at = QFileInfo(at).path()) {
            const QFileInfo info(at);
            if (info.isSymLink() && !info.exists()) {
                dangling = info.symLinkTarget();
                break;
            }
            if (info.exists())
                break;
        }
        std::error_code madeTarget;
        if (dangling.isEmpty()
            || !std::filesystem::create_directories(QFile::encodeName(dangling).toStdString(), madeTarget))
            return error;
    }
    return error;
}

} // namespace StoreFileGuard
