#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

BlockPtr row(const QString& label, std::optional<double> result, double y = 0)
{
    BlockPtr block = CalculationBlock::create(BlockType::calculation, QString(), QString(), label, 20, y, 200, 56,
                                              QStringLiteral("#00D4FF"));
    block->setResult(result);
    return block;
}

} // namespace

TEST(LabelColumnWidth, FollowsTheLongestLabelWithinBounds)
{
    EXPECT_EQ(CanvasView::labelColumnWidth({}), 120);
    EXPECT_EQ(CanvasView::labelColumnWidth({row(QString(), 1), row(QString(), 2)}), 120);
    EXPECT_EQ(CanvasView::labelColumnWidth({row(QStringLiteral("abc"), 1)}), 120);
    EXPECT_EQ(CanvasView::labelColumnWidth({row(QString(9, 'a'), 1), row(QStringLiteral("b"), 1)}), 132);
    EXPECT_EQ(CanvasView::labelColumnWidth({row(QString(27, 'a'), 1)}), 348);
    EXPECT_EQ(CanvasView::labelColumnWidth({row(QString(28, 'a'), 1)}), 350);
    // Characters as the user sees them: an accent built of two code points counts once.
    EXPECT_EQ(CanvasView::labelColumnWidth({row(QString(8, 'a') + QStringLiteral("e\u0301"), 1)}), 132);
    EXPECT_EQ(CanvasView::labelColumnWidth({row(QStringLiteral("😀😀😀😀😀😀😀😀😀"), 1)}), 132);
}

TEST(ResultColumnWidth, FollowsResultsAndTheirLabels)
{
    EXPECT_EQ(CanvasView::tableResultColumnWidth({}), 140);
    // "1234,5": max(80, 35) + 40 = 120, below the minimum.
    EXPECT_EQ(CanvasView::tableResultColumnWidth({row(QStringLiteral("Miete"), 1234.5)}), 140);
    // 16 characters: 180 + 40 = 220; 17 would be 230, capped.
    EXPECT_EQ(CanvasView::tableResultColumnWidth({row(QString(), 1234567890123456.0)}), 220);
    EXPECT_EQ(CanvasView::tableResultColumnWidth({row(QString(), 12345678901234567.0)}), 220);
    // "123456,78": 9 characters, 110 + 40; "1234567,89": 10 characters, 120 + 40.
    EXPECT_EQ(CanvasView::tableResultColumnWidth({row(QString(), 123456.78)}), 150);
    EXPECT_EQ(CanvasView::tableResultColumnWidth({row(QString(), 1234567.89), row(QString(), 5)}), 160);
    // A long label widens only a row with a result.
    EXPECT_EQ(CanvasView::tableResultColumnWidth({row(QString(20, 'x'), std::nullopt)}), 140);
    EXPECT_EQ(CanvasView::tableResultColumnWidth({row(QString(20, 'x'), 1)}), 180);
}

TEST(SortedBlocks, ByPositionYKeepingStoredOrderForTies)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr a = addRow(canvas, QStringLiteral("a"), QString(), 100);
    const BlockPtr b = addRow(canvas, QStringLiteral("b"), QString(), 20);
    const BlockPtr c = addRow(canvas, QStringLiteral("c"), QString(), 100);
    const BlockPtr d = addRow(canvas, QStringLiteral("d"), QString(), 100);
    EXPECT_EQ(CanvasView::sortedBlocks(canvas->blocks()), (BlockList{b, a, c, d}));
    d->setPositionY(99);
    EXPECT_EQ(CanvasView::sortedBlocks(canvas->blocks()), (BlockList{b, d, a, c}));

    CanvasView view(canvas, nullptr, nullptr);
    EXPECT_EQ(view.sortedBlocks(), (BlockList{b, d, a, c}));
}
