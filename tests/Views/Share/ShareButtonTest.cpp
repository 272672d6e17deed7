#include "Platform/NotificationCenter.h"
#include "Services/HoverMonitor.h"
#include "Views/Window/ContentView.h"
#include "Views/Share/ExportFixture.h"
#include "Views/Window/PanelSlide.h"
#include "Views/Share/ShareButton.h"
#include "support/TestSupport.h"

#include <QCursor>
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
    for (int click = 0; click < 2; ++click) {
        button->click();
        EXPECT_TRUE(button->showingMenu()) << click;
        EXPECT_TRUE(button->popover()->isVisible()) << click;
    }
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
    struct Row { ShareAction action; QString title, hint; };
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
    const std::pair<ShareAction, QString> cases[] = {
        {ShareAction::print, "print"},
        {ShareAction::exportPDF, "save Budget.pdf"},
        {ShareAction::sharePDF, "share Budget.pdf"},
        {ShareAction::shareCanvas, "share Budget.quillsheet"},
    };
    for (const auto& [action, effect] : cases) {
        *dialogs = FakeExportDialogs();
        picker->paths.clear();
        button->click();
        QElapsedTimer clock;
        clock.start();
        button->popover()->item(action)->click();
        EXPECT_FALSE(button->showingMenu());
        EXPECT_FALSE(button->popover()->isVisible());
        EXPECT_EQ(lastEffect(), QStringLiteral("nothing"));
        ASSERT_TRUE(waitUntil([&] { return lastEffect() != QStringLiteral("nothing"); }, 5000));
        EXPECT_GE(clock.elapsed(), 90);
        EXPECT_EQ(lastEffect(), effect);
    }
    // Print goes to the key window's content, the save dialog to the window,
    // the picker below the button.
    EXPECT_EQ(picker->anchors.last(), button.get());
    EXPECT_EQ(picker->points.last(), QPoint(0, button->height()));
}

TEST_F(ShareButtonTest, NothingHappensWithoutKeyWindowOrCanvas)
{
    // Last: the canvas stays deleted.
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"no key window", [this] { keyWindowPresent = false; }},
        {"canvas deleted", [this] { ModelContext::deleteRecord(canvas); }},
    };
    for (const auto& [name, before] : cases) {
        keyWindowPresent = true; // each case lacks only its own thing
        for (const ShareAction action : {ShareAction::print, ShareAction::exportPDF, ShareAction::sharePDF,
                                         ShareAction::shareCanvas}) {
            button->choose(action);
            before();
        }
        QTest::qWait(250);
        EXPECT_EQ(lastEffect(), QStringLiteral("nothing")) << name;
        EXPECT_TRUE(shareFolders().isEmpty()) << name;
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

    // An item of the File menu or of one of its submenus.
    QAction* fileItem(const QString& title) const
    {
        for (QAction* top : shell->menuBar()->actions()) {
            if (top->text().remove(u'&') != QStringLiteral("File"))
                continue;
            for (QAction* item : top->menu()->actions())
                for (QAction* found : item->menu() ? QList{item} + item->menu()->actions() : QList{item})
                    if (found->text() == title)
                        return found;
        }
        return nullptr;
    }

    std::unique_ptr<ContentView> shell;
};

} // namespace

TEST_F(WindowOutputTest, FileMenuOutputsActOnTheSelectedCanvas)
{
    const auto sharedOnly = [this](const char* name) {
        return [this, name] { return picker->paths.size() == 1 && picker->paths[0].endsWith(name); };
    };
    const std::pair<QString, std::function<bool()>> cases[] = {
        {"Export PDF...", [this] { return dialogs->proposedNames == QStringList{"Budget.pdf"}; }},
        {"Share PDF...", sharedOnly("Budget.pdf")},
        {"Share Canvas...", sharedOnly("Budget.quillsheet")},
    };
    for (const auto& [title, done] : cases) {
        QAction* item = fileItem(title);
        ASSERT_TRUE(item) << title.toStdString();
        EXPECT_FALSE(item->isEnabled()) << "no canvas selected yet";
        EXPECT_TRUE(item->shortcut().isEmpty());
    }
    shell->setSelectedCanvas(canvas);
    for (const auto& [title, done] : cases) {
        *dialogs = FakeExportDialogs();
        picker->paths.clear();
        QAction* item = fileItem(title);
        EXPECT_TRUE(item->isEnabled());
        item->trigger();
        EXPECT_TRUE(waitUntil(done, 5000)) << title.toStdString();
    }
}

// The share menu opens at what opened it, never at the window's corner: below
// the toolbar's share button while that shows, else at the pointer.
TEST_F(WindowOutputTest, TheShareMenuOpensAtWhatOpenedIt)
{
    shell->setSelectedCanvas(canvas);
    shell->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shell.get()));
    QWidget* content = shell->centralWidget();
    const QPoint pointer(300, 250);
    QCursor::setPos(content->mapToGlobal(pointer));
    struct Case {
        const char* name;
        bool toolbarShown;
        std::function<void()> choose;
        bool belowTheButton;
    };
    const Case cases[] = {
        {"toolbar's share button", true, [this] { shell->shareButton()->choose(ShareAction::shareCanvas); }, true},
        {"File menu, toolbar shown", true, [this] { fileItem("Share PDF...")->trigger(); }, true},
        {"File menu, toolbar hidden", false, [this] { fileItem("Share Canvas...")->trigger(); }, false},
        // Gone in the moment before the menu opens: the pointer, not a hidden button.
        {"share button hidden meanwhile", true,
         [this] {
             shell->shareButton()->choose(ShareAction::sharePDF);
             shell->toolbarSlide()->hide(0);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults.setValue(QStringLiteral("autoHideToolbar"), !c.toolbarShown);
        shell->hoverMonitor()->handlePointer(pointer.x(), pointer.y());
        ASSERT_TRUE(waitUntil([&] {
            return shell->isToolbarVisible() == c.toolbarShown && !shell->toolbarSlide()->isSliding();
        }, 3000));
        picker->anchors.clear();
        c.choose();
        ASSERT_TRUE(waitUntil([&] { return !picker->anchors.isEmpty(); }, 5000));
        ShareButton* button = shell->shareButton();
        if (c.belowTheButton) {
            EXPECT_EQ(picker->anchors.last(), button);
            EXPECT_EQ(picker->points.last(), QPoint(0, button->height()));
        } else {
            // The content rose when the toolbar went; the pointer did not move.
            EXPECT_EQ(picker->anchors.last(), content);
            EXPECT_EQ(picker->points.last(), content->mapFromGlobal(QCursor::pos()));
        }
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
