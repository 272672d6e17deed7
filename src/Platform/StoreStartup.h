#pragma once

#include "Store/ObjectStore.h"

#include <QString>
#include <functional>
#include <memory>

class CloudService;
class Defaults;

// Where the store lay while the program ran sandboxed, under a home folder.
QString formerStoreFolder(const QString& homeFolder);

// leftAsItWas: the old store cannot be opened as a store; it is not copied.
enum class StoreMigration { notNeeded, copied, failed, leftAsItWas };

// Copies an old store ("default.store" with its "-wal" and "-shm") from the
// former folder into dataFolder when dataFolder has none yet. All or
// nothing: the files are copied under temporary names and take their places
// only when every one is there, so a failed copy leaves nothing behind and
// the next start tries again (why says what failed). The old files are
// never changed, and one that cannot be opened as a store is not copied.
StoreMigration migrateStoreFromSandboxIfNeeded(const QString& dataFolder, const QString& homeFolder,
                                               QString* why = nullptr);

// Opening the store at start-up: first with mirroring when the user wants it
// and the program may, then once more without it.
struct StoreOpening {
    enum class Outcome { opened, alreadyRunning, failed };
    Outcome outcome = Outcome::failed;
    std::unique_ptr<ObjectStore> store;
    bool mirrored = false;
    StoreMigration migration = StoreMigration::notNeeded;
    QString error; // the last failure's description
    ObjectStore::OpenFailure failure = ObjectStore::OpenFailure::none;
    // What the user should know though the store opened (an old store left
    // where it was, a log set aside, what stood at the lock's name moved
    // aside); empty when nothing.
    QString notice;
};

// Lines for the terminal: (text, true when it belongs on standard error).
using StartupPrinter = std::function<void(const QString& line, bool isError)>;

// Takes the store's lock first and holds it while an old store under
// homeFolder is copied (none when homeFolder is empty), so that a second
// start never races the copy. A failed copy ends start-up without a store.
StoreOpening openApplicationStore(const QString& path, const QString& homeFolder, Defaults& defaults,
                                  CloudService& cloud, const StartupPrinter& print);

// Texts of start-up.
namespace StartupText {
inline const QString cloudFailed = QStringLiteral("Failed to create CloudKit container: ");
inline const QString storeFailed = QStringLiteral("Could not create ModelContainer: ");
inline const QString copyFailed = QStringLiteral("Could not copy the old store: ");
QString alreadyRunning();
// Why the store cannot be opened and what to do about it.
QString wayOut(const QString& path, ObjectStore::OpenFailure failure, const QString& error);
QString cannotOpen(const QString& path, ObjectStore::OpenFailure failure, const QString& error);
QString oldStoreLeft(const QString& oldStore, const QString& why);
}
