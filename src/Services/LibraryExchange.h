#pragma once

#include "Models/RecordPointers.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class ModelContext;

// What an alert about a failed export or import says.
struct ExchangeFailure {
    QString title;   // what failed, naming the file
    QString message; // why, as plain text
};

// Moves canvases between the library and exchange files: export writes the
// chosen canvases into one file; import adds every canvas of each file as a
// new canvas, each file all or nothing.
class LibraryExchange {
public:
    // Saves what is pending in the context as one transaction; none on
    // success, else why it failed.
    using Commit = std::function<std::optional<QString>()>;

    // Larger files are refused before they are read, and an export that
    // would be larger is refused too: what is exported can be imported again.
    // A library of some 1,500 canvases of 50 rows fits.
    static constexpr qint64 maximumFileSize = 64LL * 1024 * 1024;

    // Without a commit, inserted canvases are saved with the context's next turn.
    explicit LibraryExchange(ModelContext& context, Commit commit = {});

    // Writes the canvases to path through a temporary file, so a failed write
    // leaves a file already there as it was. None on success.
    static std::optional<ExchangeFailure> exportCanvases(const QList<CanvasPtr>& canvases, const QString& path);

    // The name offered in the save dialog: the suggested file name with "/"
    // and control characters replaced, so it cannot name a folder, and
    // double quotes, which the dialog would read as a list of names.
    static QString proposedFileName(const QList<CanvasPtr>& canvases);

    // Imports one file: reads, checks, converts and inserts all its canvases
    // in one transaction. On failure nothing of the file stays in the library.
    std::optional<ExchangeFailure> importFile(const QString& path, QList<CanvasPtr>* imported = nullptr);

    // Imports the files in order; each failing file is reported to onFailure
    // (one call per file) and the next file goes on. Returns the imported
    // canvases in the order they were created.
    QList<CanvasPtr> importFiles(const QStringList& paths,
                                 const std::function<void(const ExchangeFailure&)>& onFailure = {});

    // The file's bytes, or why it is refused before reading (missing, a
    // folder or other non-file, too large, unreadable).
    static std::optional<QByteArray> readFile(const QString& path, QString* why);

private:
    ModelContext& m_context;
    Commit m_commit;
    QDateTime m_lastModifiedAt; // imported canvases get strictly increasing times
};
