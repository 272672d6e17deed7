#include "Platform/ShareServices.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class ShareServicesTest : public ::testing::Test {
protected:
    ShareServices services(bool hasEmail)
    {
        return ShareServices(
            [hasEmail](const QString& name) {
                return hasEmail && name == QLatin1String("xdg-email") ? QStringLiteral("/usr/bin/xdg-email") : QString();
            },
            [this](const QString& program, const QStringList& arguments) {
                launched << (QStringList{program} + arguments).join(u' ');
                return true;
            },
            [this](const QString& path) {
                opened << path;
                return opensWork;
            });
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

    QTemporaryDir dir;
    QStringList launched;
    QStringList opened;
    bool opensWork = true; // false: no program takes what is opened
};

} // namespace

TEST_F(ShareServicesTest, OffersWhatThisDesktopHas)
{
    auto titles = [](const QList<ShareServices::Entry>& entries) {
        QStringList list;
        for (const auto& entry : entries)
            list << entry.title;
        return list;
    };
    const QStringList always{"Open with Default Application", "Show in File Manager", "Copy File", "Save a Copy..."};
    EXPECT_EQ(titles(services(false).available()), always);
    EXPECT_EQ(titles(services(true).available()), QStringList{"Send by E-Mail..."} + always);
}

TEST_F(ShareServicesTest, EachServiceHandsOnTheFile)
{
    const QString path = writeFile(QStringLiteral("Budget März.pdf"), "%PDF-");
    const ShareServices withEmail = services(true);
    EXPECT_TRUE(withEmail.sendByEmail(path));
    EXPECT_EQ(launched, QStringList{"/usr/bin/xdg-email --subject Budget März.pdf --attach " + path});
    EXPECT_FALSE(services(false).sendByEmail(path));
    EXPECT_EQ(launched.size(), 1);

    EXPECT_TRUE(withEmail.open(path));
    EXPECT_TRUE(withEmail.showInFolder(path));
    EXPECT_EQ(opened, (QStringList{path, dir.path()}));

    std::unique_ptr<QMimeData> data(ShareServices::fileMimeData(path));
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(data->data(QStringLiteral("x-special/gnome-copied-files")),
              "copy\n" + QUrl::fromLocalFile(path).toEncoded());
}

// A service that cannot take the file says why instead of doing nothing.
TEST_F(ShareServicesTest, PerformedServicesSayWhyTheyFailed)
{
    using Service = ShareServices::Service;
    const QString path = writeFile(QStringLiteral("Budget.pdf"), "%PDF-");
    const QString gone = dir.filePath(QStringLiteral("Gone.pdf"));
    struct Case {
        Service service;
        QString file;
        bool hasEmail;
        bool opens;
        const char* why; // empty: it works
    };
    const Case cases[] = {
        {Service::open, path, false, true, ""},
        {Service::showInFolder, path, false, true, ""},
        {Service::email, path, true, true, ""},
        {Service::open, path, false, false, "No application could open “Budget.pdf”."},
        {Service::showInFolder, path, false, false, "No file manager could show the folder of “Budget.pdf”."},
        {Service::email, path, false, true, "No e-mail program could be started for “Budget.pdf”."},
        {Service::open, gone, false, true, "“Gone.pdf” is no longer there: shared files are removed after a minute."},
        {Service::saveCopy, path, false, true, "Saving a copy needs a destination."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        opensWork = c.opens;
        QString why;
        EXPECT_EQ(services(c.hasEmail).perform(c.service, c.file, &why), QString::fromUtf8(c.why).isEmpty());
        EXPECT_EQ(why, QString::fromUtf8(c.why));
    }
}

TEST_F(ShareServicesTest, SavedCopyReplacesOrKeepsTheTarget)
{
    const QString source = writeFile(QStringLiteral("share.pdf"), "%PDF-new");
    const QString existing = writeFile(QStringLiteral("old.pdf"), "%PDF-old");
    struct Case {
        QString source;
        QString target;
        bool ok;
        QByteArray after;
    };
    const Case cases[] = {
        {source, dir.filePath(QStringLiteral("copy.pdf")), true, "%PDF-new"},
        {source, existing, true, "%PDF-new"},
        {dir.filePath(QStringLiteral("gone.pdf")), existing, false, "%PDF-new"},
        {source, dir.filePath(QStringLiteral("no/folder.pdf")), false, QByteArray()},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(services(false).saveCopy(c.source, c.target, &error), c.ok) << c.target.toStdString();
        EXPECT_EQ(error.isEmpty(), c.ok);
        QFile file(c.target);
        file.open(QIODevice::ReadOnly);
        EXPECT_EQ(file.readAll(), c.after) << c.target.toStdString();
    }
}

TEST(ShareFileName, CanvasNamesBecomeSafeFileNames)
{
    struct Case {
        QString name;
        QString extension;
        QString expected;
    };
    const QString long300 = QString(300, QLatin1Char('a'));
    const QString umlauts = QString(200, QChar(u'ä')); // two bytes each
    const QString emoji = QStringLiteral("😀").repeated(100); // four bytes each
    const Case cases[] = {
        {QStringLiteral("Budget"), QStringLiteral(".pdf"), QStringLiteral("Budget.pdf")},
        {QString(), QStringLiteral(".quillsheet"), QStringLiteral("Canvas.quillsheet")},
        {QStringLiteral(".hidden"), QStringLiteral(".pdf"), QStringLiteral("hidden.pdf")},
        {QStringLiteral("a/b/../c"), QStringLiteral(".pdf"), QStringLiteral("a-b-..-c.pdf")},
        {QStringLiteral("tab\there\nnew\u007f"), QStringLiteral(".pdf"), QStringLiteral("tab-here-new-.pdf")},
        {QStringLiteral(".."), QStringLiteral(".pdf"), QStringLiteral("Canvas.pdf")},
        // The file dialog would split a name with double quotes into several.
        {QStringLiteral("Budget \"2026\""), QStringLiteral(".pdf"), QStringLiteral("Budget '2026'.pdf")},
        {long300, QStringLiteral(".pdf"), QString(251, QLatin1Char('a')) + QStringLiteral(".pdf")},
        {long300, QStringLiteral(".quillsheet"), QString(244, QLatin1Char('a')) + QStringLiteral(".quillsheet")},
        {umlauts, QStringLiteral(".pdf"), QString(125, QChar(u'ä')) + QStringLiteral(".pdf")},
        // Invisible format characters go: none turns "fdp.exe" into what reads as "exe.pdf".
        {QStringLiteral("Rechnung\u202Efdp.exe"), QStringLiteral(".pdf"), QStringLiteral("Rechnungfdp.exe.pdf")},
        {QStringLiteral("\u200B.\u2066x\u2069\uFEFF"), QStringLiteral(".pdf"), QStringLiteral("x.pdf")},
        {QStringLiteral("\u200D\u00AD"), QStringLiteral(".pdf"), QStringLiteral("Canvas.pdf")},
        // A character is never cut in half.
        {emoji, QStringLiteral(".pdf"), QStringLiteral("😀").repeated(62) + QStringLiteral(".pdf")},
    };
    for (const Case& c : cases) {
        const QString name = ShareServices::fileName(c.name, c.extension);
        EXPECT_EQ(name, c.expected);
        EXPECT_LE(name.toUtf8().size(), 255);
    }
}
