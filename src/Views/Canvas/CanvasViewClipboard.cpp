// Copying rows with the links among them into the process's row clipboard,
// and pasting them back as new rows.

#include "Views/Canvas/CanvasRowSteps.h"
#include "Views/Canvas/CanvasView.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Models/RowPlacement.h"

#include <QUndoStack>

namespace {

const QString pastedLinkColor = QStringLiteral("#007AFF");

} // namespace

void CanvasView::copySelectedRows()
{
    QSet<QUuid> ids = m_selectedBlockIDs;
    if (ids.isEmpty() && m_selectedBlockID)
        ids.insert(*m_selectedBlockID);
    if (ids.isEmpty())
        return;
    BlockList rows;
    for (const BlockPtr& block : sortedBlocks()) {
        if (ids.contains(block->id()))
            rows.append(block);
    }
    if (rows.isEmpty())
        return;

    double minY = rows.first()->positionY();
    for (const BlockPtr& row : rows)
        minY = std::min(minY, row->positionY());

    CalcSettings::RowClipboard clipboard;
    for (const BlockPtr& row : rows) {
        clipboard.blocks.append({row->id(), rawValue(row->blockType()), row->expression(), row->textContent(),
                                 row->label(), row->colorHex(), row->partLabels(), row->partColors(),
                                 row->positionY() - minY});
    }
    for (const LinkPtr& link : m_canvas->links()) {
        const BlockPtr source = link->sourceBlock();
        const BlockPtr destination = link->destinationBlock();
        if (!source || !destination)
            continue;
        if (ids.contains(source->id()) && ids.contains(destination->id()))
            clipboard.links.append({source->id(), destination->id(), link->placeholderName()});
    }
    clipboard.copyDate = Clock::now();
    CalcSettings::shared().setRowClipboard(clipboard);
    qCInfo(canvasLogger).noquote() << QStringLiteral("📋 Copied %1 rows to clipboard").arg(rows.size());
}

void CanvasView::pasteRows()
{
    const std::optional<CalcSettings::RowClipboard> clipboard = CalcSettings::shared().rowClipboard();
    if (!clipboard || clipboard->blocks.isEmpty()) {
        qCInfo(canvasLogger).noquote() << QStringLiteral("📋 Clipboard is empty");
        return;
    }

    // The rows go directly below the selected row, else below the last one,
    // together and in their order: rows after them move down to make room.
    BlockPtr previous = blockWithId(m_selectedBlockID);
    if (!previous && !m_canvas->blocks().isEmpty())
        previous = sortedBlocks().last();
    const double baseY = previous ? previous->positionY() + tableRowHeight : startY;

    QHash<QUuid, BlockPtr> newRows;
    BlockList pasted;
    for (qsizetype i = 0; i < clipboard->blocks.size(); ++i) {
        const CalcSettings::CopiedBlock& copied = clipboard->blocks[i];
        const BlockType type = copied.blockType == QLatin1String("text") ? BlockType::text : BlockType::calculation;
        const BlockPtr row = CalculationBlock::create(type, copied.expression, copied.textContent, copied.label,
                                                      startX, baseY + copied.relativeY, 200, tableRowHeight,
                                                      copied.colorHex);
        row->setPartLabels(copied.partLabels);
        row->setPartColors(copied.partColors);
        // Rows copied from one line share a line again.
        const bool sameLine = i > 0 && copied.relativeY == clipboard->blocks[i - 1].relativeY;
        RowPlacement::insertAfter(*m_canvas, row, previous,
                                  sameLine ? RowPlacement::Line::withPrevious : RowPlacement::Line::own);
        if (m_modelContext && !row->context())
            m_modelContext->insert(row);
        newRows.insert(copied.id, row);
        pasted.append(row);
        previous = row;
    }
    for (const CalcSettings::CopiedLink& copied : clipboard->links) {
        const BlockPtr source = newRows.value(copied.sourceBlockID);
        const BlockPtr destination = newRows.value(copied.destinationBlockID);
        if (!source || !destination)
            continue;
        // Link::create puts the link into both rows' lists.
        const LinkPtr link = Link::create(source, destination, copied.placeholderName, pastedLinkColor);
        link->setCanvas(m_canvas);
        m_canvas->appendLink(link);
        if (m_modelContext && !link->context())
            m_modelContext->insert(link);
    }
    for (const BlockPtr& row : pasted)
        CalculatorEngine::shared().evaluateBlock(row);

    QSet<QUuid> ids;
    QList<QUuid> order;
    for (const BlockPtr& row : pasted) {
        ids.insert(row->id());
        order.append(row->id());
    }
    m_selectedBlockIDs = ids;
    m_selectedBlockID = pasted.first()->id();
    m_canvas->touch();
    qCInfo(canvasLogger).noquote() << QStringLiteral("📋 Pasted %1 rows").arg(pasted.size());
    if (m_undoStack)
        m_undoStack->push(CanvasRowSteps::addedRows(m_canvas, order, QStringLiteral("Paste Rows")));
    updateRowColorAction();
    raiseEvaluationCounter();
}
