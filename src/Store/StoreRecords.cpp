#include "Store/StoreRecords.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace StoreSql {

QString errorText(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

bool exec(sqlite3* db, const char* sql, QString* message)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK)
        return true;
    if (message)
        *message = error ? QString::fromUtf8(error) : errorText(db);
    sqlite3_free(error);
    return false;
}

// Reads one integer answer of a pragma or query; none on error.
std::optional<qint64> queryInteger(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        return std::nullopt;
    std::optional<qint64> value;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

// Write-ahead log with full syncs: what makes each save whole on disk.
bool useWriteAheadLog(sqlite3* db, QString* error)
{
    if (!exec(db, "PRAGMA query_only=0", error))
        return false;
    sqlite3_stmt* mode = nullptr;
    QString journalMode;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &mode, nullptr) == SQLITE_OK
        && sqlite3_step(mode) == SQLITE_ROW)
        journalMode = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(mode, 0)));
    sqlite3_finalize(mode);
    if (journalMode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        *error = journalMode.isEmpty() ? errorText(db) : QStringLiteral("no write-ahead log");
        return false;
    }
    return exec(db, "PRAGMA synchronous=FULL", error);
}

QString columnText(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char16_t*>(sqlite3_column_text16(stmt, column));
    if (!text)
        return QString();
    return QString::fromUtf16(text, sqlite3_column_bytes16(stmt, column) / 2);
}

} // namespace StoreSql

using namespace StoreSql;

namespace {

const char* const schemaSql = R"SQL(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE canvas(
  pk INTEGER PRIMARY KEY, id TEXT NOT NULL, name TEXT NOT NULL,
  created_at INTEGER, modified_at INTEGER, title_color_hex TEXT,
  viewport_offset_x REAL, viewport_offset_y REAL, viewport_scale REAL);
CREATE TABLE block(
  pk INTEGER PRIMARY KEY, id TEXT NOT NULL, block_type TEXT NOT NULL, label TEXT NOT NULL,
  text_content TEXT NOT NULL, part_labels TEXT NOT NULL, part_colors TEXT NOT NULL,
  expression TEXT NOT NULL, result REAL, has_error INTEGER NOT NULL, error_message TEXT,
  position_x REAL, position_y REAL, width REAL, height REAL, color_hex TEXT NOT NULL,
  is_selected INTEGER NOT NULL, is_editing INTEGER NOT NULL, is_label_editing INTEGER NOT NULL,
  canvas_pk INTEGER, canvas_order INTEGER);
CREATE TABLE link(
  pk INTEGER PRIMARY KEY, id TEXT NOT NULL,
  source_pk INTEGER, source_order INTEGER, destination_pk INTEGER, destination_order INTEGER,
  placeholder_name TEXT NOT NULL, canvas_pk INTEGER, canvas_order INTEGER, color_hex TEXT NOT NULL);
)SQL";

std::optional<QString> columnOptionalText(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nullopt;
    return columnText(stmt, column);
}

// SQLite stores NaN as NULL; read it back as NaN so the value survives.
double columnDouble(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nan("");
    return sqlite3_column_double(stmt, column);
}

QDateTime columnDate(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(stmt, column), Qt::UTC);
}

void bindText(sqlite3_stmt* stmt, int index, const QString& text)
{
    sqlite3_bind_text16(stmt, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
}

void bindOptionalText(sqlite3_stmt* stmt, int index, const std::optional<QString>& text)
{
    if (text)
        bindText(stmt, index, *text);
    else
        sqlite3_bind_null(stmt, index);
}

void bindDate(sqlite3_stmt* stmt, int index, const QDateTime& date)
{
    if (date.isValid())
        sqlite3_bind_int64(stmt, index, date.toMSecsSinceEpoch());
    else
        sqlite3_bind_null(stmt, index);
}

void bindOrderedOwner(sqlite3_stmt* stmt, int index, qint64 ownerPk, qsizetype position)
{
    if (ownerPk > 0 && position >= 0) {
        sqlite3_bind_int64(stmt, index, ownerPk);
        sqlite3_bind_int64(stmt, index + 1, position);
    } else {
        sqlite3_bind_null(stmt, index);
        sqlite3_bind_null(stmt, index + 1);
    }
}

QString partMapText(const PartMap& map)
{
    QJsonObject object;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        object.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

PartMap partMapFromText(const QString& text)
{
    PartMap map;
    if (text.size() <= 2) // "{}": most rows carry no labels or colours
        return map;
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        map.insert(it.key(), it.value().toString());
    return map;
}

QUuid uuidFromText(const QString& text)
{
    return QUuid::fromString(text);
}

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

// Where members stand in their owners' lists during one save. A few look-ups
// in a list scan it; more build a table of the whole list once, so saving
// every member of a long list (a new or reordered canvas) stays linear while
// a keystroke's save builds nothing.
template <class Member>
class ListPositions {
public:
    using List = QList<std::shared_ptr<Member>>;

    qsizetype of(const List& list, const Member* member)
    {
        Entry& entry = m_lists[&list];
        if (!entry.built && ++entry.scans <= scansBeforeTable) {
            for (qsizetype i = 0; i < list.size(); ++i)
                if (list[i].get() == member)
                    return i;
            return -1;
        }
        if (!entry.built) {
            entry.positions.reserve(size_t(list.size()));
            for (qsizetype i = 0; i < list.size(); ++i)
                entry.positions.emplace(list[i].get(), i); // the first place wins, as a scan finds it
            entry.built = true;
        }
        const auto found = entry.positions.find(member);
        return found == entry.positions.end() ? -1 : found->second;
    }

private:
    static constexpr int scansBeforeTable = 8;
    struct Entry {
        int scans = 0;
        bool built = false;
        std::unordered_map<const Member*, qsizetype> positions;
    };
    // Keyed by the owner's list itself: no list changes while a save runs.
    std::unordered_map<const List*, Entry> m_lists;
};

} // namespace

// Builds the records straight from the tables, without going through the
// relationship setters (nothing is dirty after a load).
class StoreReader {
public:
    // Keys are handed out one by one from 1, so no store of ours comes near
    // this; a larger one (or one below 1) could only overflow the next key.
    static constexpr qint64 largestKey = qint64(1) << 62;

    // False with *damaged set when the records themselves are unusable.
    static bool read(sqlite3* db, ModelContext& context, QString* message, bool* damaged)
    {
        std::unordered_map<qint64, CanvasPtr> canvases;
        std::unordered_map<qint64, BlockPtr> blocks;
        qint64 maxPk = 0;

        Statement q;
        auto prepare = [&](const char* sql) {
            sqlite3_finalize(q.stmt);
            q.stmt = nullptr;
            return sqlite3_prepare_v2(db, sql, -1, &q.stmt, nullptr) == SQLITE_OK;
        };
        auto fail = [&]() {
            if (message)
                *message = errorText(db);
            return false;
        };
        auto badKey = [&](const char* table, qint64 pk) {
            if (pk >= 1 && pk <= largestKey)
                return false;
            if (message)
                *message = QStringLiteral("a record in “%1” has the key %2").arg(QLatin1String(table)).arg(pk);
            if (damaged)
                *damaged = true;
            return true;
        };

        if (!prepare("SELECT pk, id, name, created_at, modified_at, title_color_hex, viewport_offset_x, "
                     "viewport_offset_y, viewport_scale FROM canvas ORDER BY pk"))
            return fail();
        int rc;
        while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) {
            CanvasPtr c(new Canvas);
            c->m_pk = sqlite3_column_int64(q.stmt, 0);
            if (badKey("canvas", c->m_pk))
                return false;
            c->m_id = uuidFromText(columnText(q.stmt, 1));
            c->m_name = columnText(q.stmt, 2);
            c->m_createdAt = columnDate(q.stmt, 3);
            c->m_modifiedAt = columnDate(q.stmt, 4);
            c->m_titleColorHex = columnOptionalText(q.stmt, 5);
            c->m_viewportOffsetX = columnDouble(q.stmt, 6);
            c->m_viewportOffsetY = columnDouble(q.stmt, 7);
            c->m_viewportScale = columnDouble(q.stmt, 8);
            c->m_context = &context;
            maxPk = std::max(maxPk, c->m_pk);
            canvases.emplace(c->m_pk, c);
            context.m_canvases.emplace(c.get(), c);
        }
        if (rc != SQLITE_DONE)
            return fail();

        if (!prepare("SELECT pk, id, block_type, label, text_content, part_labels, part_colors, expression, result, "
                     "has_error, error_message, position_x, position_y, width, height, color_hex, is_selected, "
                     "is_editing, is_label_editing, canvas_pk FROM block ORDER BY canvas_pk, canvas_order, pk"))
            return fail();
        while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) {
            BlockPtr b(new CalculationBlock);
            b->m_pk = sqlite3_column_int64(q.stmt, 0);
            if (badKey("block", b->m_pk))
                return false;
            b->m_id = uuidFromText(columnText(q.stmt, 1));
            b->m_blockType = blockTypeFromRawValue(columnText(q.stmt, 2)).value_or(BlockType::calculation);
            b->m_label = columnText(q.stmt, 3);
            b->m_textContent = columnText(q.stmt, 4);
            b->m_partLabels = partMapFromText(columnText(q.stmt, 5));
            b->m_partColors = partMapFromText(columnText(q.stmt, 6));
            b->m_expression = columnText(q.stmt, 7);
            // Earlier versions could leave a result on a row turned into text,
            // and a sum would go on counting it while the row shows none.
            if (sqlite3_column_type(q.stmt, 8) != SQLITE_NULL && b->m_blockType != BlockType::text)
                b->m_result = sqlite3_column_double(q.stmt, 8);
            b->m_hasError = sqlite3_column_int(q.stmt, 9) != 0;
            b->m_errorMessage = columnOptionalText(q.stmt, 10);
            b->m_positionX = columnDouble(q.stmt, 11);
            b->m_positionY = columnDouble(q.stmt, 12);
            b->m_width = columnDouble(q.stmt, 13);
            b->m_height = columnDouble(q.stmt, 14);
            b->m_colorHex = columnText(q.stmt, 15);
            b->m_isSelected = sqlite3_column_int(q.stmt, 16) != 0;
            b->m_isEditing = sqlite3_column_int(q.stmt, 17) != 0;
            b->m_isLabelEditing = sqlite3_column_int(q.stmt, 18) != 0;
            b->m_context = &context;
            if (sqlite3_column_type(q.stmt, 19) != SQLITE_NULL) {
                auto owner = canvases.find(sqlite3_column_int64(q.stmt, 19));
                if (owner != canvases.end()) {
                    b->m_canvas = owner->second;
                    owner->second->m_blocks.append(b);
                }
            }
            maxPk = std::max(maxPk, b->m_pk);
            blocks.emplace(b->m_pk, b);
            context.m_blocks.emplace(b.get(), b);
        }
        if (rc != SQLITE_DONE)
            return fail();

        struct Placed {
            LinkPtr link;
            qint64 sourcePk, sourceOrder, destinationPk, destinationOrder, canvasPk, canvasOrder;
        };
        std::vector<Placed> links;
        if (!prepare("SELECT pk, id, source_pk, source_order, destination_pk, destination_order, placeholder_name, "
                     "canvas_pk, canvas_order, color_hex FROM link ORDER BY pk"))
            return fail();
        auto optionalInt = [&](int column) -> qint64 {
            return sqlite3_column_type(q.stmt, column) == SQLITE_NULL ? -1 : sqlite3_column_int64(q.stmt, column);
        };
        while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) {
            LinkPtr l(new Link);
            l->m_pk = sqlite3_column_int64(q.stmt, 0);
            if (badKey("link", l->m_pk))
                return false;
            l->m_id = uuidFromText(columnText(q.stmt, 1));
            l->m_placeholderName = columnText(q.stmt, 6);
            l->m_colorHex = columnText(q.stmt, 9);
            l->m_context = &context;
            Placed placed{l, optionalInt(2), optionalInt(3), optionalInt(4), optionalInt(5), optionalInt(7),
                          optionalInt(8)};
            if (auto s = blocks.find(placed.sourcePk); s != blocks.end())
                l->m_sourceBlock = s->second;
            else
                placed.sourcePk = -1;
            if (auto d = blocks.find(placed.destinationPk); d != blocks.end())
                l->m_destinationBlock = d->second;
            else
                placed.destinationPk = -1;
            if (auto c = canvases.find(placed.canvasPk); c != canvases.end())
                l->m_canvas = c->second;
            else
                placed.canvasPk = -1;
            maxPk = std::max(maxPk, l->m_pk);
            context.m_links.emplace(l.get(), l);
            links.push_back(std::move(placed));
        }
        if (rc != SQLITE_DONE)
            return fail();

        // Each of the three lists that hold a link comes back in its stored order.
        auto byOrder = [](auto ownerOf, auto orderOf) {
            return [=](const Placed& a, const Placed& b) {
                return std::tie(ownerOf(a), orderOf(a), a.link->m_pk) < std::tie(ownerOf(b), orderOf(b), b.link->m_pk);
            };
        };
        std::sort(links.begin(), links.end(),
                  byOrder([](const Placed& p) -> const qint64& { return p.sourcePk; },
                          [](const Placed& p) -> const qint64& { return p.sourceOrder; }));
        for (const Placed& p : links)
            if (p.sourcePk >= 0)
                blocks[p.sourcePk]->m_outgoingLinks.append(p.link);
        std::sort(links.begin(), links.end(),
                  byOrder([](const Placed& p) -> const qint64& { return p.destinationPk; },
                          [](const Placed& p) -> const qint64& { return p.destinationOrder; }));
        for (const Placed& p : links)
            if (p.destinationPk >= 0)
                blocks[p.destinationPk]->m_incomingLinks.append(p.link);
        std::sort(links.begin(), links.end(),
                  byOrder([](const Placed& p) -> const qint64& { return p.canvasPk; },
                          [](const Placed& p) -> const qint64& { return p.canvasOrder; }));
        for (const Placed& p : links)
            if (p.canvasPk >= 0)
                canvases[p.canvasPk]->m_links.append(p.link);

        context.m_nextPk = maxPk + 1;
        return true;
    }
};

// The tables and marks of a new store, made in one transaction.
bool StoreRecords::createSchema(sqlite3* db, QString* error)
{
    const QByteArray create = QByteArray("BEGIN IMMEDIATE;") + schemaSql
        + "INSERT INTO meta(key, value) VALUES('schemaVersion', '" + StoreRecords::schemaVersion + "');"
        + "INSERT INTO meta(key, value) VALUES('storeId', '" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1()
        + "'), ('generation', '0');"
        + "PRAGMA application_id=" + QByteArray::number(StoreRecords::applicationId) + ";"
        + "PRAGMA user_version=" + QByteArray::number(StoreRecords::fileFormatVersion) + ";COMMIT;";
    if (exec(db, create.constData(), error))
        return true;
    exec(db, "ROLLBACK");
    return false;
}

bool StoreRecords::prepare(sqlite3* db)
{
    auto prepare = [&](const char* sql, sqlite3_stmt** stmt) {
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr) == SQLITE_OK;
    };
    return prepare("INSERT OR REPLACE INTO canvas(pk, id, name, created_at, modified_at, title_color_hex, "
                   "viewport_offset_x, viewport_offset_y, viewport_scale) VALUES(?,?,?,?,?,?,?,?,?)",
                   &m_upsertCanvas)
        && prepare("INSERT OR REPLACE INTO block(pk, id, block_type, label, text_content, part_labels, part_colors, "
                   "expression, result, has_error, error_message, position_x, position_y, width, height, color_hex, "
                   "is_selected, is_editing, is_label_editing, canvas_pk, canvas_order) "
                   "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                   &m_upsertBlock)
        && prepare("INSERT OR REPLACE INTO link(pk, id, source_pk, source_order, destination_pk, destination_order, "
                   "placeholder_name, canvas_pk, canvas_order, color_hex) VALUES(?,?,?,?,?,?,?,?,?,?)",
                   &m_upsertLink)
        && prepare("DELETE FROM canvas WHERE pk=?", &m_deleteCanvas)
        && prepare("DELETE FROM block WHERE pk=?", &m_deleteBlock)
        && prepare("DELETE FROM link WHERE pk=?", &m_deleteLink);
}

bool StoreRecords::read(sqlite3* db, ModelContext& context, QString* message, bool* damaged)
{
    return StoreReader::read(db, context, message, damaged);
}

void StoreRecords::finalize()
{
    for (sqlite3_stmt** stmt : {&m_upsertCanvas, &m_upsertBlock, &m_upsertLink, &m_deleteCanvas, &m_deleteBlock,
                                &m_deleteLink}) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
    }
}

bool StoreRecords::write(sqlite3* db, const ModelContext::Changes& pending, QString* message)
{
    // In key order: the tables are ordered by key, so a large save appends to
    // them instead of touching pages all over the file (the pending changes
    // come in no particular order).
    ModelContext::Changes changes = pending;
    auto byKey = [](const auto& a, const auto& b) {
        return ModelContext::persistentId(*a) < ModelContext::persistentId(*b);
    };
    std::sort(changes.canvases.begin(), changes.canvases.end(), byKey);
    std::sort(changes.blocks.begin(), changes.blocks.end(), byKey);
    std::sort(changes.links.begin(), changes.links.end(), byKey);
    std::sort(changes.deletedCanvases.begin(), changes.deletedCanvases.end());
    std::sort(changes.deletedBlocks.begin(), changes.deletedBlocks.end());
    std::sort(changes.deletedLinks.begin(), changes.deletedLinks.end());

    if (!exec(db, "BEGIN IMMEDIATE", message))
        return false;
    auto step = [&](sqlite3_stmt* stmt) {
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        return rc == SQLITE_DONE;
    };
    ListPositions<CalculationBlock> rowPositions;
    ListPositions<Link> linkPositions; // canvas, outgoing and incoming lists alike
    bool ok = true;
    for (const CanvasPtr& c : changes.canvases) {
        if (!ok)
            break;
        sqlite3_stmt* s = m_upsertCanvas;
        sqlite3_bind_int64(s, 1, ModelContext::persistentId(*c));
        bindText(s, 2, uuidString(c->id()));
        bindText(s, 3, c->name());
        bindDate(s, 4, c->createdAt());
        bindDate(s, 5, c->modifiedAt());
        bindOptionalText(s, 6, c->titleColorHex());
        sqlite3_bind_double(s, 7, c->viewportOffsetX());
        sqlite3_bind_double(s, 8, c->viewportOffsetY());
        sqlite3_bind_double(s, 9, c->viewportScale());
        ok = step(s);
    }
    for (const BlockPtr& b : changes.blocks) {
        if (!ok)
            break;
        sqlite3_stmt* s = m_upsertBlock;
        sqlite3_bind_int64(s, 1, ModelContext::persistentId(*b));
        bindText(s, 2, uuidString(b->id()));
        bindText(s, 3, rawValue(b->blockType()));
        bindText(s, 4, b->label());
        bindText(s, 5, b->textContent());
        bindText(s, 6, partMapText(b->partLabels()));
        bindText(s, 7, partMapText(b->partColors()));
        bindText(s, 8, b->expression());
        if (const auto result = b->result())
            sqlite3_bind_double(s, 9, *result);
        else
            sqlite3_bind_null(s, 9);
        sqlite3_bind_int(s, 10, b->hasError() ? 1 : 0);
        bindOptionalText(s, 11, b->errorMessage());
        sqlite3_bind_double(s, 12, b->positionX());
        sqlite3_bind_double(s, 13, b->positionY());
        sqlite3_bind_double(s, 14, b->width());
        sqlite3_bind_double(s, 15, b->height());
        bindText(s, 16, b->colorHex());
        sqlite3_bind_int(s, 17, b->isSelected() ? 1 : 0);
        sqlite3_bind_int(s, 18, b->isEditing() ? 1 : 0);
        sqlite3_bind_int(s, 19, b->isLabelEditing() ? 1 : 0);
        const CanvasPtr owner = b->canvas();
        bindOrderedOwner(s, 20, owner ? ModelContext::persistentId(*owner) : 0,
                         owner ? rowPositions.of(owner->blocks(), b.get()) : -1);
        ok = step(s);
    }
    for (const LinkPtr& l : changes.links) {
        if (!ok)
            break;
        sqlite3_stmt* s = m_upsertLink;
        sqlite3_bind_int64(s, 1, ModelContext::persistentId(*l));
        bindText(s, 2, uuidString(l->id()));
        const BlockPtr source = l->sourceBlock();
        bindOrderedOwner(s, 3, source ? ModelContext::persistentId(*source) : 0,
                         source ? linkPositions.of(source->outgoingLinks(), l.get()) : -1);
        const BlockPtr destination = l->destinationBlock();
        bindOrderedOwner(s, 5, destination ? ModelContext::persistentId(*destination) : 0,
                         destination ? linkPositions.of(destination->incomingLinks(), l.get()) : -1);
        bindText(s, 7, l->placeholderName());
        const CanvasPtr owner = l->canvas();
        bindOrderedOwner(s, 8, owner ? ModelContext::persistentId(*owner) : 0,
                         owner ? linkPositions.of(owner->links(), l.get()) : -1);
        bindText(s, 10, l->colorHex());
        ok = step(s);
    }
    auto deleteAll = [&](sqlite3_stmt* s, const QList<qint64>& pks) {
        for (qint64 pk : pks) {
            if (!ok)
                return;
            sqlite3_bind_int64(s, 1, pk);
            ok = step(s);
        }
    };
    deleteAll(m_deleteCanvas, changes.deletedCanvases);
    deleteAll(m_deleteBlock, changes.deletedBlocks);
    deleteAll(m_deleteLink, changes.deletedLinks);

    if (ok && exec(db, "COMMIT", message))
        return true;
    if (!ok && message)
        *message = errorText(db);
    exec(db, "ROLLBACK");
    return false;
}
