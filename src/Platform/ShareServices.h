#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QMimeData;

// What this desktop can do with a file someone wants to share: there is no
// system share picker here, so the program offers these itself.
class ShareServices {
public:
    enum class Service { email, open, showInFolder, copy, saveCopy };
    struct Entry {
        Service service;
        QString title;
    };

    // Finds a program on the PATH (empty when missing) and starts one
    // without waiting for it; tests replace both.
    using ExecutableFinder = std::function<QString(const QString& name)>;
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;
    using UrlOpener = std::function<bool(const QString& localPath)>;

    ShareServices();
    ShareServices(ExecutableFinder finder, Launcher launcher, UrlOpener opener);

    // E-mail only when xdg-email is installed.
    QList<Entry> available() const;

    bool sendByEmail(const QString& filePath) const;
    bool open(const QString& filePath) const;
    bool showInFolder(const QString& filePath) const;
    // Puts the file on the clipboard as a file to paste elsewhere.
    void copyToClipboard(const QString& filePath) const;
    // Copies the file to destination through a temporary file: a failure
    // leaves an existing destination as it was.
    bool saveCopy(const QString& filePath, const QString& destination, QString* errorText = nullptr) const;

    // Runs a service that asks nothing more (all but saveCopy); false with
    // why when the file is gone or nothing on this desktop took it.
    bool perform(Service service, const QString& filePath, QString* why = nullptr) const;

    static QMimeData* fileMimeData(const QString& filePath);

    // A file name from a canvas name: "/" and control characters become "-",
    // cut to the file system's 255 bytes with the extension kept.
    static QString fileName(const QString& name, const QString& extension);

private:
    ExecutableFinder m_finder;
    Launcher m_launcher;
    UrlOpener m_opener;
};
