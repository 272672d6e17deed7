// Table order, column widths and where each row and column lies.

#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/RowPlacement.h"

#include <QScrollArea>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <unordered_set>

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
    return RowPlacement::tableOrder(blocks);
}

namespace {

// What one row asks of the label column: its label's characters.
int labelCharacters(const CalculationBlock& block)
{
    return CanvasView::characterCount(block.label());
}

// What one row asks of the result column; below zero for a row without a
// result, which asks nothing.
double resultRowWidth(const CalculationBlock& block)
{
    const std::optional<double> result = block.result();
    if (!result)
        return -1;
    const int valueCharacters = CanvasView::characterCount(CanvasView::formatTableValue(*result));
    return std::max((valueCharacters + 2) * 10.0, CanvasView::characterCount(block.label()) * 7.0) + 40;
}

double labelWidthFor(int longest)
{
    if (longest == 0)
        return CanvasView::minLabelColumnWidth;
    return std::clamp(longest * 12.0 + 24, CanvasView::minLabelColumnWidth, CanvasView::maxLabelColumnWidth);
}

double resultWidthFor(double widest)
{
    return std::min(std::max(CanvasView::minResultColumnWidth, widest), CanvasView::maxResultColumnWidth);
}

} // namespace

double CanvasView::labelColumnWidth(const BlockList& blocks)
{
    int longest = 0;
    for (const BlockPtr& block : blocks)
        longest = std::max(longest, labelCharacters(*block));
    return labelWidthFor(longest);
}

double CanvasView::tableResultColumnWidth(const BlockList& blocks)
{
    double widest = -1;
    for (const BlockPtr& block : blocks)
        widest = std::max(widest, resultRowWidth(*block));
    return resultWidthFor(widest);
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
    m_rowWidths.clear();
    m_rowWidths.reserve(blocks.size());
    m_labelLengths.clear();
    m_resultWidths.clear();
    for (const BlockPtr& block : blocks)
        noteRowWidths(block.get());
    applyColumnWidths();
}

void CanvasView::noteRowWidths(const CalculationBlock* block) const
{
    const RowWidths widths{labelCharacters(*block), resultRowWidth(*block)};
    m_rowWidths[block] = widths;
    ++m_labelLengths[widths.labelCharacters];
    if (widths.resultWidth >= 0)
        ++m_resultWidths[widths.resultWidth];
}

void CanvasView::forgetRowWidths(const CalculationBlock* block) const
{
    const auto found = m_rowWidths.find(block);
    if (found == m_rowWidths.end())
        return;
    auto drop = [](auto& counts, auto key) {
        const auto entry = counts.find(key);
        if (entry != counts.end() && --entry->second == 0)
            counts.erase(entry);
    };
    drop(m_labelLengths, found->second.labelCharacters);
    if (found->second.resultWidth >= 0)
        drop(m_resultWidths, found->second.resultWidth);
    m_rowWidths.erase(found);
}

void CanvasView::applyColumnWidths() const
{
    m_labelWidth = labelWidthFor(m_labelLengths.empty() ? 0 : m_labelLengths.rbegin()->first);
    m_resultWidth = resultWidthFor(m_resultWidths.empty() ? -1 : m_resultWidths.rbegin()->first);
}

void CanvasView::rowContentChanged(const BlockPtr& block, bool withDependants)
{
    if (m_layoutDirty || !block)
        return; // the next layout pass measures every row anyway
    auto update = [this](const CalculationBlock* row) {
        if (!m_rowWidths.count(row))
            return false;
        forgetRowWidths(row);
        noteRowWidths(row);
        return true;
    };
    if (!update(block.get())) {
        // A row the layout has not seen: measure everything again.
        invalidateLayout();
        return;
    }
    if (withDependants) {
        // Results downstream moved with it.
        QList<const CalculationBlock*> pending{block.get()};
        std::unordered_set<const CalculationBlock*> seen{block.get()};
        while (!pending.isEmpty()) {
            const CalculationBlock* row = pending.takeLast();
            for (const LinkPtr& link : row->outgoingLinks()) {
                const BlockPtr destination = link->destinationBlock();
                if (destination && seen.insert(destination.get()).second) {
                    update(destination.get());
                    pending.append(destination.get());
                }
            }
        }
    }
    applyColumnWidths();
}

void CanvasView::updateTableHeight()
{
    ensureLayout();
    const int height = int(std::ceil(rowsTop() + m_sorted.size() * rowPitch() + tappableAreaHeight));
    if (m_table->minimumHeight() != height) {
        m_table->setMinimumHeight(height);
        // Grown at once, not at the next layout pass: a row added at the
        // end can be scrolled to straight away.
        if (m_table->height() < height)
            m_table->resize(m_table->width(), height);
    }
}

void CanvasView::scrollRowIntoView(const QUuid& id)
{
    const int index = indexOfBlock(id);
    if (index < 0)
        return;
    const QRectF row = rowRect(index);
    m_scrollArea->ensureVisible(int(row.center().x()), int(row.center().y()), 0, int(row.height() / 2 + 8));
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
// The label column gives way, down to its minimum, before a narrow window
// squeezes the expressions out of sight; long labels are cut with "…".
double CanvasView::shownLabelWidth(double rowWidth) const
{
    const double room =
        rowWidth - (linksMarginWidth + 16) - m_resultWidth - minExpressionColumnWidth - 12 - 16;
    return std::clamp(room, minLabelColumnWidth, std::max(minLabelColumnWidth, m_labelWidth));
}

QRectF CanvasView::labelRect(int rowIndex) const
{
    ensureLayout();
    const QRectF row = rowRect(rowIndex);
    return QRectF(16, row.top(), shownLabelWidth(row.width()), row.height());
}

QRectF CanvasView::expressionRect(int rowIndex) const
{
    ensureLayout();
    const QRectF row = rowRect(rowIndex);
    const double left = 16 + shownLabelWidth(row.width()) + 12;
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
    // Everything below the rows: the table stretches to the window, far
    // past the room it keeps below the last row.
    const double top = rowsTop() + m_sorted.size() * rowPitch();
    return QRectF(0, top, tableWidth(), std::max(tappableAreaHeight, m_table->height() - top));
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
