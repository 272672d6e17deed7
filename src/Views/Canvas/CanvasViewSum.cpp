// The sum keyword: a row labelled with it becomes the live sum of the rows
// above it, one link per counted row.

#include "Views/Canvas/CanvasView.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Engine/ExpressionText.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include <QUndoCommand>
#include <QUndoStack>

namespace {

QString sumTerm(const LinkPtr& link)
{
    return CalculatorEngine::linkSumTerm(*link);
}

} // namespace

QSet<QUuid> CanvasView::rowsDependingOn(const BlockPtr& block)
{
    // Everything reachable downstream: linking any of these into the row
    // would close a cycle.
    QSet<QUuid> reached;
    if (!block)
        return reached;
    QList<BlockPtr> pending{block};
    while (!pending.isEmpty()) {
        const BlockPtr row = pending.takeLast();
        for (const LinkPtr& link : row->outgoingLinks()) {
            const BlockPtr destination = link->destinationBlock();
            if (destination && !reached.contains(destination->id())) {
                reached.insert(destination->id());
                pending.append(destination);
            }
        }
    }
    return reached;
}

void CanvasView::applySumExpression(const BlockPtr& block)
{
    const BlockList rows = sortedBlocks();
    const qsizetype position = rows.indexOf(block);
    if (position < 0)
        return;

    // Every row above counts, with a result or not yet: one without adds
    // nothing until it has one (a refused row corrected later). Rows fed by
    // this one are left out: summing them would close a cycle.
    const QSet<QUuid> downstream = rowsDependingOn(block);
    BlockList counted;
    for (qsizetype i = 0; i < position; ++i) {
        const BlockPtr& row = rows[i];
        if (!downstream.contains(row->id()))
            counted.append(row);
    }
    if (counted.isEmpty())
        return;

    for (const LinkPtr& link : LinkList(block->incomingLinks()))
        ModelContext::deleteRecord(link);
    block->setIncomingLinks({});

    // Every counted row gets its link: after Z the names go on as links
    // made by hand do.
    QStringList names;
    QStringList terms;
    for (const BlockPtr& row : counted) {
        const QString name = generatePlaceholderName(names);
        names.append(name);
        const LinkPtr link = Link::create(row, block, name, row->colorHex());
        link->setCanvas(m_canvas);
        m_canvas->appendLink(link);
        terms.append(sumTerm(link));
    }
    block->setExpression(terms.join(QStringLiteral(" + ")));
    // A text row (a new line in editor mode) would not be evaluated at all.
    if (block->isTextBlock())
        block->setBlockType(BlockType::calculation);
    CalculatorEngine::shared().evaluateBlock(block);
    m_canvas->touch();
}

namespace {

QStringList termsOf(const LinkList& links)
{
    QStringList terms;
    for (const LinkPtr& link : links)
        terms.append(sumTerm(link));
    return terms;
}

const QString plus = QStringLiteral(" + ");

} // namespace

bool CanvasView::holdsKeywordSum(const BlockPtr& block)
{
    return CalculatorEngine::isLinkSum(*block);
}

QString CanvasView::keywordSumLeft(const QString& expression, const LinkList& links)
{
    QStringList left = termsOf(links);
    QStringList kept;
    for (const QString& term : expression.split(plus)) {
        if (left.removeOne(term))
            kept.append(term);
    }
    return kept.join(plus);
}

void CanvasView::removeKeywordSum(const BlockPtr& block)
{
    for (const LinkPtr& link : LinkList(block->incomingLinks()))
        ModelContext::deleteRecord(link);
    block->setIncomingLinks({});
    block->setExpression(QString());
    CalculatorEngine::shared().evaluateBlock(block);
    m_canvas->touch();
}

bool CanvasView::isSumKeyword(const QString& label)
{
    const QString keyword = sumKeyword();
    return !keyword.isEmpty()
        && ExpressionText::trimmedSpacesAndTabs(label).compare(keyword, Qt::CaseInsensitive) == 0;
}

namespace {

BlockPtr rowOf(const CanvasPtr& canvas, const QUuid& id)
{
    for (const BlockPtr& block : canvas->blocks()) {
        if (block->id() == id)
            return block;
    }
    return nullptr;
}

// The step of a sum the keyword brought and the user kept. Undo takes the sum
// away and puts back what the row held; redo brings the sum back. The label
// is never touched: it is what the user typed. A step whose row no longer
// holds what it would undo (the sum typed over or gone) does nothing and
// leaves the history. Holds ids and values only; the sum was made before the
// step was pushed.
class SumKeywordCommand : public QUndoCommand {
public:
    SumKeywordCommand(const CanvasPtr& canvas, const QUuid& rowID, SumKeywordState before, SumKeywordState after)
        : m_canvas(canvas)
        , m_rowID(rowID)
        , m_before(std::move(before))
        , m_after(std::move(after))
    {
        setText(QStringLiteral("Sum"));
    }

    void undo() override
    {
        if (!canUndo()) {
            setObsolete(true);
            return;
        }
        put(m_before);
    }

    void redo() override
    {
        if (!m_pushed) {
            m_pushed = true;
            return;
        }
        if (!canRedo()) {
            setObsolete(true);
            return;
        }
        put(m_after);
    }

    // The row still holds the keyword's sum.
    bool canUndo() const
    {
        const BlockPtr row = row_();
        return row && CanvasView::holdsKeywordSum(row);
    }

    // The row is as the undo left it: the keyword as its label, what the
    // sum replaced as its expression.
    bool canRedo() const
    {
        const BlockPtr row = row_();
        return row && CanvasView::isSumKeyword(row->label()) && !CanvasView::holdsKeywordSum(row)
            && row->expression() == m_before.expression;
    }

    // The sum went again while its step was the last one: the row gets back
    // what the sum replaced, as if it had never come.
    void putBefore() const { put(m_before); }
    void setAfter(SumKeywordState after) { m_after = std::move(after); }
    const QUuid& rowID() const { return m_rowID; }

private:
    BlockPtr row_() const
    {
        const CanvasPtr canvas = m_canvas.lock();
        if (!canvas || canvas->isDeleted())
            return nullptr;
        return rowOf(canvas, m_rowID);
    }

    void put(const SumKeywordState& state) const
    {
        const CanvasPtr canvas = m_canvas.lock();
        if (!canvas || canvas->isDeleted())
            return;
        const BlockPtr row = rowOf(canvas, m_rowID);
        if (!row)
            return;
        for (const LinkPtr& link : LinkList(row->incomingLinks()))
            ModelContext::deleteRecord(link);
        row->setIncomingLinks({});
        // Links only from rows still there; a gone row leaves the sum.
        LinkList links;
        for (const SumKeywordState::Incoming& saved : state.links) {
            const BlockPtr source = rowOf(canvas, saved.sourceID);
            if (!source || source == row)
                continue;
            const LinkPtr link = Link::create(source, row, saved.placeholderName, saved.colorHex);
            link->setId(saved.id);
            link->setCanvas(canvas);
            canvas->appendLink(link);
            links.append(link);
        }
        row->setExpression(state.holdsSum ? CanvasView::keywordSumLeft(state.expression, links) : state.expression);
        row->setBlockType(state.textRow ? BlockType::text : BlockType::calculation);
        CalculatorEngine::shared().evaluateBlock(row);
        canvas->touch();
    }

    std::weak_ptr<Canvas> m_canvas;
    QUuid m_rowID;
    SumKeywordState m_before;
    SumKeywordState m_after;
    bool m_pushed = false;
};

SumKeywordCommand* sumStepAt(QUndoStack* stack, int at)
{
    if (!stack || at < 0 || at >= stack->count())
        return nullptr;
    return dynamic_cast<SumKeywordCommand*>(const_cast<QUndoCommand*>(stack->command(at)));
}

} // namespace

SumKeywordState CanvasView::sumKeywordState(const BlockPtr& block)
{
    SumKeywordState state;
    state.expression = block->expression();
    state.textRow = block->isTextBlock();
    for (const LinkPtr& link : block->incomingLinks()) {
        if (const BlockPtr source = link->sourceBlock())
            state.links.append({link->id(), source->id(), link->placeholderName(), link->colorHex()});
    }
    state.holdsSum = holdsKeywordSum(block);
    return state;
}

void CanvasView::pruneSumKeywordSteps()
{
    // Steps that would do nothing leave the history, so that Undo and Redo
    // always do something the user can see.
    if (!m_undoStack)
        return;
    while (SumKeywordCommand* step = sumStepAt(m_undoStack, m_undoStack->index() - 1)) {
        if (step->canUndo())
            break;
        step->setObsolete(true);
        m_undoStack->undo();
    }
    while (SumKeywordCommand* step = sumStepAt(m_undoStack, m_undoStack->index())) {
        if (step->canRedo())
            break;
        step->setObsolete(true);
        m_undoStack->redo();
    }
}

void CanvasView::labelTyped(const BlockPtr& block, const QString& labelBefore)
{
    // Rows that miss this row's value say so by its label.
    if (block->label() != labelBefore)
        CalculatorEngine::shared().sourceRenamed(block);
    pruneSumKeywordSteps();
    const SumKeywordState before = sumKeywordState(block);
    if (isSumKeyword(block->label())) {
        applySumExpression(block);
        if (!m_undoStack || !holdsKeywordSum(block))
            return;
        SumKeywordState after = sumKeywordState(block);
        SumKeywordCommand* last = sumStepAt(m_undoStack, m_undoStack->index() - 1);
        if (last && last->rowID() == block->id())
            last->setAfter(std::move(after)); // made afresh ("Summe" and a blank)
        else if (!before.holdsSum)
            m_undoStack->push(new SumKeywordCommand(m_canvas, block->id(), before, std::move(after)));
    } else if (isSumKeyword(labelBefore) && holdsKeywordSum(block)) {
        takeKeywordSumAway(block);
    }
}

void CanvasView::takeKeywordSumAway(const BlockPtr& block)
{
    // Typed on past the keyword in the edit that brought the sum: no step
    // remains, and the row holds again what it held before.
    SumKeywordCommand* last = sumStepAt(m_undoStack, m_undoStack ? m_undoStack->index() - 1 : -1);
    if (last && last->rowID() == block->id() && last->canUndo()) {
        last->putBefore();
        last->setObsolete(true);
        m_undoStack->undo();
        return;
    }
    // Typed on later, with other steps since: the row still gets back what
    // the sum replaced; the step, left with nothing to undo, goes when the
    // history reaches it.
    for (int at = m_undoStack ? m_undoStack->index() - 1 : -1; at >= 0; --at) {
        SumKeywordCommand* step = sumStepAt(m_undoStack, at);
        if (step && step->rowID() == block->id() && step->canUndo()) {
            step->putBefore();
            return;
        }
    }
    removeKeywordSum(block);
}

bool CanvasView::takeSumKeywordStep(const BlockPtr& block, bool redo)
{
    if (!m_undoStack)
        return false;
    pruneSumKeywordSteps();
    const SumKeywordCommand* step = sumStepAt(m_undoStack, redo ? m_undoStack->index() : m_undoStack->index() - 1);
    if (!step || step->rowID() != block->id())
        return false;
    if (redo)
        m_undoStack->redo();
    else
        m_undoStack->undo();
    refresh();
    return true;
}
