// The currency mark shown beside a row's value: the rule lives in core, so
// print and PDF show the same mark.

#include "Views/Canvas/CanvasView.h"

#include "Engine/ResultCurrency.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

std::optional<QString> CanvasView::detectCurrency(const QString& text)
{
    return ResultCurrency::markIn(text);
}

std::optional<QString> CanvasView::detectConversionTargetCurrency(const QString& text)
{
    return ResultCurrency::conversionTargetMark(text);
}

std::optional<QString> CanvasView::effectiveCurrency(const BlockPtr& block, QSet<QUuid> visited) const
{
    return ResultCurrency::effectiveMark(*m_canvas, *block, std::move(visited));
}
