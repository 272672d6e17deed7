#include "Models/CalculationBlock.h"
#include "Store/CanvasExport.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Platform/FileWriting.h"
#include "Store/ObjectStore.h"
#include "support/FullFileSystem.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <random>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>

namespace {

class ObjectStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("default.store")); }

    std::unique_ptr<ObjectStore> open(ObjectStore::OpenFailure* failure = nullptr, QString* message = nullptr)
    {
        return ObjectStore::open(path(), message, failure);
    }

    static BlockPtr addRow(const CanvasPtr& canvas, const QString& expression, double y)
    {
        BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), QString(), 20, y, 200,
                                                40, QStringLiteral("#00D4FF"));
        row->setCanvas(canvas);
        canvas->appendBlock(row);
        return row;
    }

    // A canvas "Mine" with one row, saved.
    static CanvasPtr saveCanvasWithRow(ObjectStore& store, const QString& expression)
    {
        const CanvasPtr canvas = Canvas::create(QStringLiteral("Mine"), 0, 0, 1);
        store.context().insert(canvas);
        addRow(canvas, expression, 0);
        return store.save() ? canvas : CanvasPtr();
    }

    static LinkPtr addLink(const CanvasPtr& canvas, const BlockPtr& from, const BlockPtr& to, const QString& name)
    {
        LinkPtr link = Link::create(from, to, name, from->colorHex());
        link->setCanvas(canvas);
        canvas->appendLink(link);
        return link;
    }

    // Another store, with one canvas named "Backup", to put in this one's place.
    QString makeBackupStore() const
    {
        const QString backup = dir.filePath(QStringLiteral("backup.store"));
        auto other = ObjectStore::open(backup);
        if (!other)
            return QString();
        other->context().insert(Canvas::create(QStringLiteral("Backup"), 0, 0, 1));
        return backup;
    }

    static QByteArray fileDigest(const QString& file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

    static void writeSqlite(const QString& file, const char* sql)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
};

} // namespace

TEST_F(ObjectStoreTest, EveryPropertyRoundTrips)
{
    QUuid canvasId, rowId, linkId;
    {
        auto store = open();
        ASSERT_TRUE(store);
        const CanvasPtr canvas = Canvas::create(QStringLiteral("Haushalt"), 0, 0, 1);
        canvas->setTitleColorHex(QStringLiteral("#FF6B9D"));
        canvas->setViewportOffsetX(-12.5);
        canvas->setViewportScale(1.25);
        store->context().insert(canvas);
        const BlockPtr row = addRow(canvas, QStringLiteral("1.000,50 + 19%"), 60);
        row->setLabel(QStringLiteral("Miete ✓"));
        row->setTextContent(QStringLiteral("Notiz"));
        row->setPartLabel(QStringLiteral("Netto"), 0, QStringLiteral("1.000,50"));
        row->setPartColor(QStringLiteral("#00FF88"), 1, QStringLiteral("19"));
        row->setResult(1190.595);
        row->setIsSelected(true);
        row->setIsLabelEditing(true);
        const BlockPtr text = addRow(canvas, QString(), 100);
        text->setBlockType(BlockType::text);
        text->setHasError(true);
        text->setErrorMessage(QStringLiteral("Invalid expression"));
        text->setPositionX(std::nan(""));
        const LinkPtr link = addLink(canvas, row, text, QStringLiteral("A"));
        canvasId = canvas->id();
        rowId = row->id();
        linkId = link->id();
        EXPECT_TRUE(store->save());
    }
    // A result an earlier version left on a text row is not read back.
    writeSqlite(path(), "UPDATE block SET result=5 WHERE block_type='text'");
    auto store = open();
    ASSERT_TRUE(store);
    const CanvasPtr canvas = store->context().canvasWithId(canvasId);
    ASSERT_TRUE(canvas);
    EXPECT_EQ(canvas->name(), QStringLiteral("Haushalt"));
    EXPECT_EQ(canvas->titleColorHex(), QStringLiteral("#FF6B9D"));
    EXPECT_EQ(canvas->viewportOffsetX(), -12.5);
    EXPECT_EQ(canvas->viewportOffsetY(), 0.0);
    EXPECT_EQ(canvas->viewportScale(), 1.25);
    EXPECT_TRUE(canvas->createdAt().isValid());
    ASSERT_EQ(canvas->blocks().size(), 2);
    const BlockPtr row = canvas->blocks().at(0);
    EXPECT_EQ(row->id(), rowId);
    EXPECT_EQ(row->expression(), QStringLiteral("1.000,50 + 19%"));
    EXPECT_EQ(row->label(), QStringLiteral("Miete ✓"));
    EXPECT_EQ(row->textContent(), QStringLiteral("Notiz"));
    EXPECT_EQ(row->getPartLabel(0, QString()), QStringLiteral("Netto"));
    EXPECT_EQ(row->getPartColor(1, QString()), QStringLiteral("#00FF88"));
    EXPECT_EQ(row->result(), 1190.595);
    EXPECT_TRUE(row->isSelected());
    EXPECT_TRUE(row->isLabelEditing());
    EXPECT_FALSE(row->isEditing());
    EXPECT_EQ(row->positionY(), 60.0);
    const BlockPtr text = canvas->blocks().at(1);
    EXPECT_TRUE(text->isTextBlock());
    EXPECT_FALSE(text->result().has_value());
    EXPECT_TRUE(text->hasError());
    EXPECT_EQ(text->errorMessage(), QStringLiteral("Invalid expression"));
    EXPECT_TRUE(std::isnan(text->positionX()));
    ASSERT_EQ(canvas->links().size(), 1);
    const LinkPtr link = canvas->links().first();
    EXPECT_EQ(link->id(), linkId);
    EXPECT_EQ(link->sourceBlock(), row);
    EXPECT_EQ(link->destinationBlock(), text);
    EXPECT_EQ(link->placeholderName(), QStringLiteral("A"));
    EXPECT_EQ(row->outgoingLinks(), LinkList{link});
    EXPECT_EQ(text->incomingLinks(), LinkList{link});
}

TEST_F(ObjectStoreTest, EveryListKeepsItsOrder)
{
    QList<QUuid> blockOrder, linkOrder, outgoingOrder, incomingOrder;
    {
        auto store = open();
        const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
        store->context().insert(canvas);
        const BlockPtr a = addRow(canvas, QStringLiteral("a"), 0);
        const BlockPtr b = addRow(canvas, QStringLiteral("b"), 40);
        const BlockPtr c = addRow(canvas, QStringLiteral("c"), 80);
        const BlockPtr d = addRow(canvas, QStringLiteral("d"), 120);
        QCoreApplication::processEvents(); // a first save with the initial order
        // Reorder everything after it was saved once.
        canvas->setBlocks({d, b, a, c});
        const LinkPtr l1 = addLink(canvas, a, d, QStringLiteral("A"));
        const LinkPtr l2 = addLink(canvas, b, d, QStringLiteral("B"));
        const LinkPtr l3 = addLink(canvas, a, c, QStringLiteral("C"));
        const LinkPtr l4 = addLink(canvas, c, d, QStringLiteral("D"));
        canvas->setLinks({l4, l1, l3, l2});
        a->setOutgoingLinks({l3, l1});
        d->setIncomingLinks({l4, l2, l1});
        QCoreApplication::processEvents();
        for (const auto& x : canvas->blocks())
            blockOrder.append(x->id());
        for (const auto& x : canvas->links())
            linkOrder.append(x->id());
        for (const auto& x : a->outgoingLinks())
            outgoingOrder.append(x->id());
        for (const auto& x : d->incomingLinks())
            incomingOrder.append(x->id());
        EXPECT_FALSE(store->context().hasChanges());
    }
    auto store = open();
    const CanvasPtr canvas = store->context().canvases().first();
    QList<QUuid> blocks, links, outgoing, incoming;
    for (const auto& x : canvas->blocks())
        blocks.append(x->id());
    for (const auto& x : canvas->links())
        links.append(x->id());
    EXPECT_EQ(blocks, blockOrder);
    EXPECT_EQ(links, linkOrder);
    const BlockPtr a = canvas->blocks().at(2);
    const BlockPtr d = canvas->blocks().at(0);
    for (const auto& x : a->outgoingLinks())
        outgoing.append(x->id());
    for (const auto& x : d->incomingLinks())
        incoming.append(x->id());
    EXPECT_EQ(outgoing, outgoingOrder);
    EXPECT_EQ(incoming, incomingOrder);
}

namespace {

// Ids of every list of a canvas, in list order: rows, links, and each row's
// outgoing and incoming links.
QList<QList<QUuid>> listOrders(const CanvasPtr& canvas)
{
    auto ids = [](const auto& list) {
        QList<QUuid> out;
        out.reserve(list.size());
        for (const auto& x : list)
            out.append(x->id());
        return out;
    };
    QList<QList<QUuid>> orders{ids(canvas->blocks()), ids(canvas->links())};
    for (const BlockPtr& row : canvas->blocks()) {
        orders.append(ids(row->outgoingLinks()));
        orders.append(ids(row->incomingLinks()));
    }
    return orders;
}

struct ListOrderCase {
    const char* name;
    int rows;            // and as many links
    bool betweenTwoRows; // every link joins the first two rows, else each row feeds the next
    bool savedFirst;     // saved once in creation order before the lists are shuffled
    bool firstSaveFails; // the save of the shuffled lists fails once and is retried
    int replaced = 0;    // then as many rows and links deleted from the middle and new ones appended
};

} // namespace

// The stored order of every list survives a reopen, whether few or all of a
// list's members are saved at once, and after a failed save is retried.
TEST_F(ObjectStoreTest, ListOrderSurvivesReopenAtEverySize)
{
    const ListOrderCase cases[] = {
        {"few rows, new canvas", 5, false, false, false},
        {"few rows, reordered", 5, true, true, false},
        {"dozens of rows, new canvas", 40, false, false, false},
        {"dozens of rows, links between two rows, reordered", 40, true, true, false},
        {"large new canvas", 20000, false, false, false},
        {"large new canvas, links between two rows", 20000, true, false, false},
        {"large canvas, reordered", 20000, false, true, false},
        {"large new canvas, first save fails", 20000, true, false, true},
        {"large canvas, reordered, first save fails", 20000, false, true, true},
        {"few rows, some replaced", 6, false, true, false, 2},
        {"dozens of rows, links between two rows, some replaced", 40, true, true, false, 5},
        {"large canvas, many replaced", 20000, false, false, false, 3000},
        {"large canvas, links between two rows, many replaced", 20000, true, true, true, 3000},
    };
    for (const ListOrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        QFile::remove(path() + QStringLiteral("-shm"));
        QList<QList<QUuid>> expected;
        {
            auto store = open();
            ASSERT_TRUE(store);
            store->setRetryInterval(60000); // retried below, by hand
            const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
            store->context().insert(canvas);
            BlockList rows;
            for (int r = 0; r < c.rows; ++r)
                rows.append(addRow(canvas, QString::number(r), r * 40.0));
            for (int l = 0; l < c.rows; ++l)
                addLink(canvas, c.betweenTwoRows ? rows[0] : rows[l], c.betweenTwoRows ? rows[1] : rows[(l + 1) % c.rows],
                        QStringLiteral("A"));
            if (c.savedFirst) {
                ASSERT_TRUE(store->save());
            }
            // List order unlike creation (and key) order.
            std::mt19937 random(uint32_t(c.rows));
            auto shuffled = [&](auto list) {
                std::shuffle(list.begin(), list.end(), random);
                return list;
            };
            canvas->setBlocks(shuffled(canvas->blocks()));
            canvas->setLinks(shuffled(canvas->links()));
            for (const BlockPtr& row : rows) {
                row->setOutgoingLinks(shuffled(row->outgoingLinks()));
                row->setIncomingLinks(shuffled(row->incomingLinks()));
            }
            expected = listOrders(canvas);
            if (c.firstSaveFails) {
                sqlite3* blocker = nullptr;
                ASSERT_EQ(sqlite3_open(QFile::encodeName(path()).constData(), &blocker), SQLITE_OK);
                ASSERT_EQ(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
                EXPECT_FALSE(store->save());
                EXPECT_TRUE(store->context().hasChanges());
                sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
                sqlite3_close(blocker);
            }
            ASSERT_TRUE(store->save());
            EXPECT_FALSE(store->context().hasChanges());
            EXPECT_EQ(listOrders(canvas), expected); // saving moves nothing in memory
            if (c.replaced > 0) {
                // Members behind a removed one move up; new ones take the places at the end.
                const BlockList before = canvas->blocks();
                for (int r = 0; r < c.replaced; ++r)
                    ModelContext::deleteRecord(before[before.size() / 3 + r]);
                const LinkList links = canvas->links();
                for (qsizetype l = links.size() / 2; l < links.size() && l < links.size() / 2 + c.replaced; ++l)
                    ModelContext::deleteRecord(links[l]);
                const BlockList kept = canvas->blocks();
                for (int r = 0; r < c.replaced; ++r) {
                    const BlockPtr row = addRow(canvas, QStringLiteral("new"), -40.0 * (r + 1));
                    addLink(canvas, kept[r % kept.size()], row, QStringLiteral("B"));
                }
                expected = listOrders(canvas);
                ASSERT_TRUE(store->save());
            }
        }
        auto store = open();
        ASSERT_TRUE(store);
        ASSERT_EQ(store->context().canvasCount(), 1);
        EXPECT_EQ(store->context().blockCount(), expected[0].size());
        EXPECT_EQ(store->context().linkCount(), expected[1].size());
        EXPECT_TRUE(listOrders(store->context().canvases().first()) == expected);
    }
}

TEST_F(ObjectStoreTest, DeletionsReachTheFile)
{
    {
        auto store = open();
        const CanvasPtr gone = Canvas::create(QStringLiteral("gone"), 0, 0, 1);
        const CanvasPtr kept = Canvas::create(QStringLiteral("kept"), 0, 0, 1);
        store->context().insert(gone);
        store->context().insert(kept);
        const BlockPtr a = addRow(kept, QStringLiteral("1"), 0);
        const BlockPtr b = addRow(kept, QStringLiteral("2"), 40);
        const BlockPtr c = addRow(kept, QStringLiteral("3"), 80);
        addRow(gone, QStringLiteral("4"), 0);
        addLink(kept, a, b, QStringLiteral("A"));
        addLink(kept, c, a, QStringLiteral("B"));
        QCoreApplication::processEvents();
        store->context().deleteRecord(gone);
        store->context().deleteRecord(a);
        QCoreApplication::processEvents();
    }
    auto store = open();
    EXPECT_EQ(store->context().canvasCount(), 1);
    EXPECT_EQ(store->context().blockCount(), 2);
    const CanvasPtr kept = store->context().canvases().first();
    EXPECT_EQ(kept->name(), QStringLiteral("kept"));
    // The link a fed is gone; the link into a stays, without a destination.
    ASSERT_EQ(kept->links().size(), 1);
    EXPECT_EQ(kept->links().first()->placeholderName(), QStringLiteral("B"));
    EXPECT_EQ(kept->links().first()->destinationBlock(), nullptr);
    EXPECT_EQ(kept->links().first()->sourceBlock(), kept->blocks().at(1));
}

TEST_F(ObjectStoreTest, RefusesFilesThatAreNotOurs)
{
    auto expectRefused = [&](ObjectStore::OpenFailure expected) {
        const QByteArray before = fileDigest(path());
        ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
        QString message;
        EXPECT_FALSE(open(&failure, &message));
        EXPECT_EQ(failure, expected);
        EXPECT_FALSE(message.isEmpty());
        EXPECT_EQ(fileDigest(path()), before) << "a refused file must not change";
        EXPECT_FALSE(QFile::exists(path() + QStringLiteral("-wal")));
    };

    {
        QFile text(path());
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("Einkaufsliste\nBrot, Milch\n");
    }
    expectRefused(ObjectStore::OpenFailure::notAStore);

    QFile::remove(path());
    writeSqlite(path(), "CREATE TABLE contacts(name TEXT); INSERT INTO contacts VALUES('Ada');");
    expectRefused(ObjectStore::OpenFailure::notAStore);

    QFile::remove(path());
    {
        auto store = open(); // ours, then "upgraded" by a newer version
        ASSERT_TRUE(store);
    }
    writeSqlite(path(), "PRAGMA user_version=2;");
    expectRefused(ObjectStore::OpenFailure::newerVersion);

    // A damaged copy of a real store (header intact, pages overwritten).
    QFile::remove(path());
    {
        auto store = open();
        const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
        store->context().insert(canvas);
        for (int i = 0; i < 200; ++i)
            addRow(canvas, QString(100, QLatin1Char('x')), i);
        store->save();
    }
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(100);
        file.write(QByteArray(4096 * 3, '\xA5'));
    }
    const QByteArray damaged = fileDigest(path());
    EXPECT_FALSE(open());
    EXPECT_EQ(fileDigest(path()), damaged);
}

// Another program's database in write-ahead mode, with its tables still in
// the log: the first look at the main file alone sees an empty database.
TEST_F(ObjectStoreTest, RefusesAForeignDatabaseWhoseTablesAreStillInItsLog)
{
    const QString other = dir.filePath(QStringLiteral("other.db"));
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(other).constData(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer,
                           "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                           "CREATE TABLE contacts(name TEXT); INSERT INTO contacts VALUES('Ada');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    // Copied while the other program still has it open: the log is not yet folded in.
    ASSERT_TRUE(QFile::copy(other, path()));
    ASSERT_TRUE(QFile::copy(other + QStringLiteral("-wal"), path() + QStringLiteral("-wal")));
    sqlite3_close(writer);
    const QByteArray mainBefore = fileDigest(path());
    const QByteArray logBefore = fileDigest(path() + QStringLiteral("-wal"));
    ASSERT_FALSE(logBefore.isEmpty());

    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
    EXPECT_FALSE(open(&failure));
    EXPECT_EQ(failure, ObjectStore::OpenFailure::notAStore);
    EXPECT_EQ(fileDigest(path()), mainBefore) << "a refused file must not change";
    EXPECT_EQ(fileDigest(path() + QStringLiteral("-wal")), logBefore) << "nor its log";
}

TEST_F(ObjectStoreTest, MarksItsFilesAndAcceptsAnEmptyOne)
{
    QFile(path()).open(QIODevice::WriteOnly); // zero bytes: nothing to lose
    {
        auto store = open();
        ASSERT_TRUE(store);
        EXPECT_TRUE(QFile::exists(path() + QStringLiteral("-wal")));
        EXPECT_TRUE(QFile::exists(path() + QStringLiteral("-shm")));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path()).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    auto one = [&](const char* sql) {
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        sqlite3_step(stmt);
        QString value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        return value;
    };
    EXPECT_EQ(one("PRAGMA application_id"), QString::number(ObjectStore::applicationId));
    EXPECT_EQ(one("PRAGMA user_version"), QStringLiteral("1"));
    EXPECT_EQ(one("PRAGMA journal_mode"), QStringLiteral("wal"));
    EXPECT_EQ(one("SELECT value FROM meta WHERE key='schemaVersion'"), QStringLiteral("1.0.0"));
    const QString identifier = one("SELECT value FROM meta WHERE key='storeId'");
    EXPECT_FALSE(QUuid::fromString(identifier).isNull()) << identifier.toStdString();
    sqlite3_close(db);

    // A store of an earlier version, without an identifier, opens and gets one.
    writeSqlite(path(), "DELETE FROM meta WHERE key IN ('storeId', 'generation')");
    { ASSERT_TRUE(open()); }
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path()).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    EXPECT_FALSE(QUuid::fromString(one("SELECT value FROM meta WHERE key='storeId'")).isNull());
    EXPECT_NE(one("SELECT value FROM meta WHERE key='storeId'"), identifier);
    sqlite3_close(db);
}

// Short files and files without the database header: SQLite reads some of
// them as an empty database, which would be written over with a new store.
TEST_F(ObjectStoreTest, RefusesEveryNonEmptyFileThatIsNotADatabase)
{
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"one byte", QByteArray("x")},
        {"one zero byte", QByteArray(1, '\0')},
        {"a line of text", QByteArray("Miete 1200\n")},
        {"the header cut short", QByteArray("SQLite format 3")},
        {"the header alone", QByteArray("SQLite format 3\0", 16)},
        {"a page of zeros", QByteArray(4096, '\0')},
        {"511 bytes of text", QByteArray(511, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path() + suffix);
        {
            QFile file(path());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.bytes);
        }
        ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
        QString message;
        EXPECT_FALSE(open(&failure, &message));
        EXPECT_EQ(failure, ObjectStore::OpenFailure::notAStore);
        EXPECT_TRUE(message.contains(QStringLiteral("not a Quillsheet store"))) << message.toStdString();
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.bytes) << "a refused file must not change";
        EXPECT_FALSE(QFile::exists(path() + QStringLiteral("-wal")));
        EXPECT_FALSE(QFile::exists(path() + QStringLiteral("-shm")));
    }
}

// A store of ours after a crash right after its database was made: an empty
// database with nothing of ours in it yet. It becomes the store.
TEST_F(ObjectStoreTest, AnEmptyDatabaseBecomesTheStore)
{
    writeSqlite(path(), "PRAGMA journal_mode=WAL;");
    ASSERT_GT(QFileInfo(path()).size(), 0);
    {
        auto store = open();
        ASSERT_TRUE(store);
        store->context().insert(Canvas::create(QStringLiteral("C"), 0, 0, 1));
    }
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->context().canvasCount(), 1);
}

// Record keys are handed out after the largest one read; a key that cannot
// be followed by another, or one below 1, marks the file as damaged. Any store
// refused while loading, in either journal mode, is left exactly as it was:
// not switched to write-ahead mode, and no companion file left beside it.
TEST_F(ObjectStoreTest, RefusesDamagedStoresAndLeavesThemAsTheyWere)
{
    using Failure = ObjectStore::OpenFailure;
    const struct {
        const char* sql; // none: the pages after the first are overwritten
        Failure failure;
    } cases[] = {
        {"UPDATE canvas SET pk=9223372036854775807", Failure::notAStore},
        {"UPDATE block SET pk=9223372036854775807 WHERE expression='2'", Failure::notAStore},
        {"UPDATE link SET pk=9223372036854775807", Failure::notAStore},
        {"UPDATE canvas SET pk=0", Failure::notAStore},
        {"UPDATE block SET pk=-1 WHERE expression='1'", Failure::notAStore},
        {"UPDATE link SET pk=-9223372036854775808", Failure::notAStore},
        {"UPDATE block SET pk=4611686018427387905 WHERE expression='1'", Failure::notAStore},
        {"ALTER TABLE block DROP COLUMN color_hex", Failure::unreadable},
        {nullptr, Failure::unreadable},
    };
    const auto folder = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); };
    for (const char* mode : {"WAL", "DELETE"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(mode) + ": " + (c.sql ? c.sql : "damaged pages"));
            for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                QFile::remove(path() + suffix);
            {
                auto store = open();
                ASSERT_TRUE(store);
                const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
                store->context().insert(canvas);
                addLink(canvas, addRow(canvas, QStringLiteral("1"), 0), addRow(canvas, QStringLiteral("2"), 50),
                        QStringLiteral("A"));
            }
            writeSqlite(path(), (QByteArray("PRAGMA journal_mode=") + mode + ";" + (c.sql ? c.sql : "")).constData());
            if (!c.sql) {
                QFile file(path());
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                ASSERT_GT(file.size(), 4096 * 2);
                file.seek(4096);
                file.write(QByteArray(file.size() - 4096, '\xA5'));
            }
            const QByteArray before = fileDigest(path());
            const QStringList filesBefore = folder();
            ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
            QString message;
            EXPECT_FALSE(open(&failure, &message));
            EXPECT_EQ(failure, c.failure);
            EXPECT_TRUE(message.contains(c.failure == Failure::notAStore ? QStringLiteral("damaged")
                                                                         : QStringLiteral("cannot be read")))
                << message.toStdString();
            EXPECT_EQ(fileDigest(path()), before) << "a refused file must not change";
            EXPECT_EQ(folder(), filesBefore);
        }
    }
}

// Large keys that still leave room go on being counted up.
TEST_F(ObjectStoreTest, NewRecordsFollowTheLargestStoredKey)
{
    {
        auto store = open();
        store->context().insert(Canvas::create(QStringLiteral("old"), 0, 0, 1));
    }
    writeSqlite(path(), "UPDATE canvas SET pk=1099511627776");
    {
        auto store = open();
        ASSERT_TRUE(store);
        const CanvasPtr canvas = Canvas::create(QStringLiteral("new"), 0, 0, 1);
        store->context().insert(canvas);
        addRow(canvas, QStringLiteral("6 * 7"), 0);
    }
    auto store = open();
    ASSERT_TRUE(store);
    ASSERT_EQ(store->context().canvasCount(), 2);
    for (const CanvasPtr& canvas : store->context().canvases()) {
        if (canvas->name() == QStringLiteral("new")) {
            ASSERT_EQ(canvas->blocks().size(), 1);
            EXPECT_EQ(canvas->blocks().first()->expression(), QStringLiteral("6 * 7"));
        }
    }
}

TEST_F(ObjectStoreTest, CreatesTheStoreInAFolderThatDoesNotExistYet)
{
    const QString nested = dir.filePath(QStringLiteral("new/folder/default.store"));
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::unreadable;
    QString message;
    {
        auto store = ObjectStore::open(nested, &message, &failure);
        ASSERT_TRUE(store) << message.toStdString();
        EXPECT_EQ(failure, ObjectStore::OpenFailure::none);
        store->context().insert(Canvas::create(QStringLiteral("C"), 0, 0, 1));
    }
    auto reopened = ObjectStore::open(nested);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->context().canvasCount(), 1);
}

TEST_F(ObjectStoreTest, OneWriterAtATime)
{
    auto first = open();
    ASSERT_TRUE(first);
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
    EXPECT_FALSE(open(&failure));
    EXPECT_EQ(failure, ObjectStore::OpenFailure::locked);
    first.reset();
    EXPECT_TRUE(open());
}

// A crash or power cut right after the lock file was made can leave it empty,
// and a lock can come from another machine: nobody holds it, and it must not
// keep the program out for good.
TEST_F(ObjectStoreTest, ALockFileThatNobodyHoldsIsCleared)
{
    const QString lockPath = path() + QStringLiteral(".lock");
    {
        QFile lockFile(lockPath);
        ASSERT_TRUE(lockFile.open(QIODevice::WriteOnly));
        ASSERT_TRUE(lockFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                         QFileDevice::FileModificationTime));
    }
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::locked;
    QString message;
    auto store = open(&failure, &message);
    ASSERT_TRUE(store) << message.toStdString();
    EXPECT_EQ(failure, ObjectStore::OpenFailure::none);

    // One made a moment ago is waited for, then taken over all the same.
    store.reset();
    {
        QFile lockFile(lockPath);
        ASSERT_TRUE(lockFile.open(QIODevice::WriteOnly));
    }
    store = open(&failure, &message);
    ASSERT_TRUE(store) << message.toStdString();

    // Nobody holds a lock made on another machine or before a restart either.
    store.reset();
    {
        QFile lockFile(lockPath);
        ASSERT_TRUE(lockFile.open(QIODevice::WriteOnly));
        lockFile.write("1\nQuillsheet\nanother-machine\n");
    }
    store = open(&failure, &message);
    ASSERT_TRUE(store) << message.toStdString();

    // A lock that is held stays respected, even when its text is unreadable.
    {
        QFile lockFile(lockPath);
        ASSERT_TRUE(lockFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_TRUE(lockFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                         QFileDevice::FileModificationTime));
    }
    EXPECT_FALSE(open(&failure));
    EXPECT_EQ(failure, ObjectStore::OpenFailure::locked);
}

namespace {

// A lock file as a crash leaves it and as the user's tools may then change it.
struct LeftLockCase {
    const char* name;
    const char* text;  // empty: left before its maker wrote it; a held one has its maker's
    int mode;
    bool foreignOwner; // owned by another user (root when the test runs as root)
    bool held;         // a live program holds it
};

const LeftLockCase leftLocks[] = {
    {"left with its text", "4242\nquillsheet\nhere\n", 0644, false, false},
    {"left empty", "", 0644, false, false},
    {"not writable", "4242\nquillsheet\nhere\n", 0444, false, false},
    {"not readable", "4242\nquillsheet\nhere\n", 0000, false, false},
    {"another user's", "4242\nquillsheet\nhere\n", 0644, true, false},
    {"another user's, not readable", "", 0000, true, false},
    {"held by a live program", "", 0644, false, true},
    {"held by a live program, not readable", "", 0000, true, true},
};

} // namespace

// A lock that no live program holds is taken over whoever owns it and
// whatever its mode, as long as the folder is the user's; one that a live
// program holds, or takes while the start waits on its empty file, keeps
// the start out.
TEST_F(ObjectStoreTest, ALockNobodyHoldsIsTakenOverWhateverItsOwnerOrMode)
{
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/helpers/store_crash_helper");
    const QString lockPath = path() + QStringLiteral(".lock");
    // As root every file opens: the start then runs as the folder's owner
    // "nobody", and root owns the foreign lock files.
    const bool root = ::getuid() == 0;
    const uid_t user = root ? 65534 : ::getuid();
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(dir.path()).constData(), user, user), 0);
    }
    const auto start = [&] {
        QProcess locker;
        locker.start(helper, {QStringLiteral("--lock"), path(), QString::number(user)});
        EXPECT_TRUE(locker.waitForFinished(10000));
        return locker.readAllStandardOutput().trimmed();
    };
    for (const LeftLockCase& c : leftLocks) {
        SCOPED_TRACE(c.name);
        if (c.foreignOwner && !root)
            continue; // only root can give a file away
        QFile::remove(lockPath);
        QProcess holder;
        if (c.held) {
            holder.start(helper, {QStringLiteral("--make-lock"), path(), QStringLiteral("0")});
            ASSERT_TRUE(holder.waitForReadyRead(5000));
            while (!holder.readAll().contains("holding"))
                ASSERT_TRUE(holder.waitForReadyRead(5000));
        }
        if (!c.held)
            writeFileBytes(lockPath, c.text);
        const struct timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(lockPath).constData(), hourAgo, 0), 0);
        ASSERT_EQ(::chown(QFile::encodeName(lockPath).constData(), c.foreignOwner ? 0 : user,
                          c.foreignOwner ? 0 : user),
                  0);
        ASSERT_EQ(::chmod(QFile::encodeName(lockPath).constData(), mode_t(c.mode)), 0);
        const QByteArray said = start();
        if (c.held)
            EXPECT_TRUE(said.contains("in use by another running Quillsheet")) << said.constData();
        else
            EXPECT_EQ(said, "locked");
        holder.kill();
        holder.waitForFinished();
    }

    // A lock file made a moment ago, empty, is waited for: here its maker
    // takes it during the wait, and the start stays out.
    QFile::remove(lockPath);
    QProcess maker;
    maker.start(helper, {QStringLiteral("--make-lock"), path(), QStringLiteral("400")});
    ASSERT_TRUE(maker.waitForReadyRead(5000));
    ASSERT_EQ(::chown(QFile::encodeName(lockPath).constData(), user, user), 0);
    EXPECT_TRUE(start().contains("in use by another running Quillsheet"));
    maker.kill();
    maker.waitForFinished();
}

// A data folder that is a link to a deleted folder: the folder is made
// again where the link points, at start and when deleted while running.
TEST_F(ObjectStoreTest, AFolderLinkWhoseTargetIsGoneIsMadeAgainAtItsTarget)
{
    const QString target = dir.filePath(QStringLiteral("elsewhere/Quillsheet"));
    const QString link = dir.filePath(QStringLiteral("Quillsheet"));
    ASSERT_TRUE(QFile::link(target, link));
    auto store = ObjectStore::open(link + QStringLiteral("/default.store"));
    ASSERT_TRUE(store);
    EXPECT_TRUE(QFileInfo(target).isDir());
    store->context().insert(Canvas::create(QStringLiteral("C"), 0, 0, 1));
    ASSERT_TRUE(store->save());
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("elsewhere"))).removeRecursively());
    store->context().insert(Canvas::create(QStringLiteral("D"), 0, 0, 1));
    EXPECT_TRUE(store->save()) << store->saveError().value_or(QString()).toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/default.store")));
}

// Another file put in the store's place, renamed over it or copied over it in
// place, is never written, and no log of this store stays beside it; a log
// left there by a program killed meanwhile is set aside at the next start.
TEST_F(ObjectStoreTest, AFileThatTakesTheStoresPlaceIsLeftAsItCame)
{
    const QString backup = makeBackupStore();
    ASSERT_FALSE(backup.isEmpty());
    const QByteArray backupDigest = fileDigest(backup);
    const auto placeBackup = [&](bool inPlace) {
        const QString copy = dir.filePath(QStringLiteral("copy"));
        QFile::remove(copy);
        QFile::copy(backup, copy);
        if (inPlace) {
            QFile file(path());
            QFile from(copy);
            return file.open(QIODevice::WriteOnly) && from.open(QIODevice::ReadOnly) && file.write(from.readAll()) > 0;
        }
        return ::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path()).constData()) == 0;
    };
    const auto canvasNames = [&] {
        QStringList names;
        if (auto store = open())
            for (const CanvasPtr& canvas : store->context().canvases())
                names << canvas->name();
        return names;
    };
    const auto removeStore = [&] {
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path() + suffix);
    };
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "copied over in place" : "renamed over");
        removeStore();
        auto store = open();
        ASSERT_TRUE(store);
        const CanvasPtr canvas = saveCanvasWithRow(*store, QStringLiteral("1 + 1"));
        ASSERT_TRUE(canvas);
        ASSERT_TRUE(placeBackup(inPlace));
        canvas->setName(QStringLiteral("changed"));
        EXPECT_FALSE(store->save());
        EXPECT_TRUE(store->isFileLost());
        EXPECT_TRUE(store->saveError().value_or(QString()).contains(QStringLiteral("cannot be saved")));
        store.reset();
        EXPECT_EQ(fileDigest(path()), backupDigest);
        EXPECT_FALSE(QFileInfo::exists(path() + QStringLiteral("-wal")));
        EXPECT_EQ(canvasNames(), QStringList{QStringLiteral("Backup")});
    }

    // Placed while a store runs that is killed before it notices: its log
    // is set aside, never read into the placed file.
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "killed after a copy in place" : "killed after a rename");
        removeStore();
        for (const QString& aside : QDir(dir.path()).entryList({QStringLiteral("default.store-wal.set-aside-*")}))
            QFile::remove(dir.filePath(aside));
        const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/helpers/store_crash_helper");
        QProcess process;
        process.start(helper, {path()});
        ASSERT_TRUE(process.waitForStarted());
        QByteArray said;
        while (!said.contains("saved 3") && process.state() == QProcess::Running && process.waitForReadyRead(5000))
            said += process.readAllStandardOutput();
        ::kill(pid_t(process.processId()), SIGSTOP); // no save after the file comes
        ASSERT_TRUE(placeBackup(inPlace));
        process.kill();
        process.waitForFinished();
        ASSERT_TRUE(QFileInfo(path() + QStringLiteral("-wal")).size() > 0);
        {
            auto store = open();
            ASSERT_TRUE(store);
            EXPECT_TRUE(store->openingNotice().contains(QStringLiteral("moved to"))) << store->openingNotice().toStdString();
        }
        EXPECT_EQ(canvasNames(), QStringList{QStringLiteral("Backup")});
        EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("default.store-wal.set-aside-*")}).size(), 1);
    }
}

// A checkpoint cut short by a full disk leaves the main file shorter than
// its header says; with its log the store is whole and opens.
TEST_F(ObjectStoreTest, AStoreWholeOnlyWithItsLogOpens)
{
    const QString source = dir.filePath(QStringLiteral("source.store"));
    {
        auto store = ObjectStore::open(source);
        ASSERT_TRUE(store);
        store->context().insert(Canvas::create(QStringLiteral("Kept"), 0, 0, 1));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(source).constData(), &db), SQLITE_OK);
    // Every page into the log, none back into the file yet.
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_autocheckpoint=0; VACUUM;", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(QFile::copy(source + QStringLiteral("-wal"), path() + QStringLiteral("-wal")));
    QByteArray main = fileBytes(source);
    sqlite3_close(db);
    ASSERT_GT(main.size(), 4096);
    main.truncate(4096);
    writeFileBytes(path(), main);

    QString message;
    auto store = open(nullptr, &message);
    ASSERT_TRUE(store) << message.toStdString();
    ASSERT_EQ(store->context().canvasCount(), 1);
    EXPECT_EQ(store->context().canvases().first()->name(), QStringLiteral("Kept"));
}

TEST_F(ObjectStoreTest, FailedSaveKeepsChangesReportsOnceAndRetries)
{
    auto store = open();
    ASSERT_TRUE(store);
    store->setRetryInterval(50);
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    store->context().insert(canvas);
    ASSERT_TRUE(store->save());

    // Another connection holds the write lock: every save fails as if the disk refused.
    sqlite3* blocker = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path()).constData(), &blocker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    QSignalSpy failed(store.get(), &ObjectStore::saveFailed);
    QSignalSpy recovered(store.get(), &ObjectStore::saveRecovered);
    const BlockPtr row = addRow(canvas, QStringLiteral("7 * 6"), 0);
    EXPECT_FALSE(store->save());
    canvas->setName(QStringLiteral("renamed"));
    EXPECT_FALSE(store->save());
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(store->saveError().has_value());
    EXPECT_TRUE(store->context().hasChanges());

    sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(blocker);
    ASSERT_TRUE(recovered.wait(10000)); // the retry timer saves on its own
    EXPECT_FALSE(store->saveError().has_value());
    EXPECT_FALSE(store->context().hasChanges());

    store.reset();
    auto reopened = open();
    const CanvasPtr back = reopened->context().canvases().first();
    EXPECT_EQ(back->name(), QStringLiteral("renamed"));
    ASSERT_EQ(back->blocks().size(), 1);
    EXPECT_EQ(back->blocks().first()->expression(), QStringLiteral("7 * 6"));
}

TEST_F(ObjectStoreTest, SurvivesSigkillWithEveryCompletedTurn)
{
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/helpers/store_crash_helper");
    ASSERT_TRUE(QFile::exists(helper)) << qPrintable(helper);
    // Later rounds fold the log into the file every few frames, so that the
    // kill lands in a checkpoint as often as not.
    for (int round = 0; round < 5; ++round) {
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        QFile::remove(path() + QStringLiteral("-shm"));
        QProcess process;
        process.start(helper, round < 2 ? QStringList{path()} : QStringList{path(), QString::number(round * 3 - 3)});
        ASSERT_TRUE(process.waitForStarted());
        int lastSaved = 0;
        QByteArray pending;
        const int target = 20 + (round % 3) * 40;
        while (lastSaved < target && process.state() == QProcess::Running) {
            process.waitForReadyRead(5000);
            pending += process.readAllStandardOutput();
            qsizetype newline;
            while ((newline = pending.indexOf('\n')) >= 0) {
                const QByteArray line = pending.left(newline);
                pending.remove(0, newline + 1);
                if (line.startsWith("saved "))
                    lastSaved = line.mid(6).toInt();
            }
        }
        process.kill(); // SIGKILL
        process.waitForFinished();
        ASSERT_GE(lastSaved, target) << process.readAllStandardError().constData();

        auto store = open();
        ASSERT_TRUE(store) << "round " << round;
        ASSERT_EQ(store->context().canvasCount(), 1);
        const CanvasPtr canvas = store->context().canvases().first();
        const int rows = int(canvas->blocks().size());
        EXPECT_GE(rows, lastSaved);
        EXPECT_EQ(canvas->name(), QStringLiteral("turn %1").arg(rows)) << "a turn reached the file only in part";
        for (int i = 0; i < rows; ++i)
            EXPECT_EQ(canvas->blocks().at(i)->expression(), QString::number(i + 1));
    }
}

// A store that cannot be opened because its disk is full says so, whichever
// step found it out; other failures give the system's reason.
TEST_F(ObjectStoreTest, AFullDiskOrTheSystemsReasonIsNamed)
{
    struct Case {
        const char* name;
        bool lockCannotBeMade;
        bool full;
        QString says;
    };
    const QList<Case> cases{
        {"lock, disk full", true, true, QStringLiteral("is full. Free some space, then start Quillsheet again.")},
        {"lock, disk not full", true, false, QStringLiteral("cannot be locked (File name too long).")},
        {"opened fine", false, true, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        // A store name one character short of the limit leaves no room for
        // the ".lock" beside it.
        const QString store = folder.filePath(c.lockCannotBeMade ? QString(251, u's') : QStringLiteral("default.store"));
        QStringList asked;
        ObjectStore::setDiskFullProbe([&](const QString& where) {
            asked << where;
            return c.full;
        });
        QString message;
        ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
        const std::unique_ptr<ObjectStore> opened = ObjectStore::open(store, &message, &failure);
        ObjectStore::setDiskFullProbe({});
        if (c.says.isEmpty()) {
            EXPECT_TRUE(opened);
            EXPECT_TRUE(asked.isEmpty()) << "nothing to explain";
            continue;
        }
        EXPECT_FALSE(opened);
        EXPECT_EQ(failure, c.full ? ObjectStore::OpenFailure::diskFull : ObjectStore::OpenFailure::lockUnusable);
        EXPECT_TRUE(message.endsWith(c.says)) << message.toStdString();
        EXPECT_TRUE(message.contains(QDir::toNativeSeparators(store)));
        EXPECT_EQ(asked, QStringList{QFileInfo(store).absolutePath()});
    }
    // The real probe finds room here, and leaves nothing behind.
    QTemporaryDir folder;
    QString message;
    EXPECT_FALSE(ObjectStore::open(folder.filePath(QString(251, u's')), &message));
    EXPECT_TRUE(message.endsWith(QStringLiteral("cannot be locked (File name too long)."))) << message.toStdString();
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    // On a read-only disk the folder is named, beside the store or where its
    // folder would be made; a lock left there that nobody holds changes nothing.
    const FullFileSystem readOnly(64, FullFileSystem::Access::readOnly);
    if (!readOnly.isMounted())
        GTEST_SKIP() << readOnly.skipReason().toStdString();
    for (const QString& name : {QStringLiteral("default.store"), QStringLiteral("Quillsheet/default.store")}) {
        ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
        EXPECT_FALSE(ObjectStore::open(readOnly.filePath(name), &message, &failure));
        EXPECT_EQ(failure, ObjectStore::OpenFailure::notWritable);
        EXPECT_TRUE(message.contains(QStringLiteral("(Read-only file system), so Quillsheet cannot keep its store there")))
            << message.toStdString();
    }
}

namespace {

// What the user's own tools do to the store's file, and whether the file at
// the path is then another store's.
enum class FileEvent { chmod, chown, touch, hardLink, readByAnotherProcess, renameOver, copyInPlace,
                       copyInPlaceKeepingTimes, otherStoreOfSameGeneration, olderCopyOfItself, secondStart,
                       secondStartWithoutLockFile, secondStartOverNewLockFile, deleteLog, deleteStore,
                       folderMovedAwayThenLogDeleted };

struct FileEventCase {
    const char* name;
    FileEvent event;
    bool replaces;
    // How often the running store mends it and says so.
    int mended = 0;
    // After a crash: what the next start says of what it found (none:
    // every saved row is there); nothing to check where no program is left
    // to save the rows.
    const char* afterCrashSays = nullptr;
    bool afterCrash = true;
    // Whether that start finds a log to set aside (a deleted one took its rows with it).
    bool logSetAside = true;
};

const FileEventCase fileEvents[] = {
    {"chmod", FileEvent::chmod, false},
    {"chown", FileEvent::chown, false},
    {"touch", FileEvent::touch, false},
    {"hard link", FileEvent::hardLink, false},
    {"read by another process", FileEvent::readByAnotherProcess, false},
    {"rename over", FileEvent::renameOver, true, false, "moved to"},
    {"copy in place", FileEvent::copyInPlace, true, false, "moved to"},
    {"copy in place keeping size and times", FileEvent::copyInPlaceKeepingTimes, true, false, "moved to"},
    {"another store of the same generation copied in place", FileEvent::otherStoreOfSameGeneration, true, false,
     "moved to"},
    {"an older copy of itself put back", FileEvent::olderCopyOfItself, true, false,
     "changes made after that copy was taken are not in it"},
    {"second start", FileEvent::secondStart, false},
    {"lock file deleted, then a second start", FileEvent::secondStartWithoutLockFile, false},
    {"lock file replaced by an empty one, then a second start", FileEvent::secondStartOverNewLockFile, false},
    {"log deleted", FileEvent::deleteLog, false, true, "was deleted after Quillsheet last ended", true, false},
    {"store deleted", FileEvent::deleteStore, false, true, "was missing when Quillsheet started"},
    // The store is made again in a new folder, whose deleted log is noticed as well.
    {"folder moved away, then the log deleted", FileEvent::folderMovedAwayThenLogDeleted, false, 2, nullptr, false},
};

QString helperPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/helpers/store_crash_helper");
}

void setTimes(const QString& file, const struct stat& from)
{
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0);
}

} // namespace

// Every file event × the moment it happens: while the store runs, and between
// a crash and the next start. Metadata, links and reads leave the store its
// file and every saved row; a file put in its place is never written, and
// this store's rows are kept beside it (the log set aside, the canvases in an
// exchange file).
TEST_F(ObjectStoreTest, FileEventsNeverCostASavedRow)
{
    // Another store, as large as a new one: a copy of it over ours keeps the size.
    const QString backup = dir.filePath(QStringLiteral("backup.store"));
    { ASSERT_TRUE(ObjectStore::open(backup)); }
    const QByteArray backupBytes = fileBytes(backup);

    // running: the store is open in this process; otherwise its program was killed.
    // What a replacing event put at the path.
    QByteArray placed;
    // The generation the main file had when the store last wrote it.
    const auto notedGeneration = [&] {
        const auto note = StoreFileGuard::OwnerNote::read(path() + QStringLiteral("-wal.owner"));
        return note ? note->generation : -1;
    };
    const auto placeInPlace = [&](const QByteArray& bytes) {
        placed = bytes;
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    ObjectStore* runningStore = nullptr;
    const auto apply = [&](FileEvent event, bool running) {
        const QByteArray name = QFile::encodeName(path());
        struct stat before = {};
        ::stat(name.constData(), &before);
        placed = backupBytes;
        switch (event) {
        case FileEvent::otherStoreOfSameGeneration: {
            // Only the identifier tells it from the file the log was written for.
            const QString other = dir.filePath(QStringLiteral("other.store"));
            writeFileBytes(other, backupBytes);
            writeSqlite(other, QStringLiteral("UPDATE meta SET value='%1' WHERE key='generation'")
                                   .arg(notedGeneration()).toUtf8().constData());
            placeInPlace(fileBytes(other));
            break;
        }
        case FileEvent::olderCopyOfItself: {
            // Only the generation tells it from the file the log was written for.
            const QString copy = dir.filePath(QStringLiteral("copy.store"));
            writeFileBytes(copy, fileBytes(path()));
            writeSqlite(copy, QStringLiteral("UPDATE meta SET value='%1' WHERE key='generation'")
                                  .arg(notedGeneration() - 1).toUtf8().constData());
            placeInPlace(fileBytes(copy));
            break;
        }
        case FileEvent::deleteStore:
            QFile::remove(path());
            break;
        case FileEvent::chmod:
            ::chmod(name.constData(), 0600);
            break;
        case FileEvent::chown:
            ::chown(name.constData(), ::getuid(), ::getgid());
            break;
        case FileEvent::touch:
            ::utimensat(AT_FDCWD, name.constData(), nullptr, 0);
            break;
        case FileEvent::hardLink:
            QFile::remove(dir.filePath(QStringLiteral("snapshot.store")));
            ::link(name.constData(), QFile::encodeName(dir.filePath(QStringLiteral("snapshot.store"))).constData());
            break;
        case FileEvent::readByAnotherProcess:
            EXPECT_EQ(QProcess::execute(helperPath(), {QStringLiteral("--read"), path()}), 0);
            break;
        case FileEvent::renameOver:
            writeFileBytes(dir.filePath(QStringLiteral("placed")), backupBytes);
            ::rename(QFile::encodeName(dir.filePath(QStringLiteral("placed"))).constData(), name.constData());
            break;
        case FileEvent::copyInPlace:
        case FileEvent::copyInPlaceKeepingTimes: {
            QFile file(path());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(backupBytes);
            file.close();
            if (event == FileEvent::copyInPlaceKeepingTimes) {
                ASSERT_EQ(qint64(before.st_size), backupBytes.size()) << "the copy must keep the size";
                setTimes(path(), before);
            }
            break;
        }
        case FileEvent::folderMovedAwayThenLogDeleted:
            ASSERT_TRUE(QDir().rename(dir.path(), dir.path() + QStringLiteral("-away")));
            ASSERT_TRUE(runningStore->save());
            QTest::qWait(200); // what the move itself set off is over
            QFile::remove(path() + QStringLiteral("-wal"));
            break;
        case FileEvent::deleteLog:
            QFile::remove(path() + QStringLiteral("-wal"));
            break;
        case FileEvent::secondStart:
        case FileEvent::secondStartWithoutLockFile:
        case FileEvent::secondStartOverNewLockFile: {
            const QString lockFile = path() + QStringLiteral(".lock");
            if (event == FileEvent::secondStartWithoutLockFile)
                QFile::remove(lockFile);
            if (event == FileEvent::secondStartOverNewLockFile) {
                QFile::remove(lockFile);
                writeFileBytes(lockFile, QByteArray());
            }
            if (!running) {
                auto second = open(); // it opens, reads the log and closes
                EXPECT_TRUE(second);
                break;
            }
            // Another program, whatever became of the lock file.
            QProcess second;
            second.start(helperPath(), {path()});
            ASSERT_TRUE(second.waitForFinished(10000));
            EXPECT_EQ(second.exitCode(), 1);
            EXPECT_TRUE(second.readAllStandardError().contains("in use by another running Quillsheet"));
            break;
        }
        }
    };
    const auto removeAll = [&] {
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            if (name != QLatin1String("backup.store"))
                QFile::remove(dir.filePath(name));
        placed.clear();
    };
    const auto asides = [&] {
        return QDir(dir.path()).entryList({QStringLiteral("default.store-wal.set-aside-*")}).size();
    };
    // The rows a start after a crash right now would find.
    const auto count = [&] {
        QProcess counter;
        counter.start(helperPath(), {QStringLiteral("--count"), path()});
        counter.waitForFinished(10000);
        return counter.readAllStandardOutput().trimmed();
    };
    const auto rowsIn = [](ObjectStore& store) {
        return store.context().canvasCount() == 1 ? int(store.context().canvases().first()->blocks().size()) : -1;
    };

    for (const FileEventCase& c : fileEvents) {
        SCOPED_TRACE(std::string("while running: ") + c.name);
        removeAll();
        auto store = open();
        ASSERT_TRUE(store);
        const CanvasPtr canvas = saveCanvasWithRow(*store, QStringLiteral("1"));
        ASSERT_TRUE(canvas);
        QSignalSpy mended(store.get(), &ObjectStore::storeMended);
        runningStore = store.get();
        apply(c.event, true);
        if (c.event == FileEvent::deleteLog || c.event == FileEvent::folderMovedAwayThenLogDeleted
            || c.event == FileEvent::deleteStore) {
            // Noticed at once: nothing lives on only in a deleted file or in memory.
            EXPECT_TRUE(mended.wait(5000));
            EXPECT_EQ(count(), "1");
        }
        addRow(canvas, QStringLiteral("2"), 40);
        EXPECT_EQ(store->save(), !c.replaces);
        EXPECT_EQ(store->isFileLost(), c.replaces);
        EXPECT_EQ(mended.count(), c.mended);
        if (!c.replaces) {
            EXPECT_EQ(count(), "2");
        }
        if (c.replaces) {
            // The exchange file follows every change; the note naming it is written once.
            const QString note = path() + QStringLiteral(".unsaved");
            const StoreFileGuard::FileId noted = StoreFileGuard::idOf(note);
            canvas->setName(QStringLiteral("Renamed"));
            store->save();
            EXPECT_TRUE(noted.known && StoreFileGuard::idOf(note) == noted);
            EXPECT_EQ(CanvasExport::fromJSON(fileBytes(store->exchangeFile()))->canvases.first().name,
                      QStringLiteral("Renamed"));
        }
        const QString exchange = store->exchangeFile();
        store.reset();
        if (c.replaces) {
            EXPECT_EQ(fileBytes(path()), placed) << "the file put there is never written";
            EXPECT_FALSE(QFileInfo::exists(path() + QStringLiteral("-wal")));
            EXPECT_EQ(asides(), 1) << "the log with the saved row is kept aside";
            const auto rescued = CanvasExport::fromJSON(fileBytes(exchange));
            ASSERT_TRUE(rescued) << exchange.toStdString();
            ASSERT_EQ(rescued->canvases.size(), 1);
            EXPECT_EQ(rescued->canvases.first().blocks.size(), 2);
        } else {
            EXPECT_TRUE(exchange.isEmpty());
            auto reopened = open();
            ASSERT_TRUE(reopened);
            EXPECT_EQ(rowsIn(*reopened), 2);
            EXPECT_EQ(asides(), 0) << "every row of the log is in the store: nothing is left aside";
        }
    }
    QDir(dir.path() + QStringLiteral("-away")).removeRecursively();

    for (const FileEventCase& c : fileEvents) {
        if (!c.afterCrash)
            continue;
        SCOPED_TRACE(std::string("between a crash and the next start: ") + c.name);
        removeAll();
        QProcess process;
        process.start(helperPath(), {path()});
        ASSERT_TRUE(process.waitForStarted());
        QByteArray said;
        while (!said.contains("saved 3") && process.state() == QProcess::Running && process.waitForReadyRead(5000))
            said += process.readAllStandardOutput();
        ::kill(pid_t(process.processId()), SIGSTOP);
        said += process.readAllStandardOutput();
        process.kill();
        process.waitForFinished();
        const int saved = said.split('\n').size() - 1; // "saved 0" .. "saved N", each whole
        ASSERT_GE(saved, 3);
        apply(c.event, false);
        QString message;
        auto store = open(nullptr, &message);
        ASSERT_TRUE(store) << message.toStdString();
        if (c.afterCrashSays) {
            EXPECT_EQ(store->context().canvasCount(), 0) << "the file there is read as it is";
            EXPECT_TRUE(store->openingNotice().contains(QLatin1String(c.afterCrashSays)))
                << store->openingNotice().toStdString();
            EXPECT_EQ(store->openingNotice().contains(QStringLiteral("moved to")), c.logSetAside);
            EXPECT_EQ(asides(), c.logSetAside ? 1 : 0);
        } else {
            EXPECT_GE(rowsIn(*store), saved - 1) << "every saved turn is there";
            EXPECT_TRUE(store->openingNotice().isEmpty()) << store->openingNotice().toStdString();
            EXPECT_EQ(asides(), 0);
        }
    }
}

// Whatever stands at the lock's name that is not a lock file (a folder, a
// link, a pipe) is nobody's lock: the start never waits on it and never
// takes it for a running Quillsheet, moves it aside whole and says where.
TEST_F(ObjectStoreTest, WhatIsNotALockFileAtTheLocksNameIsMovedAsideWhole)
{
    const QString lockPath = path() + QStringLiteral(".lock");
    const QByteArray name = QFile::encodeName(lockPath);
    const QString target = dir.filePath(QStringLiteral("target"));
    const auto readFileBytes = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    enum class Kind { folder, missingLink, fileLink, pipe };
    const struct {
        const char* name;
        Kind kind;
        const char* said;
        mode_t type;
    } cases[] = {
        {"a folder with a file in it", Kind::folder, "was a folder", S_IFDIR},
        {"a link to a missing file", Kind::missingLink, "was a link", S_IFLNK},
        {"a link to a file", Kind::fileLink, "was a link", S_IFLNK},
        {"a pipe", Kind::pipe, "was a pipe", S_IFIFO},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(target);
        switch (c.kind) {
        case Kind::folder:
            ASSERT_TRUE(QDir().mkpath(lockPath));
            writeFileBytes(lockPath + QStringLiteral("/kept.txt"), "the user's");
            break;
        case Kind::missingLink:
            ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), name.constData()), 0);
            break;
        case Kind::fileLink:
            writeFileBytes(target, "4242\nquillsheet\nhere\n");
            ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), name.constData()), 0);
            break;
        case Kind::pipe:
            ASSERT_EQ(::mkfifo(name.constData(), 0644), 0);
            break;
        }
        ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::locked;
        QString message;
        auto store = open(&failure, &message);
        ASSERT_TRUE(store) << message.toStdString();
        EXPECT_EQ(failure, ObjectStore::OpenFailure::none);
        const QStringList asides = QDir(dir.path()).entryList({QStringLiteral("default.store.lock.set-aside-*")},
                                                              QDir::AllEntries | QDir::System);
        ASSERT_EQ(asides.size(), 1);
        const QString aside = dir.filePath(asides.first());
        struct stat moved = {};
        ASSERT_EQ(::lstat(QFile::encodeName(aside).constData(), &moved), 0);
        EXPECT_EQ(moved.st_mode & S_IFMT, c.type);
        EXPECT_TRUE(store->openingNotice().contains(QLatin1String(c.said))) << store->openingNotice().toStdString();
        EXPECT_TRUE(store->openingNotice().contains(QDir::toNativeSeparators(aside)));
        if (c.kind == Kind::folder) {
            EXPECT_EQ(readFileBytes(aside + QStringLiteral("/kept.txt")), "the user's");
        }
        if (c.kind == Kind::fileLink) {
            EXPECT_EQ(readFileBytes(target), "4242\nquillsheet\nhere\n");
        }
        // The lock made in its place keeps a second start out, and goes with the store.
        struct stat made = {};
        ASSERT_EQ(::lstat(name.constData(), &made), 0);
        EXPECT_TRUE(S_ISREG(made.st_mode));
        EXPECT_FALSE(open(&failure));
        EXPECT_EQ(failure, ObjectStore::OpenFailure::locked);
        store.reset();
        EXPECT_FALSE(QFileInfo::exists(lockPath) || QFileInfo(lockPath).isSymLink());
        ASSERT_TRUE(QFileInfo::exists(aside) || QFileInfo(aside).isSymLink()) << "moved aside, never deleted";
        if (c.kind == Kind::folder)
            ASSERT_TRUE(QDir(aside).removeRecursively());
        else
            ASSERT_TRUE(QFile::remove(aside));
    }
}

// Two starts that move things aside in the same second never land on each
// other's: the second takes the next free name and says where, also on a
// disk that cannot rename without replacing.
TEST_F(ObjectStoreTest, TwoStartsMovingThingsAsideInTheSameSecondKeepBoth)
{
    const QString lockPath = path() + QStringLiteral(".lock");
    const QString stem = lockPath + QStringLiteral(".set-aside-20250102-030405");
    const QString target = dir.filePath(QStringLiteral("target"));
    FileWriting::setAsideTimeForTests(QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5)));
    for (const bool refused : {false, true}) {
        for (const bool folder : {false, true}) {
            SCOPED_TRACE(std::string(folder ? "a folder" : "a pipe") + (refused ? ", no rename without replacing" : ""));
            FileWriting::setRenameWithoutReplacingRefusedForTests(refused);
            // What another start moved aside this second: a link, and a folder.
            ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(stem).constData()), 0);
            ASSERT_TRUE(QDir().mkpath(stem + QStringLiteral("-2")));
            writeFileBytes(stem + QStringLiteral("-2/kept.txt"), "the other's");
            if (folder)
                ASSERT_TRUE(QDir().mkpath(lockPath + QStringLiteral("/mine")));
            else
                ASSERT_EQ(::mkfifo(QFile::encodeName(lockPath).constData(), 0644), 0);

            QString message;
            auto store = ObjectStore::open(path(), &message);
            FileWriting::setRenameWithoutReplacingRefusedForTests(false);
            ASSERT_TRUE(store) << message.toStdString();
            EXPECT_EQ(QFileInfo(stem).symLinkTarget(), target);
            EXPECT_EQ(fileBytes(stem + QStringLiteral("-2/kept.txt")), "the other's");
            const QString mine = stem + QStringLiteral("-3");
            struct stat moved = {};
            ASSERT_EQ(::lstat(QFile::encodeName(mine).constData(), &moved), 0);
            EXPECT_EQ(moved.st_mode & S_IFMT, folder ? S_IFDIR : S_IFIFO);
            EXPECT_TRUE(store->openingNotice().contains(QStringLiteral("was %1, not Quillsheet's lock file. It was moved to “%2”")
                                                            .arg(folder ? "a folder" : "a pipe", mine)))
                << store->openingNotice().toStdString();
            store.reset();
            ASSERT_TRUE(QFile::remove(stem));
            ASSERT_TRUE(QDir(stem + QStringLiteral("-2")).removeRecursively());
            ASSERT_TRUE(folder ? QDir(mine).removeRecursively() : QFile::remove(mine));
        }
    }
    FileWriting::setAsideTimeForTests({});
}

// Nothing the store writes beside itself goes through a link or into a pipe
// standing at its name, whether that was there at the start or came while
// the store runs: the link's target is left as it was, and what stood there
// is kept whole at a name of its own.
TEST_F(ObjectStoreTest, WhatStandsAtTheNamesOfItsOwnFilesIsKeptAsideNeverWrittenThrough)
{
    const QString target = dir.filePath(QStringLiteral("bashrc"));
    int round = 0;
    for (const char* suffix : {"-wal.owner", "-wal.owner.new", ".unsaved"}) {
        for (const bool pipe : {false, true}) {
            for (const bool whileRunning : {false, true}) {
                SCOPED_TRACE(std::string(suffix) + (pipe ? " pipe" : " link")
                             + (whileRunning ? " while running" : " at the start"));
                const QString folder = dir.filePath(QStringLiteral("round%1").arg(++round));
                ASSERT_TRUE(QDir().mkpath(folder));
                const QString storePath = QDir(folder).filePath(QStringLiteral("default.store"));
                const QString at = storePath + QLatin1String(suffix);
                writeFileBytes(target, "export KEEP=1\n");
                const auto plant = [&] {
                    const QByteArray name = QFile::encodeName(at);
                    return pipe ? ::mkfifo(name.constData(), 0644)
                                : ::symlink(QFile::encodeName(target).constData(), name.constData());
                };
                if (!whileRunning)
                    ASSERT_EQ(plant(), 0);
                QString message;
                auto store = ObjectStore::open(storePath, &message);
                ASSERT_TRUE(store) << message.toStdString();
                if (whileRunning) {
                    QFile::remove(at); // the note the opening wrote
                    ASSERT_EQ(plant(), 0);
                }
                // The save's checkpoint writes the log's note; another file
                // put in the store's place then sends every canvas to the
                // exchange file, named in the ".unsaved" note.
                ObjectStore::setCheckpointFrames(1);
                ASSERT_TRUE(saveCanvasWithRow(*store, QStringLiteral("1 + 1")));
                ObjectStore::setCheckpointFrames(0);
                const QString other = QDir(folder).filePath(QStringLiteral("other"));
                writeFileBytes(other, "not a store");
                ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(storePath).constData()), 0);
                store->context().canvases().first()->setName(QStringLiteral("after"));
                EXPECT_FALSE(store->save());
                ASSERT_TRUE(store->isFileLost());
                EXPECT_FALSE(store->exchangeFile().isEmpty());

                EXPECT_EQ(fileBytes(target), "export KEEP=1\n");
                const QStringList asides
                    = QDir(folder).entryList({QStringLiteral("default.store%1.set-aside-*").arg(QLatin1String(suffix))},
                                             QDir::AllEntries | QDir::System);
                ASSERT_EQ(asides.size(), 1) << asides.join(u' ').toStdString();
                const QString aside = QDir(folder).filePath(asides.first());
                struct stat kept = {};
                ASSERT_EQ(::lstat(QFile::encodeName(aside).constData(), &kept), 0);
                EXPECT_EQ(kept.st_mode & S_IFMT, pipe ? S_IFIFO : S_IFLNK);
                if (!pipe)
                    EXPECT_EQ(QFileInfo(aside).symLinkTarget(), target);
                if (!whileRunning) {
                    EXPECT_TRUE(store->openingNotice().contains(QStringLiteral("“%1” was %2").arg(at, pipe ? "a pipe" : "a link")))
                        << store->openingNotice().toStdString();
                    EXPECT_TRUE(store->openingNotice().contains(aside));
                }
                if (QLatin1String(suffix) == QLatin1String(".unsaved")) {
                    EXPECT_TRUE(QFileInfo(at).isFile() && !QFileInfo(at).isSymLink());
                    EXPECT_EQ(fileBytes(at), QFile::encodeName(store->exchangeFile()));
                }
            }
        }
    }
}

// A folder or pipe at the store's own names is refused at once and left
// where it is: reading a pipe would wait for ever.
TEST_F(ObjectStoreTest, AFolderOrPipeAtTheStoresNamesIsRefusedWithoutWaiting)
{
    // SQLite would write its log through a link, into the file it points to.
    const QString target = dir.filePath(QStringLiteral("target"));
    const struct {
        const char* suffix;
        mode_t type;
        const char* said;
    } cases[] = {
        {"", S_IFDIR, "a folder"},   {"", S_IFIFO, "a pipe"},      {"-wal", S_IFDIR, "a folder"},
        {"-wal", S_IFIFO, "a pipe"}, {"-wal", S_IFLNK, "a link"}, {"-shm", S_IFLNK, "a link"},
    };
    for (const auto& c : cases) {
        const QString at = path() + QLatin1String(c.suffix);
        const QByteArray name = QFile::encodeName(at);
        SCOPED_TRACE((at + " as " + c.said).toStdString());
        writeFileBytes(target, "the user's");
        ASSERT_EQ(c.type == S_IFIFO  ? ::mkfifo(name.constData(), 0644)
                      : c.type == S_IFLNK ? ::symlink(QFile::encodeName(target).constData(), name.constData())
                                          : ::mkdir(name.constData(), 0755),
                  0);
        ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
        QString message;
        EXPECT_FALSE(open(&failure, &message));
        EXPECT_EQ(failure, ObjectStore::OpenFailure::notAStore);
        EXPECT_TRUE(message.contains(QStringLiteral("“%1” is %2").arg(at, QLatin1String(c.said)))) << message.toStdString();
        struct stat left = {};
        ASSERT_EQ(::lstat(name.constData(), &left), 0);
        EXPECT_EQ(left.st_mode & S_IFMT, c.type);
        EXPECT_EQ(fileBytes(target), "the user's");
        ASSERT_TRUE(c.type == S_IFDIR ? QDir().rmdir(at) : QFile::remove(at));
    }
}

// The lock file deleted or replaced under a running Quillsheet lets no
// second one in: either look at the store file alone keeps it out.
TEST_F(ObjectStoreTest, EachLookAtTheStoreFileAloneKeepsASecondStartOut)
{
    auto running = open();
    ASSERT_TRUE(running);
    ASSERT_TRUE(saveCanvasWithRow(*running, QStringLiteral("1 + 1")));
    const QString lockPath = path() + QStringLiteral(".lock");
    for (const bool replaced : {false, true}) {
        for (const char* skipped : {"before", "while"}) {
            // Replaced by one a crashed program left, which a start takes over.
            QFile::remove(lockPath);
            if (replaced)
                writeFileBytes(lockPath, "4242\nquillsheet\nhere\n");
            SCOPED_TRACE(std::string(replaced ? "lock replaced, " : "lock deleted, ") + skipped + " skipped");
            QProcess second;
            second.start(helperPath(), {QStringLiteral("--skip-check"), QLatin1String(skipped), path()});
            ASSERT_TRUE(second.waitForFinished(10000));
            EXPECT_EQ(second.exitCode(), 1);
            EXPECT_TRUE(second.readAllStandardError().contains("in use by another running Quillsheet"));
        }
    }
    running->context().canvases().first()->setName(QStringLiteral("still saved"));
    EXPECT_TRUE(running->save());
}

// A lock nobody held that another start takes between the look and the
// removal stays with that start.
TEST_F(ObjectStoreTest, ALockTakenWhileItIsBeingTakenOverStaysWithItsTaker)
{
    const QString lockPath = path() + QStringLiteral(".lock");
    writeFileBytes(lockPath, "4242\nquillsheet\nhere\n");
    QProcess taker;
    ObjectStore::setMomentProbe([&](ObjectStore::Moment moment) {
        if (moment != ObjectStore::Moment::lockTakeover || taker.state() != QProcess::NotRunning)
            return;
        taker.start(helperPath(), {QStringLiteral("--hold-lock"), path()});
        while (!taker.readAllStandardOutput().contains("holding"))
            ASSERT_TRUE(taker.waitForReadyRead(5000));
    });
    const StoreFileGuard::FileId before = StoreFileGuard::idOf(lockPath);
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
    EXPECT_FALSE(open(&failure));
    ObjectStore::setMomentProbe({});
    EXPECT_EQ(failure, ObjectStore::OpenFailure::locked);
    EXPECT_TRUE(StoreFileGuard::idOf(lockPath) == before);
    taker.kill();
    taker.waitForFinished();
    EXPECT_TRUE(open());
}

// A file put in the store's place right before it acts (the checkpoint at
// closing, one after a save, the rebuild of a deleted store) is neither
// written nor removed, and the saved rows are kept.
TEST_F(ObjectStoreTest, AFileThatComesRightBeforeTheStoreActsIsLeftAlone)
{
    const QString backup = makeBackupStore();
    ASSERT_FALSE(backup.isEmpty());
    const QByteArray backupBytes = fileBytes(backup);
    const auto copyInPlace = [&] {
        QFile file(path());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(backupBytes);
    };
    enum class Window { closing, checkpointAfterSave, rebuild };
    for (const Window window : {Window::closing, Window::checkpointAfterSave, Window::rebuild}) {
        SCOPED_TRACE(int(window));
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            if (name != QLatin1String("backup.store"))
                QFile::remove(dir.filePath(name));
        auto store = open();
        ASSERT_TRUE(store);
        const CanvasPtr canvas = saveCanvasWithRow(*store, QStringLiteral("1"));
        ASSERT_TRUE(canvas);
        int probed = 0;
        switch (window) {
        case Window::closing:
            ObjectStore::setMomentProbe([&](ObjectStore::Moment) { ++probed, copyInPlace(); });
            store.reset();
            break;
        case Window::checkpointAfterSave:
            ObjectStore::setCheckpointFrames(1);
            ObjectStore::setMomentProbe([&](ObjectStore::Moment) { ++probed, copyInPlace(); });
            addRow(canvas, QStringLiteral("2"), 40);
            store->save();
            EXPECT_TRUE(store->isFileLost());
            break;
        case Window::rebuild:
            for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                QFile::remove(path() + suffix);
            ObjectStore::setMomentProbe([&](ObjectStore::Moment moment) {
                if (moment == ObjectStore::Moment::rebuild)
                    ++probed, writeFileBytes(path(), backupBytes);
            });
            addRow(canvas, QStringLiteral("2"), 40);
            EXPECT_FALSE(store->save());
            EXPECT_TRUE(store->saveError().value_or(QString()).contains(QStringLiteral("taken the place")));
            break;
        }
        ObjectStore::setMomentProbe({});
        ObjectStore::setCheckpointFrames(0);
        EXPECT_GE(probed, 1);
        store.reset();
        EXPECT_EQ(fileBytes(path()), backupBytes);
        if (window != Window::rebuild) {
            EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("default.store-wal.set-aside-*")}).size(), 1);
        }
        const QStringList exchange = QDir(dir.path()).entryList({QStringLiteral("*.quillsheet")});
        ASSERT_EQ(exchange.size(), 1);
        const auto rescued = CanvasExport::fromJSON(fileBytes(dir.filePath(exchange.first())));
        ASSERT_TRUE(rescued);
        EXPECT_EQ(rescued->canvases.first().blocks.size(), window == Window::closing ? 1 : 2);
    }
}

// A log left with the note of an earlier version (inodes, size and time) is
// still read into its own file, and still set aside when another file came.
TEST_F(ObjectStoreTest, TheNoteOfAnEarlierVersionStillDecides)
{
    const QString backup = dir.filePath(QStringLiteral("backup.store"));
    { ASSERT_TRUE(ObjectStore::open(backup)); }
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "renamed over" : "its own file");
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            if (name != QLatin1String("backup.store"))
                QFile::remove(dir.filePath(name));
        QProcess process;
        process.start(helperPath(), {path()});
        ASSERT_TRUE(process.waitForStarted());
        QByteArray said;
        while (!said.contains("saved 3") && process.state() == QProcess::Running && process.waitForReadyRead(5000))
            said += process.readAllStandardOutput();
        process.kill();
        process.waitForFinished();
        struct stat main = {}, log = {};
        ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &main), 0);
        ASSERT_EQ(::stat(QFile::encodeName(path() + QStringLiteral("-wal")).constData(), &log), 0);
        writeFileBytes(path() + QStringLiteral("-wal.owner"),
                       QStringLiteral("%1 %2 %3 %4 %5 %6 %7 0\n")
                           .arg(main.st_dev)
                           .arg(main.st_ino)
                           .arg(log.st_dev)
                           .arg(log.st_ino)
                           .arg(main.st_size)
                           .arg(qint64(main.st_mtim.tv_sec) * 1000000000 + main.st_mtim.tv_nsec)
                           .arg(qint64(main.st_ctim.tv_sec) * 1000000000 + main.st_ctim.tv_nsec)
                           .toLatin1());
        if (replaced) {
            ASSERT_TRUE(QFile::copy(backup, dir.filePath(QStringLiteral("placed"))));
            ASSERT_EQ(::rename(QFile::encodeName(dir.filePath(QStringLiteral("placed"))).constData(),
                               QFile::encodeName(path()).constData()),
                      0);
        }
        auto store = open();
        ASSERT_TRUE(store);
        EXPECT_EQ(store->openingNotice().contains(QStringLiteral("moved to")), replaced);
        EXPECT_EQ(store->context().canvasCount(), replaced ? 0 : 1);
        if (!replaced) {
            EXPECT_GE(store->context().canvases().first()->blocks().size(), 3);
        }
    }
}
