#include "Models/RowPlacement.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

BlockPtr row(double y)
{
    return CalculationBlock::create(BlockType::text, QString(), QString(), QString(), 20, y, 150, 40,
                                    QStringLiteral("#00D4FF"));
}

} // namespace

// Whatever positions the rows hold (re-spaced by moves, shared lines, ties),
// a row put next to another stands there in the table: the other rows keep
// their order, the rows that had to make room moved down by whole lines, and
// the row stands on a line of its own or on its neighbour's line as asked.
TEST(RowPlacementTest, ARowStandsWhereItIsPutAndOnTheLineAsked)
{
    using RowPlacement::Line;
    using RowPlacement::lineOf;
    QRandomGenerator random(54);
    const double spots[] = {0, 10, 20, 30, 45, 56, 70, 76, 95, 112, 119, 120, 132, 168, 170, 188, 220};
    const auto spot = [&] { return spots[random.bounded(int(std::size(spots)))]; };
    for (int round = 0; round < 3000; ++round) {
        const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
        const int count = random.bounded(6);
        for (int i = 0; i < count; ++i) {
            const BlockPtr existing = row(spot());
            existing->setCanvas(canvas);
            canvas->appendBlock(existing);
        }
        const BlockList before = RowPlacement::tableOrder(canvas->blocks());
        QList<double> was;
        for (const BlockPtr& block : before)
            was << block->positionY();
        const int slot = random.bounded(count + 1); // the new row's place in the table
        const Line line = Line(random.bounded(3));
        const BlockPtr added = row(spot());
        const bool after = random.bounded(2) == 0;
        if (after)
            RowPlacement::insertAfter(*canvas, added, slot > 0 ? before[slot - 1] : nullptr, line,
                                      random.bounded(count + 2) - 1);
        else
            RowPlacement::insertBefore(*canvas, added, slot < count ? before[slot] : nullptr, line,
                                       random.bounded(count + 2) - 1);

        SCOPED_TRACE(testing::Message() << "round " << round);
        BlockList expected = before;
        expected.insert(slot, added);
        ASSERT_EQ(RowPlacement::tableOrder(canvas->blocks()), expected);
        for (qsizetype i = 0; i < before.size(); ++i) {
            const double moved = before[i]->positionY() - was[i];
            EXPECT_TRUE(moved == 0 || (i >= slot && moved > 0 && std::fmod(moved, 50) == 0)) << moved;
        }
        const int at = lineOf(added->positionY());
        const BlockPtr previous = slot > 0 ? expected[slot - 1] : nullptr;
        const BlockPtr next = slot < count ? expected[slot + 1] : nullptr;
        if (line == Line::withPrevious && previous)
            EXPECT_EQ(at, lineOf(previous->positionY()));
        else if (line == Line::withNext && next)
            EXPECT_EQ(at, lineOf(next->positionY()));
        else if (line == Line::own) {
            if (previous)
                EXPECT_GT(at, lineOf(previous->positionY()));
            if (next)
                EXPECT_LT(at, lineOf(next->positionY()));
        }
    }
}
