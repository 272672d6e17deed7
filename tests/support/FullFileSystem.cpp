#include "support/FullFileSystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

} // namespace

FullFileSystem::FullFileSystem(int kilobytes, Access access)
{
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("mounting a small full file system needs root");
        return;
    }
    QByteArray folder = QDir::tempPath().toLocal8Bit() + "/quillsheet-full-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        m_skipReason = QStringLiteral("no folder for the mount: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_path = QString::fromLocal8Bit(folder);
    // 16 pages by default: room for the files a test places before filling it.
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0700";
    const unsigned long flags = MS_NOSUID | MS_NODEV | MS_NOEXEC | (access == Access::readOnly ? MS_RDONLY : 0);
    if (::mount("tmpfs", folder.constData(), "tmpfs", flags, options.constData()) != 0) {
        m_skipReason = QStringLiteral("mounting a tmpfs was refused: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::rmdir(folder.constData());
        m_path.clear();
        return;
    }
    m_mounted = true;
}

FullFileSystem::~FullFileSystem()
{
    if (m_path.isEmpty())
        return;
    const QByteArray folder = m_path.toLocal8Bit();
    if (m_mounted)
        ::umount2(folder.constData(), MNT_DETACH);
    ::rmdir(folder.constData());
}

QString FullFileSystem::filePath(const QString& name) const
{
    return QDir(m_path).filePath(name);
}

bool FullFileSystem::place(const QString& name, const QByteArray& bytes) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

bool FullFileSystem::fill() const
{
    const int fd = ::open(filePath(fillerName()).toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const QByteArray chunk(4096, '\0');
    while (writeAll(fd, chunk.constData(), size_t(chunk.size()))) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    // Even a single byte in a new file must be refused now.
    QFile probe(filePath(QStringLiteral("probe")));
    const bool refused = probe.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && probe.write("x", 1) != 1;
    probe.remove();
    return full && refused;
}

QStringList FullFileSystem::files() const
{
    QStringList found;
    QDirIterator it(m_path, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(m_path).relativeFilePath(it.next()));
    found.sort();
    return found;
}

ReadOnlyFile::ReadOnlyFile(const QString& path)
    : m_path(QFile::encodeName(path))
{
    if (::geteuid() != 0) {
        if (::chmod(m_path.constData(), 0444) != 0)
            m_skipReason = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    if (::mount(m_path.constData(), m_path.constData(), nullptr, MS_BIND, nullptr) != 0) {
        m_skipReason = QStringLiteral("a bind mount was refused: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
    if (::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        m_skipReason = QStringLiteral("a read-only remount was refused: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_mounted)
        ::umount2(m_path.constData(), MNT_DETACH);
    else if (::geteuid() != 0)
        ::chmod(m_path.constData(), 0644);
}
