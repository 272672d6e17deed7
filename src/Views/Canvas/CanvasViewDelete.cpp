// Deleting rows, and the history steps that take rows out and put them back
// as they were.

#include "Views/Canvas/CanvasRowSteps.h"
#include "Views/Canvas/CanvasView.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Models/RowPlacement.h"

#include <QUndoCommand>
#include <QUndoStack>
#include <memory>

namespace {

// Everything stored of a row taken out, so that it comes back whole: same
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
    // Whether it stood on the line of the row before or after it in the table.
    bool onPreviousLine = false;
    bool onNextLine = false;
};

struct LinkSnapshot {
    QUuid id;
    QUuid sourceID;
    QUuid destinationID;
    QString placeholderName;
    QString colorHex;
    qsizetype index = 0;
};

// A keyword sum that lost the terms of rows taken out.
struct SumSnapshot {
    QUuid id;
    QString before; // with the terms
    QString after;  // as taking the rows out left it
};

struct DeletedRows {
    QList<RowSnapshot> rows;   // in table order
    QList<QUuid> order;        // the whole table as it stood
    QList<LinkSnapshot> links; // by ascending index in the canvas's links
    QList<SumSnapshot> sums;
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
// store. The links into a removed row go too: with no destination they would
// only linger in the store, and putting the row back brings them back.
DeletedRows removeRows(const CanvasPtr& canvas, const BlockList& rows)
{
    DeletedRows deleted;
    QSet<QUuid> ids;
    for (const BlockPtr& row : rows)
        ids.insert(row->id());
    const BlockList& stored = canvas->blocks();
    const BlockList table = RowPlacement::tableOrder(stored);
    for (qsizetype i = 0; i < table.size(); ++i) {
        deleted.order.append(table[i]->id());
        if (!ids.contains(table[i]->id()))
            continue;
        RowSnapshot row = snapshot(table[i], stored.indexOf(table[i]));
        const int line = RowPlacement::lineOf(row.positionY);
        row.onPreviousLine = i > 0 && RowPlacement::lineOf(table[i - 1]->positionY()) == line;
        row.onNextLine = i + 1 < table.size() && RowPlacement::lineOf(table[i + 1]->positionY()) == line;
        deleted.rows.append(row);
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
    // Keyword sums that counted a removed row lose its term; putting the row
    // back puts the term back.
    BlockList sums;
    for (const BlockPtr& row : rows) {
        for (const LinkPtr& link : row->outgoingLinks()) {
            const BlockPtr sum = link->destinationBlock();
            if (sum && !ids.contains(sum->id()) && !sums.contains(sum) && CanvasView::holdsKeywordSum(sum)) {
                sums.append(sum);
                deleted.sums.append({sum->id(), sum->expression(), QString()});
            }
        }
    }
    for (const BlockPtr& row : rows)
        CanvasView::deleteRowWithItsLinks(row);
    for (qsizetype i = 0; i < sums.size(); ++i)
        deleted.sums[i].after = sums[i]->expression();
    return deleted;
}

// Whether an expression holds a link token of that name, with or without
// its colour.
bool usesPlaceholder(const QString& expression, const QString& name)
{
    const QString token = QLatin1Char('{') + name;
    return expression.contains(token + QLatin1Char('}')) || expression.contains(token + QLatin1Char(':'));
}

// Puts a row back by the rows it stood between as the table shows them now,
// not by its old position: positions may have been re-spaced since (moves
// do). A row that shared a line goes back onto it, next to the row it stood
// beside; any other row goes before the nearest row below it that is still
// there, else after the nearest one above it.
void placeRow(Canvas& canvas, const BlockPtr& block, const RowSnapshot& row, const QList<QUuid>& order,
              const QHash<QUuid, BlockPtr>& present)
{
    using RowPlacement::Line;
    const qsizetype at = order.indexOf(row.id);
    const auto neighbour = [&](qsizetype i) {
        return at >= 0 && i >= 0 && i < order.size() ? present.value(order[i]) : nullptr;
    };
    if (const BlockPtr next = row.onNextLine ? neighbour(at + 1) : nullptr) {
        RowPlacement::insertBefore(canvas, block, next, Line::withNext, row.index);
        return;
    }
    if (const BlockPtr previous = row.onPreviousLine ? neighbour(at - 1) : nullptr) {
        RowPlacement::insertAfter(canvas, block, previous, Line::withPrevious, row.index);
        return;
    }
    for (qsizetype i = at + 1; at >= 0 && i < order.size(); ++i) {
        if (const BlockPtr next = present.value(order[i])) {
            RowPlacement::insertBefore(canvas, block, next, Line::own, row.index);
            return;
        }
    }
    for (qsizetype i = at - 1; i >= 0; --i) {
        if (const BlockPtr previous = present.value(order[i])) {
            RowPlacement::insertAfter(canvas, block, previous, Line::own, row.index);
            return;
        }
    }
    // None of the rows it stood between is there: where it stood.
    BlockList blocks = canvas.blocks();
    blocks.insert(std::min(row.index, blocks.size()), block);
    canvas.setBlocks(blocks);
}

// Puts back the rows that are not there, and their links to rows that are.
// Nothing that was typed since is written over: a sum whose expression or
// keyword was changed after its terms went keeps what it holds, and a link
// stays out of
// a row that took its name for a new link or no longer uses it.
void restoreRows(const CanvasPtr& canvas, const DeletedRows& deleted)
{
    QList<QPair<BlockPtr, QString>> sums;
    for (const SumSnapshot& saved : deleted.sums) {
        const BlockPtr sum = findRow(*canvas, saved.id);
        if (sum && CanvasView::isSumKeyword(sum->label()) && sum->expression() == saved.after)
            sums.append({sum, saved.before});
    }

    QSet<QUuid> returned;
    QHash<QUuid, BlockPtr> present;
    for (const BlockPtr& block : canvas->blocks())
        present.insert(block->id(), block);
    for (const RowSnapshot& row : deleted.rows) {
        if (present.contains(row.id))
            continue; // already back (or never gone)
        returned.insert(row.id);
        const BlockPtr block =
            CalculationBlock::create(row.blockType, row.expression, row.textContent, row.label, row.positionX,
                                     row.positionY, row.width, row.height, row.colorHex);
        block->setId(row.id);
        block->setPartLabels(row.partLabels);
        block->setPartColors(row.partColors);
        block->setResult(row.result);
        block->setHasError(row.hasError);
        block->setErrorMessage(row.errorMessage);
        placeRow(*canvas, block, row, deleted.order, present);
        present.insert(row.id, block);
    }

    LinkList links = canvas->links();
    for (const LinkSnapshot& saved : deleted.links) {
        // Only between rows that are there now.
        const BlockPtr source = findRow(*canvas, saved.sourceID);
        const BlockPtr destination = findRow(*canvas, saved.destinationID);
        if (!source || !destination)
            continue;
        bool taken = false;
        for (const LinkPtr& other : destination->incomingLinks())
            taken = taken || other->id() == saved.id || other->placeholderName() == saved.placeholderName;
        if (taken)
            continue;
        // A row that stayed gets the value back only where its expression
        // still asks for it; typed over, it would be left a link it ignores.
        if (!returned.contains(destination->id())) {
            QString expression = destination->expression();
            for (const auto& [sum, before] : sums) {
                if (sum == destination)
                    expression = before;
            }
            if (!usesPlaceholder(expression, saved.placeholderName))
                continue;
        }
        const LinkPtr link = Link::create(source, destination, saved.placeholderName, saved.colorHex);
        link->setId(saved.id);
        links.insert(std::min(saved.index, links.size()), link);
    }
    canvas->setLinks(links);
    // Terms only of links that are there: a counted row still gone stays out.
    for (const auto& [sum, expression] : sums)
        sum->setExpression(CanvasView::keywordSumLeft(expression, sum->incomingLinks()));
}

// One step of rows taken out or put back. `added` steps (pastes, rows added
// with Tab) take their rows out on undo; delete steps put them back. Each
// time the rows go, they are recorded as they stand, so what comes back is
// what left, edits included. A step with nothing left to do leaves the
// history.
class RowsStep : public QUndoCommand {
public:
    RowsStep(const CanvasPtr& canvas, QList<QUuid> rowIDs, bool added, DeletedRows taken, const QString& name)
        : m_canvas(canvas)
        , m_rowIDs(std::move(rowIDs))
        , m_added(added)
        , m_taken(std::move(taken))
    {
        setText(name);
    }

    void undo() override
    {
        if (!(m_added ? takeOut() : putBack()))
            setObsolete(true);
    }

    void redo() override
    {
        if (!m_pushed) {
            m_pushed = true; // done before the step was pushed
            return;
        }
        if (!(m_added ? putBack() : takeOut()))
            setObsolete(true);
    }

private:
    CanvasPtr canvas() const
    {
        const CanvasPtr canvas = m_canvas.lock();
        return canvas && !canvas->isDeleted() ? canvas : nullptr;
    }

    bool takeOut()
    {
        const CanvasPtr canvas = this->canvas();
        if (!canvas)
            return false;
        BlockList rows;
        for (const QUuid& id : m_rowIDs) {
            if (const BlockPtr row = findRow(*canvas, id))
                rows.append(row);
        }
        if (rows.isEmpty())
            return false;
        m_taken = removeRows(canvas, rows);
        canvas->touch();
        // Rows that used the removed ones lose those values now.
        CalculatorEngine::shared().evaluateCanvas(canvas);
        return true;
    }

    bool putBack()
    {
        const CanvasPtr canvas = this->canvas();
        if (!canvas)
            return false;
        bool missing = false;
        for (const RowSnapshot& row : m_taken.rows)
            missing = missing || !findRow(*canvas, row.id);
        if (!missing)
            return false;
        restoreRows(canvas, m_taken);
        canvas->touch();
        // Rows that used the restored ones read their values again.
        CalculatorEngine::shared().evaluateCanvas(canvas);
        return true;
    }

    std::weak_ptr<Canvas> m_canvas;
    QList<QUuid> m_rowIDs;
    bool m_added = false;
    DeletedRows m_taken; // what the last taking out took
    bool m_pushed = false;
};

} // namespace

QUndoCommand* CanvasRowSteps::deleteRows(const CanvasPtr& canvas, const BlockList& rows, const QString& name)
{
    QList<QUuid> ids;
    for (const BlockPtr& row : rows)
        ids.append(row->id());
    DeletedRows taken = removeRows(canvas, rows);
    return new RowsStep(canvas, std::move(ids), false, std::move(taken), name);
}

QUndoCommand* CanvasRowSteps::addedRows(const CanvasPtr& canvas, const QList<QUuid>& rowIDs, const QString& name)
{
    return new RowsStep(canvas, rowIDs, true, {}, name);
}

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
    std::unique_ptr<QUndoCommand> step(
        CanvasRowSteps::deleteRows(m_canvas, {selected}, QStringLiteral("Delete Block")));
    if (editorMode())
        repositionBlocksOnLine(line);
    m_canvas->touch();
    CalculatorEngine::shared().evaluateCanvas(m_canvas);
    m_selectedBlockID.reset();
    if (m_undoStack)
        m_undoStack->push(step.release());
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
    std::unique_ptr<QUndoCommand> step(CanvasRowSteps::deleteRows(m_canvas, rows, QStringLiteral("Delete Blocks")));
    m_canvas->touch();
    m_selectedBlockIDs.clear();
    CalculatorEngine::shared().evaluateCanvas(m_canvas);
    if (m_undoStack)
        m_undoStack->push(step.release());
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
