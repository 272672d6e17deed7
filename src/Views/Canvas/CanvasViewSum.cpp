// The sum keyword: a row labelled with it becomes the live sum of the rows
// above it that have a result, one link per counted row.

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

    // Rows fed by this one are left out: summing them would close a cycle.
    const QSet<QUuid> downstream = rowsDependingOn(block);
    BlockList counted;
    for (qsizetype i = 0; i < position; ++i) {
        const BlockPtr& row = rows[i];
        if (row->result() && !downstream.contains(row->id()))
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

// Undo and redo of the keyword's sum coming or going with a label edit. Holds
// ids and values only; the edit was made before the step was pushed.
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

    void undo() override { put(m_before); }

    void redo() override
    {
        if (m_pushed)
            put(m_after);
        m_pushed = true;
    }

    const QUuid& rowID() const { return m_rowID; }
    const SumKeywordState& before() const { return m_before; }
    const SumKeywordState& after() const { return m_after; }

private:
    void put(const SumKeywordState& state) const
    {
        const CanvasPtr canvas = m_canvas.lock();
        if (!canvas || canvas->isDeleted())
            return;
        BlockPtr row;
        QHash<QUuid, BlockPtr> rows;
        for (const BlockPtr& block : canvas->blocks()) {
            rows.insert(block->id(), block);
            if (block->id() == m_rowID)
                row = block;
        }
        if (!row)
            return;
        for (const LinkPtr& link : LinkList(row->incomingLinks()))
            ModelContext::deleteRecord(link);
        row->setIncomingLinks({});
        // Links only from rows still there; a gone row leaves the sum.
        LinkList links;
        for (const SumKeywordState::Incoming& saved : state.links) {
            const BlockPtr source = rows.value(saved.sourceID);
            if (!source || source == row)
                continue;
            const LinkPtr link = Link::create(source, row, saved.placeholderName, saved.colorHex);
            link->setId(saved.id);
            link->setCanvas(canvas);
            canvas->appendLink(link);
            links.append(link);
        }
        row->setLabel(state.label);
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

} // namespace

SumKeywordState CanvasView::sumKeywordState(const BlockPtr& block)
{
    SumKeywordState state;
    state.label = block->label();
    state.expression = block->expression();
    state.textRow = block->isTextBlock();
    for (const LinkPtr& link : block->incomingLinks()) {
        if (const BlockPtr source = link->sourceBlock())
            state.links.append({link->id(), source->id(), link->placeholderName(), link->colorHex()});
    }
    state.holdsSum = holdsKeywordSum(block);
    return state;
}

bool CanvasView::pushSumKeywordStep(const BlockPtr& block, const SumKeywordState& before)
{
    SumKeywordState after = sumKeywordState(block);
    if (!m_undoStack || before.holdsSum == after.holdsSum)
        return false;
    m_undoStack->push(new SumKeywordCommand(m_canvas, block->id(), before, std::move(after)));
    return true;
}

bool CanvasView::takeSumKeywordStep(const BlockPtr& block, bool redo)
{
    if (!m_undoStack)
        return false;
    const int at = redo ? m_undoStack->index() : m_undoStack->index() - 1;
    const auto* step = dynamic_cast<const SumKeywordCommand*>(m_undoStack->command(at));
    if (!step || step->rowID() != block->id())
        return false;
    const QString shown = m_labelField->text();
    if (shown != (redo ? step->before().label : step->after().label))
        return false;
    if (redo)
        m_undoStack->redo();
    else
        m_undoStack->undo();
    m_labelField->setText(block->label());
    refresh();
    return true;
}
