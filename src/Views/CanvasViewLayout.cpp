// Table order, column widths and where each row and column lies.

#include "Views/CanvasView.h"
#include "Views/CanvasViewWidgets.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

#include <QScrollArea>
#include <QTextBoundaryFinder>

#include <algorithm>

int CanvasView::characterCount(const QString& text)
{
    // Most labels are plain text: one code unit per character.
    bool simple = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x300) {
            simple = false;
            break;
        }
    }
    if (simple)
        return int(text.size());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

BlockList CanvasView::sortedBlocks(const BlockList& blocks)
{
    BlockList sorted = blocks;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const BlockPtr& a, const BlockPtr& b) { return a->positionY() < b->positionY(); });
    return sorted;
}

double CanvasView::labelColumnWidth(const BlockList& blocks)
{
    int longest = 0;
    for (const BlockPtr& block : blocks)
        longest = std::max(longest, characterCount(block->label()));
    if (longest == 0)
        return minLabelColumnWidth;
    return std::clamp(longest * 12.0 + 24, minLabelColumnWidth, maxLabelColumnWidth);
}

double CanvasView::tableResultColumnWidth(const BlockList& blocks)
{
    if (blocks.isEmpty())
        return minResultColumnWidth;
    double width = minResultColumnWidth;
    for (const BlockPtr& block : blocks) {
        const std::optional<double> result = block->result();
        if (!result)
            continue;
        const int valueCharacters = characterCount(formatTableValue(*result));
        const double rowWidth = std::max((valueCharacters + 2) * 10.0, characterCount(block->label()) * 7.0) + 40;
        width = std::max(width, rowWidth);
    }
    return std::min(width, maxResultColumnWidth);
}

BlockList CanvasView::sortedBlocks() const
{
    return sortedBlocks(m_canvas->blocks());
}

double CanvasView::labelColumnWidth() const
{
    return labelColumnWidth(m_canvas->blocks());
}

double CanvasView::tableResultColumnWidth() const
{
    return tableResultColumnWidth(m_canvas->blocks());
}

void CanvasView::invalidateLayout()
{
    m_layoutDirty = true;
}

void CanvasView::ensureLayout() const
{
    if (!m_layoutDirty)
        return;
    m_layoutDirty = false;
    const BlockList& blocks = m_canvas->blocks();
    m_sorted = sortedBlocks(blocks);
    m_rowIndex.clear();
    m_rowIndex.reserve(m_sorted.size());
    for (qsizetype i = m_sorted.size() - 1; i >= 0; --i)
        m_rowIndex.insert(m_sorted[i]->id(), int(i)); // the first row with an id wins
    m_labelWidth = labelColumnWidth(blocks);
    m_resultWidth = tableResultColumnWidth(blocks);
}

void CanvasView::updateTableHeight()
{
    ensureLayout();
    const int height = int(std::ceil(rowsTop() + m_sorted.size() * rowPitch() + tappableAreaHeight));
    if (m_table->minimumHeight() != height)
        m_table->setMinimumHeight(height);
}

double CanvasView::tableWidth() const
{
    return m_table->width();
}

double CanvasView::rowsTop() const
{
    return m_header->geometry().bottom() + 1;
}

int CanvasView::indexOfBlock(const QUuid& id) const
{
    ensureLayout();
    return m_rowIndex.value(id, -1);
}

QRectF CanvasView::rowRect(int rowIndex) const
{
    return QRectF(0, rowsTop() + rowIndex * rowPitch(), tableWidth(), rowPitch());
}

// Row layout, left to right: 16 padding, label column, 12 padding, the
// expression (taking what is left), the result column, the drag handle.
QRectF CanvasView::labelRect(int rowIndex) const
{
    ensureLayout();
    const QRectF row = rowRect(rowIndex);
    return QRectF(16, row.top(), m_labelWidth, row.height());
}

QRectF CanvasView::expressionRect(int rowIndex) const
{
    ensureLayout();
    const QRectF row = rowRect(rowIndex);
    const double left = 16 + m_labelWidth + 12;
    const double right = row.width() - (linksMarginWidth + 16) - m_resultWidth;
    return QRectF(left, row.top(), std::max(0.0, right - left), row.height());
}

QRectF CanvasView::resultRect(int rowIndex) const
{
    ensureLayout();
    const QRectF row = rowRect(rowIndex);
    return QRectF(row.width() - (linksMarginWidth + 16) - m_resultWidth, row.top(), m_resultWidth, row.height());
}

QRectF CanvasView::linkHandleRect(int rowIndex) const
{
    const QRectF result = resultRect(rowIndex);
    return QRectF(result.right() - 20, result.center().y() - 10, 20, 20);
}

QRectF CanvasView::dragHandleRect(int rowIndex) const
{
    const QRectF row = rowRect(rowIndex);
    return QRectF(row.width() - (linksMarginWidth + 16), row.top(), linksMarginWidth + 16, row.height());
}

QRectF CanvasView::tappableAreaRect() const
{
    ensureLayout();
    return QRectF(0, rowsTop() + m_sorted.size() * rowPitch(), tableWidth(), tappableAreaHeight);
}

std::optional<int> CanvasView::rowIndexAt(double y) const
{
    ensureLayout();
    const double offset = y - rowsTop();
    if (offset < 0)
        return std::nullopt;
    const int index = int(offset / rowPitch());
    if (index >= m_sorted.size())
        return std::nullopt;
    return index;
}
