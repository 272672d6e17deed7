// Entry points of the link, number-label and sum features. Each does the
// least that the table relies on today; the features fill them in.

#include "Views/CanvasView.h"

#include "Models/CalculationBlock.h"

QString CanvasView::expressionWithLineNumbers(const BlockPtr& block) const
{
    // Link tokens are shown as written until the row-number form exists.
    return block->expression();
}

QString CanvasView::lineNumbersToPlaceholders(const QString& text, const BlockPtr& block) const
{
    Q_UNUSED(block)
    return text;
}

std::optional<QString> CanvasView::effectiveCurrency(const BlockPtr& block, QSet<QUuid> visited) const
{
    // The currency shown beside a value arrives with the currency display work.
    Q_UNUSED(block)
    Q_UNUSED(visited)
    return std::nullopt;
}

void CanvasView::startEditingNumberLabel(const QString& value, int index, const BlockPtr& block)
{
    // The inline label editor comes with the number-label work.
    Q_UNUSED(value)
    Q_UNUSED(index)
    Q_UNUSED(block)
}

void CanvasView::endLinkDrag(QPointF point)
{
    if (!m_temporaryLink)
        return;
    const BlockPtr source = m_temporaryLink->sourceBlock;
    // The row under the pointer, from the real row geometry.
    const double offset = point.y() - rowsTop();
    const int index = offset < 0 ? -1 : int(offset / rowPitch());
    const BlockList rows = sortedBlocks();
    if (index >= 0 && index < rows.size()) {
        if (rows[index] != source)
            createLink(source, rows[index]);
    } else {
        createLinkedBlockBelow(source);
    }
    setTemporaryLink(std::nullopt);
}

void CanvasView::createLink(const BlockPtr& source, const BlockPtr& destination)
{
    // Linking rows comes with the link work.
    Q_UNUSED(source)
    Q_UNUSED(destination)
}

void CanvasView::createLinkedBlockBelow(const BlockPtr& source)
{
    // A new row taking the source's result comes with the link work.
    Q_UNUSED(source)
}
