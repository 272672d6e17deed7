// Reordering rows: dragging by the handle with a drop marker, and moving the
// selection one place up or down. The table order is the order of positionY,
// so every move ends by renumbering the positions.

#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

#include <QEasingCurve>
#include <QPainter>
#include <QVariantAnimation>

namespace {

const QColor markerColor(0, 192, 232);

// The rows that move with a dragged row: the whole selection when the row
// belongs to a selection of two or more, else the row alone.
BlockList dragGroup(const BlockList& sorted, const BlockPtr& dragged, const QSet<QUuid>& selectedIDs)
{
    if (selectedIDs.size() < 2 || !selectedIDs.contains(dragged->id()))
        return {dragged};
    BlockList group;
    for (const BlockPtr& block : sorted) {
        if (selectedIDs.contains(block->id()))
            group.append(block);
    }
    return group;
}

// From the first line down, one table row apart: more than a line, so every
// row stands on a line of its own and Return and Tab add after the row they
// are pressed on.
void writePositions(const BlockList& order)
{
    for (qsizetype i = 0; i < order.size(); ++i)
        order[i]->setPositionY(CanvasView::startY + CanvasView::tableRowHeight * double(i));
}

} // namespace

void CanvasView::updateDropTarget(double dragY, const BlockPtr& fromBlock)
{
    const BlockList sorted = sortedBlocks();
    const qsizetype s = fromBlock ? sorted.indexOf(fromBlock) : -1;
    if (s < 0)
        return;
    const double h = tableRowHeight;
    // A marker stays put while the pointer is near it, so it does not flicker.
    if (m_dropTargetIndex && std::abs(dragY - h * *m_dropTargetIndex) < 8)
        return;
    const int n = int(sorted.size());
    int candidate = 0;
    for (int k = 0; k <= n; ++k) {
        if (h * k - h / 2 < dragY)
            candidate = k;
    }
    int lo = int(s);
    int hi = int(s);
    bool found = false;
    for (const BlockPtr& member : dragGroup(sorted, fromBlock, m_selectedBlockIDs)) {
        const int index = int(sorted.indexOf(member));
        if (index < 0)
            continue;
        lo = found ? std::min(lo, index) : index;
        hi = found ? std::max(hi, index) : index;
        found = true;
    }
    // Right above, inside or right below the group, a drop would move nothing.
    if (lo <= candidate && candidate <= hi + 1)
        setDropTargetIndex(std::nullopt);
    else
        setDropTargetIndex(candidate);
    m_lastDropY = dragY;
}

void CanvasView::reorderBlockToIndex(const BlockPtr& block, int index)
{
    const BlockList sorted = sortedBlocks();
    if (!block || !sorted.contains(block))
        return;
    const BlockList group = dragGroup(sorted, block, m_selectedBlockIDs);
    BlockList remaining;
    int before = 0;
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        if (group.contains(sorted[i])) {
            if (i < index)
                ++before;
        } else {
            remaining.append(sorted[i]);
        }
    }
    const qsizetype at = std::clamp<qsizetype>(index - before, 0, remaining.size());
    BlockList order = remaining.mid(0, at);
    order.append(group);
    order.append(remaining.mid(at));
    writePositions(order);
    m_canvas->touch();
    refresh();
}

void CanvasView::normalizeRowPositions()
{
    writePositions(sortedBlocks());
}

// Each row of the selection changes places with the row next to it that is
// not selected; rows next to each other move together. Nothing moves when
// the selection already touches the end it moves towards.
namespace {

enum class Direction { up, down };

bool moveSelection(BlockList& order, const QSet<QUuid>& ids, Direction direction)
{
    QList<qsizetype> selected;
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (ids.contains(order[i]->id()))
            selected.append(i);
    }
    if (selected.isEmpty())
        return false;
    if (direction == Direction::up) {
        if (selected.first() == 0)
            return false;
        for (qsizetype i : selected) {
            // The unselected row above this run of selected rows goes below it.
            qsizetype j = i;
            while (j > 0 && ids.contains(order[j - 1]->id()))
                --j;
            if (j == 0)
                continue;
            order.move(j - 1, i);
        }
    } else {
        if (selected.last() == order.size() - 1)
            return false;
        for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
            const qsizetype i = *it;
            qsizetype j = i;
            while (j + 1 < order.size() && ids.contains(order[j + 1]->id()))
                ++j;
            if (j + 1 >= order.size())
                continue;
            order.move(j + 1, i);
        }
    }
    return true;
}

// The moved row furthest towards where the rows went: kept in view, the
// others follow it on screen.
std::optional<QUuid> leadingRow(const BlockList& order, const QSet<QUuid>& ids, Direction direction)
{
    std::optional<QUuid> leading;
    for (const BlockPtr& row : order) {
        if (!ids.contains(row->id()))
            continue;
        leading = row->id();
        if (direction == Direction::up)
            break;
    }
    return leading;
}

} // namespace

void CanvasView::moveRowsUp()
{
    QSet<QUuid> ids = m_selectedBlockIDs;
    if (ids.isEmpty() && m_selectedBlockID)
        ids.insert(*m_selectedBlockID);
    BlockList order = sortedBlocks();
    if (!moveSelection(order, ids, Direction::up))
        return;
    writePositions(order);
    m_scrollTarget = leadingRow(order, ids, Direction::up);
    m_canvas->touch();
    refresh();
}

void CanvasView::moveRowsDown()
{
    QSet<QUuid> ids = m_selectedBlockIDs;
    if (ids.isEmpty() && m_selectedBlockID)
        ids.insert(*m_selectedBlockID);
    BlockList order = sortedBlocks();
    if (!moveSelection(order, ids, Direction::down))
        return;
    writePositions(order);
    m_scrollTarget = leadingRow(order, ids, Direction::down);
    m_canvas->touch();
    refresh();
}

// ---- The drop marker ----

void CanvasView::setDropTargetIndex(std::optional<int> index)
{
    if (index == m_dropTargetIndex)
        return;
    const bool wasShown = m_dropTargetIndex.has_value();
    m_dropTargetIndex = index;
    if (!index) {
        if (m_dropMarkerAnimation)
            m_dropMarkerAnimation->stop();
        m_table->update();
        return;
    }
    if (!m_dropMarkerAnimation) {
        m_dropMarkerAnimation = new QVariantAnimation(this);
        m_dropMarkerAnimation->setDuration(150);
        // The standard ease-out curve.
        QEasingCurve easeOut(QEasingCurve::BezierSpline);
        easeOut.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
        m_dropMarkerAnimation->setEasingCurve(easeOut);
        connect(m_dropMarkerAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_dropMarkerSlot = value.toDouble();
            m_table->update();
        });
    }
    m_dropMarkerAnimation->stop();
    if (wasShown) {
        m_dropMarkerAnimation->setStartValue(m_dropMarkerSlot);
        m_dropMarkerAnimation->setEndValue(double(*index));
        m_dropMarkerAnimation->start();
    } else {
        m_dropMarkerSlot = *index; // a marker that appears starts in place
    }
    m_table->update();
}

std::optional<double> CanvasView::dropIndicatorY() const
{
    if (!m_dropTargetIndex || !m_draggingBlockID)
        return std::nullopt;
    const bool moving = m_dropMarkerAnimation && m_dropMarkerAnimation->state() == QAbstractAnimation::Running;
    const double slot = moving ? m_dropMarkerSlot : double(*m_dropTargetIndex);
    return rowsTop() + rowPitch() * slot - 1;
}

void CanvasView::paintDropIndicator(QPainter& painter)
{
    const std::optional<double> y = dropIndicatorY();
    if (!y)
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(markerColor);
    painter.drawEllipse(QRectF(8, *y - 4, 8, 8));
    painter.drawRect(QRectF(16, *y - 1, std::max(0.0, tableWidth() - 24), 2));
    painter.restore();
}
