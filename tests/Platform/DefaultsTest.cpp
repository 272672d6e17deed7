#include "Platform/Defaults.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

void writeSample(Defaults& defaults)
{
    defaults.setValue(QStringLiteral("on"), true);
    defaults.setValue(QStringLiteral("off"), false);
    defaults.setValue(QStringLiteral("zero"), 0);
    defaults.setValue(QStringLiteral("negative"), -3);
    defaults.setValue(QStringLiteral("big"), qint64(1) << 40);
    defaults.setValue(QStringLiteral("text"), QStringLiteral("Grüße, 1.000,50"));
    defaults.setValue(QStringLiteral("one"), QStringList{QStringLiteral("EUR")});
    defaults.setValue(QStringLiteral("many"), QStringList{QStringLiteral("EUR"), QStringLiteral("a, b")});
    defaults.setValue(QStringLiteral("none"), QStringList{});
    defaults.setValue(QStringLiteral("data"), QByteArray(R"([{"label":"MwSt \"ü\"","rate":19}])"));
}

void expectSample(const Defaults& defaults)
{
    EXPECT_EQ(defaults.boolValue(QStringLiteral("on")), true);
    EXPECT_EQ(defaults.boolValue(QStringLiteral("off")), false);
    EXPECT_EQ(defaults.integerValue(QStringLiteral("zero")), 0);
    EXPECT_EQ(defaults.integerValue(QStringLiteral("negative")), -3);
    EXPECT_EQ(defaults.integerValue(QStringLiteral("big")), qint64(1) << 40);
    EXPECT_EQ(defaults.stringValue(QStringLiteral("text")), QStringLiteral("Grüße, 1.000,50"));
    EXPECT_EQ(defaults.stringListValue(QStringLiteral("one")), QStringList{QStringLiteral("EUR")});
    EXPECT_EQ(defaults.stringListValue(QStringLiteral("many")),
              (QStringList{QStringLiteral("EUR"), QStringLiteral("a, b")}));
    EXPECT_EQ(defaults.stringListValue(QStringLiteral("none")), QStringList{});
    EXPECT_EQ(defaults.dataValue(QStringLiteral("data")), QByteArray(R"([{"label":"MwSt \"ü\"","rate":19}])"));
}

} // namespace

TEST(Defaults, TypedValuesReadBackBeforeAndAfterRestart)
{
    PreferenceFiles files;
    const QString file = files.path();
    {
        Defaults defaults(file);
        writeSample(defaults);
        expectSample(defaults);
    }
    Defaults reopened(files.copyForRestart(file));
    // Proof that the values came from the file: the INI form has lost their types.
    EXPECT_EQ(reopened.value(QStringLiteral("off")).typeId(), QMetaType::QString);
    EXPECT_EQ(reopened.value(QStringLiteral("one")).typeId(), QMetaType::QString);
    expectSample(reopened);
}

TEST(Defaults, ReadersRefuseValuesOfAnotherKind)
{
    PreferenceFiles files;
    Defaults defaults(files.path());
    defaults.setValue(QStringLiteral("word"), QStringLiteral("yes"));
    defaults.setValue(QStringLiteral("numberish"), QStringLiteral("12abc"));
    defaults.setValue(QStringLiteral("fraction"), 1.5);
    defaults.setValue(QStringLiteral("mixed"), QVariantList{1, QStringLiteral("EUR")});
    defaults.setValue(QStringLiteral("text"), QStringLiteral("{}"));

    EXPECT_FALSE(defaults.boolValue(QStringLiteral("word")));
    EXPECT_FALSE(defaults.integerValue(QStringLiteral("word")));
    EXPECT_FALSE(defaults.integerValue(QStringLiteral("numberish")));
    EXPECT_FALSE(defaults.integerValue(QStringLiteral("fraction")));
    EXPECT_FALSE(defaults.stringListValue(QStringLiteral("mixed")));
    EXPECT_FALSE(defaults.dataValue(QStringLiteral("text")));

    const QString missing = QStringLiteral("missing");
    EXPECT_FALSE(defaults.contains(missing));
    EXPECT_FALSE(defaults.boolValue(missing));
    EXPECT_FALSE(defaults.integerValue(missing));
    EXPECT_FALSE(defaults.stringValue(missing));
    EXPECT_FALSE(defaults.stringListValue(missing));
    EXPECT_FALSE(defaults.dataValue(missing));
}

TEST(Defaults, EveryWriteAndRemovalIsAnnounced)
{
    PreferenceFiles files;
    Defaults defaults(files.path());
    QSignalSpy spy(&defaults, &Defaults::changed);

    defaults.setValue(QStringLiteral("snapToLanes"), true);
    defaults.setValue(QStringLiteral("snapToLanes"), true); // same value: still a write
    defaults.remove(QStringLiteral("snapToLanes"));

    ASSERT_EQ(spy.count(), 3);
    for (const auto& call : spy)
        EXPECT_EQ(call.at(0).toString(), QStringLiteral("snapToLanes"));
    EXPECT_FALSE(defaults.contains(QStringLiteral("snapToLanes")));
}

TEST(Defaults, WritesReachTheFileWithoutAnExplicitSync)
{
    PreferenceFiles files;
    Defaults defaults(files.path());
    defaults.setValue(QStringLiteral("sumKeyword"), QStringLiteral("Summe"));

    // Read while the writer is still alive, as after a crash.
    Defaults copy(files.copyForRestart(files.path()));
    EXPECT_EQ(copy.stringValue(QStringLiteral("sumKeyword")), QStringLiteral("Summe"));
}

TEST(Defaults, StandardDatabaseLivesInTheUserConfigFolder)
{
    const QString expected = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("Quillsheet/Quillsheet.conf"));
    EXPECT_EQ(Defaults::standard().fileName(), expected);
}
