// Starts the real program against a temporary home, kills it without warning
// and starts it again.

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Store/ObjectStore.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // build/tests/test_app -> build/src/quillsheet
        m_program = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../src/quillsheet"));
        ASSERT_TRUE(QFileInfo(m_program).isExecutable()) << m_program.toStdString();
    }

    void TearDown() override
    {
        for (QProcess* process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
    }

    QProcess* start()
    {
        auto* process = new QProcess;
        m_processes.append(process);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString home = m_home.path();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        QDir().mkpath(home + QStringLiteral("/runtime"));
        QFile::setPermissions(home + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // No exchange-rate service: nothing leaves the machine.
        env.insert(QStringLiteral("QUILLSHEET_EXCHANGE_RATE_URL"), QStringLiteral("http://127.0.0.1:9"));
        process->setProcessEnvironment(env);
        process->start(m_program, {});
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    QString storePath() const { return m_home.filePath(QStringLiteral(".local/share/Quillsheet/default.store")); }

    QString remembered() const
    {
        QFile file(m_home.filePath(QStringLiteral(".config/Quillsheet/Quillsheet.conf")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const auto match = QRegularExpression(QStringLiteral("lastOpenedCanvasID=(\\S+)"))
                               .match(QString::fromUtf8(file.readAll()));
        return match.hasMatch() ? match.captured(1) : QString();
    }

    void forget()
    {
        QFile file(m_home.filePath(QStringLiteral(".config/Quillsheet/Quillsheet.conf")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(file.readAll());
        file.close();
        text.remove(QRegularExpression(QStringLiteral("lastOpenedCanvasID=\\S+\\n?")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    // Canvas names as the running program has saved them.
    QStringList savedCanvasNames() const
    {
        QStringList names;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(storePath()).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
            == SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT name FROM canvas", -1, &statement, nullptr) == SQLITE_OK) {
                while (sqlite3_step(statement) == SQLITE_ROW)
                    names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            }
            sqlite3_finalize(statement);
        }
        sqlite3_close(db);
        return names;
    }

    static void killHard(QProcess* process)
    {
        process->kill(); // SIGKILL: nothing is saved on the way out
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitStatus(), QProcess::CrashExit);
    }

    QTemporaryDir m_home;
    QString m_program;
    QList<QProcess*> m_processes;
};

} // namespace

TEST_F(EndToEndTest, EverythingSurvivesAKillAndASecondInstanceChangesNothing)
{
    // First start: the program makes Canvas 1 and saves it on its own.
    QProcess* first = start();
    ASSERT_TRUE(waitUntil([&] { return savedCanvasNames() == QStringList{QStringLiteral("Canvas 1")}; }))
        << first->readAllStandardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !remembered().isEmpty(); }));
    const QString id = remembered();
    EXPECT_EQ(id, id.toUpper());
    killHard(first);

    // Rows and a link go in through the store while the program is down.
    {
        auto store = ObjectStore::open(storePath());
        ASSERT_TRUE(store);
        const CanvasPtr canvas = store->context().canvases().first();
        EXPECT_EQ(uuidString(canvas->id()), id);
        BlockList rows;
        for (const QString& expression : {QStringLiteral("1200"), QStringLiteral("{rent:FFB800} x 12")}) {
            const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), QString(),
                                                          20, rows.size() * 44.0, 200, 44, QStringLiteral("#FFB800"));
            row->setCanvas(canvas);
            rows << row;
        }
        Link::create(rows[0], rows[1], QStringLiteral("rent"), QStringLiteral("#FFB800"))->setCanvas(canvas);
        ASSERT_TRUE(store->save());
    }
    forget();

    // Second start: the canvas is found and opened again, nothing new is made.
    QProcess* second = start();
    ASSERT_TRUE(waitUntil([&] { return remembered() == id; })) << second->readAllStandardError().toStdString();

    // A third copy meanwhile tells the user and leaves.
    const QByteArray storeBefore = fileBytes(storePath());
    QProcess* third = start();
    ASSERT_TRUE(third->waitForFinished(20000));
    EXPECT_EQ(third->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(third->exitCode(), 0);
    EXPECT_TRUE(third->readAllStandardOutput().contains("Quillsheet is already running."));
    QFile storeFile(storePath());
    ASSERT_TRUE(storeFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(storeFile.readAll(), storeBefore);

    killHard(second);
    auto store = ObjectStore::open(storePath());
    ASSERT_TRUE(store);
    ASSERT_EQ(store->context().canvasCount(), 1);
    const CanvasPtr canvas = store->context().canvases().first();
    EXPECT_EQ(canvas->name(), QStringLiteral("Canvas 1"));
    ASSERT_EQ(canvas->blocks().size(), 2);
    EXPECT_EQ(canvas->blocks().at(1)->expression(), QStringLiteral("{rent:FFB800} x 12"));
    ASSERT_EQ(canvas->links().size(), 1);
    EXPECT_EQ(canvas->links().first()->destinationBlock(), canvas->blocks().at(1));
}

TEST_F(EndToEndTest, AStoreThatCannotBeOpenedEndsTheProgramAndStaysAsItWas)
{
    QDir().mkpath(QFileInfo(storePath()).absolutePath());
    const QByteArray foreign = QByteArray("Somebody's notes, not a store.\n").repeated(100);
    {
        QFile file(storePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(foreign);
    }
    QProcess* process = start();
    ASSERT_TRUE(process->waitForFinished(20000));
    EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
    EXPECT_NE(process->exitCode(), 0);
    EXPECT_TRUE(process->readAllStandardError().contains("Could not create ModelContainer: "));
    QFile file(storePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), foreign);
}
