#include "Platform/FileWriting.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileWriting {

namespace {

// Qt's text for a failure it did not record is "Unknown error"; a reason
// that says nothing gives way to the fallback.
QString reasonFrom(const QFileDevice& file, const QString& fallback)
{
    const QString reason = file.error() != QFileDevice::NoError ? file.errorString() : QString();
    return reason.isEmpty() || reason == QLatin1String("Unknown error") ? fallback : reason;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QDateTime fixedAsideTime;
bool withoutReplacingRefused = false;

// A rename that fails with EEXIST where anything stands at to.
int renameWithoutReplacing(const char* from, const char* to)
{
    if (!withoutReplacingRefused) {
        if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
            return 0;
        // EINVAL: the file system has no such rename (some network ones).
        if (errno != EINVAL && errno != ENOSYS)
            return -1;
    }
    struct stat info = {};
    if (::lstat(from, &info) != 0)
        return -1;
    // A second name that cannot replace anything, then the first goes.
    if (!S_ISDIR(info.st_mode)) {
        if (::linkat(AT_FDCWD, from, AT_FDCWD, to, 0) == 0) {
            if (::unlink(from) == 0)
                return 0;
            const int error = errno;
            ::unlink(to);
            errno = error;
            return -1;
        }
        if (errno == EEXIST)
            return -1;
    }
    // A folder (or a disk without hard links): a rename where nothing
    // stands, which can replace at most an empty folder made meanwhile.
    struct stat taken = {};
    if (::lstat(to, &taken) == 0) {
        errno = EEXIST;
        return -1;
    }
    if (::rename(from, to) == 0)
        return 0;
    if (errno == ENOTEMPTY || errno == ENOTDIR || errno == EISDIR)
        errno = EEXIST;
    return -1;
}

} // namespace

QString moveAside(const QString& path)
{
    const QDateTime time = fixedAsideTime.isValid() ? fixedAsideTime : QDateTime::currentDateTime();
    const QString stem = path + QStringLiteral(".set-aside-") + time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(path);
    for (int n = 1; n <= 1000; ++n) {
        const QString to = n == 1 ? stem : stem + QStringLiteral("-%1").arg(n);
        if (renameWithoutReplacing(from.constData(), QFile::encodeName(to).constData()) == 0)
            return to;
        if (errno != EEXIST)
            return QString();
    }
    errno = EEXIST;
    return QString();
}

void setAsideTimeForTests(const QDateTime& time)
{
    fixedAsideTime = time;
}

void setRenameWithoutReplacingRefusedForTests(bool refused)
{
    withoutReplacingRefused = refused;
}

std::optional<QString> writeOwnFile(const QString& path, const QByteArray& bytes, QString* aside)
{
    if (aside)
        aside->clear();
    const QByteArray name = QFile::encodeName(path);
    // Made here, under a name nobody holds: never a link's target.
    QByteArray made = name + ".new-XXXXXX";
    const int fd = ::mkostemp(made.data(), O_CLOEXEC);
    if (fd < 0)
        return systemReason(errno);
    auto fail = [&](int error) {
        ::unlink(made.constData());
        return systemReason(error);
    };
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote <= 0) {
            const int error = wrote < 0 ? errno : ENOSPC;
            ::close(fd);
            return fail(error);
        }
        done += wrote;
    }
    if ((::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) || ::fchmod(fd, 0644) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    if (::close(fd) != 0)
        return fail(errno);
    // The rename would drop a link, a pipe or an empty folder standing
    // there: what is not a plain file is kept, aside.
    struct stat found = {};
    if (::lstat(name.constData(), &found) == 0 && !S_ISREG(found.st_mode)) {
        const QString movedTo = moveAside(path);
        if (movedTo.isEmpty() && errno != ENOENT)
            return fail(errno);
        if (aside)
            *aside = movedTo;
    }
    if (::rename(made.constData(), name.constData()) != 0)
        return fail(errno);
    return std::nullopt;
}

std::optional<QString> writeWholeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // Unbuffered: every write reaches the system at once, so its refusal is
    // seen here and not lost in a flush whose failure commit() ignores.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return reasonFrom(file, QStringLiteral("The file could not be created"));
    auto fail = [&file](const QString& reason) {
        file.cancelWriting();
        return reason;
    };
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        // A write cut short says nothing of why; asking for the rest brings
        // the system's reason (a full disk, say).
        const qint64 done = qMax<qint64>(written, 0);
        errno = 0;
        if (::write(file.handle(), bytes.constData() + done, size_t(bytes.size() - done)) < 0 && errno != 0)
            return fail(systemReason(errno));
        return fail(reasonFrom(file,
                               QStringLiteral("Only %1 of %2 bytes could be written").arg(done).arg(bytes.size())));
    }
    // Some file systems (network ones, delayed allocation) refuse the bytes
    // only when they go to disk.
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != ENOTSUP)
        return fail(systemReason(errno));
    if (const qint64 size = file.size(); size != bytes.size())
        return fail(QStringLiteral("Only %1 of %2 bytes reached the disk").arg(size).arg(bytes.size()));
    if (!file.commit())
        return reasonFrom(file, QStringLiteral("The file could not take the place of the one there"));
    return std::nullopt;
}

} // namespace FileWriting
