#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Store/ObjectStore.h"
#include "Platform/CloudService.h"
#include "Platform/Defaults.h"
#include "Platform/NotificationCenter.h"
#include "Platform/StoreStartup.h"
#include "Platform/UpdateController.h"
#include "support/FullFileSystem.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class MigrationTest : public ::testing::Test {
protected:
    QString data() const { return m_root.filePath(QStringLiteral("data/Quillsheet")); }
    QString home() const { return m_root.filePath(QStringLiteral("home")); }
    QString oldFile(const QString& suffix = {}) const
    {
        return QDir(formerStoreFolder(home())).filePath(QStringLiteral("default.store") + suffix);
    }
    QString newFile(const QString& suffix = {}) const
    {
        return QDir(data()).filePath(QStringLiteral("default.store") + suffix);
    }
    QStringList dataFiles() const
    {
        return QDir(data()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // A real (empty) store: only a file that opens as one is copied.
    static QByteArray storeBytes()
    {
        QTemporaryDir scratch;
        const QString file = scratch.filePath(QStringLiteral("default.store"));
        ObjectStore::open(file).reset();
        return fileBytes(file);
    }

    QTemporaryDir m_root;
    const QByteArray main = storeBytes();
};

} // namespace

TEST_F(MigrationTest, FormerFolderLiesUnderTheHomeFolder)
{
    EXPECT_EQ(formerStoreFolder(QStringLiteral("/home/ann")),
              QStringLiteral("/home/ann/Library/Containers/com.tarnwickhaus.Quillsheet/Data/Library/Application Support"));
}

TEST_F(MigrationTest, NothingToCopyLeavesTheDataFolderEmpty)
{
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::notNeeded);
    EXPECT_TRUE(QFileInfo(data()).isDir());
    EXPECT_TRUE(dataFiles().isEmpty());

    // Companions without their main file are not a store.
    writeFileBytes(oldFile(QStringLiteral("-wal")), "wal");
    writeFileBytes(oldFile(QStringLiteral("-shm")), "shm");
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::notNeeded);
    EXPECT_TRUE(dataFiles().isEmpty());
}

TEST_F(MigrationTest, CopiesTheStoreWithWhateverCompanionsExist)
{
    writeFileBytes(oldFile(), main);
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::copied);
    EXPECT_EQ(dataFiles(), QStringList{QStringLiteral("default.store")});
    EXPECT_EQ(fileBytes(newFile()), main);
    EXPECT_EQ(fileBytes(oldFile()), main); // the old files stay

    QDir(data()).removeRecursively();
    writeFileBytes(oldFile(QStringLiteral("-wal")), "wal");
    writeFileBytes(oldFile(QStringLiteral("-shm")), "shm");
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::copied);
    EXPECT_EQ(dataFiles().size(), 3);
    EXPECT_EQ(fileBytes(newFile()), main);
    EXPECT_EQ(fileBytes(newFile(QStringLiteral("-wal"))), "wal");
    EXPECT_EQ(fileBytes(newFile(QStringLiteral("-shm"))), "shm");
}

TEST_F(MigrationTest, AStoreInTheDataFolderIsNeverReplaced)
{
    writeFileBytes(oldFile(), "old");
    writeFileBytes(newFile(), "current");
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::notNeeded);
    EXPECT_EQ(fileBytes(newFile()), "current");
    EXPECT_EQ(dataFiles(), QStringList{QStringLiteral("default.store")});
}

TEST_F(MigrationTest, AFailedCopyLeavesNothingBehindAndIsTriedAgain)
{
    writeFileBytes(oldFile(), main);
    writeFileBytes(oldFile(QStringLiteral("-shm")), "shm");
    // A "-wal" that cannot be copied: the main file alone would lose its newest changes.
    ASSERT_TRUE(QDir().mkpath(oldFile(QStringLiteral("-wal"))));
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::failed);
    EXPECT_TRUE(dataFiles().isEmpty()) << dataFiles().join(u',').toStdString();

    QDir().rmdir(oldFile(QStringLiteral("-wal")));
    writeFileBytes(oldFile(QStringLiteral("-wal")), "wal");
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::copied);
    EXPECT_EQ(fileBytes(newFile(QStringLiteral("-wal"))), "wal");
}

TEST_F(MigrationTest, ACompanionLeftWithoutItsMainFileIsReplaced)
{
    writeFileBytes(oldFile(), main);
    writeFileBytes(oldFile(QStringLiteral("-wal")), "wal");
    writeFileBytes(newFile(QStringLiteral("-wal")), "stale");
    EXPECT_EQ(migrateStoreFromSandboxIfNeeded(data(), home()), StoreMigration::copied);
    EXPECT_EQ(fileBytes(newFile(QStringLiteral("-wal"))), "wal");
}

namespace {

// A cloud that answers as told and counts what it was asked.
struct CloudDouble {
    bool entitled = true;
    bool mirrorWorks = true;
    int entitlementQueries = 0;
    int mirrorAttempts = 0;
    CloudService service{CloudService::Backend{
        [this] {
            ++entitlementQueries;
            return entitled;
        },
        [] { return CloudService::AccountStatus::available; },
        [this](ObjectStore&, QString* error) {
            ++mirrorAttempts;
            if (!mirrorWorks)
                *error = QStringLiteral("account not available");
            return mirrorWorks;
        },
        {}}};
};

class StoreOpeningTest : public ::testing::Test {
protected:
    StoreOpening open()
    {
        return open(path());
    }
    StoreOpening open(const QString& at)
    {
        return openApplicationStore(at, home(), defaults, cloud.service,
                                    [this](const QString& line, bool isError) { (isError ? err : out) << line; });
    }
    QString home() const { return m_dir.filePath(QStringLiteral("home")); }
    QString path() const { return m_dir.filePath(QStringLiteral("default.store")); }
    std::optional<bool> initFailed() const { return defaults.boolValue(QStringLiteral("cloudKitInitFailed")); }

    QTemporaryDir m_dir;
    Defaults defaults{m_dir.filePath(QStringLiteral("prefs.conf"))};
    CloudDouble cloud;
    QStringList out;
    QStringList err;
};

} // namespace

TEST_F(StoreOpeningTest, MirrorsWhenWantedAndEntitled)
{
    StoreOpening opening = open();
    ASSERT_EQ(opening.outcome, StoreOpening::Outcome::opened);
    ASSERT_TRUE(opening.store);
    EXPECT_TRUE(opening.mirrored);
    EXPECT_EQ(cloud.mirrorAttempts, 1);
    EXPECT_EQ(initFailed(), false);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(path()));
}

TEST_F(StoreOpeningTest, StaysLocalWithoutTheWishOrTheEntitlement)
{
    defaults.setValue(QStringLiteral("iCloudSyncEnabled"), false);
    StoreOpening opening = open();
    EXPECT_EQ(opening.outcome, StoreOpening::Outcome::opened);
    EXPECT_FALSE(opening.mirrored);
    EXPECT_EQ(cloud.entitlementQueries, 0); // only asked when the user wants mirroring
    EXPECT_EQ(initFailed(), false);
    opening.store.reset();

    defaults.setValue(QStringLiteral("iCloudSyncEnabled"), true);
    cloud.entitled = false;
    opening = open();
    EXPECT_EQ(opening.outcome, StoreOpening::Outcome::opened);
    EXPECT_FALSE(opening.mirrored);
    EXPECT_EQ(cloud.mirrorAttempts, 0);
    EXPECT_EQ(initFailed(), false);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.isEmpty());
}

TEST_F(StoreOpeningTest, AnUnreadableWishCountsAsOn)
{
    defaults.setValue(QStringLiteral("iCloudSyncEnabled"), QStringLiteral("sometimes"));
    EXPECT_TRUE(open().mirrored);
}

TEST_F(StoreOpeningTest, AFailedMirrorFallsBackToALocalStore)
{
    cloud.mirrorWorks = false;
    StoreOpening opening = open();
    ASSERT_EQ(opening.outcome, StoreOpening::Outcome::opened);
    EXPECT_FALSE(opening.mirrored);
    EXPECT_EQ(out, QStringList{QStringLiteral("Failed to create CloudKit container: account not available")});
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(initFailed(), true);

    // The local store works.
    opening.store->context().insert(Canvas::create(QStringLiteral("kept"), 0, 0, 1));
    EXPECT_TRUE(opening.store->save());
}

TEST_F(StoreOpeningTest, AStoreThatCannotBeOpenedIsReportedAndLeftAlone)
{
    const QByteArray foreign = QByteArray("not a store, but someone's notes\n").repeated(200);
    writeFileBytes(path(), foreign);
    StoreOpening opening = open();
    EXPECT_EQ(opening.outcome, StoreOpening::Outcome::failed);
    EXPECT_FALSE(opening.store);
    EXPECT_TRUE(out.isEmpty()) << "a mirror changes nothing for the file";
    ASSERT_EQ(err.size(), 1);
    EXPECT_TRUE(err.first().startsWith(QStringLiteral("Could not create ModelContainer: ")));
    EXPECT_GT(err.first().size(), StartupText::storeFailed.size());
    EXPECT_EQ(initFailed(), true);
    EXPECT_EQ(fileBytes(path()), foreign);
    EXPECT_FALSE(QFileInfo::exists(path() + QStringLiteral("-wal")));
    // The dialog speaks of the file it left; for a folder it cannot write, of nothing changed.
    EXPECT_TRUE(StartupText::cannotOpen(path(), opening.failure, opening.error).contains(QStringLiteral("The file was left")));
    EXPECT_FALSE(StartupText::cannotOpen(path(), ObjectStore::OpenFailure::notWritable, QStringLiteral("Permission denied"))
                     .contains(QStringLiteral("The file was left")));
    // The advice follows the reason, not words in the error: a full disk has
    // its own, a file whose error merely mentions space gets the way out.
    EXPECT_TRUE(StartupText::wayOut(path(), ObjectStore::OpenFailure::diskFull, QStringLiteral("disk full")).isEmpty());
    EXPECT_FALSE(StartupText::wayOut(path(), ObjectStore::OpenFailure::notAStore, QStringLiteral("Free some space"))
                     .isEmpty());
}

// The old store is copied while this start holds the lock, and a copy that
// fails leaves no store to stand in the way of the next start.
TEST_F(StoreOpeningTest, AnOldStoreThatDidNotFitIsCopiedOnceThereIsRoom)
{
    const FullFileSystem disk(256);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    {
        ASSERT_TRUE(QDir().mkpath(formerStoreFolder(home())));
        auto old = ObjectStore::open(QDir(formerStoreFolder(home())).filePath(QStringLiteral("default.store")));
        ASSERT_TRUE(old);
        // About 100 KB: more than the room left below.
        old->context().insert(Canvas::create(QString(100000, u'x'), 0, 0, 1));
    }
    ASSERT_TRUE(disk.place(QStringLiteral("ballast"), QByteArray(180 * 1024, '\0')));
    const QString store = disk.filePath(QStringLiteral("default.store"));

    StoreOpening first = open(store);
    EXPECT_EQ(first.outcome, StoreOpening::Outcome::failed);
    EXPECT_EQ(first.migration, StoreMigration::failed);
    EXPECT_FALSE(first.store);
    ASSERT_EQ(err.size(), 1);
    EXPECT_TRUE(err.first().startsWith(StartupText::copyFailed)) << err.first().toStdString();
    EXPECT_TRUE(err.first().endsWith(QStringLiteral("No space left on device"))) << err.first().toStdString();
    EXPECT_EQ(disk.files(), QStringList{QStringLiteral("ballast")});

    // Another start holds the lock: it is left to copy alone.
    {
        const auto other = ObjectStore::lock(store);
        ASSERT_TRUE(other);
        QFile::remove(disk.filePath(QStringLiteral("ballast")));
        EXPECT_EQ(open(store).outcome, StoreOpening::Outcome::alreadyRunning);
        EXPECT_EQ(disk.files(), QStringList{QStringLiteral("default.store.lock")});
    }

    StoreOpening later = open(store);
    ASSERT_EQ(later.outcome, StoreOpening::Outcome::opened);
    EXPECT_EQ(later.migration, StoreMigration::copied);
    ASSERT_EQ(later.store->context().canvasCount(), 1);
    EXPECT_EQ(later.store->context().canvases().first()->name().size(), 100000);
    EXPECT_EQ(err.size(), 1);
}

// A store that could never be saved is refused at start, as a read-only folder is.
TEST_F(StoreOpeningTest, AStoreFileThatCannotBeWrittenIsRefusedAndLeftAlone)
{
    {
        StoreOpening first = open();
        ASSERT_TRUE(first.store);
        first.store->context().insert(Canvas::create(QStringLiteral("Kept"), 0, 0, 1));
    }
    const QByteArray before = fileBytes(path());
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    err.clear();
    {
        const ReadOnlyFile readOnly(path());
        if (!readOnly.isReadOnly())
            GTEST_SKIP() << readOnly.skipReason().toStdString();
        const StoreOpening opening = open();
        EXPECT_EQ(opening.outcome, StoreOpening::Outcome::failed);
        EXPECT_FALSE(opening.store);
        ASSERT_EQ(err.size(), 1);
        EXPECT_TRUE(err.first().contains(QStringLiteral("“%1” cannot be written (").arg(QDir::toNativeSeparators(path()))))
            << err.first().toStdString();
    }
    EXPECT_EQ(fileBytes(path()), before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), files);
}

// The folder deleted while the program runs: the next save writes every
// canvas into a new store at the same place, says so once, and goes on there.
TEST_F(StoreOpeningTest, AStoreWhoseFolderIsDeletedIsWrittenAnewWithEverything)
{
    const QString at = m_dir.filePath(QStringLiteral("data/Quillsheet/default.store"));
    StoreOpening opening = open(at);
    ASSERT_TRUE(opening.store);
    ObjectStore& store = *opening.store;
    QSignalSpy notices(&store, &ObjectStore::storeMended);
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Budget"), 0, 0, 1);
    store.context().insert(canvas);
    const auto type = [&](int row) {
        BlockPtr block = CalculationBlock::create(BlockType::calculation, QString::number(row), QString(), QString(),
                                                  0, row * 40, 200, 40, QStringLiteral("#00D4FF"));
        block->setCanvas(canvas);
        canvas->appendBlock(block);
        return store.save();
    };
    ASSERT_TRUE(type(1) && type(2));

    ASSERT_TRUE(QDir(m_dir.filePath(QStringLiteral("data"))).removeRecursively());
    EXPECT_TRUE(type(3));
    EXPECT_TRUE(type(4));
    ASSERT_EQ(notices.count(), 1);
    EXPECT_TRUE(notices.first().first().toString().contains(QDir::toNativeSeparators(at)));
    EXPECT_FALSE(store.saveError());
    EXPECT_EQ(open(at).outcome, StoreOpening::Outcome::alreadyRunning) << "still the one writer there";

    opening.store.reset();
    const auto back = ObjectStore::open(at);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->context().canvasCount(), 1);
    QStringList rows;
    for (const BlockPtr& block : back->context().canvases().first()->blocks())
        rows << block->expression();
    EXPECT_EQ(rows, (QStringList{"1", "2", "3", "4"}));
}

namespace {

// A store of ours whose records cannot be loaded (a key that cannot be
// continued), kept in the given journal mode; its main file's bytes.
QByteArray damagedStore(const char* journalMode)
{
    QTemporaryDir scratch;
    const QString file = scratch.filePath(QStringLiteral("default.store"));
    {
        auto store = ObjectStore::open(file);
        if (!store)
            return {};
        store->context().insert(Canvas::create(QStringLiteral("C"), 0, 0, 1));
    }
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(file).constData(), &db);
    const QByteArray sql =
        QByteArray("PRAGMA journal_mode=") + journalMode + ";UPDATE canvas SET pk=9223372036854775807;";
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_OK ? fileBytes(file) : QByteArray();
}

} // namespace

// Only a missing or empty file becomes a new store; anything else that is
// not a store, or a store that cannot be loaded, stays as it was, however short.
TEST_F(StoreOpeningTest, ANonEmptyFileThatIsNotAStoreIsNeverReplaced)
{
    const struct {
        const char* name;
        QByteArray bytes;
        StoreOpening::Outcome outcome;
    } cases[] = {
        {"missing", QByteArray(), StoreOpening::Outcome::opened},
        {"zero bytes", QByteArray(), StoreOpening::Outcome::opened},
        {"one byte", QByteArray("\n"), StoreOpening::Outcome::failed},
        {"a page of zeros", QByteArray(4096, '\0'), StoreOpening::Outcome::failed},
        {"a damaged store with a rollback journal", damagedStore("DELETE"), StoreOpening::Outcome::failed},
        {"a damaged store with a write-ahead log", damagedStore("WAL"), StoreOpening::Outcome::failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path() + suffix);
        if (QByteArray(c.name) != "missing")
            writeFileBytes(path(), c.bytes);
        const auto storeFiles = [&] {
            return QDir(m_dir.path()).entryList({QStringLiteral("default.store*")}, QDir::Files | QDir::Hidden);
        };
        const QStringList files = storeFiles();
        StoreOpening opening = open();
        EXPECT_EQ(opening.outcome, c.outcome);
        if (c.outcome == StoreOpening::Outcome::opened) {
            ASSERT_TRUE(opening.store);
            opening.store.reset();
            EXPECT_GT(QFileInfo(path()).size(), 0);
        } else {
            EXPECT_FALSE(opening.store);
            EXPECT_EQ(fileBytes(path()), c.bytes);
            EXPECT_EQ(storeFiles(), files);
        }
    }
}

// An old store that cannot be opened as one is not copied: it stays as it
// was, the start goes on with a new store and says so once.
TEST_F(StoreOpeningTest, AnOldStoreThatIsNotAStoreIsLeftWhereItLies)
{
    const QDir old(formerStoreFolder(home()));
    ASSERT_TRUE(old.mkpath(QStringLiteral(".")));
    const QByteArray damaged = damagedStore("WAL");
    ASSERT_FALSE(damaged.isEmpty());
    writeFileBytes(old.filePath(QStringLiteral("default.store")), damaged);
    StoreOpening opening = open();
    ASSERT_EQ(opening.outcome, StoreOpening::Outcome::opened);
    EXPECT_EQ(opening.migration, StoreMigration::leftAsItWas);
    EXPECT_EQ(opening.store->context().canvasCount(), 0);
    EXPECT_TRUE(opening.notice.contains(QDir::toNativeSeparators(old.filePath(QStringLiteral("default.store")))));
    EXPECT_TRUE(opening.notice.contains(QStringLiteral("left as it was")));
    EXPECT_EQ(fileBytes(old.filePath(QStringLiteral("default.store"))), damaged);
    EXPECT_EQ(old.entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("default.store")});
    EXPECT_TRUE(err.isEmpty());
    opening.store.reset();
    EXPECT_TRUE(open().notice.isEmpty()) << "said once";
}

TEST_F(StoreOpeningTest, ASecondInstanceLeavesStoreAndPreferencesAlone)
{
    StoreOpening first = open();
    ASSERT_EQ(first.outcome, StoreOpening::Outcome::opened);
    defaults.remove(QStringLiteral("cloudKitInitFailed"));

    StoreOpening second = open();
    EXPECT_EQ(second.outcome, StoreOpening::Outcome::alreadyRunning);
    EXPECT_FALSE(second.store);
    EXPECT_FALSE(initFailed().has_value());
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.isEmpty());
}

// A folder at the lock's name is no running Quillsheet: the start goes on,
// and what was moved where is said to the user.
TEST_F(StoreOpeningTest, AFolderAtTheLocksNameIsMovedAsideAndSaid)
{
    ASSERT_TRUE(QDir().mkpath(path() + QStringLiteral(".lock/inside")));
    StoreOpening first = open();
    ASSERT_EQ(first.outcome, StoreOpening::Outcome::opened) << first.error.toStdString();
    const QStringList asides = QDir(m_dir.path()).entryList({QStringLiteral("default.store.lock.set-aside-*")},
                                                            QDir::Dirs);
    ASSERT_EQ(asides.size(), 1);
    EXPECT_TRUE(QFileInfo(m_dir.filePath(asides.first() + QStringLiteral("/inside"))).isDir());
    EXPECT_TRUE(first.notice.contains(QDir::toNativeSeparators(m_dir.filePath(asides.first()))))
        << first.notice.toStdString();
    EXPECT_TRUE(first.notice.contains(QDir::toNativeSeparators(path() + QStringLiteral(".lock"))));
    EXPECT_TRUE(err.isEmpty());

    StoreOpening second = open();
    EXPECT_EQ(second.outcome, StoreOpening::Outcome::alreadyRunning);
}

// A lock that cannot be taken for any reason but another's hold (a disk
// without locks) is said as such, never as a running Quillsheet: whichever
// lock of the start fails, with or without a lock file a crash left.
TEST_F(StoreOpeningTest, ALockThatFailsIsNeverTakenForARunningQuillsheet)
{
    for (const bool leftByACrash : {false, true}) {
        for (int failing = 1;; ++failing) {
            SCOPED_TRACE(std::string(leftByACrash ? "a lock left by a crash, " : "") + "lock call "
                         + std::to_string(failing) + " fails");
            const QString folder = m_dir.filePath(QStringLiteral("%1-%2").arg(leftByACrash).arg(failing));
            ASSERT_TRUE(QDir().mkpath(folder));
            const QString at = QDir(folder).filePath(QStringLiteral("default.store"));
            if (leftByACrash)
                writeFileBytes(at + QStringLiteral(".lock"), "4242\nquillsheet\nhere\n");
            int calls = 0;
            StoreFileGuard::setLockCallForTests([&](int descriptor, int operation) {
                if (++calls != failing)
                    return ::flock(descriptor, operation);
                errno = ENOLCK;
                return -1;
            });
            out.clear();
            err.clear();
            StoreOpening opening = open(at);
            StoreFileGuard::setLockCallForTests({});
            if (calls < failing) {
                // Every lock of a start has failed once.
                EXPECT_EQ(opening.outcome, StoreOpening::Outcome::opened);
                EXPECT_GE(failing, leftByACrash ? 5 : 3);
                break;
            }
            EXPECT_EQ(opening.outcome, StoreOpening::Outcome::failed);
            EXPECT_EQ(opening.failure, ObjectStore::OpenFailure::lockUnusable);
            const QString said = err.join(u'\n');
            EXPECT_TRUE(said.contains(QLatin1String("(No locks available)"))) << said.toStdString();
            EXPECT_TRUE(said.contains(QLatin1String("keep the data folder on a disk that allows file locks")));
            EXPECT_FALSE(said.contains(QLatin1String("in use by another running Quillsheet")));
        }
    }
}

// As an ordinary user (the suite runs as root, who may write anywhere): a
// data folder that cannot be written is said as such, with the way out.
TEST_F(StoreOpeningTest, AnUnwritableDataFolderIsSaidWithTheWayOut)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() == 0 && !nobody)
        GTEST_SKIP() << "no unprivileged user to run as";
    const uid_t uid = nobody ? nobody->pw_uid : 0;
    const gid_t gid = nobody ? nobody->pw_gid : 0;
    const QString folder = m_dir.filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    int said[2];
    ASSERT_EQ(::pipe(said), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(said[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(3);
        QStringList lines;
        const StoreOpening opening = openApplicationStore(
            QDir(folder).filePath(QStringLiteral("default.store")), QString(), defaults, cloud.service,
            [&lines](const QString& line, bool isError) {
                if (isError)
                    lines << line;
            });
        const QByteArray text = lines.join(u'\n').toUtf8();
        const bool whole = ::write(said[1], text.constData(), size_t(text.size())) == text.size();
        ::_exit(whole && opening.outcome == StoreOpening::Outcome::failed
                        && opening.failure == ObjectStore::OpenFailure::notWritable
                    ? 0
                    : 1);
    }
    ::close(said[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t read; (read = ::read(said[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, qsizetype(read));
    ::close(said[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << text.toStdString();
    EXPECT_TRUE(text.contains("cannot be written (Permission denied)")) << text.toStdString();
    EXPECT_TRUE(text.contains("Make the folder or file named above writable, then start Quillsheet again."));
    EXPECT_TRUE(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
}

TEST(CloudServiceTest, TheStandardServiceOffersNoCloud)
{
    EXPECT_FALSE(quillsheetHasICloudEntitlement());
    EXPECT_NE(CloudService::shared().accountStatus(), CloudService::AccountStatus::available);
    QTemporaryDir dir;
    auto store = ObjectStore::open(dir.filePath(QStringLiteral("s.store")));
    ASSERT_TRUE(store);
    QString error;
    EXPECT_FALSE(CloudService::shared().attachMirror(*store, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(UpdateControllerTest, StartsOnceAndAnswersTheUpdateCommandWithThePackageManager)
{
    int starts = 0;
    UpdateController counted(UpdateController::Backend{[&] { ++starts; }, {}});
    EXPECT_FALSE(counted.isStarted());
    counted.start();
    counted.start();
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(counted.isStarted());

    UpdateController standard;
    QSignalSpy messages(&standard, &UpdateController::messageRequested);
    standard.checkForUpdates();
    ASSERT_EQ(messages.count(), 1);
    const QString text = messages.first().first().toString();
    EXPECT_TRUE(text.contains(QStringLiteral(QUILLSHEET_VERSION)));
    EXPECT_TRUE(text.contains(QStringLiteral("package manager")));
}

TEST(UpdateControllerTest, StartsAfterTheDelayOrAtOnceWhenTheContentGoesAway)
{
    UpdateController controller(UpdateController::Backend{[] {}, {}});
    UpdaterStartTask task(controller);
    task.contentGone(); // never shown: nothing to cut short
    EXPECT_FALSE(controller.isStarted());

    task.contentShown();
    EXPECT_TRUE(task.isWaiting());
    EXPECT_EQ(task.delay(), 3000);
    EXPECT_FALSE(controller.isStarted());
    task.contentGone();
    EXPECT_FALSE(task.isWaiting());
    EXPECT_TRUE(controller.isStarted());
}

TEST(NotificationCenterTest, PostsTheNameToEveryObserver)
{
    QStringList seen;
    QObject observer;
    QObject::connect(&NotificationCenter::defaultCenter(), &NotificationCenter::posted, &observer,
                     [&](const QString& name) { seen << name; });
    NotificationCenter::defaultCenter().post(CommandNotification::showFeedbackSheet);
    EXPECT_EQ(seen, QStringList{QStringLiteral("showFeedbackSheet")});
    EXPECT_EQ(CommandNotification::exportCanvasesRequested, QStringLiteral("exportCanvasesRequested"));
}
