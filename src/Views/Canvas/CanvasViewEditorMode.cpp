// Editor mode: rows stand on lines like text on a page, packed from the left.
// Lines are not stored; they are read from the rows' positionY every time.

#include "Views/Canvas/CanvasView.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/RowPlacement.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double rowGap = 10;
constexpr double lineRowWidth = 150;
constexpr double lineRowHeight = 40;

double lineY(int line)
{
    return RowPlacement::lineY(line);
}

} // namespace

int CanvasView::lineForY(double y)
{
    return RowPlacement::lineOf(y);
}

BlockList CanvasView::blocksOnLine(const BlockList& blocks, int line)
{
    const double y = lineY(line);
    BlockList onLine;
    for (const BlockPtr& block : blocks) {
        if (std::abs(block->positionY() - y) < lineHeight * 0.5)
            onLine.append(block);
    }
    std::stable_sort(onLine.begin(), onLine.end(),
                     [](const BlockPtr& a, const BlockPtr& b) { return a->positionX() < b->positionX(); });
    return onLine;
}

int CanvasView::totalLines(const BlockList& blocks)
{
    if (blocks.isEmpty())
        return 1;
    double lowest = blocks.first()->positionY();
    for (const BlockPtr& block : blocks) {
        if (block->positionY() > lowest || std::isnan(lowest))
            lowest = block->positionY();
    }
    return lineForY(lowest) + 1;
}

void CanvasView::repositionBlocksOnLine(const BlockList& blocks, int line)
{
    double x = startX;
    for (const BlockPtr& block : blocksOnLine(blocks, line)) {
        if (block->positionX() != x)
            block->setPositionX(x);
        x += block->width() + rowGap;
    }
}

BlockList CanvasView::blocksOnLine(int line) const
{
    return blocksOnLine(m_canvas->blocks(), line);
}

int CanvasView::totalLines() const
{
    return totalLines(m_canvas->blocks());
}

void CanvasView::repositionBlocksOnLine(int line)
{
    repositionBlocksOnLine(m_canvas->blocks(), line);
}

void CanvasView::addNewLine()
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    const int current = selected ? lineForY(selected->positionY()) : std::max(0, totalLines() - 1);
    const int line = current + 1;
    // Make room: the new line and every line below it move down one line.
    for (const BlockPtr& block : m_canvas->blocks()) {
        if (lineForY(block->positionY()) >= line)
            block->setPositionY(block->positionY() + lineHeight);
    }
    if (selected) {
        selected->setIsSelected(false);
        selected->setIsEditing(false);
        selected->setIsLabelEditing(false);
    }
    const BlockPtr block = CalculationBlock::create(BlockType::text, QString(), QString(), QString(), startX,
                                                    lineY(line), lineRowWidth, lineRowHeight, paletteColor());
    appendRow(block);
    m_canvas->touch();
    setSelectedBlockID(block->id());
    refresh();
}

void CanvasView::addBlockToCurrentLine()
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    const int line = selected ? lineForY(selected->positionY()) : std::max(0, totalLines() - 1);
    const BlockList onLine = blocksOnLine(line);
    // After the row that starts furthest right; no overlap test.
    const double x = onLine.isEmpty() ? startX : onLine.last()->positionX() + onLine.last()->width() + rowGap;
    if (selected) {
        selected->setIsSelected(false);
        selected->setIsEditing(false);
        selected->setIsLabelEditing(false);
    }
    // The new row comes last on its line, in the table too: a row the table
    // placed between lines (one added below the last row) lends its y, as
    // the line's own y would sort the new row above it. Equal y keep the
    // order of adding.
    double y = lineY(line);
    for (const BlockPtr& block : m_canvas->blocks()) {
        if (lineForY(block->positionY()) == line)
            y = std::max(y, block->positionY());
    }
    const BlockPtr block = CalculationBlock::create(BlockType::text, QString(), QString(), QString(), x, y,
                                                    lineRowWidth, lineRowHeight, paletteColor());
    appendRow(block);
    m_canvas->touch();
    setSelectedBlockID(block->id());
    refresh();
}
