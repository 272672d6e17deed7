#include "Services/HoverMonitor.h"
#include "Views/Feedback/FeedbackSheet.h"
#include "Views/Settings/SettingsButton.h"
#include "Views/Settings/SettingsOverlay.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Share/ShareButton.h"
#include "Views/Settings/SyncStatusButton.h"
#include "Views/Window/PanelSlide.h"
#include "Views/Window/ShellFixture.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QVariantAnimation>

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
    // At its least width the window widens for the library and narrows
    // again when the library goes, by the pointer or by the menu.
    window->resize(1, window->height());
    QApplication::processEvents();
    const int narrow = window->width();
    monitor().handlePointer(3, 300);
    EXPECT_TRUE(window->isSidebarVisible());
    ASSERT_TRUE(waitUntil([&] { return !window->sidebarSlide()->isSliding(); }, 2000));
    EXPECT_GT(window->width(), narrow);
    monitor().handlePointer(600, 300);
    EXPECT_TRUE(waitUntil([&] { return !window->isSidebarVisible(); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return window->width() == narrow; }, 2000));

    defaults.setValue(QStringLiteral("autoShowSidebar"), false);
    monitor().handlePointer(3, 300);
    EXPECT_FALSE(window->isSidebarVisible());
    window->setSidebarVisible(true); // the user's own toggle still works
    monitor().handlePointer(600, 300);
    QTest::qWait(700);
    EXPECT_TRUE(window->isSidebarVisible());
    EXPECT_GT(window->width(), narrow);
    window->setSidebarVisible(false);
    EXPECT_TRUE(waitUntil([&] { return window->width() == narrow; }, 2000));
}

TEST_F(MainWindowToolbarTest, HoldsShareOnlyWithASelectionThenSyncAndSettings)
{
    // The window's own items, in toolbar order.
    auto ownItems = [&] {
        QStringList names;
        for (QAction* action : window->toolbar()->actions()) {
            QWidget* widget = window->toolbar()->widgetForAction(action);
            if (qobject_cast<ShareButton*>(widget))
                names << QStringLiteral("share");
            else if (qobject_cast<SyncStatusButton*>(widget))
                names << QStringLiteral("sync");
            else if (qobject_cast<SettingsButton*>(widget))
                names << QStringLiteral("settings");
        }
        return names;
    };
    ASSERT_TRUE(window->selectedCanvas());
    EXPECT_EQ(ownItems(), (QStringList{"share", "sync", "settings"}));
    const CanvasPtr shown = window->selectedCanvas();

    window->setSelectedCanvas(nullptr);
    EXPECT_EQ(ownItems(), (QStringList{"sync", "settings"}));
    EXPECT_FALSE(window->shareButton());

    window->setSelectedCanvas(shown);
    ASSERT_TRUE(window->shareButton());
    EXPECT_EQ(window->shareButton()->toolTip(), ShareButton::toolTipText);
    EXPECT_EQ(ownItems(), (QStringList{"share", "sync", "settings"})) << "one share button, never two";
}

TEST_F(MainWindowToolbarTest, TheGearOpensTheCardWhoseFeedbackButtonOpensTheOneForm)
{
    defaults.setValue(QStringLiteral("autoHideToolbar"), false);
    ASSERT_TRUE(window->isToolbarVisible());
    QTest::mouseClick(window->settingsButton(), Qt::LeftButton);
    ASSERT_TRUE(window->settingsOverlay());
    ASSERT_TRUE(window->settingsOverlay()->isPresented());
    SettingsView* settings = window->settingsOverlay()->settingsView();
    ASSERT_TRUE(settings);

    settings->setSelectedTab(3);
    auto* feedback = settings->findChild<QToolButton*>(QStringLiteral("feedbackButton"));
    ASSERT_TRUE(feedback);
    feedback->click();
    QPointer<FeedbackSheet> sheet = window->feedbackSheet();
    ASSERT_TRUE(sheet);
    menuAction(QStringLiteral("Feedback senden …"))->trigger();
    EXPECT_EQ(window->feedbackSheet(), sheet.data()) << "the help command and the settings reach the same form";
    EXPECT_EQ(window->findChildren<FeedbackSheet*>().size(), 1);
}

TEST_F(MainWindowToolbarTest, OnlyThePointerInTheMainWindowMovesItsToolbar)
{
    QWidget other;
    other.resize(300, 200);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    QTest::mouseMove(other.windowHandle(), QPoint(150, 5));
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isToolbarVisible()) << "the settings window's top edge leaves the canvas where it is";
    QTest::mouseMove(window->windowHandle(), QPoint(400, 5));
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isToolbarVisible());
}

TEST_F(MainWindowToolbarTest, ToolbarAndSidebarSlideAndTurnBackFromWhereTheyStand)
{
    QWidget* canvas = window->editor();
    ASSERT_TRUE(canvas);
    auto canvasAt = [&] {
        QCoreApplication::processEvents(); // lets the window lay out the new extent
        return canvas->mapTo(window.get(), QPoint(0, 0));
    };
    const QPoint rest = canvasAt();
    PanelSlide* toolbar = window->toolbarSlide();
    QVariantAnimation* toolbarMotion = toolbar->animation();
    const int toolbarHeight = toolbar->fullExtent();

    monitor().handlePointer(400, 20);
    ASSERT_TRUE(toolbar->isSliding());
    EXPECT_EQ(toolbarMotion->duration(), 150);
    EXPECT_EQ(toolbarMotion->easingCurve().type(), QEasingCurve::InOutQuad);
    EXPECT_EQ(toolbarMotion->endValue().toInt(), toolbarHeight);
    toolbarMotion->pause();
    toolbarMotion->setCurrentTime(75);
    const int halfway = canvasAt().y() - rest.y();
    EXPECT_GT(halfway, 0) << "the canvas glides down instead of jumping";
    EXPECT_LT(halfway, toolbarHeight);
    toolbarMotion->resume();
    ASSERT_TRUE(waitUntil([&] { return !toolbar->isSliding(); }, 2000));
    EXPECT_EQ(canvasAt().y() - rest.y(), toolbarHeight);

    monitor().handlePointer(400, 300);
    ASSERT_TRUE(waitUntil([&] { return toolbar->isSliding(); }, 2000)) << "the delayed hide slides too";
    EXPECT_EQ(toolbarMotion->duration(), 200);
    EXPECT_EQ(toolbarMotion->endValue().toInt(), 0);
    toolbarMotion->pause();
    toolbarMotion->setCurrentTime(100);
    const int turnedAt = canvasAt().y() - rest.y();
    ASSERT_GT(turnedAt, 0);
    ASSERT_LT(turnedAt, toolbarHeight);
    monitor().handlePointer(400, 20);
    EXPECT_EQ(toolbarMotion->startValue().toInt(), turnedAt) << "back from where it stands, not from the far end";
    EXPECT_EQ(toolbarMotion->duration(), 150);
    EXPECT_EQ(canvasAt().y() - rest.y(), turnedAt);

    // The sidebar: 0.15 s in when the pointer decides, 0.2 s for the View menu.
    PanelSlide* sidebar = window->sidebarSlide();
    monitor().handlePointer(3, 300);
    ASSERT_TRUE(sidebar->isSliding());
    EXPECT_EQ(sidebar->animation()->duration(), 150);
    sidebar->animation()->pause();
    sidebar->animation()->setCurrentTime(75);
    const int sidebarHalfway = canvasAt().x() - rest.x();
    EXPECT_GT(sidebarHalfway, 0);
    EXPECT_LT(sidebarHalfway, sidebar->fullExtent());
    sidebar->animation()->resume();
    ASSERT_TRUE(waitUntil([&] { return !sidebar->isSliding(); }, 2000));
    EXPECT_EQ(window->library()->width(), sidebar->fullExtent());
    menuAction(QStringLiteral("Show Sidebar"))->trigger();
    EXPECT_FALSE(window->isSidebarVisible());
    EXPECT_TRUE(sidebar->isSliding());
    EXPECT_EQ(sidebar->animation()->duration(), 200);
    ASSERT_TRUE(waitUntil([&] { return window->library()->isHidden(); }, 2000));

    // A switched-off auto-hide puts the toolbar there at once.
    monitor().handlePointer(400, 300);
    ASSERT_TRUE(waitUntil([&] { return window->toolbar()->isHidden(); }, 3000));
    defaults.setValue(QStringLiteral("autoHideToolbar"), false);
    EXPECT_TRUE(window->isToolbarVisible());
    EXPECT_FALSE(toolbar->isSliding());
    EXPECT_EQ(canvasAt().y() - rest.y(), toolbarHeight);

    // The window going mid-slide takes its slides along.
    menuAction(QStringLiteral("Show Sidebar"))->trigger();
    ASSERT_TRUE(sidebar->isSliding());
    window.reset();
    QTest::qWait(250);
}

TEST_F(MainWindowToolbarTest, NothingMovesUnderThePointerWhileTheCardOrAMenuIsOpen)
{
    QWindow* handle = window->windowHandle();
    auto toolbarSettled = [&](bool shown) {
        return waitUntil([&] { return window->isToolbarVisible() == shown && !window->toolbarSlide()->isSliding(); },
                         3000);
    };
    // Not where an earlier case left the pointer: a move to the same place is no move.
    QTest::mouseMove(handle, QPoint(402, 7));
    ASSERT_TRUE(toolbarSettled(true));
    QTest::mouseClick(window->settingsButton(), Qt::LeftButton);
    ASSERT_TRUE(window->settingsOverlay() && window->settingsOverlay()->isPresented());
    SettingsView* settings = window->settingsOverlay()->settingsView();
    QAbstractButton* currency = settings->tabButton(1);
    const QPoint target = currency->mapTo(window.get(), currency->rect().center());
    QTest::mouseMove(handle, target);
    QTest::qWait(900);
    EXPECT_TRUE(window->isToolbarVisible()) << "the toolbar stays while the card is open";
    EXPECT_EQ(currency->mapTo(window.get(), currency->rect().center()), target) << "the card stays under the pointer";
    QTest::mouseClick(handle, Qt::LeftButton, {}, target);
    EXPECT_EQ(settings->selectedTab(), 1) << "the click lands on the tab";

    window->settingsOverlay()->setPresented(false);
    QTest::mouseMove(handle, target + QPoint(0, 4));
    EXPECT_TRUE(toolbarSettled(false)) << "with the card closed the toolbar goes again";

    // A menu of the window keeps the toolbar and the library where they are.
    QTest::mouseMove(handle, QPoint(402, 7));
    ASSERT_TRUE(toolbarSettled(true));
    monitor().handlePointer(3, 300);
    ASSERT_TRUE(window->isSidebarVisible());
    QMenu* file = window->menuBar()->actions().first()->menu();
    file->popup(window->mapToGlobal(QPoint(10, 30)));
    ASSERT_EQ(QApplication::activePopupWidget(), file);
    monitor().handlePointer(600, 300);
    QTest::qWait(700);
    EXPECT_TRUE(window->isToolbarVisible());
    EXPECT_TRUE(window->isSidebarVisible());
    file->close();
    monitor().handlePointer(600, 300);
    EXPECT_TRUE(toolbarSettled(false));
    EXPECT_FALSE(window->isSidebarVisible());
}
