#include "support/CloudDouble.h"
#include "Platform/Defaults.h"
#include "Services/SyncStatusMonitor.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

inline void PrintTo(const SyncStatusMonitor::SyncStatus& status, std::ostream* out)
{
    *out << status.description().toStdString();
}

namespace {

using Status = SyncStatusMonitor::SyncStatus;
using Account = CloudService::AccountStatus;
using Tint = SyncStatusMonitor::Tint;

const SyncStatusMonitor::Timing quick{std::chrono::milliseconds(20), std::chrono::milliseconds(30)};

class SyncStatusMonitorTest : public ::testing::Test {
protected:
    SyncStatusMonitor& makeMonitor()
    {
        monitor = std::make_unique<SyncStatusMonitor>(defaults, cloud.service, quick);
        return *monitor;
    }
    // A monitor in a run whose store mirrors to the cloud.
    SyncStatusMonitor& mirroringMonitor()
    {
        cloud.startMirroring();
        return makeMonitor();
    }
    void setSwitch(bool on) { defaults.setValue(QStringLiteral("iCloudSyncEnabled"), on); }

    PreferenceFiles files;
    Defaults defaults{files.path()};
    CloudDouble cloud;
    std::unique_ptr<SyncStatusMonitor> monitor;
};

TEST(SyncStatusTest, DescriptionsAndLooks)
{
    struct Case { Status status; QString description; SyncStatusMonitor::Presentation look; };
    const Case cases[] = {
        {Status::idle(), "Ready", {"cloud", Tint::secondary, false}},
        {Status::syncing(), "Syncing...", {"arrow.triangle.2.circlepath.icloud", Tint::blue, true}},
        {Status::synced(), "Synced", {"checkmark.icloud", Tint::green, false}},
        {Status::disabled(), "iCloud Sync Disabled", {"icloud.slash", Tint::secondary, false}},
        {Status::offline(), "Offline", {"xmark.icloud", Tint::orange, false}},
        {Status::error("iCloud eingeschränkt"), "Error: iCloud eingeschränkt",
         {"exclamationmark.icloud", Tint::red, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.status.description(), c.description);
        EXPECT_EQ(SyncStatusMonitor::presentation(c.status), c.look) << c.description.toStdString();
    }
    EXPECT_EQ(Status::error("a"), Status::error("a"));
    EXPECT_FALSE(Status::error("a") == Status::error("b"));
    EXPECT_FALSE(Status::offline() == Status::error(QString()));
}

TEST(SyncStatusTest, AccountAnswers)
{
    const std::pair<CloudService::AccountAnswer, Status> cases[] = {
        {Account::available, Status::synced()},
        {Account::restricted, Status::error(QStringLiteral("iCloud eingeschränkt"))},
        {Account::noAccount, Status::error(QStringLiteral("Kein iCloud-Konto angemeldet"))},
        {Account::couldNotDetermine, Status::offline()},
        {Account::temporarilyUnavailable, Status::offline()},
        {std::nullopt, Status::offline()},
    };
    for (const auto& [answer, expected] : cases)
        EXPECT_EQ(SyncStatusMonitor::statusForAccountAnswer(answer), expected);
}

// From the switch, the entitlement, how this run opened its store and the account's answer.
TEST_F(SyncStatusMonitorTest, StatusFromItsSources)
{
    struct Case { const char* name; std::optional<QVariant> storedSwitch; bool entitled, mirroring;
                  std::optional<bool> initFailed; CloudService::AccountAnswer answer; bool asksAccount; Status expected; };
    const QString localOnly = QStringLiteral("iCloud nicht verfügbar – nur lokal gespeichert");
    const Case cases[] = {
        {"switch never written", std::nullopt, true, true, false, Account::available, true, Status::synced()},
        {"switch on, no account", true, true, true, false, Account::noAccount, true,
         Status::error(QStringLiteral("Kein iCloud-Konto angemeldet"))},
        {"switch on, restricted", true, true, true, false, Account::restricted, true,
         Status::error(QStringLiteral("iCloud eingeschränkt"))},
        {"switch on, query failed", true, true, true, false, std::nullopt, true, Status::offline()},
        {"switch off", false, true, true, false, Account::available, false, Status::disabled()},
        {"a switch that is no Boolean counts as on", QStringLiteral("maybe"), true, true, false, Account::available,
         true, Status::synced()},
        {"no entitlement", true, false, false, false, Account::available, false, Status::disabled()},
        {"mirroring failed at start", true, true, false, true, Account::available, false, Status::error(localOnly)},
        {"start flag never written", true, true, true, std::nullopt, Account::available, true, Status::synced()},
        {"run started local", true, true, false, false, Account::available, false, Status::disabled()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PreferenceFiles scratch;
        Defaults prefs(scratch.path());
        CloudDouble double_;
        double_.entitled = c.entitled;
        if (c.mirroring)
            double_.startMirroring();
        if (c.storedSwitch)
            prefs.setValue(QStringLiteral("iCloudSyncEnabled"), *c.storedSwitch);
        if (c.initFailed)
            prefs.setValue(QStringLiteral("cloudKitInitFailed"), *c.initFailed);

        SyncStatusMonitor probe(prefs, double_.service, quick);
        EXPECT_EQ(double_.queries, c.asksAccount ? 1 : 0);
        if (c.asksAccount) {
            EXPECT_EQ(probe.status(), Status::idle()) << "the status waits for the answer";
        }
        double_.answerAll(c.answer);
        EXPECT_EQ(probe.status(), c.expected);
    }
}

TEST_F(SyncStatusMonitorTest, TheLastAnswerToArriveWins)
{
    mirroringMonitor();
    defaults.setValue(QStringLiteral("lastOpenedCanvasID"), QStringLiteral("x")); // any key starts a check
    ASSERT_EQ(cloud.pending.size(), 2);
    cloud.answer(1, Account::noAccount); // the newer query answers first
    EXPECT_EQ(monitor->status(), Status::error(SyncStatusMonitor::noAccountMessage));
    cloud.answer(0, Account::available);
    EXPECT_EQ(monitor->status(), Status::synced());
}

TEST_F(SyncStatusMonitorTest, LateAnswersChangeNothing)
{
    mirroringMonitor();
    ASSERT_EQ(cloud.pending.size(), 1);

    // After the switch went off: the switch's own check said disabled, and stays.
    setSwitch(false);
    EXPECT_EQ(monitor->status(), Status::disabled());
    cloud.answerAll(Account::available);
    EXPECT_EQ(monitor->status(), Status::disabled());

    // After the monitor is gone: dropped, even when another monitor now
    // lives where the gone one was.
    monitor.reset();
    setSwitch(true);
    std::optional<SyncStatusMonitor> place(std::in_place, defaults, cloud.service, quick);
    ASSERT_EQ(cloud.pending.size(), 1);
    place.reset();
    place.emplace(defaults, cloud.service, quick);
    ASSERT_EQ(cloud.pending.size(), 2);
    cloud.answer(0, Account::noAccount);
    EXPECT_EQ(place->status(), Status::idle()) << "the new monitor still waits for its own answer";
    cloud.answerAll(Account::available);
    EXPECT_EQ(place->status(), Status::synced());
}

TEST_F(SyncStatusMonitorTest, TurningSyncOnInALocalRunWaitsForTheRestart)
{
    setSwitch(false);
    makeMonitor();
    EXPECT_EQ(monitor->status(), Status::disabled());
    setSwitch(true);
    EXPECT_EQ(monitor->status(), Status::disabled());
    EXPECT_EQ(cloud.queries, 0);
    // A restart that mirrors shows the account's state.
    monitor.reset();
    mirroringMonitor();
    cloud.answerAll(Account::available);
    EXPECT_EQ(monitor->status(), Status::synced());
}

TEST_F(SyncStatusMonitorTest, AccountChangesAreCheckedAgain)
{
    mirroringMonitor();
    cloud.answerAll(Account::available);
    cloud.service.notifyAccountChanged();
    ASSERT_EQ(cloud.pending.size(), 1);
    cloud.answerAll(Account::noAccount);
    EXPECT_EQ(monitor->status(), Status::error(SyncStatusMonitor::noAccountMessage));
}

TEST_F(SyncStatusMonitorTest, ARemoteChangeShowsSyncingThenSynced)
{
    mirroringMonitor();
    cloud.answerAll(Account::noAccount);
    cloud.service.notifyRemoteChange();
    EXPECT_EQ(monitor->status(), Status::syncing());
    // Whatever the account said.
    EXPECT_TRUE(waitUntil([&] { return monitor->status() == Status::synced(); }));

    setSwitch(false);
    cloud.service.notifyRemoteChange();
    EXPECT_EQ(monitor->status(), Status::disabled());
}

TEST_F(SyncStatusMonitorTest, AClickShowsSyncingThenChecksAgain)
{
    mirroringMonitor();
    cloud.answerAll(Account::available);
    const int before = cloud.queries;
    monitor->refresh();
    EXPECT_EQ(monitor->status(), Status::syncing());
    EXPECT_EQ(cloud.queries, before) << "the check waits its delay";
    EXPECT_TRUE(waitUntil([&] { return cloud.queries == before + 1; }));
    EXPECT_EQ(monitor->status(), Status::syncing()) << "until the answer comes";
    cloud.answerAll(Account::temporarilyUnavailable);
    EXPECT_EQ(monitor->status(), Status::offline());

    setSwitch(false);
    monitor->refresh();
    EXPECT_EQ(monitor->status(), Status::disabled());
}

TEST_F(SyncStatusMonitorTest, ReportsEachChangeOnce)
{
    mirroringMonitor();
    QSignalSpy changes(monitor.get(), &SyncStatusMonitor::statusChanged);
    cloud.answerAll(Account::available);
    defaults.setValue(QStringLiteral("sumKeyword"), QStringLiteral("Total"));
    cloud.answerAll(Account::available);
    EXPECT_EQ(changes.count(), 1);
}

TEST(SyncStatusStandardTest, ThisMachineShowsSyncDisabled)
{
    SyncStatusMonitor::Timing timing;
    EXPECT_EQ(timing.refreshRecheck, std::chrono::milliseconds(300));
    EXPECT_EQ(timing.remoteChangeShown, std::chrono::milliseconds(500));
    PreferenceFiles files;
    Defaults defaults(files.path());
    SyncStatusMonitor monitor(defaults, CloudService::shared(), timing);
    EXPECT_EQ(monitor.status(), Status::disabled());
    EXPECT_EQ(monitor.status().description(), QStringLiteral("iCloud Sync Disabled"));
}

TEST(CloudServiceQueryTest, TheStandardAnswerComesFromTheEventLoopAndNotAfterItsReceiver)
{
    CloudService service(CloudService::unavailableBackend());
    std::optional<CloudService::AccountAnswer> received;
    {
        QObject receiver;
        service.requestAccountStatus(&receiver, [&](CloudService::AccountAnswer answer) { received = answer; });
        EXPECT_FALSE(received.has_value());
        EXPECT_TRUE(waitUntil([&] { return received.has_value(); }));
        EXPECT_EQ(*received, CloudService::AccountAnswer(Account::noAccount));
    }
    received.reset();
    auto* gone = new QObject;
    service.requestAccountStatus(gone, [&](CloudService::AccountAnswer answer) { received = answer; });
    delete gone;
    QCoreApplication::processEvents();
    EXPECT_FALSE(received.has_value());
}

} // namespace
