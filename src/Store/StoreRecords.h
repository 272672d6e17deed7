#pragma once

#include "Models/ModelContext.h"

#include <QString>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// Small helpers over SQLite shared by the store's parts.
namespace StoreSql {
QString errorText(sqlite3* db);
bool exec(sqlite3* db, const char* sql, QString* message = nullptr);
// Reads one integer answer of a pragma or query; none on error.
std::optional<qint64> queryInteger(sqlite3* db, const char* sql);
// Write-ahead log with full syncs: what makes each save whole on disk.
bool useWriteAheadLog(sqlite3* db, QString* error);
QString columnText(sqlite3_stmt* stmt, int column);
} // namespace StoreSql

// The records in the store's tables: the schema of a new store, reading
// every record, and writing what changed since the last save.
class StoreRecords {
public:
    static constexpr const char* schemaVersion = "1.0.0";
    static constexpr int fileFormatVersion = 1;      // PRAGMA user_version
    static constexpr int applicationId = 0x51534854; // "QSHT", PRAGMA application_id

    // The tables and marks of a new store (with a new identifier), in one transaction.
    static bool createSchema(sqlite3* db, QString* error);
    // Builds every record in context; false with *damaged set when the
    // records themselves are unusable.
    static bool read(sqlite3* db, ModelContext& context, QString* message, bool* damaged);

    StoreRecords() = default;
    StoreRecords(const StoreRecords&) = delete;
    StoreRecords& operator=(const StoreRecords&) = delete;
    ~StoreRecords() { finalize(); }

    // The statements of writing, for one connection.
    bool prepare(sqlite3* db);
    void finalize();
    bool isPrepared() const { return m_upsertCanvas != nullptr; }
    // One transaction: all of the changes or none.
    bool write(sqlite3* db, const ModelContext::Changes& changes, QString* message);

private:
    sqlite3_stmt* m_upsertCanvas = nullptr;
    sqlite3_stmt* m_upsertBlock = nullptr;
    sqlite3_stmt* m_upsertLink = nullptr;
    sqlite3_stmt* m_deleteCanvas = nullptr;
    sqlite3_stmt* m_deleteBlock = nullptr;
    sqlite3_stmt* m_deleteLink = nullptr;
};
