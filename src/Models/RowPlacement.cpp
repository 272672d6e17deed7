#include "Models/RowPlacement.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

#include <algorithm>
#include <cmath>

namespace {

// Far beyond any real canvas; keeps the line arithmetic in range for rows
// stored with absurd positions.
constexpr double maxLine = 1'000'000'000;

using RowPlacement::Line;
using RowPlacement::lineOf;

// Puts the row between two rows that stand next to each other in the table.
void place(Canvas& canvas, const BlockPtr& row, const BlockList& order, const BlockPtr& previous,
           const BlockPtr& next, Line line, qsizetype index)
{
    if ((line == Line::withPrevious && !previous) || (line == Line::withNext && !next))
        line = Line::own;
    double y = row->positionY();
    // A row that still stands on its neighbour's line, between the two, stays.
    if (line == Line::withPrevious) {
        const double p = previous->positionY();
        if (!(p <= y && lineOf(y) == lineOf(p) && (!next || y < next->positionY())))
            y = p;
    } else if (line == Line::withNext) {
        const double n = next->positionY();
        if (!(y <= n && lineOf(y) == lineOf(n) && (!previous || y > previous->positionY())))
            y = n;
    } else {
        const bool fits = (!previous || (previous->positionY() < y && lineOf(previous->positionY()) < lineOf(y)))
            && (!next || (y < next->positionY() && lineOf(y) < lineOf(next->positionY())));
        if (!fits) {
            if (previous)
                y = RowPlacement::lineY(lineOf(previous->positionY()) + 1);
            else if (next)
                y = std::min(RowPlacement::startY, next->positionY());
        }
        // No room before the next row: it and every row after it move down
        // by whole lines, so the lines among them stay as they were.
        const auto roomy = [&](double shift) {
            const double n = next->positionY() + shift;
            return y < n && lineOf(y) < lineOf(n);
        };
        if (next && !roomy(0)) {
            double shift = RowPlacement::lineHeight * std::max(1, lineOf(y) + 1 - lineOf(next->positionY()));
            for (int more = 0; more < 2 && !roomy(shift); ++more)
                shift += RowPlacement::lineHeight;
            for (qsizetype i = order.indexOf(next); i >= 0 && i < order.size(); ++i)
                order[i]->setPositionY(order[i]->positionY() + shift);
        }
    }
    // Where positions tie, the stored order decides.
    BlockList blocks = canvas.blocks();
    qsizetype at = index < 0 ? blocks.size() : std::min(index, blocks.size());
    if (previous && !(y > previous->positionY())) {
        y = previous->positionY();
        at = blocks.indexOf(previous) + 1;
    } else if (next && !(y < next->positionY())) {
        y = next->positionY();
        at = blocks.indexOf(next);
    }
    row->setPositionY(y);
    blocks.insert(at, row);
    canvas.setBlocks(blocks);
}

} // namespace

int RowPlacement::lineOf(double y)
{
    const double quotient = (y - startY) / lineHeight;
    if (!std::isfinite(quotient))
        return quotient > 0 ? int(maxLine) : 0;
    return int(std::clamp(std::trunc(quotient), 0.0, maxLine));
}

double RowPlacement::lineY(int line)
{
    return startY + lineHeight * line;
}

BlockList RowPlacement::tableOrder(const BlockList& blocks)
{
    BlockList sorted = blocks;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const BlockPtr& a, const BlockPtr& b) { return a->positionY() < b->positionY(); });
    return sorted;
}

void RowPlacement::insertAfter(Canvas& canvas, const BlockPtr& row, const BlockPtr& previous, Line line,
                               qsizetype index)
{
    const BlockList order = tableOrder(canvas.blocks());
    const qsizetype at = previous ? order.indexOf(previous) : -1;
    const BlockPtr before = at >= 0 ? previous : nullptr;
    const BlockPtr after = at + 1 < order.size() ? order[at + 1] : nullptr;
    place(canvas, row, order, before, after, line, index);
}

void RowPlacement::insertBefore(Canvas& canvas, const BlockPtr& row, const BlockPtr& next, Line line,
                                qsizetype index)
{
    const BlockList order = tableOrder(canvas.blocks());
    const qsizetype at = next ? order.indexOf(next) : -1;
    const BlockPtr after = at >= 0 ? next : nullptr;
    const qsizetype previousAt = at >= 0 ? at - 1 : order.size() - 1;
    const BlockPtr before = previousAt >= 0 ? order[previousAt] : nullptr;
    place(canvas, row, order, before, after, line, index);
}
