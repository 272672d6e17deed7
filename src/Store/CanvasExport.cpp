#include "Store/CanvasExport.h"

#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"

#include <QCborValue>
#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QTime>
#include <cmath>
#include <cstring>

// ---- value forms ----

namespace {

int digitsAt(const QString& text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

std::optional<QDateTime> ExchangeFormat::parseDate(const QString& text)
{
    // 2026-03-01T09:30:00Z or 2026-03-01T10:30:00+01:00; nothing looser.
    const bool utc = text.size() == 20;
    if (!utc && text.size() != 25)
        return std::nullopt;
    if (text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u'T' || text.at(13) != u':' || text.at(16) != u':')
        return std::nullopt;
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    int offsetSeconds = 0;
    if (utc) {
        if (text.at(19) != u'Z')
            return std::nullopt;
    } else {
        const QChar sign = text.at(19);
        if ((sign != u'+' && sign != u'-') || text.at(22) != u':')
            return std::nullopt;
        const int offsetHours = digitsAt(text, 20, 2), offsetMinutes = digitsAt(text, 23, 2);
        if (offsetHours < 0 || offsetMinutes < 0 || offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (sign == u'-' ? -1 : 1);
    }
    return QDateTime(date, time, Qt::UTC).addSecs(-offsetSeconds);
}

QString ExchangeFormat::formatDate(const QDateTime& date)
{
    const QDateTime utc = date.toUTC();
    const QDate day = utc.date();
    const QTime time = utc.time();
    return QStringLiteral("%1-%2-%3T%4:%5:%6Z")
        .arg(day.year(), 4, 10, QLatin1Char('0'))
        .arg(day.month(), 2, 10, QLatin1Char('0'))
        .arg(day.day(), 2, 10, QLatin1Char('0'))
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}

std::optional<QUuid> ExchangeFormat::parseIdentifier(const QString& text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (int i = 0; i < 36; ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text.at(i) != u'-' : !isHex(text.at(i)))
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

// ---- building and writing ----

CanvasData CanvasData::fromCanvas(const Canvas& canvas)
{
    CanvasData data;
    data.id = canvas.id();
    data.name = canvas.name();
    data.titleColorHex = canvas.titleColorHex();
    data.createdAt = canvas.createdAt();
    data.modifiedAt = canvas.modifiedAt();
    data.viewportOffsetX = canvas.viewportOffsetX();
    data.viewportOffsetY = canvas.viewportOffsetY();
    data.viewportScale = canvas.viewportScale();
    data.blocks.reserve(canvas.blocks().size());
    for (const BlockPtr& row : canvas.blocks()) {
        BlockData block;
        block.id = row->id();
        block.blockType = rawValue(row->isTextBlock() ? BlockType::text : BlockType::calculation);
        block.label = row->label();
        block.textContent = row->textContent();
        block.partLabels = row->partLabels();
        block.partColors = row->partColors();
        block.expression = row->expression();
        block.result = row->result();
        block.hasError = row->hasError();
        block.errorMessage = row->errorMessage();
        block.positionX = row->positionX();
        block.positionY = row->positionY();
        block.width = row->width();
        block.height = row->height();
        block.colorHex = row->colorHex();
        data.blocks.append(std::move(block));
    }
    for (const LinkPtr& link : canvas.links()) {
        const BlockPtr source = link->sourceBlock();
        const BlockPtr destination = link->destinationBlock();
        if (!source || !destination)
            continue; // a link that lost a row has nothing to carry
        data.links.append({link->id(), source->id(), destination->id(), link->placeholderName(), link->colorHex()});
    }
    return data;
}

CanvasExport CanvasExport::fromCanvases(const QList<CanvasPtr>& canvases)
{
    CanvasExport document;
    document.exportDate = Clock::now();
    document.canvases.reserve(canvases.size());
    for (const CanvasPtr& canvas : canvases)
        if (canvas)
            document.canvases.append(CanvasData::fromCanvas(*canvas));
    return document;
}

namespace {

// Builds the JSON tree; stops at the first value JSON cannot hold (Qt would
// write a non-finite number as null, which no reader takes for a number).
struct Writer {
    QString error;

    bool number(QJsonObject& object, const QString& key, double value, const QString& where)
    {
        if (!std::isfinite(value)) {
            error = QStringLiteral("%1: the value of “%2” is not a finite number and cannot be written.")
                        .arg(where, key);
            return false;
        }
        object.insert(key, value);
        return true;
    }

    bool date(QJsonObject& object, const QString& key, const QDateTime& value, const QString& where)
    {
        const int year = value.isValid() ? value.toUTC().date().year() : -1;
        if (year < 0 || year > 9999) {
            error = QStringLiteral("%1: the date “%2” cannot be written.").arg(where, key);
            return false;
        }
        object.insert(key, ExchangeFormat::formatDate(value));
        return true;
    }

    static QJsonObject map(const PartMap& map)
    {
        QJsonObject object;
        for (auto it = map.begin(); it != map.end(); ++it)
            object.insert(it.key(), it.value());
        return object;
    }

    bool canvas(const CanvasData& data, QJsonObject& out)
    {
        const QString where = data.name.isEmpty() ? QStringLiteral("The unnamed canvas")
                                                  : QStringLiteral("The canvas “%1”").arg(data.name);
        QJsonArray blocks;
        for (qsizetype i = 0; i < data.blocks.size(); ++i) {
            const BlockData& b = data.blocks[i];
            const QString row = QStringLiteral("%1, row %2").arg(where).arg(i + 1);
            QJsonObject o;
            o.insert(QLatin1String("blockType"), b.blockType);
            o.insert(QLatin1String("colorHex"), b.colorHex);
            if (b.errorMessage)
                o.insert(QLatin1String("errorMessage"), *b.errorMessage);
            o.insert(QLatin1String("expression"), b.expression);
            o.insert(QLatin1String("hasError"), b.hasError);
            o.insert(QLatin1String("id"), uuidString(b.id));
            o.insert(QLatin1String("label"), b.label);
            o.insert(QLatin1String("partColors"), map(b.partColors));
            o.insert(QLatin1String("partLabels"), map(b.partLabels));
            o.insert(QLatin1String("textContent"), b.textContent);
            if (!number(o, QStringLiteral("height"), b.height, row) || !number(o, QStringLiteral("positionX"), b.positionX, row)
                || !number(o, QStringLiteral("positionY"), b.positionY, row)
                || !number(o, QStringLiteral("width"), b.width, row)
                || (b.result && !number(o, QStringLiteral("result"), *b.result, row)))
                return false;
            blocks.append(o);
        }
        QJsonArray links;
        for (const LinkData& l : data.links) {
            QJsonObject o;
            o.insert(QLatin1String("colorHex"), l.colorHex);
            o.insert(QLatin1String("destinationBlockID"), uuidString(l.destinationBlockID));
            o.insert(QLatin1String("id"), uuidString(l.id));
            o.insert(QLatin1String("placeholderName"), l.placeholderName);
            o.insert(QLatin1String("sourceBlockID"), uuidString(l.sourceBlockID));
            links.append(o);
        }
        out.insert(QLatin1String("blocks"), blocks);
        out.insert(QLatin1String("id"), uuidString(data.id));
        out.insert(QLatin1String("links"), links);
        out.insert(QLatin1String("name"), data.name);
        if (data.titleColorHex)
            out.insert(QLatin1String("titleColorHex"), *data.titleColorHex);
        return date(out, QStringLiteral("createdAt"), data.createdAt, where)
            && date(out, QStringLiteral("modifiedAt"), data.modifiedAt, where)
            && number(out, QStringLiteral("viewportOffsetX"), data.viewportOffsetX, where)
            && number(out, QStringLiteral("viewportOffsetY"), data.viewportOffsetY, where)
            && number(out, QStringLiteral("viewportScale"), data.viewportScale, where);
    }
};

} // namespace

std::optional<QByteArray> CanvasExport::toJSON(QString* error) const
{
    Writer writer;
    auto failed = [&]() -> std::optional<QByteArray> {
        if (error)
            *error = writer.error;
        return std::nullopt;
    };
    QJsonArray canvasArray;
    for (const CanvasData& data : canvases) {
        QJsonObject object;
        if (!writer.canvas(data, object))
            return failed();
        canvasArray.append(object);
    }
    QJsonObject root;
    root.insert(QLatin1String("canvases"), canvasArray);
    if (!writer.date(root, QStringLiteral("exportDate"), exportDate, QStringLiteral("The export")))
        return failed();
    root.insert(QLatin1String("version"), version);
    canvasArray = QJsonArray(); // the document holds its own copy now
    // QJsonObject keeps its members sorted by name. Outside strings JSON has
    // no "/", so escaping every one in the output touches strings only.
    QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    bytes.replace('/', "\\/");
    return bytes;
}

std::optional<QByteArray> exchangeFileBytes(const QList<CanvasPtr>& canvases, QString* error)
{
    return CanvasExport::fromCanvases(canvases).toJSON(error);
}

QString CanvasExport::suggestedFilename(const QList<CanvasPtr>& canvases)
{
    if (canvases.size() == 1 && canvases.first())
        return canvases.first()->name() + QStringLiteral(".quillsheet");
    return QStringLiteral("Canvases Export.quillsheet");
}

// ---- reading ----

namespace {

// Half a pair can only come in as a \u escape (the parser refuses one
// written as UTF-8), so a file without "\uD8" to "\uDF" needs no search.
bool mayHoldSurrogateEscape(const QByteArray& bytes)
{
    const char* const end = bytes.constData() + bytes.size();
    for (const char* p = bytes.constData(); end - p >= 4; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\\', size_t(end - p)));
        if (!p || end - p < 4)
            return false;
        const char first = char(p[2] | 0x20), second = char(p[3] | 0x20);
        if (p[1] == 'u' && first == 'd' && (second == '8' || second == '9' || (second >= 'a' && second <= 'f')))
            return true;
    }
    return false;
}

// Where the first text holding half of a surrogate pair lies below a value
// (an escape such as "\ud800" without its partner: the parser keeps it as it
// is, and it is no text). The path is relative: ".name", "[2]", or empty for
// the value itself or, for a member name, the object holding it.
struct BrokenText {
    QString path;
    bool inMemberName = false;
};

std::optional<BrokenText> findBrokenText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        if (!value.toString().isValidUtf16())
            return BrokenText{};
        return std::nullopt;
    case QJsonValue::Array: {
        const QJsonArray elements = value.toArray();
        for (qsizetype i = 0; i < elements.size(); ++i)
            if (auto broken = findBrokenText(elements.at(i))) {
                broken->path.prepend(u'[' + QString::number(i) + u']');
                return broken;
            }
        return std::nullopt;
    }
    case QJsonValue::Object: {
        const QJsonObject members = value.toObject();
        for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
            const QString key = it.key();
            if (!key.isValidUtf16())
                return BrokenText{QString(), true};
            if (auto broken = findBrokenText(it.value())) {
                broken->path.prepend(u'.' + key);
                return broken;
            }
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// Reads one object's members by name; the first member of the wrong type or
// form stops the whole document with its path.
class Reader {
public:
    QString error;

    bool fail(const QString& path, const QString& why)
    {
        if (error.isEmpty())
            error = path + QStringLiteral(": ") + why;
        return false;
    }

    static bool absent(const QJsonValue& v) { return v.isUndefined() || v.isNull(); }

    static QString at(const QString& path, QLatin1String key) { return path + u'.' + key; }

    // Hands a present member of the given type to take(value); an absent one
    // leaves its field as it was, one of another type stops the document.
    template <class Take>
    bool member(const QJsonObject& o, QLatin1String key, const QString& path, QJsonValue::Type type,
                const char* expected, Take take)
    {
        const QJsonValue v = o.value(key);
        if (absent(v))
            return true;
        if (v.type() != type)
            return fail(at(path, key), QLatin1String(expected) + QStringLiteral(" expected"));
        return take(v);
    }

    // QString or std::optional<QString>.
    template <class Out>
    bool string(const QJsonObject& o, QLatin1String key, const QString& path, Out& out)
    {
        return member(o, key, path, QJsonValue::String, "string", [&](const QJsonValue& v) {
            out = v.toString();
            return true;
        });
    }

    // double or std::optional<double>.
    template <class Out>
    bool number(const QJsonObject& o, QLatin1String key, const QString& path, Out& out)
    {
        return member(o, key, path, QJsonValue::Double, "number", [&](const QJsonValue& v) {
            const double d = v.toDouble();
            if (!std::isfinite(d))
                return fail(at(path, key), QStringLiteral("number out of range"));
            out = d;
            return true;
        });
    }

    bool integer(const QJsonObject& o, QLatin1String key, const QString& path, qint64& out)
    {
        return member(o, key, path, QJsonValue::Double, "integer", [&](const QJsonValue& v) {
            // The parser keeps a whole number that fits in 64 bits as an
            // integer, -2^63 and 2^63 - 1 included; as a double the largest
            // would round up to 2^63 and be taken for one beyond the range.
            const QCborValue number = QCborValue::fromJsonValue(v);
            if (number.isInteger()) {
                out = number.toInteger();
                return true;
            }
            const double d = v.toDouble();
            if (!std::isfinite(d) || d != std::floor(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
                return fail(at(path, key), QStringLiteral("integer expected"));
            out = qint64(d);
            return true;
        });
    }

    bool boolean(const QJsonObject& o, QLatin1String key, const QString& path, bool& out)
    {
        return member(o, key, path, QJsonValue::Bool, "boolean", [&](const QJsonValue& v) {
            out = v.toBool();
            return true;
        });
    }

    bool date(const QJsonObject& o, QLatin1String key, const QString& path, QDateTime& out)
    {
        return member(o, key, path, QJsonValue::String, "date", [&](const QJsonValue& v) {
            const auto parsed = ExchangeFormat::parseDate(v.toString());
            if (!parsed)
                return fail(at(path, key), QStringLiteral("date expected in the form 2026-03-01T09:30:00Z, got “%1”")
                                               .arg(v.toString().left(40)));
            out = *parsed;
            return true;
        });
    }

    bool identifier(const QJsonObject& o, QLatin1String key, const QString& path, QUuid& out, bool required)
    {
        if (required && absent(o.value(key)))
            return fail(at(path, key), QStringLiteral("missing; a link needs the identifiers of both rows"));
        return member(o, key, path, QJsonValue::String, "identifier", [&](const QJsonValue& v) {
            const auto parsed = ExchangeFormat::parseIdentifier(v.toString());
            if (!parsed)
                return fail(at(path, key), QStringLiteral("identifier expected (8-4-4-4-12 hexadecimal digits), got “%1”")
                                               .arg(v.toString().left(40)));
            out = *parsed;
            return true;
        });
    }

    bool map(const QJsonObject& o, QLatin1String key, const QString& path, PartMap& out)
    {
        return member(o, key, path, QJsonValue::Object, "object", [&](const QJsonValue& v) {
            const QJsonObject members = v.toObject();
            for (auto it = members.begin(); it != members.end(); ++it) {
                if (!it.value().isString())
                    return fail(at(path, key) + u'.' + it.key(), QStringLiteral("string expected"));
                out.insert(it.key(), it.value().toString());
            }
            return true;
        });
    }

    // An array member; each element handed to read(element, index).
    template <class Read>
    bool array(const QJsonObject& o, QLatin1String key, const QString& path, Read read)
    {
        return member(o, key, path, QJsonValue::Array, "array", [&](const QJsonValue& v) {
            const QJsonArray elements = v.toArray();
            for (qsizetype i = 0; i < elements.size(); ++i)
                if (!read(elements.at(i), at(path, key) + u'[' + QString::number(i) + u']'))
                    return false;
            return true;
        });
    }

    bool object(const QJsonValue& v, const QString& path, QJsonObject& out)
    {
        if (!v.isObject())
            return fail(path, QStringLiteral("object expected"));
        out = v.toObject();
        return true;
    }

    bool block(const QJsonValue& value, const QString& path, BlockData& b)
    {
        QJsonObject o;
        b.id = QUuid::createUuid();
        return object(value, path, o) && identifier(o, QLatin1String("id"), path, b.id, false)
            && string(o, QLatin1String("blockType"), path, b.blockType)
            && string(o, QLatin1String("label"), path, b.label)
            && string(o, QLatin1String("textContent"), path, b.textContent)
            && map(o, QLatin1String("partLabels"), path, b.partLabels)
            && map(o, QLatin1String("partColors"), path, b.partColors)
            && string(o, QLatin1String("expression"), path, b.expression)
            && number(o, QLatin1String("result"), path, b.result)
            && boolean(o, QLatin1String("hasError"), path, b.hasError)
            && string(o, QLatin1String("errorMessage"), path, b.errorMessage)
            && number(o, QLatin1String("positionX"), path, b.positionX)
            && number(o, QLatin1String("positionY"), path, b.positionY)
            && number(o, QLatin1String("width"), path, b.width)
            && number(o, QLatin1String("height"), path, b.height)
            && string(o, QLatin1String("colorHex"), path, b.colorHex);
    }

    bool link(const QJsonValue& value, const QString& path, LinkData& l)
    {
        QJsonObject o;
        l.id = QUuid::createUuid();
        return object(value, path, o) && identifier(o, QLatin1String("id"), path, l.id, false)
            && identifier(o, QLatin1String("sourceBlockID"), path, l.sourceBlockID, true)
            && identifier(o, QLatin1String("destinationBlockID"), path, l.destinationBlockID, true)
            && string(o, QLatin1String("placeholderName"), path, l.placeholderName)
            && string(o, QLatin1String("colorHex"), path, l.colorHex);
    }

    bool canvas(const QJsonValue& value, const QString& path, const QDateTime& now, CanvasData& c)
    {
        QJsonObject o;
        c.id = QUuid::createUuid();
        c.createdAt = now;
        c.modifiedAt = now;
        if (!object(value, path, o) || !identifier(o, QLatin1String("id"), path, c.id, false)
            || !string(o, QLatin1String("name"), path, c.name)
            || !string(o, QLatin1String("titleColorHex"), path, c.titleColorHex)
            || !date(o, QLatin1String("createdAt"), path, c.createdAt)
            || !date(o, QLatin1String("modifiedAt"), path, c.modifiedAt)
            || !number(o, QLatin1String("viewportOffsetX"), path, c.viewportOffsetX)
            || !number(o, QLatin1String("viewportOffsetY"), path, c.viewportOffsetY)
            || !number(o, QLatin1String("viewportScale"), path, c.viewportScale))
            return false;
        return array(o, QLatin1String("blocks"), path,
                     [&](const QJsonValue& v, const QString& at) {
                         BlockData b;
                         if (!block(v, at, b))
                             return false;
                         c.blocks.append(std::move(b));
                         return true;
                     })
            && array(o, QLatin1String("links"), path, [&](const QJsonValue& v, const QString& at) {
                   LinkData l;
                   if (!link(v, at, l))
                       return false;
                   c.links.append(std::move(l));
                   return true;
               });
    }
};

} // namespace

std::optional<CanvasExport> CanvasExport::fromJSON(const QByteArray& bytes, QString* error)
{
    auto failed = [&](const QString& why) -> std::optional<CanvasExport> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failed(QStringLiteral("not a JSON document (%1 at byte %2)")
                          .arg(parseError.errorString())
                          .arg(parseError.offset));
    if (!document.isObject())
        return failed(QStringLiteral("the top level is not a JSON object"));
    const QJsonObject root = document.object();
    if (const auto broken = mayHoldSurrogateEscape(bytes) ? findBrokenText(root) : std::nullopt) {
        const QString place = broken->path.isEmpty() ? QStringLiteral("the top level") : broken->path.mid(1);
        return failed(place + (broken->inMemberName ? QStringLiteral(": member name") : QStringLiteral(": text"))
                      + QStringLiteral(" with half a character (a \\uD800 to \\uDFFF escape without its partner)"));
    }

    Reader reader;
    CanvasExport result;
    const QDateTime now = Clock::now();
    result.exportDate = now;
    const QString top; // members of the top level are named without a prefix
    auto at = [](const QString& path) { return path.startsWith(u'.') ? path.mid(1) : path; };
    const bool ok = reader.integer(root, QLatin1String("version"), top, result.version)
        && reader.date(root, QLatin1String("exportDate"), top, result.exportDate)
        && reader.array(root, QLatin1String("canvases"), top, [&](const QJsonValue& v, const QString& path) {
               CanvasData c;
               if (!reader.canvas(v, path, now, c))
                   return false;
               result.canvases.append(std::move(c));
               return true;
           });
    if (!ok)
        return failed(at(reader.error));
    return result;
}

// ---- conversion ----

CanvasPtr CanvasData::toCanvas() const
{
    const CanvasPtr canvas = Canvas::create(name, 0, 0, 1);
    canvas->setTitleColorHex(titleColorHex);
    canvas->setCreatedAt(createdAt);
    canvas->setModifiedAt(Clock::now());
    canvas->setViewportOffsetX(viewportOffsetX);
    canvas->setViewportOffsetY(viewportOffsetY);
    canvas->setViewportScale(viewportScale);

    // Keyed by the identifier's value: the same id in either case is one row.
    QHash<QUuid, BlockPtr> rowsByFileId;
    rowsByFileId.reserve(blocks.size());
    for (const BlockData& b : blocks) {
        const BlockPtr row = CalculationBlock::create(
            b.blockType == QLatin1String("text") ? BlockType::text : BlockType::calculation, b.expression,
            b.textContent, b.label, b.positionX, b.positionY, b.width, b.height, b.colorHex);
        row->setResult(b.result);
        row->setHasError(b.hasError);
        row->setErrorMessage(b.errorMessage);
        row->setPartLabels(b.partLabels);
        row->setPartColors(b.partColors);
        row->setCanvas(canvas);
        rowsByFileId.insert(b.id, row); // a later row with the same id wins
    }
    for (const LinkData& l : links) {
        const BlockPtr source = rowsByFileId.value(l.sourceBlockID);
        const BlockPtr destination = rowsByFileId.value(l.destinationBlockID);
        if (!source || !destination)
            continue;
        // Creating the link appends it to the source's outgoing, then the
        // destination's incoming links; the canvas's list comes last.
        Link::create(source, destination, l.placeholderName, l.colorHex)->setCanvas(canvas);
    }
    return canvas;
}
