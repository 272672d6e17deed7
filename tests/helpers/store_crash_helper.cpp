// Edits a store turn after turn until it is killed. After each turn's save it
// prints "saved N", so the test knows which turns must survive a SIGKILL.
// Each turn renames the canvas to "turn N" and adds row N: a reopened store
// is consistent exactly when the name matches the number of rows.
// With a number after the store, the log is folded into the file every that
// many frames, so that kills land in checkpoints too.
// "--read STORE" instead reads every table as another program would, and ends.
// "--count STORE" prints how many rows a copy of the store and its log holds,
// as a start after a crash at that moment would find them.
// "--lock STORE [UID]" takes the store's lock as a start would (as that user,
// when run by root), prints "locked" or why not, and ends.
// "--make-lock STORE MS" makes the lock file empty, as a start does right
// before it locks it, prints "made", locks it MS milliseconds later and
// holds it until killed.
// "--hold-lock STORE" locks the lock file that is there, prints "holding"
// and holds it until killed, as a start taking it over would.
// "--skip-check before|while STORE" opens the store as a start would with
// one of the two looks at the store file left out, and ends.

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Store/ObjectStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: store_crash_helper STORE\n");
        return 2;
    }
    if (argc == 3 && QByteArray(argv[1]) == "--read") {
        sqlite3* db = nullptr;
        const bool read = sqlite3_open(argv[2], &db) == SQLITE_OK
            && sqlite3_exec(db, "SELECT count(*) FROM canvas; SELECT count(*) FROM block; SELECT count(*) FROM link",
                            nullptr, nullptr, nullptr)
                == SQLITE_OK;
        sqlite3_close(db);
        return read ? 0 : 1;
    }
    if (argc == 3 && QByteArray(argv[1]) == "--count") {
        QTemporaryDir copy;
        const QString store = QString::fromLocal8Bit(argv[2]);
        const QString copied = copy.filePath(QStringLiteral("copy.store"));
        QFile::copy(store, copied);
        QFile::copy(store + QStringLiteral("-wal"), copied + QStringLiteral("-wal"));
        sqlite3* db = nullptr;
        sqlite3_stmt* count = nullptr;
        int rows = -1;
        if (sqlite3_open(QFile::encodeName(copied).constData(), &db) == SQLITE_OK
            && sqlite3_prepare_v2(db, "SELECT count(*) FROM block", -1, &count, nullptr) == SQLITE_OK
            && sqlite3_step(count) == SQLITE_ROW)
            rows = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
        sqlite3_close(db);
        std::printf("%d\n", rows);
        return 0;
    }
    if (argc >= 3 && QByteArray(argv[1]) == "--lock") {
        if (argc == 4 && ::getuid() == 0) {
            const uid_t uid = uid_t(QByteArray(argv[3]).toUInt());
            if (::setgid(uid) != 0 || ::setuid(uid) != 0)
                return 2;
        }
        QString error;
        ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
        const auto lock = ObjectStore::lock(QString::fromLocal8Bit(argv[2]), &error, &failure);
        std::printf("%s\n", lock ? "locked" : qPrintable(error));
        return lock ? 0 : 1;
    }
    if (argc == 4 && QByteArray(argv[1]) == "--make-lock") {
        const QByteArray lockPath = QByteArray(argv[2]) + ".lock";
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return 1;
        std::printf("made\n");
        std::fflush(stdout);
        ::usleep(useconds_t(QByteArray(argv[3]).toInt()) * 1000);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return 1;
        const QByteArray text = QByteArray::number(qint64(::getpid())) + "\nstore_crash_helper\n\n";
        if (::write(fd, text.constData(), size_t(text.size())) != text.size())
            return 1;
        std::printf("holding\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    if (argc == 3 && QByteArray(argv[1]) == "--hold-lock") {
        const QByteArray lockPath = QByteArray(argv[2]) + ".lock";
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return 1;
        std::printf("holding\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    if (argc == 4 && QByteArray(argv[1]) == "--skip-check") {
        ObjectStore::skipStoreFileCheck(QByteArray(argv[2]) == "before" ? ObjectStore::StoreFileCheck::beforeOpening
                                                                        : ObjectStore::StoreFileCheck::whileOpening);
        QString error;
        const auto store = ObjectStore::open(QString::fromLocal8Bit(argv[3]), &error);
        std::fprintf(stderr, "%s\n", store ? "opened" : qPrintable(error));
        return store ? 0 : 1;
    }
    if (argc >= 3)
        ObjectStore::setCheckpointFrames(QByteArray(argv[2]).toInt());
    QString error;
    auto store = ObjectStore::open(QString::fromLocal8Bit(argv[1]), &error);
    if (!store) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const CanvasPtr canvas = Canvas::create(QStringLiteral("turn 0"), 0, 0, 1);
    store->context().insert(canvas);

    int turn = 0;
    // Connected after the store's own handler, so it runs once the turn is saved.
    QObject::connect(&store->context(), &ModelContext::turnEnded, &app, [&] {
        if (!store->context().hasChanges()) {
            std::printf("saved %d\n", turn);
            std::fflush(stdout);
        }
    });
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        ++turn;
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, QString::number(turn), QString(),
                                                      QStringLiteral("row %1").arg(turn), 20, turn * 40.0, 200, 40,
                                                      QStringLiteral("#00D4FF"));
        row->setCanvas(canvas);
        canvas->appendBlock(row);
        canvas->setName(QStringLiteral("turn %1").arg(turn));
        canvas->touch();
    });
    timer.start(1);
    return app.exec();
}
