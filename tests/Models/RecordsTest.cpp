#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Store/ObjectStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

BlockPtr makeRow(const QString& expression = {}, double y = 0)
{
    return CalculationBlock::create(BlockType::calculation, expression, QString(), QString(), 20, y, 150, 50,
                                    QStringLiteral("#00D4FF"));
}

// Adds a row the way every caller does: owner first, then the list.
BlockPtr addRow(const CanvasPtr& canvas, const QString& expression = {}, double y = 0)
{
    BlockPtr row = makeRow(expression, y);
    row->setCanvas(canvas);
    canvas->appendBlock(row);
    return row;
}

// Adds a link with the caller steps that append to every side.
LinkPtr addLink(const CanvasPtr& canvas, const BlockPtr& from, const BlockPtr& to, const QString& name)
{
    LinkPtr link = Link::create(from, to, name, from->colorHex());
    link->setCanvas(canvas);
    from->appendOutgoingLink(link);
    to->appendIncomingLink(link);
    canvas->appendLink(link);
    return link;
}

} // namespace

TEST(Records, NewRecordsStartEmpty)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Canvas 1"), 0, 0, 1);
    EXPECT_FALSE(canvas->titleColorHex().has_value());
    EXPECT_TRUE(canvas->blocks().isEmpty());
    EXPECT_TRUE(canvas->links().isEmpty());
    EXPECT_LE(canvas->createdAt(), canvas->modifiedAt());
    EXPECT_FALSE(canvas->id().isNull());

    const BlockPtr row = makeRow(QStringLiteral("1+1"));
    EXPECT_TRUE(row->partLabels().isEmpty());
    EXPECT_TRUE(row->partColors().isEmpty());
    EXPECT_FALSE(row->result().has_value());
    EXPECT_FALSE(row->hasError());
    EXPECT_FALSE(row->errorMessage().has_value());
    EXPECT_FALSE(row->isSelected() || row->isEditing() || row->isLabelEditing());
    EXPECT_EQ(row->canvas(), nullptr);
    EXPECT_NE(row->id(), makeRow()->id());
}

TEST(Records, NewIdentifiersAreDistinctRandomUuids)
{
    QSet<QUuid> seen;
    for (int i = 0; i < 1000; ++i) {
        const QUuid ids[] = {makeRow()->id(), Link::create(nullptr, nullptr, QString(), QString())->id(),
                             Canvas::create(QString(), 0, 0, 1)->id()};
        for (const QUuid& id : ids) {
            EXPECT_EQ(id.version(), QUuid::Random);
            EXPECT_EQ(id.variant(), QUuid::DCE);
            EXPECT_TRUE(seen.contains(id) == false);
            seen.insert(id);
        }
    }
    EXPECT_EQ(seen.size(), 3000);
}

TEST(Records, DerivedMembers)
{
    const BlockPtr row = makeRow(QString(), 100);
    EXPECT_EQ(row->rightConnectionPoint(), QPointF(170, 125));
    EXPECT_FALSE(row->isTextBlock());
    row->setBlockType(BlockType::text);
    EXPECT_TRUE(row->isTextBlock());

    const BlockPtr target = makeRow();
    const LinkPtr link = Link::create(row, target, QStringLiteral("A"), QStringLiteral("#00D4FF"));
    EXPECT_FALSE(link->sourceValue().has_value());
    row->setResult(42.5);
    EXPECT_EQ(link->sourceValue(), 42.5);
    link->setSourceBlock(nullptr);
    EXPECT_FALSE(link->sourceValue().has_value());
}

TEST(Records, BlockTypeRawValues)
{
    EXPECT_EQ(blockTypeFromRawValue(QStringLiteral("text")), BlockType::text);
    EXPECT_EQ(blockTypeFromRawValue(QStringLiteral("calculation")), BlockType::calculation);
    EXPECT_FALSE(blockTypeFromRawValue(QStringLiteral("Text")).has_value());
    EXPECT_FALSE(blockTypeFromRawValue(QString()).has_value());
    EXPECT_EQ(rawValue(BlockType::text), QStringLiteral("text"));
    EXPECT_EQ(rawValue(BlockType::calculation), QStringLiteral("calculation"));
}

TEST(PartLabels, LookupPrefersIndexKeyThenValueKey)
{
    EXPECT_EQ(CalculationBlock::tokenKey(0), QStringLiteral("n0"));
    EXPECT_EQ(CalculationBlock::tokenKey(12), QStringLiteral("n12"));

    const BlockPtr row = makeRow(QStringLiteral("19 + 7"));
    row->setPartLabels({{QStringLiteral("n1"), QStringLiteral("A")}, {QStringLiteral("19"), QStringLiteral("B")}});
    EXPECT_EQ(row->getPartLabel(1, QStringLiteral("19")), QStringLiteral("A"));
    row->setPartLabels({{QStringLiteral("19"), QStringLiteral("B")}});
    EXPECT_EQ(row->getPartLabel(1, QStringLiteral("19")), QStringLiteral("B"));
    row->setPartLabels({{QStringLiteral("n0"), QStringLiteral("A")}});
    EXPECT_FALSE(row->getPartLabel(1, QStringLiteral("19")).has_value());
}

TEST(PartLabels, WritesUseIndexKeyAndDropValueKey)
{
    const BlockPtr row = makeRow(QStringLiteral("19 + 7"));
    row->setPartLabels({{QStringLiteral("19"), QStringLiteral("B")}, {QStringLiteral("n3"), QStringLiteral("C")}});
    row->setPartLabel(QStringLiteral("L"), 1, QStringLiteral("19"));
    EXPECT_EQ(row->partLabels(),
              (PartMap{{QStringLiteral("n1"), QStringLiteral("L")}, {QStringLiteral("n3"), QStringLiteral("C")}}));

    // Empty and missing labels both remove the number's label entirely; the
    // text is stored as typed (not trimmed).
    row->setPartLabels({{QStringLiteral("n1"), QStringLiteral("A")}, {QStringLiteral("19"), QStringLiteral("B")}});
    row->setPartLabel(QString(), 1, QStringLiteral("19"));
    EXPECT_TRUE(row->partLabels().isEmpty());
    row->setPartLabels({{QStringLiteral("n1"), QStringLiteral("A")}, {QStringLiteral("19"), QStringLiteral("B")}});
    row->setPartLabel(std::nullopt, 1, QStringLiteral("19"));
    EXPECT_TRUE(row->partLabels().isEmpty());
    row->setPartLabel(QStringLiteral(" Netto "), 0, QStringLiteral("7"));
    EXPECT_EQ(row->getPartLabel(0, QStringLiteral("7")), QStringLiteral(" Netto "));
}

TEST(PartLabels, ColoursFollowTheSameKeysButKeepEmptyText)
{
    const BlockPtr row = makeRow(QStringLiteral("19"));
    row->setPartColors({{QStringLiteral("n0"), QStringLiteral("#00FF88")}, {QStringLiteral("19"), QStringLiteral("#FFB800")}});
    row->setPartColor(std::nullopt, 0, QStringLiteral("19"));
    EXPECT_TRUE(row->partColors().isEmpty());

    row->setPartColors({{QStringLiteral("19"), QStringLiteral("#FFB800")}});
    row->setPartColor(QStringLiteral("#FF5252"), 0, QStringLiteral("19"));
    EXPECT_EQ(row->partColors(), (PartMap{{QStringLiteral("n0"), QStringLiteral("#FF5252")}}));
    row->setPartColor(QString(), 0, QStringLiteral("19"));
    EXPECT_EQ(row->getPartColor(0, QStringLiteral("19")), QString());
}

TEST(PartLabels, EachSetWritesTheMapTwice)
{
    ModelContext context;
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    context.insert(canvas);
    const BlockPtr row = addRow(canvas, QStringLiteral("19"));
    QSignalSpy spy(&context, &ModelContext::blockChanged);
    row->setPartLabel(QStringLiteral("L"), 0, QStringLiteral("19"));
    row->setPartColor(std::nullopt, 0, QStringLiteral("19"));
    ASSERT_EQ(spy.count(), 4);
    EXPECT_STREQ(spy.at(0).at(1).value<const char*>(), "partLabels");
    EXPECT_STREQ(spy.at(3).at(1).value<const char*>(), "partColors");
}

TEST(Relationships, BothSidesStayConsistentWithoutDuplicates)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    const BlockPtr a = addRow(canvas);
    const BlockPtr b = addRow(canvas);
    canvas->appendBlock(a); // already there: unchanged
    EXPECT_EQ(canvas->blocks(), (BlockList{a, b}));
    EXPECT_EQ(a->canvas(), canvas);

    // The link record puts itself into both rows' lists; callers that append
    // to every side again must not create duplicates.
    const LinkPtr link = addLink(canvas, a, b, QStringLiteral("A"));
    EXPECT_EQ(a->outgoingLinks(), LinkList{link});
    EXPECT_EQ(b->incomingLinks(), LinkList{link});
    EXPECT_EQ(canvas->links(), LinkList{link});
    EXPECT_TRUE(a->incomingLinks().isEmpty());

    // Moving a link to another source takes it out of the first one's list.
    const BlockPtr c = addRow(canvas);
    link->setSourceBlock(c);
    EXPECT_TRUE(a->outgoingLinks().isEmpty());
    EXPECT_EQ(c->outgoingLinks(), LinkList{link});

    // A whole-list write drops duplicates and clears the owner of members that leave.
    canvas->setBlocks({c, a, c});
    EXPECT_EQ(canvas->blocks(), (BlockList{c, a}));
    EXPECT_EQ(b->canvas(), nullptr);

    // Taking a link out of the canvas clears its canvas but keeps the record.
    canvas->removeLink(link);
    EXPECT_TRUE(canvas->links().isEmpty());
    EXPECT_EQ(link->canvas(), nullptr);
    EXPECT_FALSE(link->isDeleted());
    EXPECT_EQ(link->destinationBlock(), b);

    // A row moved to another canvas leaves the first one.
    const CanvasPtr other = Canvas::create(QStringLiteral("D"), 0, 0, 1);
    a->setCanvas(other);
    EXPECT_EQ(canvas->blocks(), BlockList{c});
    EXPECT_EQ(other->blocks(), BlockList{a});
}

// However a caller attaches a record (owner first, list first, or both and
// again), each list holds it exactly once, in the order of first attachment;
// a link's place in its canvas's list follows every change of that list.
TEST(Relationships, EachListHoldsAMemberOnceWhateverTheCallOrder)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    const BlockPtr a = makeRow(), b = makeRow(), c = makeRow();
    const std::function<void()> steps[] = {
        [&] { canvas->appendBlock(a); },
        [&] { a->setCanvas(canvas); },
        [&] { b->setCanvas(canvas); },
        [&] { canvas->appendBlock(b); },
        [&] { canvas->appendBlock(a); },
        [&] { canvas->appendBlock(c); },
        [&] { c->setCanvas(canvas); },
    };
    for (const auto& step : steps)
        step();
    EXPECT_EQ(canvas->blocks(), (BlockList{a, b, c}));

    const LinkPtr ab = Link::create(a, b, QStringLiteral("A"), QString());
    const LinkPtr cb = Link::create(c, b, QStringLiteral("C"), QString());
    const LinkPtr ac = Link::create(a, c, QStringLiteral("A"), QString());
    for (const LinkPtr& link : {ab, cb, ac, ab}) {
        canvas->appendLink(link);
        link->setCanvas(canvas);
        link->destinationBlock()->appendIncomingLink(link);
        link->sourceBlock()->appendOutgoingLink(link);
    }
    EXPECT_EQ(canvas->links(), (LinkList{ab, cb, ac}));
    EXPECT_EQ(b->incomingLinks(), (LinkList{ab, cb}));
    EXPECT_EQ(a->outgoingLinks(), (LinkList{ab, ac}));

    struct Position {
        const char* change;
        std::function<void()> apply;
        std::vector<qsizetype> expected; // of ab, cb, ac
    };
    const Position positions[] = {
        {"as appended", [] {}, {0, 1, 2}},
        {"first one taken out", [&] { canvas->removeLink(ab); }, {-1, 0, 1}},
        {"appended again", [&] { canvas->appendLink(ab); }, {2, 0, 1}},
        {"list rewritten", [&] { canvas->setLinks({ac, ab, ac}); }, {1, -1, 0}},
        {"moved to another canvas", [&] { ac->setCanvas(Canvas::create(QStringLiteral("D"), 0, 0, 1)); }, {0, -1, -1}},
    };
    for (const Position& position : positions) {
        SCOPED_TRACE(position.change);
        position.apply();
        EXPECT_EQ(canvas->indexOfLink(ab.get()), position.expected[0]);
        EXPECT_EQ(canvas->indexOfLink(cb.get()), position.expected[1]);
        EXPECT_EQ(canvas->indexOfLink(ac.get()), position.expected[2]);
    }
}

// Appending to a stored list saves only what was appended; the stored order
// of every list still comes back as it was, after removals too.
TEST(Context, ListOrderSurvivesAppendsAndRemovals)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("order.store"));
    QStringList rowOrder;
    QStringList linkOrder;
    {
        auto store = ObjectStore::open(path);
        ASSERT_TRUE(store);
        const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
        store->context().insert(canvas);
        BlockList rows;
        for (const char* expression : {"a", "b", "c"})
            rows.append(addRow(canvas, QString::fromUtf8(expression)));
        const BlockPtr sum = addRow(canvas, QStringLiteral("sum"));
        for (const BlockPtr& row : rows)
            addLink(canvas, row, sum, row->expression());
        ASSERT_TRUE(store->save());

        ModelContext::deleteRecord(rows[1]); // b and its link go
        for (const char* expression : {"d", "e"}) {
            const BlockPtr row = addRow(canvas, QString::fromUtf8(expression));
            addLink(canvas, row, sum, row->expression());
        }
        ASSERT_TRUE(store->save());
        // A row moved to the end by a whole-list write, then one more appended.
        BlockList reordered = canvas->blocks();
        reordered.move(0, reordered.size() - 1);
        canvas->setBlocks(reordered);
        addRow(canvas, QStringLiteral("f"));
        ASSERT_TRUE(store->save());
        const BlockPtr last = addRow(canvas, QStringLiteral("g"));
        EXPECT_EQ(store->context().pendingChanges().blocks, BlockList{last});
        for (const BlockPtr& row : canvas->blocks())
            rowOrder << row->expression();
        for (const LinkPtr& link : sum->incomingLinks())
            linkOrder << link->placeholderName();
    }
    EXPECT_EQ(rowOrder, QStringList({"c", "sum", "d", "e", "a", "f", "g"}));
    EXPECT_EQ(linkOrder, QStringList({"a", "c", "d", "e"}));

    auto reopened = ObjectStore::open(path);
    ASSERT_TRUE(reopened);
    const QList<CanvasPtr> canvases = reopened->context().canvases();
    ASSERT_EQ(canvases.size(), 1);
    QStringList storedRows;
    BlockPtr storedSum;
    for (const BlockPtr& row : canvases.first()->blocks()) {
        storedRows << row->expression();
        if (row->expression() == QLatin1String("sum"))
            storedSum = row;
    }
    EXPECT_EQ(storedRows, rowOrder);
    ASSERT_TRUE(storedSum);
    QStringList storedLinks;
    for (const LinkPtr& link : storedSum->incomingLinks())
        storedLinks << link->placeholderName();
    EXPECT_EQ(storedLinks, linkOrder);
}

TEST(DeleteRules, RowTakesItsOutgoingLinksAndNullifiesIncoming)
{
    ModelContext context;
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    context.insert(canvas);
    const BlockPtr row = addRow(canvas);
    const BlockPtr d1 = addRow(canvas);
    const BlockPtr d2 = addRow(canvas);
    const BlockPtr source = addRow(canvas);
    const LinkPtr out1 = addLink(canvas, row, d1, QStringLiteral("A"));
    const LinkPtr out2 = addLink(canvas, row, d2, QStringLiteral("A"));
    const LinkPtr in = addLink(canvas, source, row, QStringLiteral("B"));

    context.deleteRecord(row);

    EXPECT_TRUE(row->isDeleted());
    EXPECT_TRUE(out1->isDeleted());
    EXPECT_TRUE(out2->isDeleted());
    EXPECT_TRUE(d1->incomingLinks().isEmpty());
    EXPECT_TRUE(d2->incomingLinks().isEmpty());
    EXPECT_EQ(canvas->links(), LinkList{in});
    EXPECT_EQ(source->outgoingLinks(), LinkList{in});
    EXPECT_EQ(in->destinationBlock(), nullptr);
    EXPECT_FALSE(in->isDeleted());
    EXPECT_EQ(canvas->blocks(), (BlockList{d1, d2, source}));
    EXPECT_EQ(context.blockCount(), 3);
    EXPECT_EQ(context.linkCount(), 1);
    // The deleted row is still readable by whoever holds it.
    EXPECT_EQ(row->colorHex(), QStringLiteral("#00D4FF"));
}

TEST(DeleteRules, CanvasTakesEverything)
{
    ModelContext context;
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    const CanvasPtr keep = Canvas::create(QStringLiteral("K"), 0, 0, 1);
    context.insert(canvas);
    context.insert(keep);
    const BlockPtr a = addRow(canvas);
    const BlockPtr b = addRow(canvas);
    addRow(keep);
    const LinkPtr link = addLink(canvas, a, b, QStringLiteral("A"));
    context.clearChanges();

    context.deleteRecord(canvas);
    EXPECT_TRUE(canvas->isDeleted() && a->isDeleted() && b->isDeleted() && link->isDeleted());
    EXPECT_EQ(context.canvasCount(), 1);
    EXPECT_EQ(context.blockCount(), 1);
    EXPECT_EQ(context.linkCount(), 0);
    EXPECT_EQ(a->context(), nullptr);
    // Writing to a deleted record is harmless and saves nothing.
    a->setExpression(QStringLiteral("1"));
    EXPECT_TRUE(context.pendingChanges().blocks.isEmpty());
    EXPECT_EQ(context.pendingChanges().deletedBlocks.size(), 2);
}

TEST(Context, AttachingToAStoredRecordStoresTheNewOnes)
{
    ModelContext context;
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    const BlockPtr early = addRow(canvas);
    context.insert(canvas);
    EXPECT_EQ(early->context(), &context);

    const BlockPtr late = addRow(canvas);
    EXPECT_EQ(late->context(), &context);
    const LinkPtr link = Link::create(early, late, QStringLiteral("A"), QStringLiteral("#00D4FF"));
    EXPECT_EQ(link->context(), &context);
    EXPECT_EQ(context.blockCount(), 2);
    EXPECT_EQ(context.linkCount(), 1);
}

TEST(Context, NotifiesEveryWriteButSavesOnlyRealChanges)
{
    ModelContext context;
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    context.insert(canvas);
    const BlockPtr row = addRow(canvas, QStringLiteral("1"));
    context.clearChanges();

    QSignalSpy writes(&context, &ModelContext::blockChanged);
    QSignalSpy turns(&context, &ModelContext::changed);
    row->setExpression(QStringLiteral("1"));
    row->setResult(std::nullopt);
    EXPECT_EQ(writes.count(), 2);
    EXPECT_FALSE(context.hasChanges());

    row->setExpression(QStringLiteral("12"));
    row->setResult(12);
    row->setHasError(false);
    EXPECT_TRUE(context.hasChanges());
    EXPECT_EQ(context.pendingChanges().blocks, BlockList{row});

    // All writes of one event-loop turn end in one "changed".
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(turns.count(), 1);
}

TEST(Context, CanvasesSortNewestModifiedFirst)
{
    ModelContext context;
    const CanvasPtr older = Canvas::create(QStringLiteral("old"), 0, 0, 1);
    const CanvasPtr newer = Canvas::create(QStringLiteral("new"), 0, 0, 1);
    older->setModifiedAt(QDateTime::fromSecsSinceEpoch(1000, Qt::UTC));
    newer->setModifiedAt(QDateTime::fromSecsSinceEpoch(2000, Qt::UTC));
    context.insert(older);
    context.insert(newer);
    EXPECT_EQ(context.canvasesByModifiedAt(), (QList<CanvasPtr>{newer, older}));
    older->touch();
    EXPECT_EQ(context.canvasesByModifiedAt(), (QList<CanvasPtr>{older, newer}));
    EXPECT_EQ(context.canvases(), (QList<CanvasPtr>{older, newer}));
    EXPECT_EQ(context.canvasWithId(newer->id()), newer);
}

TEST(Context, RecordsOutliveTheirContext)
{
    BlockPtr row;
    {
        ModelContext context;
        const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
        context.insert(canvas);
        row = addRow(canvas);
    }
    EXPECT_EQ(row->context(), nullptr);
    row->setExpression(QStringLiteral("2")); // must not touch the freed context
    EXPECT_EQ(row->expression(), QStringLiteral("2"));
}
