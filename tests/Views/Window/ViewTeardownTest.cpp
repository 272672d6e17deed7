#include "Views/Canvas/CanvasViewTestSupport.h"

#include "Models/ModelContext.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Window/ContentView.h"
#include "Views/Canvas/TextFieldBridges.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Views destroyed while one of their fields has the keyboard. Closing the
// window or deleting the children moves the focus; nothing that follows may
// reach the view being destroyed (the sanitizer build reports any call that
// does) or change what the user had.
namespace {

class ViewTeardownTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        context.insert(canvas);
        first = addRow(canvas, QStringLiteral("Miete"), QStringLiteral("1200"), 20);
        second = addRow(canvas, QStringLiteral("Strom"), QStringLiteral("80 + 5"), 76);
    }

    // What the user sees of the canvas, to compare before and after.
    QStringList snapshot() const
    {
        QStringList rows{canvas->name()};
        for (const BlockPtr& row : canvas->blocks())
            rows << row->label() + u'|' + row->expression();
        return rows;
    }

    QLineEdit* focusedLineEdit() const { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }

    EditorPreferences preferences;
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("prefs.conf"))};
    ModelContext context;
    QUndoStack undoStack;
    CanvasPtr canvas = makeCanvas(QStringLiteral("Haushalt"));
    BlockPtr first;
    BlockPtr second;
};

// Ways of giving a field of a shown editor the keyboard.
struct FocusCase {
    const char* name;
    std::function<void(CanvasView&, const BlockPtr& row)> focus;
};

const FocusCase focusCases[] = {
    {"row expression",
     [](CanvasView& view, const BlockPtr&) {
         QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.expressionRect(0).center().toPoint());
     }},
    {"row label",
     [](CanvasView& view, const BlockPtr&) {
         QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.labelRect(0).center().toPoint());
     }},
    {"canvas title",
     [](CanvasView& view, const BlockPtr&) {
         QLineEdit* title = view.titleField()->field();
         QTest::mouseClick(title, Qt::LeftButton, {}, title->rect().center());
     }},
    {"number label", [](CanvasView& view, const BlockPtr& row) { view.startEditingNumberLabel(QStringLiteral("1200"), 0, row); }},
    {"row expression with the picker open",
     [](CanvasView& view, const BlockPtr&) {
         QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.expressionRect(1).center().toPoint());
         QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(" #"));
     }},
    {"row expression with the keypad shown",
     [](CanvasView& view, const BlockPtr&) {
         view.setShowKeypad(true);
         QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.expressionRect(0).center().toPoint());
     }},
};

} // namespace

TEST_F(ViewTeardownTest, AnEditorWindowDestroyedWhileAFieldHasTheKeyboard)
{
    for (const FocusCase& c : focusCases) {
        SCOPED_TRACE(c.name);
        auto view = std::make_unique<CanvasView>(canvas, &context, &undoStack);
        view->resize(900, 600);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        c.focus(*view, first);
        QApplication::processEvents();
        ASSERT_TRUE(focusedLineEdit());
        ASSERT_TRUE(view->isAncestorOf(focusedLineEdit()));
        const QStringList before = snapshot();
        const int steps = undoStack.count();

        view.reset();
        QApplication::processEvents();
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(undoStack.count(), steps);
    }
}

// The window stays; only the editor inside it goes (switching canvases).
TEST_F(ViewTeardownTest, AnEditorInsideAWindowDeletedWhileAFieldHasTheKeyboard)
{
    for (const FocusCase& c : focusCases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* view = new CanvasView(canvas, &context, &undoStack, &window);
        layout->addWidget(view);
        window.resize(900, 600);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        c.focus(*view, first);
        QApplication::processEvents();
        ASSERT_TRUE(focusedLineEdit());
        const QStringList before = snapshot();

        delete view;
        QApplication::processEvents();
        EXPECT_EQ(snapshot(), before);
        EXPECT_FALSE(focusedLineEdit());
    }
}

// The main window with the real editor, and the library on its own.
TEST_F(ViewTeardownTest, WindowsDestroyedWhileTheirFieldsHaveTheKeyboard)
{
    const struct {
        const char* name;
        bool library; // the rename field of the library rather than a row
    } cases[] = {{"editor row", false}, {"library rename field", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto window = std::make_unique<ContentView>(
            &context, [](const CanvasPtr& shown, QUndoStack* stack) { return new CanvasView(shown, shown->context(), stack); },
            defaults);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->setSelectedCanvas(canvas);
        auto* editor = qobject_cast<CanvasView*>(window->editor());
        ASSERT_TRUE(editor);
        if (c.library) {
            window->setSidebarVisible(true);
            window->library()->startRenaming(canvas);
        } else {
            focusCases[0].focus(*editor, first);
        }
        QApplication::processEvents();
        ASSERT_TRUE(focusedLineEdit());
        const QStringList before = snapshot();

        window.reset();
        QApplication::processEvents();
        EXPECT_EQ(snapshot(), before);
    }

    auto library = std::make_unique<CanvasListView>(&context);
    library->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(library.get()));
    library->startRenaming(canvas);
    QApplication::processEvents();
    ASSERT_TRUE(focusedLineEdit());
    library.reset();
    QApplication::processEvents();
    EXPECT_EQ(canvas->name(), QStringLiteral("Haushalt"));
}
