#include "Models/Canvas.h"
#include "Store/ObjectStore.h"
#include "Platform/CloudService.h"
#include "Platform/Defaults.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Window/QuillsheetApp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Start-up over a temporary home with a cloud that answers as told.
class QuillsheetAppTest : public ::testing::Test {
protected:
    QuillsheetApp::Environment environment()
    {
        QuillsheetApp::Environment env;
        env.dataFolder = m_root.filePath(QStringLiteral("data/Quillsheet"));
        env.homeFolder = m_root.filePath(QStringLiteral("home"));
        env.defaults = &defaults;
        env.cloud = &cloud;
        env.makeUpdateController = [this](QObject* parent) {
            return new UpdateController(UpdateController::Backend{[this] { ++updaterStarts; }, {}}, parent);
        };
        env.refreshRates = [this] { ++rateRefreshes; };
        env.editorFactory = [](const CanvasPtr&, QUndoStack*) { return new QWidget; };
        env.print = [this](const QString& line, bool isError) { printed << (isError ? "err: " : "out: ") + line; };
        env.showDialogs = false;
        return env;
    }
    QString storePath() const { return m_root.filePath(QStringLiteral("data/Quillsheet/default.store")); }

    QTemporaryDir m_root;
    Defaults defaults{m_root.filePath(QStringLiteral("prefs.conf"))};
    bool mirrorWorks = true;
    CloudService cloud{CloudService::Backend{[] { return true; },
                                             [] { return CloudService::AccountStatus::available; },
                                             [this](ObjectStore&, QString* error) {
                                                 if (!mirrorWorks)
                                                     *error = QStringLiteral("no account");
                                                 return mirrorWorks;
                                             },
                                             {}}};
    int updaterStarts = 0;
    int rateRefreshes = 0;
    QStringList printed;
};

} // namespace

TEST_F(QuillsheetAppTest, AFirstStartOpensAnEmptyStoreAndStartsTheUpdaterLater)
{
    QuillsheetApp app(environment());
    EXPECT_FALSE(app.updaterController().isStarted()); // exists from the first step, unstarted
    ASSERT_EQ(app.init(), QuillsheetApp::StartResult::running);
    EXPECT_EQ(app.migration(), StoreMigration::notNeeded);
    EXPECT_TRUE(QFileInfo::exists(storePath()));
    EXPECT_TRUE(app.isMirrored());
    EXPECT_EQ(defaults.boolValue(QStringLiteral("cloudKitInitFailed")), false);
    EXPECT_EQ(rateRefreshes, 1);
    EXPECT_TRUE(printed.isEmpty());

    app.window()->show();
    EXPECT_EQ(app.sharedModelContainer()->context().canvasCount(), 1);
    EXPECT_TRUE(app.updaterStartTask()->isWaiting());
    EXPECT_EQ(updaterStarts, 0);
    // The window goes away within the delay: the updater starts at once.
    app.window()->close();
    EXPECT_EQ(updaterStarts, 1);
    EXPECT_TRUE(app.updaterController().isStarted());
}

TEST_F(QuillsheetAppTest, AnOldStoreIsCarriedOverAndOpened)
{
    const QString oldFolder = formerStoreFolder(m_root.filePath(QStringLiteral("home")));
    {
        QDir().mkpath(oldFolder);
        auto old = ObjectStore::open(QDir(oldFolder).filePath(QStringLiteral("default.store")));
        ASSERT_TRUE(old);
        old->context().insert(Canvas::create(QStringLiteral("From before"), 0, 0, 1));
        ASSERT_TRUE(old->save());
    }
    QuillsheetApp app(environment());
    ASSERT_EQ(app.init(), QuillsheetApp::StartResult::running);
    EXPECT_EQ(app.migration(), StoreMigration::copied);
    app.window()->show();
    ASSERT_EQ(app.sharedModelContainer()->context().canvasCount(), 1);
    EXPECT_EQ(app.window()->selectedCanvas()->name(), QStringLiteral("From before"));
}

TEST_F(QuillsheetAppTest, AFailedMirrorIsReportedAndTheStoreIsLocal)
{
    mirrorWorks = false;
    QuillsheetApp app(environment());
    ASSERT_EQ(app.init(), QuillsheetApp::StartResult::running);
    EXPECT_FALSE(app.isMirrored());
    EXPECT_EQ(printed, QStringList{QStringLiteral("out: Failed to create CloudKit container: no account")});
    EXPECT_EQ(defaults.boolValue(QStringLiteral("cloudKitInitFailed")), true);
}

TEST_F(QuillsheetAppTest, AStoreThatCannotBeOpenedEndsStartUpWithoutTouchingIt)
{
    QDir().mkpath(QFileInfo(storePath()).absolutePath());
    QFile file(storePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray foreign = QByteArray(4096, 'x');
    file.write(foreign);
    file.close();

    QuillsheetApp app(environment());
    const auto result = app.init();
    EXPECT_EQ(result, QuillsheetApp::StartResult::failed);
    EXPECT_NE(QuillsheetApp::exitCode(result), 0);
    EXPECT_FALSE(app.window());
    EXPECT_EQ(rateRefreshes, 0);
    // Said once, with the file to move away.
    ASSERT_EQ(printed.size(), 1);
    EXPECT_TRUE(printed.last().startsWith(QStringLiteral("err: Could not create ModelContainer: ")));
    EXPECT_TRUE(printed.last().contains(QStringLiteral("move or rename “%1”").arg(QDir::toNativeSeparators(storePath()))));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), foreign);
}

TEST_F(QuillsheetAppTest, ASecondInstanceSaysSoAndLeavesTheStoreAlone)
{
    QuillsheetApp first(environment());
    ASSERT_EQ(first.init(), QuillsheetApp::StartResult::running);
    first.sharedModelContainer()->context().insert(Canvas::create(QStringLiteral("Mine"), 0, 0, 1));
    ASSERT_TRUE(first.sharedModelContainer()->save());

    QuillsheetApp second(environment());
    const auto result = second.init();
    EXPECT_EQ(result, QuillsheetApp::StartResult::alreadyRunning);
    EXPECT_EQ(QuillsheetApp::exitCode(result), 0);
    EXPECT_FALSE(second.sharedModelContainer());
    EXPECT_EQ(printed, QStringList{QStringLiteral("out: Quillsheet is already running.")});
    EXPECT_EQ(rateRefreshes, 1);
    EXPECT_EQ(first.sharedModelContainer()->context().canvasCount(), 1);
}
