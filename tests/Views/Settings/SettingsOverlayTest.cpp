#include "Models/CalcSettings.h"
#include "support/CloudDouble.h"
#include "Views/Window/ShellFixture.h"
#include "Views/Settings/SettingsButton.h"
#include "Views/Settings/SettingsOverlay.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Settings/SyncStatusButton.h"
#include "support/SettingsFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QVariantAnimation>
#include <gtest/gtest.h>

namespace {

class SettingsOverlayTest : public SettingsFixture {
public:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        open();
        host.resize(1000, 700);
        overlay = new SettingsOverlay(&host, *settings, *defaults);
        button = new SettingsButton(&host);
        button->move(10, 10);
        QObject::connect(button, &SettingsButton::clicked, overlay, [this] { overlay->setPresented(true); });
        host.show();
    }
    void TearDown() override
    {
        delete overlay;
        SettingsFixture::TearDown();
    }
    bool closed() const { return !overlay->isPresented() && !overlay->isVisible() && !overlay->settingsView(); }

    QWidget host;
    SettingsOverlay* overlay = nullptr;
    SettingsButton* button = nullptr;
};

TEST_F(SettingsOverlayTest, TheCardHangsBelowTheTopOverADimmedBackdrop)
{
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(overlay->isPresented());
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_FALSE(overlay->isFading()) << "the card shows at once";
    EXPECT_EQ(overlay->geometry(), host.rect());
    QCoreApplication::processEvents();
    const QRect card = overlay->card()->geometry();
    EXPECT_EQ(card.top(), SettingsOverlay::cardTopMargin);
    EXPECT_EQ(card.width(), 480);
    EXPECT_EQ(card.center().x(), host.rect().center().x());

    // The backdrop is black at 30 %, over the whole host.
    const QImage image = overlay->grab().toImage();
    const QColor corner = image.pixelColor(image.width() - 2, image.height() - 2);
    const QColor background = host.palette().color(QPalette::Window);
    EXPECT_NEAR(corner.red(), background.red() * 0.7, 3);
    EXPECT_NEAR(corner.blue(), background.blue() * 0.7, 3);

    // The card follows the window and its tab's height.
    host.resize(1200, 800);
    QCoreApplication::processEvents();
    EXPECT_EQ(overlay->geometry(), host.rect());
    EXPECT_EQ(overlay->card()->geometry().center().x(), host.rect().center().x());
    const int taxHeight = overlay->card()->height();
    overlay->settingsView()->setSelectedTab(3);
    EXPECT_TRUE(waitUntil([&] { return overlay->card()->height() > taxHeight; }, 2000));

    // In a window too short for it the card ends above the bottom and scrolls.
    host.resize(1000, 300);
    QCoreApplication::processEvents();
    EXPECT_LE(overlay->card()->geometry().bottom(), 300 - 20);
    EXPECT_TRUE(overlay->card()->isAncestorOf(overlay->settingsView()));
    EXPECT_GT(overlay->settingsView()->height(), overlay->card()->height());
}

TEST_F(SettingsOverlayTest, BothClosingPathsFadeTheCardOut)
{
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"close button", [this] { QTest::mouseClick(overlay->settingsView()->closeButton(), Qt::LeftButton); }},
        {"backdrop", [this] { QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(20, 600)); }},
    };
    for (const auto& [name, close] : cases) {
        SCOPED_TRACE(name);
        QSignalSpy flags(overlay, &SettingsOverlay::presentedChanged);
        overlay->setPresented(true);
        close();
        EXPECT_FALSE(overlay->isPresented());
        EXPECT_TRUE(overlay->isFading());
        EXPECT_TRUE(overlay->isVisible()) << "still fading";
        // A short fade that slows as it ends.
        QList<QVariantAnimation*> running = overlay->findChildren<QVariantAnimation*>();
        running.removeIf([](const QVariantAnimation* a) { return a->state() != QAbstractAnimation::Running; });
        ASSERT_EQ(running.size(), 1);
        EXPECT_EQ(running[0]->duration(), 200);
        EXPECT_EQ(running[0]->easingCurve().type(), QEasingCurve::OutQuad);
        EXPECT_TRUE(waitUntil([&] { return closed(); }, 2000));
        EXPECT_EQ(flags.count(), 2);
    }
}

TEST_F(SettingsOverlayTest, ClicksInsideTheCardAndOnTheGearKeepItOpen)
{
    overlay->setPresented(true);
    QCoreApplication::processEvents();
    SettingsView* view = overlay->settingsView();
    // Between the controls: the hint line's row, and the card's margin.
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(470, view->height() - 5));
    QTest::mouseClick(overlay, Qt::LeftButton, {}, overlay->card()->geometry().topLeft() + QPoint(3, 3));
    EXPECT_TRUE(overlay->isPresented());
    overlay->raise();
    button->raise();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(overlay->isPresented());
    EXPECT_EQ(overlay->settingsView(), view) << "the gear is no toggle and makes no new card";
}

TEST_F(SettingsOverlayTest, TheCardOpensOnTaxRatesEachTime)
{
    for (int round = 0; round < 2; ++round) {
        overlay->setPresented(true);
        ASSERT_NE(overlay->settingsView(), nullptr);
        EXPECT_EQ(overlay->settingsView()->selectedTab(), 0);
        overlay->settingsView()->setSelectedTab(3);
        overlay->setPresented(false);
        ASSERT_TRUE(waitUntil([&] { return closed(); }, 2000));
    }
    // Opened again during the fade: a new card at once, on its first tab.
    overlay->setPresented(true);
    overlay->settingsView()->setSelectedTab(2);
    overlay->setPresented(false);
    overlay->setPresented(true);
    EXPECT_FALSE(overlay->isFading());
    EXPECT_EQ(overlay->settingsView()->selectedTab(), 0);
    QTest::qWait(SettingsOverlay::fadeOutMilliseconds + 50);
    EXPECT_TRUE(overlay->isVisible());
}

TEST_F(SettingsOverlayTest, TheCardTakesTheKeysAndGivesThemBack)
{
    auto* field = new QLineEdit(&host);
    field->show();
    host.activateWindow();
    field->setFocus();
    QCoreApplication::processEvents();
    overlay->setPresented(true);
    EXPECT_FALSE(field->hasFocus());
    overlay->setPresented(false);
    ASSERT_TRUE(waitUntil([&] { return closed(); }, 2000));
    EXPECT_TRUE(field->hasFocus() || QApplication::focusWidget() == field);
}

TEST_F(SettingsOverlayTest, OpeningTheCardWritesNothing)
{
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    overlay->setPresented(true);
    for (int tab : {1, 2, 3})
        overlay->settingsView()->setSelectedTab(tab);
    overlay->setPresented(false);
    ASSERT_TRUE(waitUntil([&] { return closed(); }, 2000));
    EXPECT_EQ(writes.count(), 0);
}

TEST_F(SettingsOverlayTest, ButtonsShowAFaintBackgroundOnlyUnderThePointer)
{
    PreferenceFiles files;
    Defaults prefs(files.path());
    SyncStatusButton sync(prefs, CloudService::shared(), {}, &host);
    sync.show();
    EXPECT_EQ(button->toolTip(), "Settings");
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(button), static_cast<QAbstractButton*>(&sync)}) {
        const auto hovered = [&] { return b == button ? button->isHovered() : sync.isHovered(); };
        EXPECT_FALSE(hovered());
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(b, &enter);
        EXPECT_TRUE(hovered());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(b, &leave);
        EXPECT_FALSE(hovered());
    }
}

// Preferences and a cloud for one indicator.
struct SyncSetup {
    PreferenceFiles files;
    Defaults defaults{files.path()};
    CloudDouble cloud;
};
const SyncStatusMonitor::Timing quick{std::chrono::milliseconds(20), std::chrono::milliseconds(30)};

class SyncStatusButtonTest : public ::testing::Test, public SyncSetup {};

TEST_F(SyncStatusButtonTest, EachStateShowsItsSymbolColourAndTooltip)
{
    using Account = CloudService::AccountStatus;
    struct Case { const char* name; std::function<void(SyncSetup&)> arrange; CloudService::AccountAnswer answer;
                  QString symbol; QColor colour; QString tooltip; };
    const QColor secondary = SyncStatusButton::tintColor(SyncStatusMonitor::Tint::secondary);
    const QColor red(0xff, 0x45, 0x3a);
    const Case cases[] = {
        {"switch off", [](auto& t) { t.defaults.setValue("iCloudSyncEnabled", false); }, Account::available,
         "icloud.slash", secondary, "iCloud Sync Disabled"},
        {"no entitlement", [](auto& t) { t.cloud.entitled = false; }, Account::available, "icloud.slash", secondary,
         "iCloud Sync Disabled"},
        {"fell back to local", [](auto& t) { t.defaults.setValue("cloudKitInitFailed", true); }, Account::available,
         "exclamationmark.icloud", red, "Error: iCloud nicht verfügbar – nur lokal gespeichert"},
        {"no account", [](auto& t) { t.cloud.startMirroring(); }, Account::noAccount, "exclamationmark.icloud", red,
         "Error: Kein iCloud-Konto angemeldet"},
        {"available", [](auto& t) { t.cloud.startMirroring(); }, Account::available, "checkmark.icloud",
         QColor(0x30, 0xd1, 0x58), "Synced"},
        {"unknown", [](auto& t) { t.cloud.startMirroring(); }, Account::couldNotDetermine, "xmark.icloud",
         QColor(0xff, 0x9f, 0x0a), "Offline"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SyncSetup fresh;
        c.arrange(fresh);
        SyncStatusButton button(fresh.defaults, fresh.cloud.service, quick);
        fresh.cloud.answerAll(c.answer);
        EXPECT_EQ(button.presentation().symbolName, c.symbol);
        EXPECT_EQ(SyncStatusButton::tintColor(button.presentation().tint), c.colour);
        EXPECT_EQ(button.toolTip(), c.tooltip);
        EXPECT_FALSE(button.isPulsing());
    }
}

TEST_F(SyncStatusButtonTest, AClickPulsesWhileSyncing)
{
    cloud.startMirroring();
    SyncStatusButton button(defaults, cloud.service, quick);
    cloud.answerAll(CloudService::AccountStatus::available);
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.toolTip(), "Syncing...");
    EXPECT_EQ(button.presentation().symbolName, "arrow.triangle.2.circlepath.icloud");
    EXPECT_TRUE(button.isPulsing());
    ASSERT_TRUE(waitUntil([&] { return !cloud.pending.isEmpty(); }));
    cloud.answerAll(CloudService::AccountStatus::available);
    EXPECT_EQ(button.toolTip(), "Synced");
    EXPECT_FALSE(button.isPulsing());

    // Switch off: the click keeps it disabled.
    defaults.setValue("iCloudSyncEnabled", false);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.toolTip(), "iCloud Sync Disabled");
}

class SettingsCommandTest : public ShellFixture {
protected:
    QAction* settingsAction() const { return window->findChild<QAction*>("settingsAction"); }
    QStringList storedKeys() const { return QSettings(defaults.fileName(), QSettings::IniFormat).allKeys(); }
};

TEST_F(SettingsCommandTest, SettingsCommandOpensOneWindowThatItsCloseButtonCloses)
{
    makeWindow().show();
    const QStringList before = storedKeys();
    QAction* action = settingsAction();
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "Settings…");
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));

    action->trigger();
    SettingsView* settingsWindow = window->settingsWindow();
    ASSERT_NE(settingsWindow, nullptr);
    EXPECT_TRUE(settingsWindow->isWindow());
    EXPECT_TRUE(settingsWindow->isVisible());
    settingsWindow->setSelectedTab(2);

    QTest::mouseClick(settingsWindow->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(settingsWindow->isVisible());
    action->trigger();
    EXPECT_EQ(window->settingsWindow(), settingsWindow) << "one settings window";
    EXPECT_EQ(settingsWindow->selectedTab(), 2) << "the window keeps its tab";
    EXPECT_EQ(storedKeys(), before);
}

// The backdrop covers the whole window below the menu bar, toolbar included,
// however the toolbar comes and goes beneath it.
TEST_F(SettingsCommandTest, TheCardCoversTheWindowBelowItsMenuBar)
{
    defaults.setValue(QStringLiteral("autoHideToolbar"), false);
    makeWindow().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(window->isToolbarVisible());
    window->showSettingsCard();
    SettingsOverlay* overlay = window->settingsOverlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->isPresented());
    const int belowMenuBar = window->menuBar()->geometry().bottom() + 1;
    EXPECT_EQ(overlay->geometry(), window->rect().adjusted(0, belowMenuBar, 0, 0));
    const QPoint onToolbar = window->toolbar()->geometry().center();
    for (bool toolbarShown : {true, false, true}) {
        window->toolbar()->setVisible(toolbarShown);
        QCoreApplication::processEvents();
        EXPECT_EQ(window->childAt(onToolbar), overlay) << toolbarShown;
    }
    window->resize(1200, 800);
    QCoreApplication::processEvents();
    EXPECT_EQ(overlay->geometry(), window->rect().adjusted(0, belowMenuBar, 0, 0));
    window->showSettingsCard();
    EXPECT_EQ(window->settingsOverlay(), overlay);
}

// Escape closes the settings window and the card as their close button does,
// Ctrl+W the window; a rate being typed is kept.
TEST_F(SettingsCommandTest, EscapeAndCtrlWCloseLikeTheCloseButton)
{
    makeWindow().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CalcSettings& shared = CalcSettings::shared();
    const QList<CalcSettings::TaxRate> saved = shared.taxRates();
    struct Case {
        const char* name;
        bool card;
        QKeySequence keys;
        double typed;
    };
    const Case cases[] = {
        {"window, Escape", false, QKeySequence(Qt::Key_Escape), 21},
        {"window, Ctrl+W", false, QKeySequence(Qt::CTRL | Qt::Key_W), 22},
        {"card, Escape", true, QKeySequence(Qt::Key_Escape), 23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.card)
            window->showSettingsCard();
        else
            window->showSettingsWindow();
        SettingsView* view = c.card ? window->settingsOverlay()->settingsView() : window->settingsWindow();
        ASSERT_NE(view, nullptr);
        view->window()->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == view->window(); }, 2000));
        auto* field = view->findChild<QLineEdit*>("taxRate0");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::number(c.typed));
        QTest::keySequence(field, c.keys);
        if (c.card)
            EXPECT_TRUE(waitUntil([&] { return !window->settingsOverlay()->isVisible(); }, 2000));
        else
            EXPECT_FALSE(view->isVisible());
        EXPECT_TRUE(waitUntil([&] { return shared.taxRates()[0].rate == c.typed; }, 2000));
    }
    shared.setTaxRates(saved);
}

} // namespace
