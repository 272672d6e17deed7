#include "Store/CanvasExport.h"
#include "Platform/ShareServices.h"
#include "Services/LibraryExchange.h"
#include "Views/Share/CanvasImageDocument.h"
#include "Views/Share/ExportFixture.h"
#include "support/FullFileSystem.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Lets writes beyond a few bytes fail, as on a full disk, for one scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

using ExportControllerTest = ExportFixture;

TEST_F(ExportControllerTest, SavePdfOutcomes)
{
    addRows(3);
    struct Case { const char* name; std::function<QString()> target; bool written; bool alert; }; // empty target: cancel
    const QList<Case> cases = {
        {"cancel", [] { return QString(); }, false, false},
        {"new file", [&] { return dir.filePath(QStringLiteral("new.pdf")); }, true, false},
        {"replaces a file", [&] { return writeFile(QStringLiteral("existing.pdf"), "old contents"); }, true, false},
        {"folder gone", [&] { return dir.filePath(QStringLiteral("missing/out.pdf")); }, false, true},
        {"target is a folder",
         [&] {
             QDir().mkpath(dir.filePath(QStringLiteral("folder.pdf")));
             return dir.filePath(QStringLiteral("folder.pdf"));
         },
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs->alerts.clear();
        dialogs->saveAnswer = c.target();
        controller.savePDF(canvas, &window);
        EXPECT_EQ(dialogs->proposedNames.last(), QStringLiteral("Budget.pdf"));
        EXPECT_EQ(dialogs->saveParents.last(), &window);
        if (c.written) {
            EXPECT_TRUE(fileBytes(dialogs->saveAnswer).startsWith("%PDF-"));
        } else if (!dialogs->saveAnswer.isEmpty() && !QFileInfo(dialogs->saveAnswer).isDir()) {
            EXPECT_FALSE(QFileInfo::exists(dialogs->saveAnswer));
        }
        ASSERT_EQ(dialogs->alerts.size(), c.alert ? 1 : 0);
        if (c.alert) {
            EXPECT_TRUE(dialogs->alerts[0].startsWith(QStringLiteral("Export fehlgeschlagen | ")));
        }
    }
}

// A failed write leaves the file that was there whole and says why.
TEST_F(ExportControllerTest, FailedWriteKeepsTheExistingFile)
{
    addRows(20);
    const QByteArray old("%PDF-old but precious");
    const QString path = writeFile(QStringLiteral("Budget.pdf"), old);
    dialogs->saveAnswer = path;
    {
        // Room for a few hundred bytes only: the PDF's write fails midway.
        FileSizeLimit limit(512);
        controller.savePDF(canvas, &window);
    }
    EXPECT_EQ(fileBytes(path), old);
    ASSERT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(dialogs->alerts[0].startsWith(QStringLiteral("Export fehlgeschlagen | ")));
    EXPECT_GT(dialogs->alerts[0].size(), QStringLiteral("Export fehlgeschlagen | ").size());

    if (geteuid() != 0) {
        // A file the user may not write (root may write anything).
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        dialogs->alerts.clear();
        controller.savePDF(canvas, &window);
        EXPECT_EQ(fileBytes(path), old);
        EXPECT_EQ(dialogs->alerts.size(), 1);
    }
}

// On a full disk every write path says why and leaves the disk as it was:
// no new file, an earlier one byte for byte, no partial or temporary file.
TEST_F(ExportControllerTest, FullDiskRefusesEveryWrite)
{
    FullFileSystem disk;
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    addRows(3); // small enough to sit in a write buffer
    const QString refusal = QStringLiteral("No space left on device");
    auto savePdf = [&](const QString& path) {
        dialogs->saveAnswer = path;
        controller.savePDF(canvas, &window);
        return dialogs->alerts.join(u'\n');
    };
    auto print = [&](const QString& path) {
        dialogs->onPrint = printInto(path);
        controller.printCanvas(canvas, window.centralWidget());
        return dialogs->alerts.join(u'\n');
    };
    auto exportFile = [&](const QString& path) {
        const auto failure = LibraryExchange::exportCanvases({canvas}, path);
        return failure ? failure->title + u' ' + failure->message : QString();
    };
    struct Case { const char* name; QString file; QByteArray old; std::function<QString(const QString&)> write; };
    const Case cases[] = {
        {"export new", "new.quillsheet", {}, exportFile},
        {"export over a file", "old.quillsheet", "{\"canvases\":[]}", exportFile},
        {"PDF new", "new.pdf", {}, savePdf},
        {"PDF over a file", "old.pdf", "%PDF-old", savePdf},
        {"print to a new file", "printed.pdf", {}, print},
        {"print over a file", "printed-old.pdf", "%PDF-printed", print},
        {"share", "", {},
         [&](const QString&) {
             controller.setShareFolderRoot(disk.path());
             controller.sharePDF(canvas, window.centralWidget(), QPoint());
             EXPECT_TRUE(picker->paths.isEmpty());
             return dialogs->alerts.join(u'\n');
         }},
        {"image", "canvas.png", "old png",
         [](const QString& path) {
             QImage image(40, 30, QImage::Format_ARGB32);
             image.fill(Qt::red);
             QString error;
             CanvasImageDocument(image).write(path, &error);
             return error;
         }},
        {"copy of a shared file", "copy.pdf", {},
         [&](const QString& path) {
             QString error;
             ShareServices().saveCopy(writeFile(QStringLiteral("shared.pdf"), "%PDF-shared"), path, &error);
             return error;
         }},
        {"PDF too large for a write buffer", "large.pdf", {},
         [&](const QString& path) {
             addRows(200);
             EXPECT_GT(controller.exportPDF(canvas)->size(), 16 * 1024);
             return savePdf(path);
         }},
    };
    for (const Case& c : cases) {
        if (!c.old.isEmpty()) {
            ASSERT_TRUE(disk.place(c.file, c.old));
        }
    }
    ASSERT_TRUE(disk.fill());
    const QStringList before = disk.files();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs->alerts.clear();
        const QString said = c.write(c.file.isEmpty() ? QString() : disk.filePath(c.file));
        EXPECT_TRUE(said.contains(refusal)) << said.toStdString();
        EXPECT_FALSE(said.contains(QStringLiteral("Unknown error")));
        EXPECT_EQ(disk.files(), before);
        if (!c.old.isEmpty()) {
            EXPECT_EQ(fileBytes(disk.filePath(c.file)), c.old);
        }
    }
}

TEST_F(ExportControllerTest, ProposedNamesComeFromTheCanvasName)
{
    const std::pair<QString, QString> cases[] = {{"Budget", "Budget.pdf"}, {QString(), "Canvas.pdf"}, {".versteckt", "versteckt.pdf"}, {"Q1/Q2 März", "Q1-Q2 März.pdf"}};
    for (const auto& [name, proposed] : cases) {
        canvas->setName(name);
        controller.savePDF(canvas, nullptr);
        EXPECT_EQ(dialogs->proposedNames.last(), proposed);
        // Without a window the key window holds the dialog.
        EXPECT_EQ(dialogs->saveParents.last(), &window);
    }
}

// What is saved is the canvas as it was when asked, whatever happens while
// the dialog is open.
TEST_F(ExportControllerTest, PdfIsMadeBeforeTheSaveDialogOpens)
{
    addRows(10);
    dialogs->saveAnswer = dir.filePath(QStringLiteral("before.pdf"));
    dialogs->onSave = [this] {
        canvas->setName(QStringLiteral("Renamed"));
        ModelContext::deleteRecord(canvas);
    };
    controller.savePDF(canvas, &window);
    const QByteArray pdf = fileBytes(dialogs->saveAnswer);
    EXPECT_EQ(pdfMediaBox(pdf), QStringLiteral("0 0 595 680"));
    const QString text = pdfText(dialogs->saveAnswer);
    if (!text.isEmpty()) {
        EXPECT_TRUE(text.contains(QStringLiteral("Budget")));
        EXPECT_TRUE(text.contains(QStringLiteral("Posten009")));
    }
}

TEST_F(ExportControllerTest, LightSettingIsReadAtEachCall)
{
    addRows(1);
    EXPECT_EQ(controller.pageFor(canvas, ExportMode::pdf).background, QColor(Qt::black));
    defaults.setValue(QStringLiteral("canvasLightMode"), true);
    EXPECT_EQ(controller.pageFor(canvas, ExportMode::pdf).background, QColor(Qt::white));
    EXPECT_EQ(controller.pageFor(canvas, ExportMode::print).background, QColor(Qt::white));
    defaults.setValue(QStringLiteral("canvasLightMode"), false);
    EXPECT_EQ(controller.pageFor(canvas, ExportMode::print).background, QColor(Qt::white));
    const QByteArray pdf = controller.exportPDF(canvas).value_or(QByteArray());
    EXPECT_EQ(pdfPageCount(pdf), 1);
    EXPECT_EQ(pdfMediaBox(pdf), QStringLiteral("0 0 595 176"));
}

TEST_F(ExportControllerTest, ShareWritesIntoAPrivateFolderAndOffersIt)
{
    addRows(2);
    struct Case { const char* name; bool pdf, view, exchange; const char* fileName; bool offered, written; };
    const Case cases[] = {
        {"pdf", true, true, true, "Budget.pdf", true, true},
        {"canvas file", false, true, true, "Budget.quillsheet", true, true},
        {"pdf without a view", true, false, true, "Budget.pdf", false, true},
        {"canvas file without a view", false, false, true, "Budget.quillsheet", false, true},
        {"no exchange data", false, true, false, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        controller.setShareFolderRoot(root.path());
        controller.setShareFileLifetime(60000);
        picker->paths.clear();
        exchangeWorks = c.exchange;
        QWidget* view = c.view ? window.centralWidget() : nullptr;
        if (c.pdf)
            controller.sharePDF(canvas, view, QPoint(3, 4));
        else
            controller.shareCanvas(canvas, view, QPoint(3, 4));
        const QStringList folders = QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        ASSERT_EQ(folders.size(), c.written ? 1 : 0);
        ASSERT_EQ(picker->paths.size(), c.offered ? 1 : 0);
        if (!c.written)
            continue;
        const QString folder = QDir(root.path()).filePath(folders[0]);
        EXPECT_EQ(QFileInfo(folder).permissions(),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                      | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        const QString file = QDir(folder).filePath(QString::fromUtf8(c.fileName));
        const QByteArray bytes = fileBytes(file);
        if (c.pdf)
            EXPECT_TRUE(bytes.startsWith("%PDF-"));
        else
            EXPECT_EQ(bytes, QByteArray("{\"canvases\":[\"Budget\"]}"));
        if (c.offered) {
            EXPECT_EQ(picker->paths[0], file);
            EXPECT_EQ(picker->contents.last(), bytes);
            EXPECT_EQ(picker->anchors.last(), window.centralWidget());
            EXPECT_EQ(picker->points.last(), QPoint(3, 4));
        }
    }
}

TEST_F(ExportControllerTest, EachShareFolderGoesAfterItsOwnDelay)
{
    addRows(1);
    QStringList removed;
    QObject::connect(&controller, &CanvasExportController::shareFolderRemoved, &controller,
                     [&](const QString& path) { removed << path; });
    controller.setShareFileLifetime(60000);
    controller.sharePDF(canvas, window.centralWidget(), QPoint());
    controller.setShareFileLifetime(50);
    // Same canvas name: its own folder, so the first file is untouched.
    controller.sharePDF(canvas, window.centralWidget(), QPoint());
    ASSERT_EQ(picker->paths.size(), 2);
    EXPECT_NE(picker->paths[0], picker->paths[1]);
    EXPECT_EQ(controller.pendingShareCount(), 2);
    ASSERT_TRUE(waitUntil([&] { return removed.size() == 1; }));
    EXPECT_FALSE(QFileInfo::exists(picker->paths[1]));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(picker->paths[1]).absolutePath()));
    EXPECT_TRUE(QFileInfo::exists(picker->paths[0]));
    EXPECT_EQ(controller.pendingShareCount(), 1);
}

TEST_F(ExportControllerTest, NothingIsOfferedWhenTheFileCannotBeWritten)
{
    addRows(1);
    // The folder for share folders is a file: no folder, no file, no offer.
    controller.setShareFolderRoot(writeFile(QStringLiteral("blocked"), {}));
    controller.sharePDF(canvas, window.centralWidget(), QPoint());
    EXPECT_TRUE(picker->paths.isEmpty());
    EXPECT_EQ(controller.pendingShareCount(), 0);

    // A write that fails midway leaves nothing behind either.
    controller.setShareFolderRoot(shareRoot.path());
    {
        FileSizeLimit limit(64);
        controller.sharePDF(canvas, window.centralWidget(), QPoint());
    }
    EXPECT_TRUE(picker->paths.isEmpty());
    EXPECT_TRUE(shareFolders().isEmpty());
}

TEST_F(ExportControllerTest, ShareFoldersGoWithTheController)
{
    addRows(1);
    QString path;
    {
        CanvasExportController shortLived(defaults);
        shortLived.setSharePicker(picker);
        shortLived.setShareFolderRoot(shareRoot.path());
        shortLived.sharePDF(canvas, window.centralWidget(), QPoint());
        ASSERT_EQ(picker->paths.size(), 1);
        EXPECT_TRUE(QFileInfo::exists(picker->paths[0]));
    }
    EXPECT_FALSE(QFileInfo::exists(picker->paths[0]));
    EXPECT_TRUE(shareFolders().isEmpty());
}

TEST_F(ExportControllerTest, CancelledPrintWritesNothing)
{
    addRows(2);
    controller.printCanvas(canvas, window.centralWidget());
    ASSERT_EQ(dialogs->printParents.size(), 1);
    EXPECT_EQ(dialogs->printParents[0], &window);
    controller.printCanvas(canvas, nullptr);
    EXPECT_EQ(dialogs->printParents.last(), &window) << "the key window without a view";
    keyWindowPresent = false;
    controller.printCanvas(canvas, nullptr);
    EXPECT_EQ(dialogs->printParents.last(), nullptr);
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.pdf")}).isEmpty());
}

// A print that does not reach its file says so; a finished one says nothing.
TEST_F(ExportControllerTest, FailedPrintIsReported)
{
    addRows(20);
    struct Case { const char* name; QString target; rlim_t sizeLimit; bool alert; }; // 0: no limit
    const Case cases[] = {
        {"into a file", dir.filePath(QStringLiteral("printed.pdf")), 0, false},
        {"folder gone", dir.filePath(QStringLiteral("missing/printed.pdf")), 0, true},
        {"disk full midway", dir.filePath(QStringLiteral("full.pdf")), 512, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs->alerts.clear();
        dialogs->onPrint = printInto(c.target);
        {
            std::optional<FileSizeLimit> limit;
            if (c.sizeLimit > 0)
                limit.emplace(c.sizeLimit);
            controller.printCanvas(canvas, window.centralWidget());
        }
        ASSERT_EQ(dialogs->alerts.size(), c.alert ? 1 : 0);
        if (c.alert)
            EXPECT_TRUE(dialogs->alerts[0].startsWith(CanvasExportController::printFailureTitle + " | "));
        else
            EXPECT_TRUE(fileBytes(c.target).startsWith("%PDF-"));
    }
}

// The print dialog proposes its output file from the document name: a file
// name while it is open, the canvas's own name again for the printed title.
TEST_F(ExportControllerTest, PrintDialogSeesAFileName)
{
    addRows(2);
    const std::pair<QString, QString> cases[] = {
        {"Budget", "Budget.pdf"},
        {"Q1/Q2", "Q1-Q2.pdf"},
        {"Plan 2.5 final", "Plan 2.5 final.pdf"},
        {"Trip \"Rom\"", "Trip 'Rom'.pdf"},
    };
    for (const auto& [name, fileName] : cases) {
        SCOPED_TRACE(name.toStdString());
        canvas->setName(name);
        const QString out = dir.filePath(QStringLiteral("printed.pdf"));
        dialogs->onPrint = printInto(out);
        controller.printCanvas(canvas, window.centralWidget());
        EXPECT_EQ(dialogs->printDocumentNames.last(), fileName);
        const QString title = pdfTitle(out);
        if (!title.isNull()) { // null: pdfinfo is not installed
            EXPECT_EQ(title, name);
        }
    }
}

// A tall canvas continues on further pages between whole rows.
TEST_F(ExportControllerTest, PrintingPaginatesWithEveryRowOnAPage)
{
    addRows(100);
    const QString out = dir.filePath(QStringLiteral("printed.pdf"));
    dialogs->onPrint = printInto(out);
    controller.printCanvas(canvas, window.centralWidget());
    const QByteArray pdf = fileBytes(out);
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    const int pages = pdfPageCount(pdf);
    EXPECT_TRUE(pages >= 5 && pages <= 10) << pages;
    const QString text = pdfText(out);
    if (text.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    const QStringList sheets = text.split(QChar(u'\f'), Qt::SkipEmptyParts);
    EXPECT_EQ(sheets.size(), pages);
    EXPECT_TRUE(sheets.value(0).contains(QStringLiteral("Budget")));
    for (int i = 0; i < 100; ++i) {
        const QString label = QStringLiteral("Posten%1").arg(i, 3, 10, QLatin1Char('0'));
        int found = 0;
        for (const QString& sheet : sheets)
            found += sheet.count(label);
        // On exactly one page: the label cell and the small label above the result.
        EXPECT_EQ(found, 2) << label.toStdString();
    }
}

// A print into a file keeps what was chosen in the print dialog: paper,
// orientation, grey scale and the title.
TEST_F(ExportControllerTest, PrintToFileKeepsTheDialogsChoices)
{
    addRows(3);
    const QString out = dir.filePath(QStringLiteral("printed.pdf"));
    dialogs->onPrint = [print = printInto(out)](QPrinter& printer) {
        printer.setPageSize(QPageSize(QPageSize::A5));
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setColorMode(QPrinter::GrayScale);
        return print(printer);
    };
    controller.printCanvas(canvas, window.centralWidget());
    const QByteArray pdf = fileBytes(out);
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    const QStringList box = pdfMediaBox(pdf).split(u' ');
    ASSERT_EQ(box.size(), 4);
    EXPECT_NEAR(box[2].toDouble(), 595.3, 0.5);
    EXPECT_NEAR(box[3].toDouble(), 419.5, 0.5);
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (tool.isEmpty())
        GTEST_SKIP() << "pdftoppm is not installed";
    EXPECT_EQ(pdfTitle(out), QStringLiteral("Budget"));
    const QString stem = dir.filePath(QStringLiteral("sheet"));
    QProcess::execute(tool, {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-png"),
                             QStringLiteral("-singlefile"), out, stem});
    const QImage sheet(stem + QStringLiteral(".png"));
    ASSERT_FALSE(sheet.isNull());
    int coloured = 0;
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x) {
            const QColor pixel = sheet.pixelColor(x, y);
            coloured += std::max({pixel.red(), pixel.green(), pixel.blue()})
                            - std::min({pixel.red(), pixel.green(), pixel.blue()}) > 8;
        }
    EXPECT_EQ(coloured, 0);
}

// The page is laid out before the dialog: edits or a deletion meanwhile
// change nothing printed.
TEST_F(ExportControllerTest, CanvasChangedWhileThePrintDialogIsOpen)
{
    addRows(3);
    const QString out = dir.filePath(QStringLiteral("printed.pdf"));
    dialogs->onPrint = [&, print = printInto(out)](QPrinter& printer) {
        for (const BlockPtr& row : canvas->blocks())
            row->setLabel(QStringLiteral("Changed"));
        ModelContext::deleteRecord(canvas);
        canvas.reset();
        return print(printer);
    };
    controller.printCanvas(canvas, nullptr);
    ASSERT_TRUE(fileBytes(out).startsWith("%PDF-"));
    const QString text = pdfText(out);
    if (text.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    EXPECT_TRUE(text.contains(QStringLiteral("Posten002")));
    EXPECT_FALSE(text.contains(QStringLiteral("Changed")));
}

TEST_F(ExportControllerTest, GoneCanvasDoesNothing)
{
    addRows(1);
    dialogs->onPrint = printInto(dir.filePath(QStringLiteral("gone.pdf")));
    dialogs->saveAnswer = dir.filePath(QStringLiteral("gone.pdf"));
    ModelContext::deleteRecord(canvas);
    for (const CanvasPtr& gone : {canvas, CanvasPtr()}) {
        controller.printCanvas(gone, nullptr);
        controller.savePDF(gone, nullptr);
        controller.sharePDF(gone, window.centralWidget(), QPoint());
        controller.shareCanvas(gone, window.centralWidget(), QPoint());
    }
    EXPECT_TRUE(dialogs->printParents.isEmpty());
    EXPECT_TRUE(dialogs->proposedNames.isEmpty());
    EXPECT_TRUE(dialogs->alerts.isEmpty());
    EXPECT_TRUE(picker->paths.isEmpty());
    EXPECT_TRUE(shareFolders().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dialogs->saveAnswer));
}

// Without a PDF the save says so before any dialog; a share stays silent.
TEST_F(ExportControllerTest, UnmadePdfIsReportedBeforeTheSaveDialog)
{
    addRows(1);
    controller.setPdfData([](const PrintPage&, const QString&) { return std::optional<QByteArray>(); });
    dialogs->saveAnswer = dir.filePath(QStringLiteral("Budget.pdf"));
    controller.savePDF(canvas, &window);
    EXPECT_EQ(dialogs->alerts, QStringList{QStringLiteral("Export fehlgeschlagen | Das PDF konnte nicht erzeugt werden.")});
    EXPECT_TRUE(dialogs->proposedNames.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dialogs->saveAnswer));
    controller.sharePDF(canvas, window.centralWidget(), QPoint());
    EXPECT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(picker->paths.isEmpty());
    EXPECT_TRUE(shareFolders().isEmpty());
}

// The shared canvas file is the exchange file of that one canvas, readable
// back with its rows.
TEST_F(ExportControllerTest, SharedCanvasFileIsTheExchangeFileOfOneCanvas)
{
    addRow(QStringLiteral("Miete"), QStringLiteral("1200"), 1200);
    addRow(QStringLiteral("Strom"), QStringLiteral("85 + 19%"), 101.15);
    CanvasExportController standard(defaults);
    standard.setSharePicker(picker);
    standard.setShareFolderRoot(shareRoot.path());
    standard.shareCanvas(canvas, window.centralWidget(), QPoint());
    ASSERT_EQ(picker->paths.size(), 1);
    EXPECT_TRUE(picker->paths[0].endsWith(QStringLiteral("/Budget.quillsheet")));
    const auto read = CanvasExport::fromJSON(picker->contents[0]);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->canvases.size(), 1);
    EXPECT_EQ(read->canvases[0].name, QStringLiteral("Budget"));
    EXPECT_EQ(read->canvases[0].blocks.size(), 2);
}
