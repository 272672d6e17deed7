// Moving the keyboard focus between the rows' labels and expressions.

#include "Views/Canvas/CanvasView.h"

#include "Models/CalculationBlock.h"

#include <QTimer>

void CanvasView::moveToExpression(const BlockPtr& block)
{
    m_focusedLabelBlockID.reset();
    block->setIsEditing(true);
    setFocusedBlockID(block->id());
}

void CanvasView::moveToPreviousRowExpression(const BlockPtr& block)
{
    const int index = indexOfBlock(block->id());
    if (index <= 0)
        return;
    const BlockPtr above = sortedBlocks().at(index - 1);
    m_focusedLabelBlockID.reset();
    above->setIsEditing(true);
    setFocusedBlockID(above->id());
    setSelectedBlockID(above->id());
}

void CanvasView::moveToNextRowLabel(const BlockPtr& block)
{
    const int index = indexOfBlock(block->id());
    if (index < 0)
        return;
    m_focusedLabelBlockID.reset();
    const BlockList rows = sortedBlocks();
    if (index + 1 < rows.size()) {
        setFocusedLabelBlockID(rows[index + 1]->id());
        setSelectedBlockID(rows[index + 1]->id());
        return;
    }
    addNewRow();
    QTimer::singleShot(100, this, [this] {
        const BlockList rows = sortedBlocks();
        if (!rows.isEmpty())
            setFocusedLabelBlockID(rows.last()->id());
    });
}

void CanvasView::moveToPreviousRowLabel(const BlockPtr& block)
{
    const int index = indexOfBlock(block->id());
    if (index <= 0)
        return;
    const BlockPtr above = sortedBlocks().at(index - 1);
    setFocusedLabelBlockID(above->id());
    setSelectedBlockID(above->id());
}

void CanvasView::moveToNextRow(const BlockPtr& block)
{
    const int index = indexOfBlock(block->id());
    if (index < 0)
        return;
    block->setIsEditing(false);
    m_focusedBlockID.reset();
    m_focusedLabelBlockID.reset();
    const BlockList rows = sortedBlocks();
    if (index + 1 < rows.size()) {
        setFocusedLabelBlockID(rows[index + 1]->id());
        setSelectedBlockID(rows[index + 1]->id());
        return;
    }
    placeEditors();
    addNewRow();
    // As after a middle row: the new row's label takes the keys.
    if (m_selectedBlockID)
        setFocusedLabelBlockID(m_selectedBlockID);
}
