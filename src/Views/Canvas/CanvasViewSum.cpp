// The sum keyword: a row labelled with it becomes the live sum of the rows
// above it that have a result, one link per counted row.

#include "Views/Canvas/CanvasView.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"

namespace {

const QString placeholderAlphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");

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

    QStringList terms;
    for (qsizetype i = 0; i < counted.size() && i < placeholderAlphabet.size(); ++i) {
        const BlockPtr& row = counted[i];
        const QString letter = placeholderAlphabet.at(i);
        const LinkPtr link = Link::create(row, block, letter, row->colorHex());
        link->setCanvas(m_canvas);
        m_canvas->appendLink(link);
        QString colour = row->colorHex();
        if (colour.startsWith(QLatin1Char('#')))
            colour.remove(0, 1);
        terms.append(QLatin1Char('{') + letter + QLatin1Char(':') + colour + QLatin1Char('}'));
    }
    block->setExpression(terms.join(QStringLiteral(" + ")));
    // A text row (a new line in editor mode) would not be evaluated at all.
    if (block->isTextBlock())
        block->setBlockType(BlockType::calculation);
    CalculatorEngine::shared().evaluateBlock(block);
    m_canvas->touch();
}
