// Free spots for rows created beside existing rows.

#include "Views/Canvas/CanvasView.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

bool CanvasView::checkCollision(const BlockList& blocks, const QRectF& rect, const std::optional<QUuid>& excluding)
{
    for (const BlockPtr& block : blocks) {
        if (excluding && block->id() == *excluding)
            continue;
        const QRectF grown(block->positionX() - 10, block->positionY() - 10, block->width() + 20,
                           block->height() + 20);
        // Rectangles that only touch along an edge do not overlap.
        if (rect.intersects(grown))
            return true;
    }
    return false;
}

QPointF CanvasView::findNonOverlappingPosition(const BlockList& blocks, const BlockPtr& block, QPointF at,
                                               QSizeF size, std::optional<double> below)
{
    const std::optional<QUuid> excluding = block ? std::optional<QUuid>(block->id()) : std::nullopt;
    auto isFree = [&](QPointF point) {
        // A spot level with or above the row it came from would sort the
        // new row before it.
        if (below && !(point.y() > *below))
            return false;
        return !checkCollision(blocks, QRectF(point, size), excluding);
    };
    if (isFree(at))
        return at;
    const double h = size.width() + 10;
    const double v = 60;
    const QPointF offsets[] = {{0, v}, {0, -v}, {h, 0}, {-h, 0}, {h, v}, {-h, v}, {h, -v}, {-h, -v}};
    for (int ring = 1; ring <= 4; ++ring) {
        for (const QPointF& offset : offsets) {
            const QPointF candidate = at + offset * ring;
            if (isFree(candidate))
                return candidate;
        }
    }
    return QPointF(at.x(), at.y() + 250);
}

bool CanvasView::checkCollision(const QRectF& rect, const std::optional<QUuid>& excluding) const
{
    return checkCollision(m_canvas->blocks(), rect, excluding);
}

QPointF CanvasView::findNonOverlappingPosition(const BlockPtr& block, QPointF at, QSizeF size,
                                               std::optional<double> below) const
{
    return findNonOverlappingPosition(m_canvas->blocks(), block, at, size, below);
}
