#include "Store/CanvasExport.h"
#include "Store/ObjectStore.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UpdateController.h"
#include "Views/Window/ShellFixture.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <sqlite3.h>

#include <cstdio>

namespace {

class ContentViewTest : public ShellFixture {
protected:
    QAction* action(const QString& text) const
    {
        for (QAction* candidate : window->menuBar()->findChildren<QAction*>())
            if (candidate->text() == text)
                return candidate;
        return nullptr;
    }
    QStringList menuTitles(const QString& menu) const
    {
        for (QAction* top : window->menuBar()->actions()) {
            if (top->text().remove(u'&') != menu)
                continue;
            QStringList titles;
            for (QAction* item : top->menu()->actions())
                titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
            return titles;
        }
        return {};
    }
    // A window over the store whose quit question is answered with `quit`
    // and noted in `questions`.
    void showWindowOver(ObjectStore* store, QStringList& questions, bool& quit)
    {
        window = std::make_unique<ContentView>(
            &store->context(), [](const CanvasPtr&, QUndoStack*) { return new QWidget; }, defaults);
        window->watchStore(store);
        window->setQuitConfirmation([&questions, &quit](const QString& message) {
            questions << message;
            return quit;
        });
    }
};

} // namespace

TEST_F(ContentViewTest, FirstStartCreatesCanvasOneAndShowsTheLibrary)
{
    ContentView& view = makeWindow();
    EXPECT_FALSE(view.isSidebarVisible());
    view.show();
    ASSERT_EQ(context.canvasCount(), 1);
    const CanvasPtr canvas = context.canvases().first();
    EXPECT_EQ(canvas->name(), QStringLiteral("Canvas 1"));
    EXPECT_EQ(view.selectedCanvas(), canvas);
    ASSERT_TRUE(editor());
    EXPECT_EQ(editor()->canvas, canvas);
    EXPECT_EQ(editor()->undoStack, view.undoStack());
    EXPECT_TRUE(view.isSidebarVisible());
    EXPECT_EQ(remembered(), uuidString(canvas->id()));
    EXPECT_EQ(remembered(), remembered().toUpper());
    EXPECT_EQ(view.library()->selectedCanvasIDs(), QSet<QUuid>{canvas->id()});

    // Showing the window again changes nothing.
    view.hide();
    view.show();
    EXPECT_EQ(context.canvasCount(), 1);
    EXPECT_EQ(editorLog.size(), 1);
}

TEST_F(ContentViewTest, OpensTheRememberedCanvasElseTheNewest)
{
    const CanvasPtr older = addCanvas(QStringLiteral("Older"), 60);
    const CanvasPtr newest = addCanvas(QStringLiteral("Newest"), 1);
    // Compared as a value: braces and lower case name the same canvas.
    defaults.setValue(QStringLiteral("lastOpenedCanvasID"), older->id().toString(QUuid::WithBraces).toLower());
    makeWindow().show();
    EXPECT_EQ(window->selectedCanvas(), older);
    EXPECT_FALSE(window->isSidebarVisible());
    EXPECT_EQ(remembered(), uuidString(older->id()));
    window.reset();

    for (const QString& stale : {uuidString(QUuid::createUuid()), QStringLiteral("not an id"), QString()}) {
        defaults.setValue(QStringLiteral("lastOpenedCanvasID"), stale);
        makeWindow().show();
        EXPECT_EQ(window->selectedCanvas(), newest) << stale.toStdString();
        EXPECT_EQ(remembered(), uuidString(newest->id()));
        window.reset();
    }
}

TEST_F(ContentViewTest, NewCanvasIsNamedAfterTheCountAndSelectedAlone)
{
    addCanvas(QStringLiteral("Canvas 1"), 30);
    const CanvasPtr second = addCanvas(QStringLiteral("Canvas 2"), 20);
    addCanvas(QStringLiteral("Canvas 3"), 10);
    makeWindow().show();
    context.deleteRecord(second);
    window->library()->setSelectedCanvasIDs({});

    NotificationCenter::defaultCenter().post(CommandNotification::newCanvasRequested);
    const CanvasPtr created = window->selectedCanvas();
    ASSERT_TRUE(created);
    EXPECT_EQ(created->name(), QStringLiteral("Canvas 3")); // a repeated name is allowed
    EXPECT_EQ(context.canvasCount(), 3);
    EXPECT_EQ(window->library()->selectedCanvasIDs(), QSet<QUuid>{created->id()});
    EXPECT_EQ(window->library()->canvases().first(), created);
    EXPECT_EQ(remembered(), uuidString(created->id()));
    EXPECT_FALSE(window->isSidebarVisible()); // only the first start opens it

    window->library()->setSelectedCanvas(nullptr);
    auto* button = window->findChild<QPushButton*>(QStringLiteral("createCanvasButton"));
    ASSERT_TRUE(button);
    button->click();
    EXPECT_EQ(window->selectedCanvas()->name(), QStringLiteral("Canvas 4"));
}

TEST_F(ContentViewTest, EachCanvasGetsAFreshEditorAndKeepsItsUndoHistory)
{
    const CanvasPtr a = addCanvas(QStringLiteral("A"), 1);
    const CanvasPtr b = addCanvas(QStringLiteral("B"), 2);
    makeWindow().show();
    ASSERT_EQ(window->selectedCanvas(), a);
    window->undoStack()->push(new QUndoCommand(QStringLiteral("Paste Rows")));
    QAction* undo = nullptr;
    for (QAction* top : window->menuBar()->actions())
        if (top->text().remove(u'&') == QLatin1String("Edit"))
            undo = top->menu()->actions().first();
    ASSERT_TRUE(undo);
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Paste Rows"));
    window->setSelectedCanvas(b);
    EXPECT_EQ(editor()->canvas, b);
    EXPECT_EQ(editorLog, (QList<QString>{QStringLiteral("open A"), QStringLiteral("close A"), QStringLiteral("open B")}));
    EXPECT_EQ(window->undoStack()->count(), 0);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(remembered(), uuidString(b->id()));

    // Back on A: its history with it, in the editor and the Edit menu.
    window->setSelectedCanvas(a);
    EXPECT_EQ(editor()->undoStack, window->undoStack());
    EXPECT_EQ(window->undoStack()->undoText(), QStringLiteral("Paste Rows"));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Paste Rows"));

    // A deleted canvas takes its history along.
    const QPointer<QUndoStack> history = window->undoStack();
    window->library()->confirmDelete(a);
    QCoreApplication::processEvents();
    EXPECT_FALSE(history);
    EXPECT_FALSE(undo->isEnabled());
}

TEST_F(ContentViewTest, DeletingTheShownCanvasClosesItsEditorFirst)
{
    const CanvasPtr only = addCanvas(QStringLiteral("Only"), 1);
    addRow(only, QStringLiteral("1 + 1"));
    makeWindow().show();
    const QString before = remembered();
    window->library()->confirmDelete(only);
    EXPECT_EQ(editorLog.last(), QStringLiteral("close Only"));
    EXPECT_TRUE(only->isDeleted());
    EXPECT_FALSE(window->selectedCanvas());
    EXPECT_FALSE(window->editor());
    auto* detail = window->findChild<QStackedWidget*>(QStringLiteral("detail"));
    EXPECT_EQ(detail->currentWidget()->objectName(), QStringLiteral("emptyState"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("emptyTitle"))->text(), QStringLiteral("No Canvas Selected"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("emptyDescription"))->text(),
              QStringLiteral("Select a canvas from the sidebar or create a new one to get started."));
    EXPECT_EQ(window->findChild<QPushButton*>(QStringLiteral("createCanvasButton"))->text(),
              QStringLiteral("Create Canvas"));
    EXPECT_EQ(remembered(), before);
}

TEST_F(ContentViewTest, MenuCommandsPostTheirNotifications)
{
    makeWindow();
    EXPECT_EQ(menuTitles(QStringLiteral("File")),
              (QStringList{QStringLiteral("New Canvas"), QStringLiteral("Import Canvases..."),
                           QStringLiteral("Export Selected..."), QStringLiteral("-"), QStringLiteral("Print..."),
                           QStringLiteral("Export PDF..."), QStringLiteral("Share"), QStringLiteral("-"),
                           QStringLiteral("Quit")}));
    EXPECT_EQ(menuTitles(QStringLiteral("Help")),
              (QStringList{QStringLiteral("Quillsheet Manual"), QStringLiteral("Feedback senden …"),
                           QStringLiteral("-"), QStringLiteral("Auf Updates prüfen …")}));

    struct Item {
        QString title;
        QString notification;
        QKeySequence shortcut;
    };
    const QList<Item> items = {
        {QStringLiteral("New Canvas"), QStringLiteral("newCanvasRequested"), QKeySequence(QStringLiteral("Ctrl+N"))},
        {QStringLiteral("Import Canvases..."), QStringLiteral("importCanvasesRequested"),
         QKeySequence(QStringLiteral("Ctrl+O"))},
        {QStringLiteral("Export Selected..."), QStringLiteral("exportCanvasesRequested"),
         QKeySequence(QStringLiteral("Ctrl+E"))},
        {QStringLiteral("Print..."), QStringLiteral("printCanvasRequested"), QKeySequence(QStringLiteral("Ctrl+P"))},
        {QStringLiteral("Quillsheet Manual"), QStringLiteral("openManualRequested"), QKeySequence()},
        {QStringLiteral("Feedback senden …"), QStringLiteral("showFeedbackSheet"), QKeySequence(QStringLiteral("Ctrl+?"))},
    };
    QStringList posted;
    QObject observer;
    QObject::connect(&NotificationCenter::defaultCenter(), &NotificationCenter::posted, &observer,
                     [&](const QString& name) { posted << name; });
    window->setManualPath(QString());
    for (const Item& item : items) {
        QAction* found = action(item.title);
        ASSERT_TRUE(found) << item.title.toStdString();
        EXPECT_TRUE(found->isEnabled());
        EXPECT_EQ(found->shortcut(), item.shortcut) << item.title.toStdString();
        posted.clear();
        found->trigger();
        EXPECT_EQ(posted, QStringList{item.notification});
    }

    // The update command goes to the controller directly.
    int checks = 0;
    UpdateController controller(UpdateController::Backend{{}, [&] { ++checks; }});
    window->setUpdateController(&controller);
    posted.clear();
    action(QStringLiteral("Auf Updates prüfen …"))->trigger();
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(ContentViewTest, TheManualOpensWhenItIsThere)
{
    makeWindow();
    QList<QUrl> opened;
    window->setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    window->setManualPath(dir.filePath(QStringLiteral("MANUAL.pdf")));
    NotificationCenter::defaultCenter().post(CommandNotification::openManualRequested);
    EXPECT_TRUE(opened.isEmpty());

    QFile manual(window->manualPath());
    ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    manual.write("%PDF-1.4\n");
    manual.close();
    NotificationCenter::defaultCenter().post(CommandNotification::openManualRequested);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(window->manualPath()));
}

// What the user is told when the manual cannot be shown: in each case the
// path where it belongs.
TEST_F(ContentViewTest, AManualThatCannotBeShownSaysWhyAndWhere)
{
    makeWindow();
    const QString path = dir.filePath(QStringLiteral("MANUAL.pdf"));
    window->setManualPath(path);
    struct Case {
        const char* name;
        bool fileThere;
        bool opens;
        QString message;
    };
    const QList<Case> cases{
        {"missing", false, true, QStringLiteral("Quillsheet Manual|The manual could not be found. It belongs at:\n") + path},
        {"no PDF application", true, false,
         QStringLiteral("Quillsheet Manual|There is no application to open PDF files. The manual is at:\n") + path},
        {"opened", true, true, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fileThere) {
            QFile manual(path);
            ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
            manual.write("%PDF-1.4\n");
        }
        int tries = 0;
        window->setUrlOpener([&](const QUrl&) {
            ++tries;
            return c.opens;
        });
        messages.clear();
        NotificationCenter::defaultCenter().post(CommandNotification::openManualRequested);
        EXPECT_EQ(messages, c.message.isEmpty() ? QStringList{} : QStringList{c.message});
        EXPECT_EQ(tries, c.fileThere ? 1 : 0);
    }
}

namespace {

// Claims Ctrl+letter keys for the field it watches, as a line edit does under
// X11 key bindings (Ctrl+E: end of line), which the offscreen platform lacks.
class ClaimsCtrlKeys : public QObject {
public:
    using QObject::QObject;
    int claimed = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride
            && static_cast<QKeyEvent*>(event)->modifiers() == Qt::ControlModifier) {
            ++claimed;
            event->accept();
            return true;
        }
        return false;
    }
};

} // namespace

// The File menu's shortcuts work while a text field has the focus, though a
// line edit binds some of the same keys (Ctrl+E: end of line).
TEST_F(ContentViewTest, MenuShortcutsWorkWhileATextFieldHasTheFocus)
{
    const CanvasPtr canvas = addCanvas(QStringLiteral("A"), 1);
    makeWindow().show();
    window->setSidebarVisible(true);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->library()->startRenaming(canvas);
    auto* field = window->library()->findChild<QLineEdit*>(QStringLiteral("renameField"));
    ASSERT_TRUE(field);
    field->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(field->hasFocus());
    ClaimsCtrlKeys claims;
    field->installEventFilter(&claims);

    QStringList posted;
    QObject observer;
    QObject::connect(&NotificationCenter::defaultCenter(), &NotificationCenter::posted, &observer,
                     [&](const QString& name) { posted << name; });
    const QList<std::pair<Qt::Key, QString>> shortcuts{
        {Qt::Key_E, QStringLiteral("exportCanvasesRequested")},
        {Qt::Key_P, QStringLiteral("printCanvasRequested")},
    };
    for (const auto& [key, notification] : shortcuts) {
        posted.clear();
        QTest::keyClick(field, key, Qt::ControlModifier);
        EXPECT_EQ(posted, QStringList{notification});
    }
    // Keys the menu does not have stay the field's.
    posted.clear();
    claims.claimed = 0;
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_GE(claims.claimed, 1);
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(ContentViewTest, TheBuiltManualLiesBesideTheProgram)
{
    // build/tests/test_views and build/src/MANUAL.pdf
    const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/MANUAL.pdf");
    QFile manual(built);
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly)) << built.toStdString();
    EXPECT_TRUE(manual.read(5).startsWith("%PDF-"));
    EXPECT_GT(manual.size(), 10000);
}

TEST_F(ContentViewTest, SaveFailuresShowUntilASaveSucceedsAndQuittingAsksFirst)
{
    auto store = ObjectStore::open(dir.filePath(QStringLiteral("default.store")));
    ASSERT_TRUE(store);
    store->setRetryInterval(60000);
    QStringList questions;
    bool quit = false;
    showWindowOver(store.get(), questions, quit);
    window->show();
    ASSERT_TRUE(store->save());
    EXPECT_FALSE(window->isShowingSaveWarning());

    // Another connection holds the write lock: saving fails like a refusing disk.
    sqlite3* blocker = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(store->path()).constData(), &blocker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    window->selectedCanvas()->setName(QStringLiteral("unsaved"));
    EXPECT_FALSE(store->save());
    EXPECT_TRUE(window->isShowingSaveWarning());
    // The banner says it once, in the store's words.
    bool bannerShown = false;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->isVisible() && label->text() == store->saveError())
            bannerShown = true;
    EXPECT_TRUE(bannerShown);

    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions.first().contains(QStringLiteral("lost")));

    sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(blocker);
    EXPECT_TRUE(store->save());
    EXPECT_FALSE(window->isShowingSaveWarning());
    EXPECT_TRUE(window->close());
    EXPECT_EQ(questions.size(), 1);
    window.reset();
}

// Another file in the store's place: every canvas goes into an exchange file
// beside it at once and again after each change; banner and quit question
// name that file, and "Export All Canvases…" still writes one of the user's choice.
TEST_F(ContentViewTest, WhileTheStoreIsReplacedEveryCanvasCanBeExportedBeforeQuitting)
{
    const QString path = dir.filePath(QStringLiteral("default.store"));
    auto store = ObjectStore::open(path);
    ASSERT_TRUE(store);
    QStringList questions;
    bool quit = false;
    showWindowOver(store.get(), questions, quit);
    auto dialogs = std::make_shared<ExchangeDialogsDouble>();
    dialogs->exportPath = dir.filePath(QStringLiteral("all.json"));
    window->library()->setExchangeDialogs(dialogs);
    window->show();
    store->context().insert(Canvas::create(QStringLiteral("Second"), 0, 0, 1));
    ASSERT_TRUE(store->save());
    const int canvases = store->context().canvasCount();

    writeFileBytes(dir.filePath(QStringLiteral("other")), "someone else's file");
    ASSERT_EQ(::rename(QFile::encodeName(dir.filePath(QStringLiteral("other"))).constData(),
                       QFile::encodeName(path).constData()),
              0);
    window->selectedCanvas()->setName(QStringLiteral("unsaved"));
    EXPECT_FALSE(store->save());
    EXPECT_TRUE(window->findChild<QPushButton*>(QStringLiteral("saveWarningExport"))->isVisible());
    EXPECT_FALSE(window->close());
    ASSERT_EQ(questions.size(), 1);
    const QString rescue = store->exchangeFile();
    ASSERT_FALSE(rescue.isEmpty());
    EXPECT_TRUE(questions.last().contains(QDir::toNativeSeparators(rescue))) << questions.last().toStdString();
    EXPECT_TRUE(questions.last().contains(QStringLiteral("all %1 canvases were written").arg(canvases)))
        << questions.last().toStdString();
    // Nothing is lost, and the question and its button do not say otherwise.
    EXPECT_TRUE(questions.last().contains(QStringLiteral("loses nothing")));
    EXPECT_FALSE(questions.last().contains(QStringLiteral("without saving"), Qt::CaseInsensitive))
        << questions.last().toStdString();
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("saveWarningText"))->text().contains(
        QDir::toNativeSeparators(rescue)));
    window->selectedCanvas()->setName(QStringLiteral("changed again"));
    EXPECT_FALSE(store->save());
    const auto rescued = CanvasExport::fromJSON(fileBytes(rescue));
    ASSERT_TRUE(rescued);
    EXPECT_EQ(rescued->canvases.size(), canvases);
    QStringList names;
    for (const CanvasData& canvas : rescued->canvases)
        names << canvas.name;
    EXPECT_TRUE(names.contains(QStringLiteral("changed again"))) << names.join(u',').toStdString();

    ASSERT_TRUE(window->exportAllCanvases());
    quit = true;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(questions.last().contains(QStringLiteral("quitting now loses nothing")));
    EXPECT_EQ(dialogs->proposedNames.size(), 1);
    const auto exported = CanvasExport::fromJSON(fileBytes(dialogs->exportPath.value()));
    ASSERT_TRUE(exported);
    EXPECT_EQ(exported->canvases.size(), canvases);
    window.reset();
    store.reset();
    EXPECT_EQ(fileBytes(path), "someone else's file");
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-wal")));
}

// Room comes back while the quit question is open: the retried save
// succeeds, the question goes and the window closes as asked.
TEST_F(ContentViewTest, TheQuitQuestionGoesOnceTheRetriedSaveSucceeds)
{
    auto store = ObjectStore::open(dir.filePath(QStringLiteral("default.store")));
    ASSERT_TRUE(store);
    store->setRetryInterval(50);
    window = std::make_unique<ContentView>(
        &store->context(), [](const CanvasPtr&, QUndoStack*) { return new QWidget; }, defaults);
    window->watchStore(store.get());
    window->show();
    ASSERT_TRUE(store->save());
    sqlite3* blocker = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(store->path()).constData(), &blocker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    window->selectedCanvas()->setName(QStringLiteral("unsaved"));
    EXPECT_FALSE(store->save());

    const auto openQuestion = []() -> QMessageBox* {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                return box;
        return nullptr;
    };
    QObject timers;
    bool asked = false;
    QTimer::singleShot(0, &timers, [&] {
        asked = openQuestion() != nullptr;
        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
    });
    // Should the question stay, it is answered "Keep Quillsheet Open" instead of hanging.
    QTimer::singleShot(10000, &timers, [&] {
        if (QMessageBox* box = openQuestion())
            box->reject();
    });
    EXPECT_TRUE(window->close());
    sqlite3_close(blocker);
    EXPECT_TRUE(asked) << "the question was shown";
    EXPECT_FALSE(openQuestion());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(store->saveError());
    EXPECT_FALSE(store->context().hasChanges());
    window.reset();
}

TEST_F(ContentViewTest, TheContentReportsBeingShownAndGone)
{
    makeWindow();
    QSignalSpy shown(window.get(), &ContentView::contentShown);
    QSignalSpy gone(window.get(), &ContentView::contentGone);
    window->show();
    EXPECT_EQ(shown.count(), 1);
    window->close();
    EXPECT_EQ(gone.count(), 1);
}
