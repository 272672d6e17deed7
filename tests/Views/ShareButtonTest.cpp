#include "Views/ContentView.h"
#include "Views/ExportFixture.h"
#include "Views/ShareButton.h"
#include "support/TestSupport.h"

#include "Platform/NotificationCenter.h"

#include <QElapsedTimer>
#include <QMenuBar>
#include <QTest>

namespace {

class ShareButtonTest : public ExportFixture {
protected:
    void SetUp() override
    {
        ExportFixture::SetUp();
        addRow(QStringLiteral("Miete"), QStringLiteral("1200"), 1200);
        button = std::make_unique<ShareButton>(canvas, &controller, window.centralWidget());
        window.show();
    }
    void TearDown() override { button.reset(); }

    // What the controller was asked to do, by the fakes' records.
    QString lastEffect() const
    {
        if (!dialogs->printParents.isEmpty())
            return QStringLiteral("print");
        if (!dialogs->proposedNames.isEmpty())
            return QStringLiteral("save ") + dialogs->proposedNames.last();
        if (!picker->paths.isEmpty())
            return QStringLiteral("share ") + QFileInfo(picker->paths.last()).fileName();
        return QStringLiteral("nothing");
    }

    std::unique_ptr<ShareButton> button;
};

} // namespace

TEST_F(ShareButtonTest, ClickOnlyEverOpensTheMenu)
{
    EXPECT_EQ(button->toolTip(), QStringLiteral("Share or Print"));
    EXPECT_FALSE(button->showingMenu());
    button->click();
    EXPECT_TRUE(button->showingMenu());
    EXPECT_TRUE(button->popover()->isVisible());
    button->click();
    EXPECT_TRUE(button->showingMenu());
    EXPECT_TRUE(button->popover()->isVisible());
    // Dismissed from outside: closed, and the next click opens it again.
    button->popover()->hide();
    EXPECT_FALSE(button->showingMenu());
    button->click();
    EXPECT_TRUE(button->showingMenu());
}

TEST_F(ShareButtonTest, MenuRowsAndTheirHints)
{
    button->click();
    ShareMenuPopover* menu = button->popover();
    EXPECT_EQ(menu->rowCount(), 6);
    EXPECT_EQ(menu->width(), 200);
    struct Row {
        ShareAction action;
        QString title;
        QString hint;
    };
    const Row rows[] = {
        {ShareAction::print, QStringLiteral("Print..."), QStringLiteral("Ctrl+P")},
        // No key exports a PDF, so none is hinted.
        {ShareAction::exportPDF, QStringLiteral("Export PDF..."), QString()},
        {ShareAction::sharePDF, QStringLiteral("Share PDF..."), QString()},
        {ShareAction::shareCanvas, QStringLiteral("Share Canvas..."), QString()},
    };
    int previousTop = -1;
    for (const Row& row : rows) {
        ShareMenuItem* item = menu->item(row.action);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->text(), row.title);
        EXPECT_EQ(item->hint(), row.hint);
        EXPECT_GT(item->y(), previousTop);
        previousTop = item->y();
    }
}

TEST_F(ShareButtonTest, ChoosingRunsTheActionATenthOfASecondLater)
{
    struct Case {
        ShareAction action;
        QString effect;
    };
    const Case cases[] = {
        {ShareAction::print, QStringLiteral("print")},
        {ShareAction::exportPDF, QStringLiteral("save Budget.pdf")},
        {ShareAction::sharePDF, QStringLiteral("share Budget.pdf")},
        {ShareAction::shareCanvas, QStringLiteral("share Budget.quillsheet")},
    };
    for (const Case& c : cases) {
        *dialogs = FakeExportDialogs();
        picker->paths.clear();
        button->click();
        QElapsedTimer clock;
        clock.start();
        button->popover()->item(c.action)->click();
        EXPECT_FALSE(button->showingMenu());
        EXPECT_FALSE(button->popover()->isVisible());
        EXPECT_EQ(lastEffect(), QStringLiteral("nothing"));
        ASSERT_TRUE(waitUntil([&] { return lastEffect() != QStringLiteral("nothing"); }, 5000));
        EXPECT_GE(clock.elapsed(), 90);
        EXPECT_EQ(lastEffect(), c.effect);
    }
    // Print goes to the key window's content, the save dialog to the window,
    // the picker to the content's origin.
    EXPECT_EQ(picker->anchors.last(), window.centralWidget());
    EXPECT_EQ(picker->points.last(), QPoint(0, 0));
}

TEST_F(ShareButtonTest, NothingHappensWithoutKeyWindowOrCanvas)
{
    struct Case {
        const char* name;
        std::function<void()> before;
    };
    const QList<Case> cases = {
        {"no key window", [this] { keyWindowPresent = false; }},
        // Last: the canvas stays deleted.
        {"canvas deleted", [this] { ModelContext::deleteRecord(canvas); }},
    };
    for (const Case& c : cases) {
        for (const ShareAction action : {ShareAction::print, ShareAction::exportPDF, ShareAction::sharePDF,
                                         ShareAction::shareCanvas}) {
            button->choose(action);
            c.before();
        }
        QTest::qWait(250);
        EXPECT_EQ(lastEffect(), QStringLiteral("nothing")) << c.name;
        EXPECT_TRUE(shareFolders().isEmpty()) << c.name;
    }
}

// The hint is text only: the menu binds no key.
TEST_F(ShareButtonTest, KeysWhileTheMenuIsOpenChooseNothing)
{
    button->click();
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), QKeySequence(Qt::CTRL | Qt::Key_P)})
        QTest::keySequence(button->popover(), keys);
    QTest::qWait(200);
    EXPECT_EQ(lastEffect(), QStringLiteral("nothing"));
}

// ---- In the main window ----------------------------------------------------------

namespace {

class WindowOutputTest : public ExportFixture {
protected:
    void SetUp() override
    {
        ExportFixture::SetUp();
        addRow(QStringLiteral("Miete"), QStringLiteral("1200"), 1200);
        shell = std::make_unique<ContentView>(
            &context, [](const CanvasPtr&, QUndoStack*) -> QWidget* { return new QWidget; }, defaults);
        CanvasExportController* own = shell->exportController();
        own->setDialogs(dialogs);
        own->setSharePicker(picker);
        own->setShareFolderRoot(shareRoot.path());
        own->setKeyWindow([this] { return shell.get(); });
        own->setExchangeData([](const CanvasPtr&) { return std::optional<QByteArray>("{}"); });
    }
    void TearDown() override { shell.reset(); }

    QAction* fileItem(const QString& title) const
    {
        for (QAction* top : shell->menuBar()->actions()) {
            if (top->text().remove(u'&') != QStringLiteral("File"))
                continue;
            for (QAction* item : top->menu()->actions()) {
                if (item->text() == title)
                    return item;
                if (item->menu()) {
                    for (QAction* sub : item->menu()->actions()) {
                        if (sub->text() == title)
                            return sub;
                    }
                }
            }
        }
        return nullptr;
    }

    std::unique_ptr<ContentView> shell;
};

} // namespace

TEST_F(WindowOutputTest, FileMenuOutputsActOnTheSelectedCanvas)
{
    struct Case {
        QString title;
        std::function<bool()> done;
    };
    const QList<Case> cases = {
        {QStringLiteral("Export PDF..."), [this] { return dialogs->proposedNames == QStringList{"Budget.pdf"}; }},
        {QStringLiteral("Share PDF..."), [this] { return picker->paths.size() == 1 && picker->paths[0].endsWith("Budget.pdf"); }},
        {QStringLiteral("Share Canvas..."),
         [this] { return picker->paths.size() == 1 && picker->paths[0].endsWith("Budget.quillsheet"); }},
    };
    for (const Case& c : cases) {
        QAction* item = fileItem(c.title);
        ASSERT_TRUE(item) << c.title.toStdString();
        EXPECT_FALSE(item->isEnabled()) << "no canvas selected yet";
        EXPECT_TRUE(item->shortcut().isEmpty());
    }
    shell->setSelectedCanvas(canvas);
    for (const Case& c : cases) {
        *dialogs = FakeExportDialogs();
        picker->paths.clear();
        QAction* item = fileItem(c.title);
        EXPECT_TRUE(item->isEnabled());
        item->trigger();
        EXPECT_TRUE(waitUntil(c.done, 5000)) << c.title.toStdString();
    }
}

// Ctrl+P's notification prints the selected canvas; with none it does nothing.
TEST_F(WindowOutputTest, PrintCommandPrintsTheSelectedCanvas)
{
    const QString out = dir.filePath(QStringLiteral("menu.pdf"));
    dialogs->onPrint = printInto(out);
    NotificationCenter::defaultCenter().post(CommandNotification::printCanvasRequested);
    EXPECT_TRUE(dialogs->printParents.isEmpty());
    shell->setSelectedCanvas(canvas);
    NotificationCenter::defaultCenter().post(CommandNotification::printCanvasRequested);
    ASSERT_EQ(dialogs->printParents.size(), 1);
    EXPECT_EQ(dialogs->printParents[0], shell.get());
    EXPECT_TRUE(fileBytes(out).startsWith("%PDF-"));
}
