#include "Services/LibraryExchange.h"

#include "Engine/CanvasRecalculation.h"

#include "Models/Canvas.h"
#include "Store/CanvasExport.h"
#include "Models/Identifiers.h"
#include "Models/ModelContext.h"
#include "Platform/FileNames.h"
#include "Platform/FileWriting.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString shownName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

ExchangeFailure importFailure(const QString& path, const QString& why)
{
    return {QStringLiteral("“%1” could not be imported.").arg(shownName(path)), why};
}

} // namespace

LibraryExchange::LibraryExchange(ModelContext& context, Commit commit)
    : m_context(context)
    , m_commit(std::move(commit))
{
}

std::optional<ExchangeFailure> LibraryExchange::exportCanvases(const QList<CanvasPtr>& canvases, const QString& path)
{
    const QString title = QStringLiteral("“%1” could not be saved.").arg(shownName(path));
    const bool replacing = QFileInfo::exists(path);
    const QString keptNote = replacing ? QStringLiteral(" The file that was already there is unchanged.") : QString();
    QString error;
    // No result computed under settings changed since goes into the file.
    CanvasRecalculation::shared().bringUpToDate(canvases);
    const auto bytes = exchangeFileBytes(canvases, &error);
    if (!bytes)
        return ExchangeFailure{title, error + keptNote};
    if (bytes->size() > maximumFileSize)
        return ExchangeFailure{
            title, QStringLiteral("Together the canvases make more than the %1 MB that can be imported again. "
                                  "Export them in smaller groups.%2")
                       .arg(maximumFileSize / (1024 * 1024))
                       .arg(keptNote)};
    // The new content replaces the old file only once it is written whole.
    if (const auto why = FileWriting::writeWholeFile(path, *bytes))
        return ExchangeFailure{title, QStringLiteral("It could not be written in the folder “%1” (%2).%3")
                                          .arg(QFileInfo(path).absolutePath(), *why, keptNote)};
    return std::nullopt;
}

QString LibraryExchange::proposedFileName(const QList<CanvasPtr>& canvases)
{
    QString name = cleanFileName(CanvasExport::suggestedFilename(canvases), QString(),
                                 {.backslash = true, .controlReplacement = u' ', .lineSeparators = true, .doubleQuotes = true});
    // A leading dot would hide the file; an empty stem gets a plain word.
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    if (name == QLatin1String("quillsheet"))
        name = QStringLiteral("Canvas.quillsheet");
    return name;
}

std::optional<QByteArray> LibraryExchange::readFile(const QString& path, QString* why)
{
    auto refuse = [&](const QString& reason) -> std::optional<QByteArray> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(QStringLiteral("The file does not exist."));
    if (info.isDir())
        return refuse(QStringLiteral("It is a folder, not a file."));
    // Pipes and devices could block or never end.
    if (!info.isFile())
        return refuse(QStringLiteral("It is not a regular file."));
    if (info.size() > maximumFileSize)
        return refuse(QStringLiteral("It is larger than %1 MB, too large for an exchange file.")
                          .arg(maximumFileSize / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString() + u'.');
    // The file may have grown since it was looked at.
    QByteArray bytes = file.read(maximumFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString() + u'.');
    if (bytes.size() > maximumFileSize)
        return refuse(QStringLiteral("It is larger than %1 MB, too large for an exchange file.")
                          .arg(maximumFileSize / (1024 * 1024)));
    return bytes;
}

std::optional<ExchangeFailure> LibraryExchange::importFile(const QString& path, QList<CanvasPtr>* imported)
{
    std::optional<CanvasExport> document;
    {
        QString why;
        const auto bytes = readFile(path, &why);
        if (!bytes)
            return importFailure(path, why);
        document = CanvasExport::fromJSON(*bytes, &why);
        if (!document)
            return importFailure(path, QStringLiteral("It is not a readable exchange file:\n%1").arg(why));
    } // the bytes go before the records are made

    // Whatever was pending before belongs to its own transaction.
    if (m_commit) {
        if (const auto error = m_commit())
            return importFailure(path, QStringLiteral("The library cannot be saved right now (%1).").arg(*error));
    }

    QList<CanvasPtr> canvases;
    canvases.reserve(document->canvases.size());
    for (CanvasData& data : document->canvases) {
        const CanvasPtr canvas = data.toCanvas();
        data = CanvasData(); // keep only one form of each canvas in memory
        // Strictly increasing times keep the newest-first library in a stable order.
        QDateTime modified = canvas->modifiedAt();
        if (m_lastModifiedAt.isValid() && modified <= m_lastModifiedAt)
            modified = m_lastModifiedAt.addMSecs(1);
        canvas->setModifiedAt(modified);
        m_lastModifiedAt = modified;
        m_context.insert(canvas);
        canvases.append(canvas);
    }
    if (m_commit && !canvases.isEmpty()) {
        if (const auto error = m_commit()) {
            for (const CanvasPtr& canvas : canvases)
                ModelContext::deleteRecord(canvas);
            return importFailure(
                path, QStringLiteral("The library could not save its canvases (%1). Nothing of the file was added.")
                          .arg(*error));
        }
    }
    if (imported)
        imported->append(canvases);
    return std::nullopt;
}

QList<CanvasPtr> LibraryExchange::importFiles(const QStringList& paths,
                                              const std::function<void(const ExchangeFailure&)>& onFailure)
{
    QList<CanvasPtr> imported;
    for (const QString& path : paths) {
        if (const auto failure = importFile(path, &imported); failure && onFailure)
            onFailure(*failure);
    }
    return imported;
}
