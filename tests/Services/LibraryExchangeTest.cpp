#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Store/CanvasExport.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Store/ObjectStore.h"
#include "Services/LibraryExchange.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <limits>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

class LibraryExchangeTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ModelContext context;

    QString path(const QString& name) const { return dir.filePath(name); }

    QString write(const QString& name, const QByteArray& bytes) const { return writeFileBytes(path(name), bytes); }

    static CanvasPtr makeCanvas(const QString& name, int rows = 2)
    {
        const CanvasPtr canvas = Canvas::create(name, 0, 0, 1);
        BlockList made;
        for (int r = 0; r < rows; ++r) {
            const BlockPtr row = CalculationBlock::create(BlockType::calculation, QString::number(r), QString(),
                                                          QStringLiteral("Row %1").arg(r), 20, 20 + 44 * r, 320, 44,
                                                          QStringLiteral("#00D4FF"));
            row->setResult(r);
            row->setCanvas(canvas);
            made << row;
        }
        if (rows > 1)
            Link::create(made[0], made[1], QStringLiteral("A"), QStringLiteral("#00D4FF"))->setCanvas(canvas);
        return canvas;
    }

    // A file of canvases with two linked rows each.
    QString exchangeFile(const QString& name, const QStringList& canvasNames) const
    {
        QList<CanvasPtr> canvases;
        for (const QString& canvasName : canvasNames)
            canvases << makeCanvas(canvasName);
        return write(name, *exchangeFileBytes(canvases));
    }

    static QStringList names(const QList<CanvasPtr>& canvases)
    {
        QStringList list;
        for (const CanvasPtr& canvas : canvases)
            list << canvas->name();
        return list;
    }
};

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST_F(LibraryExchangeTest, ImportsEachFileWholeOrNotAtAllAndReportsEachFailure)
{
    const QString two = exchangeFile(QStringLiteral("two.quillsheet"), {QStringLiteral("A"), QStringLiteral("B")});
    const QString one = exchangeFile(QStringLiteral("one.quillsheet"), {QStringLiteral("C")});
    const QString notJson = write(QStringLiteral("notes.txt"), "Milk, eggs");
    const QString empty = write(QStringLiteral("empty.quillsheet"), R"({"canvases":[]})");
    // The second canvas is broken: the first must not be imported either.
    const QString halfBroken =
        write(QStringLiteral("half.quillsheet"), R"({"canvases":[{"name":"ok"},{"name":"bad","blocks":[{"hasError":1}]}]})");
    const QString folder = path(QStringLiteral("folder.quillsheet"));
    QDir().mkpath(folder);
    const QString fifo = path(QStringLiteral("pipe.quillsheet"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = write(QStringLiteral("huge.quillsheet"), {});
    ASSERT_TRUE(QFile::resize(huge, LibraryExchange::maximumFileSize + 1)); // sparse: costs no disk
    const QString missing = path(QStringLiteral("gone.quillsheet"));

    struct Case { const char* name; QStringList files, imported, failures; }; // failures: text in each alert, in order
    const QList<Case> cases = {
        {"good files in order", {two, one}, {"A", "B", "C"}, {}},
        {"good and bad together", {two, notJson}, {"A", "B"}, {"not a readable exchange file:\nnot a JSON document"}},
        {"bad first", {notJson, one}, {"C"}, {"not a JSON document"}},
        {"only failures", {notJson, missing}, {}, {"not a JSON document", "does not exist"}},
        {"empty canvases list", {empty}, {}, {}},
        {"a broken canvas spoils its file", {halfBroken, one}, {"C"}, {"canvases[1].blocks[0].hasError: boolean expected"}},
        {"refused before reading", {folder, fifo, huge, one}, {"C"},
         {"a folder", "not a regular file", "larger than 64 MB"}},
        {"the same file twice", {one, one}, {"C", "C"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelContext target;
        LibraryExchange exchange(target);
        QList<ExchangeFailure> failures;
        const QList<CanvasPtr> imported =
            exchange.importFiles(c.files, [&](const ExchangeFailure& failure) { failures << failure; });
        EXPECT_EQ(names(imported), c.imported);
        EXPECT_EQ(target.canvasCount(), c.imported.size());
        ASSERT_EQ(failures.size(), c.failures.size());
        for (int i = 0; i < failures.size(); ++i) {
            EXPECT_TRUE(failures[i].message.contains(c.failures[i])) << failures[i].message.toStdString();
            EXPECT_TRUE(failures[i].title.endsWith(QStringLiteral("” could not be imported.")));
        }
        for (const CanvasPtr& canvas : imported)
            EXPECT_EQ(canvas->context(), &target);
    }
}

// What cannot be imported again is never exported: the export says so and
// leaves the target as it was.
TEST_F(LibraryExchangeTest, AnExportTooLargeToImportAgainIsRefused)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Archive"), 0, 0, 1);
    const BlockPtr row = CalculationBlock::create(BlockType::text, QString(), QString(65 * 1024 * 1024, u'x'),
                                                  QString(), 20, 20, 150, 40, QStringLiteral("#00D4FF"));
    row->setCanvas(canvas);
    const QString file = write(QStringLiteral("archive.quillsheet"), "old");
    const auto failure = LibraryExchange::exportCanvases({canvas}, file);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->message.contains(QStringLiteral("64 MB"))) << failure->message.toStdString();
    EXPECT_EQ(fileBytes(file), QByteArray("old"));
}

TEST_F(LibraryExchangeTest, AlertsNameTheFileWhereAndWhy)
{
    const QString bad = write(QStringLiteral("Budget 2026.quillsheet"),
                              R"({"canvases":[{"blocks":[{},{},{"hasError":"no"}]}]})");
    LibraryExchange exchange(context);
    const auto failure = exchange.importFile(bad);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->title, QStringLiteral("“Budget 2026.quillsheet” could not be imported."));
    EXPECT_EQ(failure->message,
              QStringLiteral("It is not a readable exchange file:\ncanvases[0].blocks[2].hasError: boolean expected"));
}

TEST_F(LibraryExchangeTest, ImportedCanvasesGetStrictlyIncreasingTimes)
{
    const QDateTime frozen = QDateTime(QDate(2026, 3, 2), QTime(12, 0), Qt::UTC);
    Clock::setSource([&] { return frozen; });
    const QString three = exchangeFile(QStringLiteral("three.quillsheet"),
                                       {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    LibraryExchange exchange(context);
    const QList<CanvasPtr> imported = exchange.importFiles({three, three});
    Clock::setSource({});
    ASSERT_EQ(imported.size(), 6);
    for (int i = 1; i < imported.size(); ++i)
        EXPECT_GT(imported[i]->modifiedAt(), imported[i - 1]->modifiedAt());
    EXPECT_EQ(imported.first()->modifiedAt(), frozen);
    // Newest first: the file's canvases show in reverse order, the first one lowest.
    const QList<CanvasPtr> newestFirst = context.canvasesByModifiedAt();
    EXPECT_EQ(names(newestFirst), (QStringList{"3", "2", "1", "3", "2", "1"}));
    EXPECT_EQ(newestFirst.last(), imported.first());
}

TEST_F(LibraryExchangeTest, AStoreFailureRollsBackThatFileAndGoesOn)
{
    const QString a = exchangeFile(QStringLiteral("a.quillsheet"), {QStringLiteral("A1"), QStringLiteral("A2")});
    const QString b = exchangeFile(QStringLiteral("b.quillsheet"), {QStringLiteral("B")});
    const QString c = exchangeFile(QStringLiteral("c.quillsheet"), {QStringLiteral("C")});
    struct Case { const char* name; QList<int> failingCommits; QStringList kept, failures; }; // commits count from 1
    const QList<Case> cases = {
        {"insert of the second file fails", {4}, {"A1", "A2", "C"}, {"Nothing of the file was added"}},
        {"store already failing before a file", {1}, {"B", "C"}, {"cannot be saved right now"}},
        {"every commit fails", {1, 2, 3, 4, 5, 6}, {}, {"right now", "right now", "right now"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ModelContext target;
        int calls = 0;
        LibraryExchange exchange(target, [&]() -> std::optional<QString> {
            return k.failingCommits.contains(++calls) ? std::optional(QStringLiteral("disk full")) : std::nullopt;
        });
        QList<ExchangeFailure> failures;
        const QList<CanvasPtr> imported =
            exchange.importFiles({a, b, c}, [&](const ExchangeFailure& f) { failures << f; });
        EXPECT_EQ(names(imported), k.kept);
        EXPECT_EQ(names(target.canvasesByModifiedAt()).size(), k.kept.size());
        EXPECT_EQ(target.blockCount(), 2 * k.kept.size()); // no rows of a rolled-back file stay behind
        EXPECT_EQ(target.linkCount(), k.kept.size());
        ASSERT_EQ(failures.size(), k.failures.size());
        for (int i = 0; i < failures.size(); ++i) {
            EXPECT_TRUE(failures[i].message.contains(k.failures[i])) << failures[i].message.toStdString();
            EXPECT_TRUE(failures[i].message.contains(QStringLiteral("disk full")));
        }
    }
}

TEST_F(LibraryExchangeTest, OneFileIsOneTransactionOfTheRealStore)
{
    const QString storePath = path(QStringLiteral("default.store"));
    const QString a = exchangeFile(QStringLiteral("a.quillsheet"), {QStringLiteral("A")});
    const QString b = exchangeFile(QStringLiteral("b.quillsheet"), {QStringLiteral("B1"), QStringLiteral("B2")});
    {
        auto store = ObjectStore::open(storePath);
        ASSERT_TRUE(store);
        ObjectStore* raw = store.get();
        LibraryExchange exchange(store->context(), [raw]() -> std::optional<QString> {
            return raw->save() ? std::nullopt : raw->saveError();
        });
        ASSERT_FALSE(exchange.importFile(a));

        // Another connection holds the write lock: the store refuses to save.
        sqlite3* blocker = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(storePath).constData(), &blocker), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        const auto failure = exchange.importFile(b);
        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(blocker);
        ASSERT_TRUE(failure);
        EXPECT_TRUE(failure->message.contains(QStringLiteral("Nothing of the file was added")));
        EXPECT_EQ(store->context().canvasCount(), 1);
    }
    auto reopened = ObjectStore::open(storePath);
    ASSERT_TRUE(reopened);
    ASSERT_EQ(reopened->context().canvasCount(), 1);
    EXPECT_EQ(reopened->context().canvases().first()->name(), QStringLiteral("A"));
    EXPECT_EQ(reopened->context().blockCount(), 2);
}

TEST_F(LibraryExchangeTest, ExportWritesWholeFilesAndNeverSpoilsAnExistingOne)
{
    const CanvasPtr good = makeCanvas(QStringLiteral("Budget"));
    const CanvasPtr spoiled = makeCanvas(QStringLiteral("Spoiled"));
    spoiled->blocks().first()->setResult(std::numeric_limits<double>::infinity());
    // A name one character short of the limit leaves no room for a temporary
    // file beside it, so the write fails even for a user who may write anywhere.
    const QString longName = QString(250, u'x') + QStringLiteral(".qs");
    const QByteArray old = "the old file";

    struct Case { const char* name; QList<CanvasPtr> canvases; QString target; bool existing, fails; QString failure; };
    const QList<Case> cases = {
        {"new file", {good, makeCanvas(QStringLiteral("Second"))}, QStringLiteral("new.quillsheet"), false, false, {}},
        {"replaces an existing file", {good}, QStringLiteral("old.quillsheet"), true, false, {}},
        {"value JSON cannot hold", {good, spoiled}, QStringLiteral("inf.quillsheet"), true, true,
         QStringLiteral("not a finite number")},
        {"write fails over an existing file", {good}, longName, true, true, QStringLiteral("already there is unchanged")},
        {"folder that does not exist", {good}, QStringLiteral("nowhere/x.quillsheet"), false, true,
         QStringLiteral("could not be written in the folder")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString target = path(c.target);
        if (c.existing)
            write(c.target, old);
        const auto failure = LibraryExchange::exportCanvases(c.canvases, target);
        ASSERT_EQ(failure.has_value(), c.fails) << (failure ? failure->message.toStdString() : "");
        if (failure) {
            EXPECT_TRUE(failure->message.contains(c.failure)) << failure->message.toStdString();
            EXPECT_TRUE(failure->title.startsWith(u'“'));
            EXPECT_EQ(QFileInfo::exists(target), c.existing);
            if (c.existing) {
                EXPECT_EQ(contents(target), old);
            }
        } else {
            const auto back = CanvasExport::fromJSON(contents(target));
            ASSERT_TRUE(back);
            EXPECT_EQ(back->canvases.size(), c.canvases.size());
            EXPECT_EQ(back->canvases.first().name, QStringLiteral("Budget"));
        }
    }
    // No temporary file is left behind.
    for (const QString& entry : QDir(dir.path()).entryList(QDir::Files))
        EXPECT_TRUE(entry.endsWith(QStringLiteral(".quillsheet")) || entry.endsWith(QStringLiteral(".qs")))
            << entry.toStdString();
}

TEST_F(LibraryExchangeTest, ProposedNamesCannotNameAFolderOrHideTheFile)
{
    const std::pair<QString, QString> cases[] = {
        {"Budget", "Budget.quillsheet"},         {"Q1/Q2", "Q1-Q2.quillsheet"},
        {"../etc/passwd", "-etc-passwd.quillsheet"}, {"a\tb\nc\u0007", "a b c .quillsheet"},
        {QString(), "Canvas.quillsheet"},             {".hidden", "hidden.quillsheet"},
        {"Straße € 2026", "Straße € 2026.quillsheet"},
        {"Trip \"Rom\" 2026", "Trip 'Rom' 2026.quillsheet"},
    };
    for (const auto& [canvasName, proposed] : cases)
        EXPECT_EQ(LibraryExchange::proposedFileName({makeCanvas(canvasName)}), proposed);
    EXPECT_EQ(LibraryExchange::proposedFileName({makeCanvas("a/b"), makeCanvas("c")}),
              QStringLiteral("Canvases Export.quillsheet"));
}
