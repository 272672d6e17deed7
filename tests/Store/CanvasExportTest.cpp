#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Store/CanvasExport.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QDateTime fixedNow = QDateTime(QDate(2026, 3, 2), QTime(18, 5, 11, 250), Qt::UTC);

class CanvasExportTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::setSource([] { return fixedNow; }); }
    void TearDown() override { Clock::setSource({}); }

    static BlockPtr addRow(const CanvasPtr& canvas, const QString& label, const QString& expression,
                           std::optional<double> result, double y = 20)
    {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), label, 20, y,
                                                      320, 44, QStringLiteral("#00D4FF"));
        row->setResult(result);
        row->setCanvas(canvas);
        return row;
    }

    static LinkPtr addLink(const CanvasPtr& canvas, const BlockPtr& from, const BlockPtr& to, const QString& name)
    {
        const LinkPtr link = Link::create(from, to, name, QStringLiteral("#FF6B9D"));
        link->setCanvas(canvas);
        return link;
    }

    // The Budget canvas: two linked rows, a title colour, a slash in a text.
    static CanvasPtr budget()
    {
        const CanvasPtr canvas = Canvas::create(QStringLiteral("Budget"), 0, 0, 1);
        canvas->setId(QUuid::fromString(QStringLiteral("11111111-2222-3333-4444-555555555555")));
        canvas->setCreatedAt(QDateTime(QDate(2026, 3, 1), QTime(9, 30, 0, 999), Qt::UTC));
        canvas->setModifiedAt(QDateTime(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC));
        canvas->setTitleColorHex(QStringLiteral("#FF6B9D"));
        const BlockPtr rent = addRow(canvas, QStringLiteral("Rent"), QStringLiteral("1200"), 1200);
        rent->setId(QUuid::fromString(QStringLiteral("aaaaaaaa-0000-0000-0000-000000000001")));
        const BlockPtr year = addRow(canvas, QStringLiteral("Year"), QStringLiteral("{A:FF6B9D} x 12 / 1"), 14400, 70);
        year->setId(QUuid::fromString(QStringLiteral("aaaaaaaa-0000-0000-0000-000000000002")));
        year->setPartLabels({{QStringLiteral("n0"), QStringLiteral("months")}});
        addLink(canvas, rent, year, QStringLiteral("A"))
            ->setId(QUuid::fromString(QStringLiteral("bbbbbbbb-0000-0000-0000-000000000001")));
        return canvas;
    }

    static QByteArray oneCanvas(const QByteArray& members) { return "{\"canvases\":[{" + members + "}]}"; }
    static QByteArray oneRow(const QByteArray& members) { return oneCanvas("\"blocks\":[{" + members + "}]"); }
    static QByteArray oneLink(const QByteArray& members) { return oneCanvas("\"links\":[{" + members + "}]"); }

    static CanvasExport read(const QByteArray& json)
    {
        QString error;
        const auto document = CanvasExport::fromJSON(json, &error);
        EXPECT_TRUE(document.has_value()) << json.toStdString() << " -> " << error.toStdString();
        return document.value_or(CanvasExport());
    }
};

const char* id1 = "00000000-0000-0000-0000-000000000001";

} // namespace

TEST_F(CanvasExportTest, MissingAndNullMembersTakeTheirDefaults)
{
    struct Case { const char* name; QByteArray json; std::function<void(const CanvasExport&)> check; };
    const auto emptyDocument = [](const CanvasExport& d) {
        EXPECT_EQ(d.version, 1);
        EXPECT_EQ(d.exportDate, fixedNow);
        EXPECT_TRUE(d.canvases.isEmpty());
    };
    const QList<Case> cases = {
        {"empty document", "{}", emptyDocument},
        {"null members", R"({"version":null,"exportDate":null,"canvases":null})", emptyDocument},
        {"empty canvas", oneCanvas(""),
         [](const CanvasExport& d) {
             ASSERT_EQ(d.canvases.size(), 1);
             const CanvasData& c = d.canvases[0];
             EXPECT_EQ(c.name, QString());
             EXPECT_FALSE(c.id.isNull() || c.titleColorHex.has_value());
             EXPECT_EQ(c.createdAt, fixedNow);
             EXPECT_EQ(c.modifiedAt, fixedNow);
             EXPECT_TRUE(c.blocks.isEmpty() && c.links.isEmpty());
             EXPECT_EQ(std::make_tuple(c.viewportOffsetX, c.viewportOffsetY, c.viewportScale), std::make_tuple(0., 0., 1.));
         }},
        {"canvas of nulls", oneCanvas(R"("id":null,"name":null,"titleColorHex":null,"blocks":null,"viewportScale":null)"),
         [](const CanvasExport& d) {
             EXPECT_EQ(d.canvases[0].name, QString());
             EXPECT_FALSE(d.canvases[0].titleColorHex.has_value());
             EXPECT_EQ(d.canvases[0].viewportScale, 1);
         }},
        {"row with only an id", oneRow(QByteArray("\"id\":\"") + id1 + "\""),
         [](const CanvasExport& d) {
             const BlockData& b = d.canvases[0].blocks[0];
             EXPECT_EQ(b.id, QUuid::fromString(QLatin1String(id1)));
             EXPECT_EQ(b.blockType, QStringLiteral("calculation"));
             EXPECT_EQ(std::make_tuple(b.positionX, b.positionY, b.width, b.height), std::make_tuple(100., 100., 200., 50.));
             EXPECT_EQ(b.colorHex, QStringLiteral("#00D4FF"));
             EXPECT_TRUE(b.label.isEmpty() && b.textContent.isEmpty() && b.expression.isEmpty());
             EXPECT_TRUE(b.partLabels.isEmpty() && b.partColors.isEmpty());
             EXPECT_FALSE(b.result.has_value() || b.hasError || b.errorMessage.has_value());
         }},
        {"row of nulls", oneRow(R"("result":null,"hasError":null,"errorMessage":null,"partLabels":null,"width":null)"),
         [](const CanvasExport& d) {
             const BlockData& b = d.canvases[0].blocks[0];
             EXPECT_FALSE(b.result.has_value() || b.hasError);
             EXPECT_EQ(b.width, 200);
             EXPECT_FALSE(b.id.isNull()); // a row without id gets a new one
         }},
        {"link without name and colour",
         oneLink(QByteArray("\"sourceBlockID\":\"") + id1 + "\",\"destinationBlockID\":\"" + id1 + "\""),
         [](const CanvasExport& d) {
             const LinkData& l = d.canvases[0].links[0];
             EXPECT_EQ(l.placeholderName, QStringLiteral("A"));
             EXPECT_EQ(l.colorHex, QStringLiteral("#007AFF"));
             EXPECT_FALSE(l.id.isNull());
         }},
        {"unknown members at every level",
         R"({"x":1,"version":2,"canvases":[{"extra":[1,2],"blocks":[{"future":{"a":null}}],)"
         R"("links":[{"sourceBlockID":"00000000-0000-0000-0000-000000000000",)"
         R"("destinationBlockID":"00000000-0000-0000-0000-000000000000","weight":3}]}]})",
         [](const CanvasExport& d) {
             EXPECT_EQ(d.version, 2);
             EXPECT_EQ(d.canvases[0].blocks.size(), 1);
             EXPECT_EQ(d.canvases[0].links[0].sourceBlockID, QUuid()); // the all-zero id is an id
         }},
        {"any integer version", R"({"version":-7})", [](const CanvasExport& d) { EXPECT_EQ(d.version, -7); }},
        {"integral version written with a fraction", R"({"version":3.0})",
         [](const CanvasExport& d) { EXPECT_EQ(d.version, 3); }},
        {"the smallest 64-bit version", R"({"version":-9223372036854775808})",
         [](const CanvasExport& d) { EXPECT_EQ(d.version, std::numeric_limits<qint64>::min()); }},
        {"the largest 64-bit version", R"({"version":9223372036854775807})",
         [](const CanvasExport& d) { EXPECT_EQ(d.version, std::numeric_limits<qint64>::max()); }},
        {"identifiers in either case",
         oneCanvas(R"("id":"abcdef01-2345-6789-ABCD-EF0123456789")"),
         [](const CanvasExport& d) {
             EXPECT_EQ(d.canvases[0].id, QUuid::fromString(QStringLiteral("ABCDEF01-2345-6789-abcd-ef0123456789")));
         }},
        {"dates with an offset", oneCanvas(R"("createdAt":"2026-03-01T10:30:00+01:00","modifiedAt":"2026-02-28T23:00:00-05:30")"),
         [](const CanvasExport& d) {
             EXPECT_EQ(d.canvases[0].createdAt, QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC));
             EXPECT_EQ(d.canvases[0].modifiedAt, QDateTime(QDate(2026, 3, 1), QTime(4, 30), Qt::UTC));
         }},
        {"leap day", R"({"exportDate":"2028-02-29T00:00:00Z"})",
         [](const CanvasExport& d) { EXPECT_EQ(d.exportDate.date(), QDate(2028, 2, 29)); }},
        {"huge and negative numbers unchanged", oneRow(R"("positionX":-1e300,"positionY":1.5e308,"width":-4,"result":-0.5)"),
         [](const CanvasExport& d) {
             const BlockData& b = d.canvases[0].blocks[0];
             EXPECT_EQ(std::make_tuple(b.positionX, b.positionY, b.width), std::make_tuple(-1e300, 1.5e308, -4.));
             EXPECT_EQ(b.result, -0.5);
         }},
        {"any colour text and block type", oneRow(R"("colorHex":"not a colour","blockType":"TEXT")"),
         [](const CanvasExport& d) {
             EXPECT_EQ(d.canvases[0].blocks[0].colorHex, QStringLiteral("not a colour"));
             EXPECT_EQ(d.canvases[0].blocks[0].blockType, QStringLiteral("TEXT"));
         }},
        {"escaped slashes", oneCanvas(R"("name":"Q1\/Q2")"),
         [](const CanvasExport& d) { EXPECT_EQ(d.canvases[0].name, QStringLiteral("Q1/Q2")); }},
        {"an escaped pair and replacement characters", oneCanvas("\"name\":\"\\ud83d\\ude00 \\ufffd \xef\xbf\xbd\""),
         [](const CanvasExport& d) { EXPECT_EQ(d.canvases[0].name, QStringLiteral("\U0001F600 \uFFFD \uFFFD")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(read(c.json));
    }
}

TEST_F(CanvasExportTest, WrongTypesAndFormsRejectTheDocumentNamingWhereAndWhy)
{
    struct Case { QByteArray json; QString error; }; // the whole message, or its start when it ends with "*"
    QList<Case> cases = {
        {"[]", "the top level is not a JSON object"},
        {R"({"exportDate":12})", "exportDate: date expected"},
        {R"({"canvases":{}})", "canvases: array expected"},
        {R"({"canvases":[1]})", "canvases[0]: object expected"},
        {R"({"canvases":[{},"x"]})", "canvases[1]: object expected"},
        {oneCanvas(R"("name":5)"), "canvases[0].name: string expected"},
        {oneCanvas(R"("id":7)"), "canvases[0].id: identifier expected"},
        {oneCanvas(R"("titleColorHex":3)"), "canvases[0].titleColorHex: string expected"},
        {oneCanvas(R"("viewportScale":"1")"), "canvases[0].viewportScale: number expected"},
        {oneCanvas(R"("createdAt":"yesterday")"), "canvases[0].createdAt: date expected in the form*"},
        {oneCanvas(R"("blocks":{})"), "canvases[0].blocks: array expected"},
        {oneCanvas(R"("links":"none")"), "canvases[0].links: array expected"},
        {oneCanvas(R"("blocks":[{},{},{"hasError":0}])"), "canvases[0].blocks[2].hasError: boolean expected"},
        {oneRow(R"("result":"12")"), "canvases[0].blocks[0].result: number expected"},
        {oneRow(R"("positionX":true)"), "canvases[0].blocks[0].positionX: number expected"},
        {oneRow(R"("height":1e999)"), "not a JSON document (illegal number*"},
        {oneRow(R"("blockType":1)"), "canvases[0].blocks[0].blockType: string expected"},
        {oneRow(R"("errorMessage":false)"), "canvases[0].blocks[0].errorMessage: string expected"},
        {oneRow(R"("partLabels":[])"), "canvases[0].blocks[0].partLabels: object expected"},
        {oneRow(R"("partColors":{"n0":5})"), "canvases[0].blocks[0].partColors.n0: string expected"},
        {oneRow(R"("partColors":{"n0":null})"), "canvases[0].blocks[0].partColors.n0: string expected"},
        {oneCanvas(R"("blocks":[[]])"), "canvases[0].blocks[0]: object expected"},
        {oneLink(QByteArray("\"destinationBlockID\":\"") + id1 + "\""),
         "canvases[0].links[0].sourceBlockID: missing; a link needs the identifiers of both rows"},
        {oneLink(QByteArray("\"sourceBlockID\":\"") + id1 + "\",\"destinationBlockID\":null"),
         "canvases[0].links[0].destinationBlockID: missing; a link needs the identifiers of both rows"},
        {oneLink(QByteArray("\"sourceBlockID\":\"x\",\"destinationBlockID\":\"") + id1 + "\""),
         "canvases[0].links[0].sourceBlockID: identifier expected*"},
        {oneLink(QByteArray("\"id\":1,\"sourceBlockID\":\"") + id1 + "\",\"destinationBlockID\":\"" + id1 + "\""),
         "canvases[0].links[0].id: identifier expected"},
        {oneLink(QByteArray("\"sourceBlockID\":\"") + id1 + "\",\"destinationBlockID\":\"" + id1
                 + "\",\"placeholderName\":[]"),
         "canvases[0].links[0].placeholderName: string expected"},
        {oneCanvas(R"("links":[{}])"), "canvases[0].links[0].sourceBlockID: missing*"},
        // Half of a surrogate pair is no text, wherever it stands.
        {oneCanvas(R"("name":"Q1 \ud800")"), "canvases[0].name: text with half a character*"},
        {oneRow(R"("label":"\udc00")"), "canvases[0].blocks[0].label: text with half a character*"},
        {oneRow(R"("expression":"\ude00\ud83d")"), "canvases[0].blocks[0].expression: text with half a character*"},
        {oneRow(R"("textContent":"\ud83d\ud83d")"), "canvases[0].blocks[0].textContent: text with half a character*"},
        {oneRow(R"("partLabels":{"n0\ud800":"x"})"), "canvases[0].blocks[0].partLabels: member name with half a character*"},
        {oneRow(R"("partColors":{"n0":"\udbff"})"), "canvases[0].blocks[0].partColors.n0: text with half a character*"},
        {oneCanvas(R"("future":["ok","\ud800"])"), "canvases[0].future[1]: text with half a character*"},
        {R"({"\udfff":1})", "the top level: member name with half a character*"},
    };
    // Families of inputs with the same message.
    for (const QByteArray json : {"{", "", "\"text\"", "{} {}"})
        cases.append({json, "not a JSON document*"});
    for (const QByteArray version : {"\"1\"", "1.5", "true", "1e30", "9223372036854775808", "-1e19"})
        cases.append({"{\"version\":" + version + "}", "version: integer expected"});
    for (const char* date : {"2026-03-01", "2026-03-01T09:30:00.123Z", "2026-02-30T09:30:00Z", "2026-03-01 09:30:00Z",
                             "2026-03-01T09:30:00z", "2026-03-01T09:30:00", "2026-03-01T24:00:00Z",
                             "2026-03-01T09:30:00+0100", "2026-03-01T09:30:00+24:00", "+2026-03-01T09:30:00Z",
                             "２０２6-03-01T09:30:00Z"})
        cases.append({QByteArray("{\"exportDate\":\"") + date + "\"}", "exportDate: date expected in the form*"});
    for (const char* id : {"{00000000-0000-0000-0000-000000000001}", "00000000000000000000000000000001",
                           "g0000000-0000-0000-0000-000000000001"})
        cases.append({oneCanvas(QByteArray("\"id\":\"") + id + "\""), "canvases[0].id: identifier expected*"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        QString error;
        EXPECT_FALSE(CanvasExport::fromJSON(c.json, &error).has_value());
        if (c.error.endsWith(u'*'))
            EXPECT_TRUE(error.startsWith(c.error.chopped(1))) << error.toStdString();
        else
            EXPECT_EQ(error, c.error);
    }
}

TEST_F(CanvasExportTest, DatesAndIdentifiersAreReadByTheirStrictFormOnly)
{
    const auto utc = [](int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC); };
    const std::pair<const char*, std::optional<QDateTime>> dates[] = {
        {"2026-03-01T09:30:00Z", utc(2026, 3, 1, 9, 30)},      {"2026-03-01T09:30:00+00:00", utc(2026, 3, 1, 9, 30)},
        {"2026-03-01T00:30:00+01:00", utc(2026, 2, 28, 23, 30)}, {"0001-01-01T00:00:00Z", utc(1, 1, 1, 0, 0)},
        {"2025-02-29T00:00:00Z", std::nullopt},      {"2026-13-01T00:00:00Z", std::nullopt},
        {"2026-03-01T09:60:00Z", std::nullopt},      {"2026-03-01T09:30:60Z", std::nullopt},
        {"2026-03-01t09:30:00Z", std::nullopt},      {"2026-03-01T09:30:00+01:60", std::nullopt},
        {"2026-03-01T09:30:00.5Z", std::nullopt},    {" 2026-03-01T09:30:00Z", std::nullopt},
        {"2026-3-01T09:30:00Z", std::nullopt},
    };
    for (const auto& [text, expected] : dates)
        EXPECT_EQ(ExchangeFormat::parseDate(QString::fromUtf8(text)), expected) << text;
    struct IdCase { const char* text; bool valid; };
    const IdCase ids[] = {
        {"00000000-0000-0000-0000-000000000000", true},    {"ABCDEF01-2345-6789-abcd-ef0123456789", true},
        {"{ABCDEF01-2345-6789-abcd-ef0123456789}", false}, {"ABCDEF01-2345-6789-abcd-ef012345678", false},
        {"ABCDEF0123456789abcdef0123456789", false},       {"ABCDEF01-2345-6789-abcd_ef0123456789", false},
        {"ABCDEF01-2345-6789-abcd-ef012345678g", false},   {"", false},
    };
    for (const IdCase& c : ids) {
        SCOPED_TRACE(c.text);
        const auto parsed = ExchangeFormat::parseIdentifier(QString::fromUtf8(c.text));
        EXPECT_EQ(parsed.has_value(), c.valid);
        if (parsed) {
            EXPECT_EQ(uuidString(*parsed), QString::fromUtf8(c.text).toUpper());
        }
    }
}

TEST_F(CanvasExportTest, WritesTheExactFormat)
{
    const CanvasPtr canvas = budget();
    const BlockPtr note = CalculationBlock::create(BlockType::text, QString(), QStringLiteral("a/b"), QString(), 0, 120,
                                                   200, 50, QStringLiteral("#00FF88"));
    note->setId(QUuid::fromString(QStringLiteral("aaaaaaaa-0000-0000-0000-000000000003")));
    note->setHasError(true);
    note->setErrorMessage(QStringLiteral("Invalid expression"));
    note->setIsSelected(true);
    note->setCanvas(canvas);
    const auto bytes = exchangeFileBytes({canvas});
    ASSERT_TRUE(bytes.has_value());
    const QByteArray expected = R"({
    "canvases": [
        {
            "blocks": [
                {
                    "blockType": "calculation",
                    "colorHex": "#00D4FF",
                    "expression": "1200",
                    "hasError": false,
                    "height": 44,
                    "id": "AAAAAAAA-0000-0000-0000-000000000001",
                    "label": "Rent",
                    "partColors": {
                    },
                    "partLabels": {
                    },
                    "positionX": 20,
                    "positionY": 20,
                    "result": 1200,
                    "textContent": "",
                    "width": 320
                },
                {
                    "blockType": "calculation",
                    "colorHex": "#00D4FF",
                    "expression": "{A:FF6B9D} x 12 \/ 1",
                    "hasError": false,
                    "height": 44,
                    "id": "AAAAAAAA-0000-0000-0000-000000000002",
                    "label": "Year",
                    "partColors": {
                    },
                    "partLabels": {
                        "n0": "months"
                    },
                    "positionX": 20,
                    "positionY": 70,
                    "result": 14400,
                    "textContent": "",
                    "width": 320
                },
                {
                    "blockType": "text",
                    "colorHex": "#00FF88",
                    "errorMessage": "Invalid expression",
                    "expression": "",
                    "hasError": true,
                    "height": 50,
                    "id": "AAAAAAAA-0000-0000-0000-000000000003",
                    "label": "",
                    "partColors": {
                    },
                    "partLabels": {
                    },
                    "positionX": 0,
                    "positionY": 120,
                    "textContent": "a\/b",
                    "width": 200
                }
            ],
            "createdAt": "2026-03-01T09:30:00Z",
            "id": "11111111-2222-3333-4444-555555555555",
            "links": [
                {
                    "colorHex": "#FF6B9D",
                    "destinationBlockID": "AAAAAAAA-0000-0000-0000-000000000002",
                    "id": "BBBBBBBB-0000-0000-0000-000000000001",
                    "placeholderName": "A",
                    "sourceBlockID": "AAAAAAAA-0000-0000-0000-000000000001"
                }
            ],
            "modifiedAt": "2026-03-01T10:00:00Z",
            "name": "Budget",
            "titleColorHex": "#FF6B9D",
            "viewportOffsetX": 0,
            "viewportOffsetY": 0,
            "viewportScale": 1
        }
    ],
    "exportDate": "2026-03-02T18:05:11Z",
    "version": 1
}
)";
    EXPECT_EQ(*bytes, expected);
}

TEST_F(CanvasExportTest, WrittenBytesKeepTheirPromisesForAnyContent)
{
    // Names, texts and map keys full of slashes, quotes, controls and non-ASCII.
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Q1/Q2 \"ü\" \n//"), 0, 0, 1);
    const BlockPtr row = addRow(canvas, QStringLiteral("http://x/y"), QStringLiteral("1/2"), std::nullopt);
    row->setPartColors({{QStringLiteral("n10"), QStringLiteral("#/")}, {QStringLiteral("n2"), QStringLiteral("#00FF88")},
                        {QStringLiteral("a/b"), QStringLiteral("€")}});
    const BlockPtr other = addRow(canvas, QString(), QString(), 1e-300);
    addLink(canvas, row, other, QStringLiteral("/"));
    addLink(canvas, other, row, QStringLiteral("B"))->setSourceBlock(nullptr); // lost its source row
    const LinkPtr lostDestination = addLink(canvas, row, other, QStringLiteral("C"));
    ModelContext::deleteRecord(other); // takes the "/" link and leaves C without destination

    const auto bytes = exchangeFileBytes({canvas, canvas});
    ASSERT_TRUE(bytes.has_value());
    EXPECT_FALSE(bytes->contains("null"));
    EXPECT_FALSE(QRegularExpression(QStringLiteral("[^\\\\]/")).match(QString::fromUtf8(*bytes)).hasMatch());
    EXPECT_TRUE(bytes->contains("\"Q1\\/Q2 \\\"\xc3\xbc\\\" \\n\\/\\/\""));
    auto ids = QRegularExpression(QStringLiteral("\"[0-9A-Fa-f]{8}-[0-9A-Fa-f-]{27}\"")).globalMatch(QString::fromUtf8(*bytes));
    int idCount = 0;
    while (ids.hasNext()) {
        const QString id = ids.next().captured();
        EXPECT_EQ(id, id.toUpper());
        ++idCount;
    }
    EXPECT_EQ(idCount, 4); // two canvases, one row each, no link survives
    EXPECT_FALSE(bytes->contains("\"result\""));
    EXPECT_FALSE(bytes->contains("titleColorHex"));

    // Members of every object come in ascending order of their names.
    QList<QByteArray> keysInFileOrder;
    QRegularExpression key(QStringLiteral("^\\s*\"((?:[^\"\\\\]|\\\\.)*)\": "), QRegularExpression::MultilineOption);
    for (const QByteArray& line : bytes->split('\n'))
        if (const auto match = key.match(QString::fromUtf8(line)); match.hasMatch())
            keysInFileOrder << match.captured(1).toUtf8();
    EXPECT_EQ(keysInFileOrder.mid(0, 2), (QList<QByteArray>{"canvases", "blocks"}));
    EXPECT_TRUE(keysInFileOrder.contains("a\\/b"));
    EXPECT_EQ(QJsonDocument::fromJson(*bytes).object().value(QStringLiteral("canvases")).toArray().size(), 2);
}

TEST_F(CanvasExportTest, ANumberJsonCannotHoldFailsTheWholeExport)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case { const char* name; std::function<void(const CanvasPtr&, const BlockPtr&)> spoil; const char* mentions; };
    const QList<Case> cases = {
        {"result", [&](const CanvasPtr&, const BlockPtr& b) { b->setResult(nan); }, "result"},
        {"position", [&](const CanvasPtr&, const BlockPtr& b) { b->setPositionX(inf); }, "positionX"},
        {"negative height", [&](const CanvasPtr&, const BlockPtr& b) { b->setHeight(-inf); }, "height"},
        {"viewport", [&](const CanvasPtr& c, const BlockPtr&) { c->setViewportScale(nan); }, "viewportScale"},
        {"date", [&](const CanvasPtr& c, const BlockPtr&) { c->setCreatedAt(QDateTime()); }, "createdAt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CanvasPtr canvas = budget();
        c.spoil(canvas, canvas->blocks().last());
        QString error;
        EXPECT_FALSE(exchangeFileBytes({budget(), canvas}, &error).has_value());
        EXPECT_TRUE(error.contains(QLatin1String(c.mentions))) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("Budget"))) << error.toStdString();
    }
}

TEST_F(CanvasExportTest, SuggestedFileNames)
{
    const CanvasPtr a = Canvas::create(QStringLiteral("Budget"), 0, 0, 1);
    const CanvasPtr slash = Canvas::create(QStringLiteral("Q1/Q2"), 0, 0, 1);
    const CanvasPtr empty = Canvas::create(QString(), 0, 0, 1);
    const std::pair<QList<CanvasPtr>, QString> cases[] = {
        {{a}, "Budget.quillsheet"}, {{slash}, "Q1/Q2.quillsheet"}, {{empty}, ".quillsheet"},
        {{a, slash}, "Canvases Export.quillsheet"}, {{}, "Canvases Export.quillsheet"},
    };
    for (const auto& [canvases, expected] : cases)
        EXPECT_EQ(CanvasExport::suggestedFilename(canvases), expected);
}

TEST_F(CanvasExportTest, RoundTripKeepsEveryFieldButIdentifiersAndFractions)
{
    const CanvasPtr original = budget();
    const BlockPtr text = CalculationBlock::create(BlockType::text, QStringLiteral("ignored"), QStringLiteral("Notes"),
                                                   QStringLiteral("N"), -5.25, 1e9, 12.5, 7, QStringLiteral("#FFB800"));
    text->setHasError(true);
    text->setErrorMessage(QStringLiteral("Division by zero"));
    text->setPartColors({{QStringLiteral("n1"), QStringLiteral("#FF5252")}});
    text->setCanvas(original);
    original->setViewportOffsetX(-3.5);
    original->setViewportOffsetY(12);
    original->setViewportScale(0.75);

    const auto bytes = exchangeFileBytes({original});
    ASSERT_TRUE(bytes);
    const CanvasExport document = read(*bytes);
    EXPECT_EQ(document.version, 1);
    EXPECT_EQ(document.exportDate, QDateTime(QDate(2026, 3, 2), QTime(18, 5, 11), Qt::UTC)); // fraction dropped
    ASSERT_EQ(document.canvases.size(), 1);
    const CanvasData& data = document.canvases[0];
    EXPECT_EQ(data.id, original->id());
    EXPECT_EQ(data.createdAt, QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC));

    const CanvasPtr copy = data.toCanvas();
    EXPECT_NE(copy->id(), original->id());
    EXPECT_EQ(copy->name(), original->name());
    EXPECT_EQ(copy->titleColorHex(), original->titleColorHex());
    EXPECT_EQ(copy->createdAt(), data.createdAt);
    EXPECT_EQ(copy->modifiedAt(), fixedNow);
    EXPECT_EQ(std::make_tuple(copy->viewportOffsetX(), copy->viewportOffsetY(), copy->viewportScale()),
              std::make_tuple(-3.5, 12., 0.75));
    // Every stored field of a row but its identifier.
    const auto fields = [](const BlockPtr& r) {
        return std::make_tuple(r->blockType(), r->label(), r->textContent(), r->partLabels(), r->partColors(),
                               r->expression(), r->result(), r->hasError(), r->errorMessage(), r->positionX(),
                               r->positionY(), r->width(), r->height(), r->colorHex());
    };
    ASSERT_EQ(copy->blocks().size(), original->blocks().size());
    for (int i = 0; i < copy->blocks().size(); ++i) {
        SCOPED_TRACE(i);
        const BlockPtr a = original->blocks()[i];
        const BlockPtr b = copy->blocks()[i];
        EXPECT_NE(a->id(), b->id());
        EXPECT_EQ(fields(a), fields(b));
        EXPECT_EQ(b->canvas(), copy);
        EXPECT_FALSE(b->isSelected() || b->isEditing() || b->isLabelEditing());
    }
    ASSERT_EQ(copy->links().size(), 1);
    const LinkPtr link = copy->links().first();
    EXPECT_NE(link->id(), original->links().first()->id());
    EXPECT_EQ(link->sourceBlock(), copy->blocks()[0]);
    EXPECT_EQ(link->destinationBlock(), copy->blocks()[1]);
    EXPECT_EQ(link->placeholderName(), QStringLiteral("A"));
    EXPECT_EQ(link->colorHex(), QStringLiteral("#FF6B9D"));
    EXPECT_EQ(link->canvas(), copy);
    EXPECT_EQ(copy->blocks()[0]->outgoingLinks(), LinkList{link});
    EXPECT_EQ(copy->blocks()[1]->incomingLinks(), LinkList{link});

    // Twice from the same file: two independent copies.
    const CanvasPtr again = data.toCanvas();
    EXPECT_NE(again->id(), copy->id());
    EXPECT_NE(again->blocks()[0]->id(), copy->blocks()[0]->id());
    EXPECT_NE(again->blocks()[0], copy->blocks()[0]);
}

TEST_F(CanvasExportTest, ConversionAttachesLinksByRowIdentifierValue)
{
    const QByteArray rowA = "{\"id\":\"aaaaaaaa-0000-0000-0000-00000000000a\",\"label\":\"first\"}";
    const QByteArray rowA2 = "{\"id\":\"AAAAAAAA-0000-0000-0000-00000000000A\",\"label\":\"second\"}";
    const QByteArray rowB = "{\"id\":\"bbbbbbbb-0000-0000-0000-00000000000b\",\"label\":\"b\"}";
    auto link = [](const char* from, const char* to, const char* name) {
        return QByteArray("{\"sourceBlockID\":\"") + from + "\",\"destinationBlockID\":\"" + to
            + "\",\"placeholderName\":\"" + name + "\"}";
    };
    const char* a = "AAAAAAAA-0000-0000-0000-00000000000A";
    const char* b = "bbbbbbbb-0000-0000-0000-00000000000B";
    const char* elsewhere = "cccccccc-0000-0000-0000-00000000000c";
    struct Case { const char* name; QByteArray json; std::function<void(const CanvasPtr&)> check; };
    const QList<Case> cases = {
        {"duplicate row ids: both rows, links go to the later",
         oneCanvas("\"blocks\":[" + rowA + "," + rowA2 + "," + rowB + "],\"links\":[" + link(a, b, "X") + "]"),
         [](const CanvasPtr& c) {
             ASSERT_EQ(c->blocks().size(), 3);
             ASSERT_EQ(c->links().size(), 1);
             EXPECT_EQ(c->links()[0]->sourceBlock()->label(), QStringLiteral("second"));
             EXPECT_TRUE(c->blocks()[0]->outgoingLinks().isEmpty());
         }},
        {"self link", oneCanvas("\"blocks\":[" + rowB + "],\"links\":[" + link(b, b, "S") + "]"),
         [](const CanvasPtr& c) {
             ASSERT_EQ(c->links().size(), 1);
             EXPECT_EQ(c->links()[0]->sourceBlock(), c->blocks()[0]);
             EXPECT_EQ(c->links()[0]->destinationBlock(), c->blocks()[0]);
         }},
        {"link to a missing row is dropped",
         oneCanvas("\"blocks\":[" + rowB + "],\"links\":[" + link(b, elsewhere, "M") + "," + link(b, b, "K") + "]"),
         [](const CanvasPtr& c) {
             ASSERT_EQ(c->links().size(), 1);
             EXPECT_EQ(c->links()[0]->placeholderName(), QStringLiteral("K"));
         }},
        {"links keep file order in every list",
         oneCanvas("\"blocks\":[" + rowA + "," + rowB + "],\"links\":[" + link(b, a, "1") + "," + link(a, b, "2") + ","
                   + link(b, a, "3") + "]"),
         [](const CanvasPtr& c) {
             QStringList names;
             for (const LinkPtr& l : c->links())
                 names << l->placeholderName();
             EXPECT_EQ(names, (QStringList{"1", "2", "3"}));
             const BlockPtr rb = c->blocks()[1];
             ASSERT_EQ(rb->outgoingLinks().size(), 2);
             EXPECT_EQ(rb->outgoingLinks()[1]->placeholderName(), QStringLiteral("3"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(read(c.json).canvases.value(0).toCanvas());
    }

    // A row of another canvas in the same document is not reachable.
    const QByteArray two = "{\"canvases\":[{\"blocks\":[" + rowA + "]},{\"blocks\":[" + rowB + "],\"links\":["
        + link(a, b, "X") + "]}]}";
    EXPECT_TRUE(read(two).canvases[1].toCanvas()->links().isEmpty());
}

TEST_F(CanvasExportTest, OnlyTheExactWordTextMakesATextRow)
{
    const QList<std::pair<const char*, BlockType>> cases = {
        {"text", BlockType::text},          {"Text", BlockType::calculation}, {"TEXT", BlockType::calculation},
        {"", BlockType::calculation},       {"note", BlockType::calculation}, {"text ", BlockType::calculation},
        {"calculation", BlockType::calculation},
    };
    for (const auto& [type, expected] : cases) {
        SCOPED_TRACE(type);
        EXPECT_EQ(read(oneRow(QByteArray("\"blockType\":\"") + type + "\"")).canvases[0].toCanvas()->blocks()[0]->blockType(),
                  expected);
    }
}

TEST_F(CanvasExportTest, MalformedInputIsRefusedWithoutCrashing)
{
    const CanvasPtr canvas = budget();
    const QByteArray good = *exchangeFileBytes({canvas, canvas});

    // Every truncation either reads whole or is refused with a reason.
    for (qsizetype length = 0; length < good.size(); length += 7) {
        QString error;
        EXPECT_TRUE(CanvasExport::fromJSON(good.left(length), &error).has_value() || !error.isEmpty());
    }
    // Random damage.
    QRandomGenerator random(42);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = good;
        for (int flips = 0; flips < 3; ++flips)
            damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
        QString error;
        if (const auto document = CanvasExport::fromJSON(damaged, &error))
            for (const CanvasData& data : document->canvases)
                data.toCanvas();
        else
            EXPECT_FALSE(error.isEmpty());
    }
    const std::pair<const char*, QByteArray> hostile[] = {
        {"invalid UTF-8", oneCanvas("\"name\":\"\xff\xfe\xc3\"")},
        {"UTF-16", QByteArray::fromRawData(reinterpret_cast<const char*>(u"{\"canvases\":[]}"), 30)},
        {"deep arrays", QByteArray(100000, '[') + QByteArray(100000, ']')},
        {"deep objects", QByteArray("{\"a\":").repeated(50000) + "1" + QByteArray(50000, '}')},
    };
    for (const auto& [name, bytes] : hostile) {
        QString error;
        EXPECT_FALSE(CanvasExport::fromJSON(bytes, &error).has_value()) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
    }
    // A raw NUL inside a string is taken as a character, never as the end.
    const auto nul = CanvasExport::fromJSON(QByteArray("{\"canvases\":[{\"name\":\"a\0b\"}]}", 29));
    ASSERT_TRUE(nul);
    EXPECT_EQ(nul->canvases[0].name.size(), 3);
}

TEST_F(CanvasExportTest, AHundredThousandLinksReadAndConvert)
{
    QByteArray links;
    links.reserve(100000 * 120);
    for (int i = 0; i < 100000; ++i) {
        if (i)
            links += ',';
        // Most of them name a row that is not there.
        links += QByteArray("{\"sourceBlockID\":\"") + id1 + "\",\"destinationBlockID\":\""
            + (i % 100 ? "00000000-0000-0000-0000-000000000009" : id1) + "\"}";
    }
    const QByteArray json = oneCanvas(QByteArray("\"blocks\":[{\"id\":\"") + id1 + "\"}],\"links\":[" + links + "]");
    const CanvasExport document = read(json);
    ASSERT_EQ(document.canvases[0].links.size(), 100000);
    EXPECT_EQ(document.canvases[0].toCanvas()->links().size(), 1000);
}
