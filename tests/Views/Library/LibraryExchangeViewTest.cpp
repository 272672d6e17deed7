#include "Store/CanvasExport.h"
#include "Platform/NotificationCenter.h"
#include "Views/Window/ShellFixture.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QListView>
#include <QMenu>
#include <QTest>

namespace {

// The real window with the library shown; dialogs answered by the double.
class LibraryExchangeViewTest : public ShellFixture {
protected:
    void SetUp() override { Clock::setSource([] { return now(); }); }

    CanvasListView& library() { return *window->library(); }

    void showWindow()
    {
        makeWindow().show();
        window->setSidebarVisible(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        QCoreApplication::processEvents();
    }

    void press(const char* keys) { QTest::keySequence(window.get(), QKeySequence(QString::fromLatin1(keys))); }
    // Lets the delayed dialog open (or not) and everything after it run.
    void settle() { QTest::qWait(250); }
    QString file(const QString& name) const { return dir.filePath(name); }

    QString writeFile(const QString& name, const QByteArray& bytes) const { return writeFileBytes(file(name), bytes); }

    static QStringList namesIn(const QString& path)
    {
        QStringList list;
        if (const auto document = CanvasExport::fromJSON(fileBytes(path)))
            for (const CanvasData& canvas : document->canvases)
                list << canvas.name;
        return list;
    }

    QByteArray exchangeOf(const QStringList& canvasNames)
    {
        QList<CanvasPtr> canvases;
        for (const QString& name : canvasNames) {
            const CanvasPtr canvas = Canvas::create(name, 0, 0, 1);
            addRow(canvas, QStringLiteral("12 x 3"));
            canvases << canvas;
        }
        return *exchangeFileBytes(canvases);
    }
};

} // namespace

TEST_F(LibraryExchangeViewTest, CtrlEExportsTheSelectedCanvasesInLibraryOrder)
{
    const CanvasPtr budget = addCanvas(QStringLiteral("Budget"), 1);
    const CanvasPtr rent = addCanvas(QStringLiteral("Rent"), 5);
    const CanvasPtr trip = addCanvas(QStringLiteral("Trip"), 9);
    const CanvasPtr other = addCanvas(QStringLiteral("Other"), 20);
    addRow(budget, QStringLiteral("1200"));
    // proposed: the save dialogs shown; written: the canvases in the file, in order.
    struct Case { const char* name; QList<CanvasPtr> selected; QStringList proposed, written; };
    const QList<Case> cases = {
        {"none selected", {}, {}, {}},
        {"one", {budget}, {"Budget.quillsheet"}, {"Budget"}},
        {"three, selected out of order", {trip, budget, rent}, {"Canvases Export.quillsheet"}, {"Budget", "Rent", "Trip"}},
    };
    showWindow();
    QAction* menuItem = nullptr;
    for (QAction* action : window->findChildren<QAction*>())
        if (action->text() == QStringLiteral("Export Selected..."))
            menuItem = action;
    ASSERT_TRUE(menuItem);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QSet<QUuid> ids;
        for (const CanvasPtr& canvas : c.selected)
            ids.insert(canvas->id());
        if (ids.isEmpty()) { // a click below the rows empties the list's selection
            QWidget* rows = library().listView()->viewport();
            QTest::mouseClick(rows, Qt::LeftButton, {}, QPoint(rows->width() / 2, rows->height() - 4));
            ASSERT_TRUE(library().selectedCanvasIDs().isEmpty());
            ASSERT_TRUE(window->selectedCanvas()) << "the canvas shown stays";
        }
        library().setSelectedCanvasIDs(ids);
        EXPECT_EQ(menuItem->isEnabled(), !ids.isEmpty()) << "the menu offers only what it can do";
        exchangeDialogs->proposedNames.clear();
        const QString target = file(QStringLiteral("%1.quillsheet").arg(QString::fromLatin1(c.name)));
        exchangeDialogs->exportPath = target;
        press("Ctrl+E");
        EXPECT_TRUE(exchangeDialogs->proposedNames.isEmpty()); // the dialog waits for the command to end
        settle();
        EXPECT_EQ(exchangeDialogs->proposedNames, c.proposed);
        EXPECT_EQ(namesIn(target), c.written);
        EXPECT_TRUE(exchangeDialogs->alerts.isEmpty());
    }
    // What was written is the canvas as it stands, rows included.
    const auto document = CanvasExport::fromJSON(fileBytes(file(QStringLiteral("one.quillsheet"))));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->canvases[0].blocks.size(), 1);
    EXPECT_EQ(document->canvases[0].id, budget->id());
}

TEST_F(LibraryExchangeViewTest, TheRowMenuExportsThatCanvasAloneAndCancellingWritesNothing)
{
    const CanvasPtr a = addCanvas(QStringLiteral("A/B"), 1);
    const CanvasPtr b = addCanvas(QStringLiteral("Selected"), 2);
    showWindow();
    library().setSelectedCanvasIDs({b->id()});

    exchangeDialogs->exportPath = std::nullopt; // cancelled
    std::unique_ptr<QMenu> menu(library().makeContextMenu(a, window.get()));
    menu->actions().at(4)->trigger();
    settle();
    EXPECT_EQ(exchangeDialogs->proposedNames, QStringList{QStringLiteral("A-B.quillsheet")});
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.quillsheet")}).isEmpty());

    exchangeDialogs->exportPath = file(QStringLiteral("row.quillsheet"));
    menu->actions().at(4)->trigger();
    settle();
    EXPECT_EQ(namesIn(file(QStringLiteral("row.quillsheet"))), QStringList{QStringLiteral("A/B")});
    EXPECT_EQ(library().selectedCanvasIDs(), QSet<QUuid>{b->id()});
}

TEST_F(LibraryExchangeViewTest, AFailedExportOverAnExistingFileAlertsAndLeavesItIntact)
{
    const CanvasPtr budget = addCanvas(QStringLiteral("Budget"), 1);
    showWindow();
    library().setSelectedCanvasIDs({budget->id()});
    // No room for a temporary file beside a name this long: the write fails.
    const QString target = writeFile(QString(250, u'x') + QStringLiteral(".qs"), "precious");
    exchangeDialogs->exportPath = target;
    NotificationCenter::defaultCenter().post(CommandNotification::exportCanvasesRequested);
    settle();
    ASSERT_EQ(exchangeDialogs->alerts.size(), 1);
    EXPECT_TRUE(exchangeDialogs->alerts[0].message.contains(QStringLiteral("unchanged")));
    EXPECT_EQ(fileBytes(target), QByteArray("precious"));
    EXPECT_FALSE(QApplication::overrideCursor()); // the busy cursor is gone
}

TEST_F(LibraryExchangeViewTest, ImportAddsGoodFilesAlertsOncePerBadFileAndSelectsTheFirstCanvas)
{
    const CanvasPtr existing = addCanvas(QStringLiteral("Existing"), 1);
    const QString two = writeFile(QStringLiteral("two.quillsheet"), exchangeOf({"First", "Second"}));
    const QString one = writeFile(QStringLiteral("one.quillsheet"), exchangeOf({"Third"}));
    const QString notJson = writeFile(QStringLiteral("list.txt"), "eggs");
    const QString broken = writeFile(QStringLiteral("broken.quillsheet"), R"({"canvases":[{"links":[{}]}]})");
    const QString empty = writeFile(QStringLiteral("empty.quillsheet"), R"({"canvases":[]})");
    // added: the new canvases in import order; selected: the window's canvas afterwards.
    struct Case { const char* name; QStringList files, added; int alerts; QString selected; };
    const QList<Case> cases = {
        {"cancelled", {}, {}, 0, "Existing"},
        {"good and bad together", {notJson, two, broken, one}, {"First", "Second", "Third"}, 2, "First"},
        {"only bad files", {notJson, broken}, {}, 2, "First"},
        {"an empty file", {empty}, {}, 0, "First"},
    };
    showWindow();
    window->setSelectedCanvas(existing);
    Qt::CursorShape cursorWhileSaving = Qt::ArrowCursor;
    bool cursorDuringAlert = false;
    library().setStoreCommit([&]() -> std::optional<QString> {
        if (QApplication::overrideCursor())
            cursorWhileSaving = QApplication::overrideCursor()->shape();
        return std::nullopt;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = context.canvasCount();
        exchangeDialogs->importPaths = c.files;
        exchangeDialogs->alerts.clear();
        const int dialogs = exchangeDialogs->importDialogs;
        press("Ctrl+O");
        settle();
        EXPECT_EQ(exchangeDialogs->importDialogs, dialogs + 1);
        EXPECT_EQ(context.canvasCount(), before + c.added.size());
        EXPECT_EQ(exchangeDialogs->alerts.size(), c.alerts);
        for (const auto& alert : exchangeDialogs->alerts)
            EXPECT_TRUE(alert.title.startsWith(u'“')) << "names the file: " << alert.title.toStdString();
        ASSERT_TRUE(window->selectedCanvas());
        EXPECT_EQ(window->selectedCanvas()->name(), c.selected);
        EXPECT_EQ(library().selectedCanvasIDs(), QSet<QUuid>{window->selectedCanvas()->id()});
        cursorDuringAlert = cursorDuringAlert || QApplication::overrideCursor();
    }
    EXPECT_EQ(cursorWhileSaving, Qt::WaitCursor);
    EXPECT_FALSE(cursorDuringAlert);
    // Newest first: the import's canvases on top, its first one lowest of them.
    EXPECT_EQ(names(library().canvases()).mid(0, 4), (QStringList{"Third", "Second", "First", "Existing"}));
}

TEST_F(LibraryExchangeViewTest, AlertsNameEachBadFile)
{
    const QString notJson = writeFile(QStringLiteral("list.txt"), "eggs");
    const QString broken =
        writeFile(QStringLiteral("broken.quillsheet"), R"({"canvases":[{"blocks":[{},{},{"hasError":1}]}]})");
    showWindow();
    const int before = context.canvasCount(); // the window made its first canvas
    exchangeDialogs->importPaths = {notJson, broken};
    library().importCanvases();
    settle();
    ASSERT_EQ(exchangeDialogs->alerts.size(), 2);
    EXPECT_EQ(exchangeDialogs->alerts[0].title, QStringLiteral("“list.txt” could not be imported."));
    EXPECT_EQ(exchangeDialogs->alerts[1].title, QStringLiteral("“broken.quillsheet” could not be imported."));
    EXPECT_TRUE(exchangeDialogs->alerts[1].message.endsWith(
        QStringLiteral("canvases[0].blocks[2].hasError: boolean expected")));
    EXPECT_EQ(context.canvasCount(), before);
}

TEST_F(LibraryExchangeViewTest, ARequestOutlivedByTheWindowDoesNothing)
{
    showWindow();
    const int before = context.canvasCount();
    exchangeDialogs->importPaths = {writeFile(QStringLiteral("one.quillsheet"), exchangeOf({"X"}))};
    library().importCanvases();
    window.reset();
    QTest::qWait(200);
    EXPECT_EQ(exchangeDialogs->importDialogs, 0);
    EXPECT_EQ(context.canvasCount(), before);
}
