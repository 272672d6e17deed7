// Deleting rows, with an undo that puts them back as they were.

#include "Views/Canvas/CanvasView.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"

#include <QUndoCommand>
#include <QUndoStack>

namespace {

// Everything stored of a deleted row, so that undo restores it whole: same
// id, number labels and colours, text, kind, place in the list.
struct RowSnapshot {
    QUuid id;
    BlockType blockType = BlockType::calculation;
    QString label;
    QString expression;
    QString textContent;
    PartMap partLabels;
    PartMap partColors;
    std::optional<double> result;
    bool hasError = false;
    std::optional<QString> errorMessage;
    double positionX = 0;
    double positionY = 0;
    double width = 0;
    double height = 0;
    QString colorHex;
    qsizetype index = 0; // in the canvas's stored list
};

struct LinkSnapshot {
    QUuid id;
    QUuid sourceID;
    QUuid destinationID;
    QString placeholderName;
    QString colorHex;
    qsizetype index = 0;
};

struct DeletedRows {
    QList<RowSnapshot> rows;   // by ascending stored index
    QList<LinkSnapshot> links; // by ascending index in the canvas's links
    QList<QPair<QUuid, QString>> sums; // kept keyword sums, with the expression they had
};

RowSnapshot snapshot(const BlockPtr& block, qsizetype index)
{
    return {block->id(),       block->blockType(), block->label(),     block->expression(), block->textContent(),
            block->partLabels(), block->partColors(), block->result(), block->hasError(),   block->errorMessage(),
            block->positionX(), block->positionY(),  block->width(),    block->height(),     block->colorHex(),
            index};
}

BlockPtr findRow(const Canvas& canvas, const QUuid& id)
{
    for (const BlockPtr& block : canvas.blocks()) {
        if (block->id() == id)
            return block;
    }
    return nullptr;
}

// Takes the rows and every link that touches them out of the canvas and the
// store. The links into a deleted row go too: with no destination they would
// only linger in the store, and undo brings them back.
DeletedRows removeRows(const CanvasPtr& canvas, const BlockList& rows)
{
    DeletedRows deleted;
    QSet<QUuid> ids;
    for (const BlockPtr& row : rows)
        ids.insert(row->id());
    const BlockList& stored = canvas->blocks();
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (rows.contains(stored[i]))
            deleted.rows.append(snapshot(stored[i], i));
    }
    const LinkList& links = canvas->links();
    for (qsizetype i = 0; i < links.size(); ++i) {
        const LinkPtr& link = links[i];
        const BlockPtr source = link->sourceBlock();
        const BlockPtr destination = link->destinationBlock();
        const bool touches =
            (source && ids.contains(source->id())) || (destination && ids.contains(destination->id()));
        if (touches && source && destination)
            deleted.links.append({link->id(), source->id(), destination->id(), link->placeholderName(),
                                  link->colorHex(), i});
    }
    // Keyword sums that counted a deleted row lose its term; undo puts it back.
    QSet<QUuid> sums;
    for (const BlockPtr& row : rows) {
        for (const LinkPtr& link : row->outgoingLinks()) {
            const BlockPtr sum = link->destinationBlock();
            if (sum && !ids.contains(sum->id()) && !sums.contains(sum->id()) && CanvasView::holdsKeywordSum(sum)) {
                sums.insert(sum->id());
                deleted.sums.append({sum->id(), sum->expression()});
            }
        }
    }
    for (const BlockPtr& row : rows)
        CanvasView::deleteRowWithItsLinks(row);
    return deleted;
}

void restoreRows(const CanvasPtr& canvas, const DeletedRows& deleted)
{
    BlockList blocks = canvas->blocks();
    for (const RowSnapshot& row : deleted.rows) {
        if (findRow(*canvas, row.id))
            continue; // already back (or never gone)
        const BlockPtr block =
            CalculationBlock::create(row.blockType, row.expression, row.textContent, row.label, row.positionX,
                                     row.positionY, row.width, row.height, row.colorHex);
        block->setId(row.id);
        block->setPartLabels(row.partLabels);
        block->setPartColors(row.partColors);
        block->setResult(row.result);
        block->setHasError(row.hasError);
        block->setErrorMessage(row.errorMessage);
        blocks.insert(std::min(row.index, blocks.size()), block);
    }
    canvas->setBlocks(blocks);

    LinkList links = canvas->links();
    for (const LinkSnapshot& saved : deleted.links) {
        // Only between rows that are there now.
        const BlockPtr source = findRow(*canvas, saved.sourceID);
        const BlockPtr destination = findRow(*canvas, saved.destinationID);
        if (!source || !destination)
            continue;
        const LinkPtr link = Link::create(source, destination, saved.placeholderName, saved.colorHex);
        link->setId(saved.id);
        links.insert(std::min(saved.index, links.size()), link);
    }
    canvas->setLinks(links);
    for (const auto& [id, expression] : deleted.sums) {
        if (const BlockPtr sum = findRow(*canvas, id))
            sum->setExpression(expression);
    }
}

// Undo of "Delete Block" and "Delete Blocks". Holds values and ids only, never
// records, and leaves the stack once undone (there is no redo).
class DeleteBlocksCommand : public QUndoCommand {
public:
    DeleteBlocksCommand(const CanvasPtr& canvas, DeletedRows deleted, const QString& name)
        : m_canvas(canvas)
        , m_deleted(std::move(deleted))
    {
        setText(name);
    }

    void redo() override {} // the rows were deleted before the command was pushed

    void undo() override
    {
        setObsolete(true);
        const CanvasPtr canvas = m_canvas.lock();
        if (!canvas || canvas->isDeleted())
            return;
        restoreRows(canvas, m_deleted);
        canvas->touch();
        // Rows that used the deleted ones read their values again.
        CalculatorEngine::shared().evaluateCanvas(canvas);
    }

private:
    std::weak_ptr<Canvas> m_canvas;
    DeletedRows m_deleted;
};

} // namespace

void CanvasView::deleteSelectedBlock()
{
    if (!m_selectedBlockIDs.isEmpty()) {
        deleteSelectedBlocks();
        return;
    }
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    if (!selected)
        return;
    const int line = lineForY(selected->positionY());
    if (m_focusedBlockID == selected->id())
        setFocusedBlockID(std::nullopt);
    if (m_focusedLabelBlockID == selected->id())
        setFocusedLabelBlockID(std::nullopt);
    DeletedRows deleted = removeRows(m_canvas, {selected});
    if (editorMode())
        repositionBlocksOnLine(line);
    m_canvas->touch();
    CalculatorEngine::shared().evaluateCanvas(m_canvas);
    m_selectedBlockID.reset();
    if (m_undoStack)
        m_undoStack->push(new DeleteBlocksCommand(m_canvas, std::move(deleted), QStringLiteral("Delete Block")));
    updateRowColorAction();
    raiseEvaluationCounter();
}

void CanvasView::deleteSelectedBlocks()
{
    if (m_selectedBlockIDs.isEmpty())
        return;
    BlockList rows;
    for (const BlockPtr& block : sortedBlocks()) {
        if (m_selectedBlockIDs.contains(block->id()) && !rows.contains(block))
            rows.append(block);
    }
    if (rows.isEmpty()) {
        // The selected rows are gone already (an undone paste): nothing to
        // delete, and no empty step on the undo stack.
        m_selectedBlockIDs.clear();
        updateRowColorAction();
        return;
    }
    if (m_focusedBlockID && m_selectedBlockIDs.contains(*m_focusedBlockID))
        setFocusedBlockID(std::nullopt);
    if (m_focusedLabelBlockID && m_selectedBlockIDs.contains(*m_focusedLabelBlockID))
        setFocusedLabelBlockID(std::nullopt);
    DeletedRows deleted = removeRows(m_canvas, rows);
    m_canvas->touch();
    m_selectedBlockIDs.clear();
    CalculatorEngine::shared().evaluateCanvas(m_canvas);
    if (m_undoStack)
        m_undoStack->push(new DeleteBlocksCommand(m_canvas, std::move(deleted), QStringLiteral("Delete Blocks")));
    updateRowColorAction();
    raiseEvaluationCounter();
}

void CanvasView::deleteRowWithItsLinks(const BlockPtr& row)
{
    // A keyword sum that counted the row goes on adding the rows left.
    BlockList sums;
    for (const LinkPtr& link : row->outgoingLinks()) {
        const BlockPtr sum = link->destinationBlock();
        if (sum && sum != row && !sums.contains(sum) && holdsKeywordSum(sum))
            sums.append(sum);
    }
    // Both directions: a link into a deleted row would only linger with no destination.
    for (const LinkList& list : {row->outgoingLinks(), row->incomingLinks()})
        for (const LinkPtr& link : list)
            ModelContext::deleteRecord(link);
    ModelContext::deleteRecord(row);
    for (const BlockPtr& sum : sums)
        sum->setExpression(keywordSumLeft(sum->expression(), sum->incomingLinks()));
}
