#include "Platform/FileWriting.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>
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

} // namespace

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
