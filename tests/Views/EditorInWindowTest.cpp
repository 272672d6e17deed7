#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/ModelContext.h"
#include "Platform/Defaults.h"
#include "Views/CanvasView.h"
#include "Views/ContentView.h"

#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>
#include <gtest/gtest.h>

namespace {

// The real editor inside the real window, as the program builds them.
class EditorInWindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("prefs.conf"))};
    ModelContext context;
    CanvasPtr canvas = Canvas::create(QStringLiteral("Haushalt"), 0, 0, 1);
    std::unique_ptr<ContentView> window;

    CanvasView* editor() const { return qobject_cast<CanvasView*>(window->editor()); }

    void SetUp() override
    {
        context.insert(canvas);
        window = std::make_unique<ContentView>(
            &context,
            [](const CanvasPtr& c, QUndoStack* stack) { return new CanvasView(c, c->context(), stack); }, defaults);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(editor());
    }
};

} // namespace

TEST_F(EditorInWindowTest, RowColourMenuShowsInTheWindowToolbarWithASelection)
{
    QToolBar* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolbar"));
    ASSERT_TRUE(toolbar);
    ASSERT_TRUE(toolbar->actions().contains(editor()->rowColorAction()));
    EXPECT_FALSE(editor()->rowColorAction()->isVisible());
    EXPECT_FALSE(toolbar->isVisible()) << "an empty toolbar is only a stray strip";
    editor()->addNewRow();
    QCoreApplication::processEvents();
    EXPECT_TRUE(editor()->rowColorAction()->isVisible());
    EXPECT_TRUE(toolbar->isVisible());
    editor()->rowColorAction()->menu()->actions().at(5)->trigger();
    EXPECT_EQ(canvas->blocks().first()->colorHex(), QStringLiteral("#FF5252"));
}

TEST_F(EditorInWindowTest, CtrlZOnTheCanvasUndoesExactlyOnce)
{
    editor()->addNewBlock();
    editor()->addNewBlock();
    ASSERT_EQ(canvas->blocks().size(), 2);
    ASSERT_EQ(window->undoStack()->count(), 2);
    editor()->tableWidget()->setFocus();
    QTest::keyClick(editor()->tableWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 1) << "the window and the editor must not both claim Ctrl+Z";
    QTest::keyClick(editor()->tableWidget(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->undoStack()->index(), 1);
}
