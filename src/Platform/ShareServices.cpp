#include "Platform/ShareServices.h"

#include "Platform/FileNames.h"
#include "Platform/FileWriting.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

constexpr qsizetype fileNameBytes = 255;

} // namespace

ShareServices::ShareServices()
    : ShareServices([](const QString& name) { return QStandardPaths::findExecutable(name); },
                    [](const QString& program, const QStringList& arguments) {
                        return QProcess::startDetached(program, arguments);
                    },
                    [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); })
{
}

ShareServices::ShareServices(ExecutableFinder finder, Launcher launcher, UrlOpener opener)
    : m_finder(std::move(finder))
    , m_launcher(std::move(launcher))
    , m_opener(std::move(opener))
{
}

QList<ShareServices::Entry> ShareServices::available() const
{
    QList<Entry> entries;
    if (m_finder && !m_finder(QStringLiteral("xdg-email")).isEmpty())
        entries.append({Service::email, QStringLiteral("Send by E-Mail...")});
    entries.append({Service::open, QStringLiteral("Open with Default Application")});
    entries.append({Service::showInFolder, QStringLiteral("Show in File Manager")});
    entries.append({Service::copy, QStringLiteral("Copy File")});
    entries.append({Service::saveCopy, QStringLiteral("Save a Copy...")});
    return entries;
}

bool ShareServices::sendByEmail(const QString& filePath) const
{
    const QString program = m_finder ? m_finder(QStringLiteral("xdg-email")) : QString();
    if (program.isEmpty() || !m_launcher)
        return false;
    return m_launcher(program, {QStringLiteral("--subject"), QFileInfo(filePath).fileName(), QStringLiteral("--attach"),
                                QFileInfo(filePath).absoluteFilePath()});
}

bool ShareServices::open(const QString& filePath) const
{
    return m_opener && m_opener(QFileInfo(filePath).absoluteFilePath());
}

bool ShareServices::showInFolder(const QString& filePath) const
{
    return m_opener && m_opener(QFileInfo(filePath).absolutePath());
}

bool ShareServices::perform(Service service, const QString& filePath, QString* why) const
{
    auto fail = [&](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    const QString name = QFileInfo(filePath).fileName();
    // The menu may stay open longer than the shared file.
    if (!QFileInfo(filePath).isFile())
        return fail(QStringLiteral("“%1” is no longer there: shared files are removed after a minute.").arg(name));
    switch (service) {
    case Service::email:
        return sendByEmail(filePath) || fail(QStringLiteral("No e-mail program could be started for “%1”.").arg(name));
    case Service::open:
        return open(filePath) || fail(QStringLiteral("No application could open “%1”.").arg(name));
    case Service::showInFolder:
        return showInFolder(filePath)
            || fail(QStringLiteral("No file manager could show the folder of “%1”.").arg(name));
    case Service::copy:
        copyToClipboard(filePath);
        return true;
    case Service::saveCopy:
        break;
    }
    return fail(QStringLiteral("Saving a copy needs a destination."));
}

QMimeData* ShareServices::fileMimeData(const QString& filePath)
{
    const QUrl url = QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath());
    auto* data = new QMimeData;
    data->setUrls({url});
    // File managers paste a copy of the file from this form.
    data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + url.toEncoded());
    return data;
}

void ShareServices::copyToClipboard(const QString& filePath) const
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setMimeData(fileMimeData(filePath));
}

bool ShareServices::saveCopy(const QString& filePath, const QString& destination, QString* errorText) const
{
    auto fail = [&](const QString& reason) {
        if (errorText)
            *errorText = reason;
        return false;
    };
    QFile source(filePath);
    if (!source.open(QIODevice::ReadOnly))
        return fail(source.errorString());
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return fail(source.errorString());
    if (const auto why = FileWriting::writeWholeFile(destination, bytes))
        return fail(*why);
    return true;
}

QString ShareServices::fileName(const QString& name, const QString& extension)
{
    // A leading dot would hide the file from the one it is offered to, and
    // an unnamed canvas would give no name at all.
    // Cleaned first: what is dropped could hide a leading dot.
    QString stem = cleanFileName(name, QString(), {.doubleQuotes = true});
    while (stem.startsWith(u'.'))
        stem.remove(0, 1);
    if (stem.trimmed().isEmpty())
        stem = QStringLiteral("Canvas");
    return cleanFileName(stem, extension, {.doubleQuotes = true, .maximumBytes = fileNameBytes});
}
