#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

BlockPtr box(double x, double y, double width, double height)
{
    return CalculationBlock::create(BlockType::calculation, QString(), QString(), QString(), x, y, width, height,
                                    QStringLiteral("#00D4FF"));
}

} // namespace

TEST(CollisionTest, MarginOfTenAndTouchingEdges)
{
    const BlockPtr row = box(100, 100, 250, 50);
    const BlockList rows{row};
    EXPECT_FALSE(CanvasView::checkCollision({}, QRectF(0, 0, 10, 10)));
    EXPECT_TRUE(CanvasView::checkCollision(rows, QRectF(100, 100, 10, 10)));
    // Inside the margin only.
    EXPECT_TRUE(CanvasView::checkCollision(rows, QRectF(355, 100, 10, 10)));
    EXPECT_TRUE(CanvasView::checkCollision(rows, QRectF(100, 155, 10, 10)));
    // Touching the grown frame's edge is no overlap.
    EXPECT_FALSE(CanvasView::checkCollision(rows, QRectF(360, 100, 10, 10)));
    EXPECT_FALSE(CanvasView::checkCollision(rows, QRectF(100, 160, 10, 10)));
    EXPECT_FALSE(CanvasView::checkCollision(rows, QRectF(80, 80, 10, 10)));
    // The excluded row never collides; others still do.
    EXPECT_FALSE(CanvasView::checkCollision(rows, QRectF(100, 100, 10, 10), row->id()));
    EXPECT_TRUE(CanvasView::checkCollision({row, box(100, 100, 5, 5)}, QRectF(100, 100, 10, 10), row->id()));
}

TEST(NonOverlappingPosition, SearchOrderAndFallback)
{
    const QSizeF wide(250, 50);
    EXPECT_EQ(CanvasView::findNonOverlappingPosition({}, nullptr, QPointF(20, 20), wide), QPointF(20, 20));
    // A same-sized row at the start: the spot 60 below only touches its margin.
    EXPECT_EQ(CanvasView::findNonOverlappingPosition({box(20, 20, 250, 50)}, nullptr, QPointF(20, 20), wide),
              QPointF(20, 80));
    // A 56-high table row reaches 66 down with its margin: the spot above wins.
    EXPECT_EQ(CanvasView::findNonOverlappingPosition({box(20, 200, 200, 56)}, nullptr, QPointF(20, 200), QSizeF(150, 50)),
              QPointF(20, 140));
    // With a floor, spots level with it or above it are passed over.
    EXPECT_EQ(CanvasView::findNonOverlappingPosition({box(20, 200, 200, 56)}, nullptr, QPointF(20, 200),
                                                     QSizeF(150, 50), 200.0),
              QPointF(-140, 260));
    // Below and above taken: right, by width + 10, not clamped.
    const BlockList column{box(20, 140, 150, 56), box(20, 200, 150, 56), box(20, 260, 150, 56)};
    EXPECT_EQ(CanvasView::findNonOverlappingPosition(column, nullptr, QPointF(20, 200), QSizeF(150, 50)),
              QPointF(180, 200));
    // Everything taken: 250 below the start, untested.
    const BlockList wall{box(-5000, -5000, 10000, 10000)};
    EXPECT_EQ(CanvasView::findNonOverlappingPosition(wall, nullptr, QPointF(20, 20), wide), QPointF(20, 270));
    // A given row does not block its own placement.
    const BlockPtr self = box(20, 20, 250, 50);
    EXPECT_EQ(CanvasView::findNonOverlappingPosition({self}, self, QPointF(20, 20), wide), QPointF(20, 20));
}

TEST(NonOverlappingPosition, LaterRingsUseMultiplesOfTheSteps)
{
    // Rings one to three fully taken around the start, except the fourth ring's first spot.
    BlockList rows;
    for (int ring = 0; ring <= 3; ++ring) {
        for (double dx : {-1.0, 0.0, 1.0}) {
            for (double dy : {-1.0, 0.0, 1.0})
                rows.append(box(1000 + dx * 260 * ring, 1000 + dy * 60 * ring, 250, 50));
        }
    }
    EXPECT_EQ(CanvasView::findNonOverlappingPosition(rows, nullptr, QPointF(1000, 1000), QSizeF(250, 50)),
              QPointF(1000, 1240));
}
