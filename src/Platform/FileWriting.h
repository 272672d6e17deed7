#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// Every file the program writes goes through here. QSaveFile alone is not
// enough: it buffers small writes and then reports a successful commit even
// when the final flush was refused (a full disk), leaving an empty file, and
// after a refused larger write it has forgotten why.
namespace FileWriting {

// Writes bytes as the whole content of path. A file already there is
// replaced only once every byte is on disk. None on success; otherwise the
// system's reason (such as "No space left on device"), and path is as it
// was: no new file, an existing one unchanged.
std::optional<QString> writeWholeFile(const QString& path, const QByteArray& bytes);

// Moves whatever stands at path (a file, a folder with all it holds, a link,
// a pipe) to "path.set-aside-<time>", or the first of "-2", "-3"... after it
// that nothing holds: never onto anything, so two starts moving things in
// the same second keep both. The name it went to; empty with errno set when
// it cannot be moved (ENOENT: nothing was there).
QString moveAside(const QString& path);
// The time set-aside names carry; tests fix it, an invalid one restores the clock.
void setAsideTimeForTests(const QDateTime& time);
// Tests take the file system for one that cannot rename without replacing.
void setRenameWithoutReplacingRefusedForTests(bool refused);

// For the files the program keeps in its data folder: the bytes go into a
// file made new here, never through a link or into whatever stands at path,
// and that file then takes path's place. Whatever stands at path that is
// not a plain file is moved aside first; aside gets where it went.
std::optional<QString> writeOwnFile(const QString& path, const QByteArray& bytes, QString* aside = nullptr);

} // namespace FileWriting
