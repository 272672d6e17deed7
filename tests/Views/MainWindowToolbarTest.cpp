#include "Services/HoverMonitor.h"
#include "ShellFixture.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

namespace {

class MainWindowToolbarTest : public ShellFixture {
protected:
    void SetUp() override
    {
        addCanvas(QStringLiteral("Haushalt"), 5);
        makeWindow().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QAction* menuAction(const QString& text) const
    {
        for (QAction* candidate : window->menuBar()->findChildren<QAction*>())
            if (candidate->text() == text)
                return candidate;
        return nullptr;
    }

    HoverMonitor& monitor() const { return *window->hoverMonitor(); }
};

} // namespace

TEST_F(MainWindowToolbarTest, ToolbarIsHiddenAtLaunchAndFollowsThePointer)
{
    EXPECT_FALSE(window->isToolbarVisible());
    monitor().handlePointer(400, 20);
    EXPECT_TRUE(window->isToolbarVisible());
    monitor().handlePointer(400, 300);
    EXPECT_TRUE(window->isToolbarVisible()) << "the hide waits for its delay";
    EXPECT_TRUE(waitUntil([&] { return !window->isToolbarVisible(); }, 3000));
}

TEST_F(MainWindowToolbarTest, ShowToolbarCommandIsTheAutoHideSwitchTurnedAround)
{
    QAction* command = menuAction(QStringLiteral("Show Toolbar"));
    ASSERT_TRUE(command);
    EXPECT_FALSE(command->isChecked());
    command->trigger();
    EXPECT_EQ(defaults.boolValue(QStringLiteral("autoHideToolbar")), false);
    EXPECT_TRUE(window->isToolbarVisible());
    monitor().handlePointer(400, 300);
    QTest::qWait(700);
    EXPECT_TRUE(window->isToolbarVisible()) << "a shown toolbar stays wherever the pointer goes";

    defaults.setValue(QStringLiteral("autoHideToolbar"), true); // as the settings switch does
    EXPECT_FALSE(command->isChecked());
}

TEST_F(MainWindowToolbarTest, SidebarFollowsTheLeftEdgeOnlyWhileItsSwitchIsOn)
{
    ASSERT_FALSE(window->isSidebarVisible());
    monitor().handlePointer(3, 300);
    EXPECT_TRUE(window->isSidebarVisible());
    monitor().handlePointer(600, 300);
    EXPECT_TRUE(waitUntil([&] { return !window->isSidebarVisible(); }, 3000));

    defaults.setValue(QStringLiteral("autoShowSidebar"), false);
    monitor().handlePointer(3, 300);
    EXPECT_FALSE(window->isSidebarVisible());
    window->setSidebarVisible(true); // the user's own toggle still works
    monitor().handlePointer(600, 300);
    QTest::qWait(700);
    EXPECT_TRUE(window->isSidebarVisible());
}
