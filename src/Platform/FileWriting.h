#pragma once

#include <QByteArray>
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

} // namespace FileWriting
