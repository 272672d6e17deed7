#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A file system of a few pages mounted for one test, so that writes meet a
// disk that refuses them the way a real full disk does. Mounting needs root
// (as in CI); when it cannot be had, skipReason() says why.
class FullFileSystem {
public:
    enum class Access { writable, readOnly };
    explicit FullFileSystem(int kilobytes = 64, Access access = Access::writable);
    // Unmounts (lazily, even with files still open) and removes the folder.
    ~FullFileSystem();
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;

    bool isMounted() const { return m_mounted; }
    // Why there is no file system; empty when mounted.
    QString skipReason() const { return m_skipReason; }

    QString path() const { return m_path; }
    QString filePath(const QString& name) const;
    // Writes a file while there is still room; false when it did not fit.
    bool place(const QString& name, const QByteArray& bytes) const;
    // Takes every free byte with a filler file; false when room is left.
    bool fill() const;
    // Every file below the mount point, relative to it, sorted.
    QStringList files() const;

    static QString fillerName() { return QStringLiteral("filler"); }

private:
    QString m_path;
    QString m_skipReason;
    bool m_mounted = false;
};

// One file that cannot be written while this lives, for root too: a
// read-only bind mount over it (root writes whatever chmod says). Without
// root the file's permission does it.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isReadOnly() const { return m_skipReason.isEmpty(); }
    QString skipReason() const { return m_skipReason; }

private:
    QByteArray m_path;
    QString m_skipReason;
    bool m_mounted = false;
};
