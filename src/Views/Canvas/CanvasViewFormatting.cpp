// How values, colours and expressions are shown in the table.

#include "Views/Canvas/CanvasView.h"
#include "Engine/ResultCurrency.h"

#include "Engine/ExpressionParts.h"
#include "Engine/ExpressionText.h"
#include "Engine/LinkToken.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/HexColor.h"
#include "Models/Link.h"
#include "Models/ValueFormatting.h"

#include <QFontMetricsF>
#include <QLocale>

#include <cmath>

namespace {


const QColor grayColor(142, 142, 147);

DecimalStyle numberStyle()
{
    return CalcSettings::shared().decimalStyle();
}

// Hands each part of the expression, from the left, to visit until it
// returns false: a caller that needs only the first parts reads only as far
// as they go. Print splits and numbers a row by the same parts.
template <class Visit>
void forEachExpressionPart(const QString& expression, Visit visit)
{
    ExpressionParts::forEachPart(expression, numberStyle(), [&](const ExpressionParts::Part& part) {
        const qsizetype start = part.start;
        const qsizetype end = part.end;
        switch (part.kind) {
        case ExpressionParts::Kind::number:
            return visit(TableExpressionPart::number(expression.mid(start, end - start)));
        case ExpressionParts::Kind::text:
            return visit(TableExpressionPart::quotedText(expression.mid(start, end - start)));
        case ExpressionParts::Kind::quoted:
            return visit(TableExpressionPart::quotedText(expression.mid(start + 1, end - start - 2)));
        case ExpressionParts::Kind::link: {
            const QString inner = expression.mid(start + 1, end - start - 2);
            const qsizetype colon = inner.indexOf(QLatin1Char(':'));
            QStringList pieces = colon < 0 ? QStringList{inner} : QStringList{inner.left(colon), inner.mid(colon + 1)};
            pieces.removeAll(QString());
            const QString name = pieces.value(0);
            const QString color = pieces.size() > 1 ? pieces[1] : QStringLiteral("#00D4FF");
            return visit(TableExpressionPart::linkedValue(name, color));
        }
        case ExpressionParts::Kind::operatorSign:
        case ExpressionParts::Kind::parenthesis: {
            // Brackets are drawn as operators are.
            const QChar c = expression[start];
            QString symbol(c);
            if (c == QLatin1Char('*'))
                symbol = QStringLiteral("×");
            else if (c == QLatin1Char('/'))
                symbol = QStringLiteral("÷");
            return visit(TableExpressionPart::operator_(symbol));
        }
        case ExpressionParts::Kind::percent:
            return visit(TableExpressionPart::percent());
        }
        return true;
    });
}

} // namespace

QString CanvasView::formatTableValue(double value)
{
    return formatDecimalCommaValue(value);
}

QString CanvasView::colorName(const QString& hex)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("#00D4FF"), QStringLiteral("Cyan")},   {QStringLiteral("#FF6B9D"), QStringLiteral("Pink")},
        {QStringLiteral("#00FF88"), QStringLiteral("Green")},  {QStringLiteral("#FFB800"), QStringLiteral("Orange")},
        {QStringLiteral("#B388FF"), QStringLiteral("Purple")}, {QStringLiteral("#FF5252"), QStringLiteral("Red")},
        {QStringLiteral("#64FFDA"), QStringLiteral("Teal")},   {QStringLiteral("#FFFF00"), QStringLiteral("Yellow")},
    };
    return names.value(hex, QStringLiteral("Color"));
}

QColor CanvasView::rowColor(const CalculationBlock& block)
{
    // The platform's cyan, as the fallback of every unreadable row colour.
    return colorFromHex(block.colorHex()).value_or(QColor(0, 192, 232));
}

const QRegularExpression& CanvasView::placeholderRegex()
{
    // Also the short form "{A}"; a name never spans a brace.
    static const QRegularExpression regex(QStringLiteral("\\{([^:{}]+)(?::([^}]*))?\\}"));
    return regex;
}

const QRegularExpression& CanvasView::lineNumberRegex()
{
    static const QRegularExpression regex(QStringLiteral("L(\\d+)"));
    return regex;
}

TableExpressionParts CanvasView::parseExpressionParts(const QString& expression)
{
    TableExpressionParts parts;
    forEachExpressionPart(expression, [&](TableExpressionPart part) {
        parts.append(std::move(part));
        return true;
    });
    return parts;
}

TableExpressionPart CanvasView::classifyTablePart(const QString& run)
{
    const QList<ExpressionParts::Part> parts = ExpressionParts::parts(run, numberStyle());
    const bool number = parts.size() == 1 && parts[0].kind == ExpressionParts::Kind::number && parts[0].start == 0
        && parts[0].end == run.size();
    return number ? TableExpressionPart::number(run) : TableExpressionPart::quotedText(run);
}

IndexedExpressionParts CanvasView::assignNumberIndicesToParts(const TableExpressionParts& parts)
{
    IndexedExpressionParts indexed;
    indexed.reserve(parts.size());
    int counter = 0;
    for (const TableExpressionPart& part : parts) {
        if (part.kind == TableExpressionPart::Kind::number)
            indexed.append({part, counter++});
        else
            indexed.append({part, std::nullopt});
    }
    return indexed;
}

LinkPtr CanvasView::linkForPlaceholder(const BlockPtr& block, const QString& placeholder) const
{
    return LinkToken::linkFor(*block, placeholder);
}

std::optional<QColor> CanvasView::partColor(const CalculationBlock& block, const IndexedExpressionPart& part,
                                           const QList<int>* storedIndices) const
{
    if (part.part.kind == TableExpressionPart::Kind::number) {
        const int shown = part.numberIndex.value_or(0);
        const int stored = storedIndices ? storedIndices->value(shown, -1)
                                         : ExpressionParts::storedNumberIndex(block, shown, numberStyle());
        if (const auto hex = block.getPartColor(stored, part.part.text))
            return colorFromHex(*hex);
    } else if (part.part.kind == TableExpressionPart::Kind::quotedText) {
        const auto found = block.partColors().constFind(QStringLiteral("text:") + part.part.text);
        if (found != block.partColors().constEnd())
            return colorFromHex(*found);
    }
    return std::nullopt;
}

QList<CanvasView::PartBox> CanvasView::layoutExpression(const BlockPtr& block, const QRectF& rect, bool whole,
                                                        bool* allLaidOut) const
{
    if (allLaidOut)
        *allLaidOut = true;
    QList<PartBox> boxes;
    const TextStyles& styles = textStyles();
    const QFontMetricsF& labelMetrics = styles.small.metrics;

    const QColor color = shownColor(rowColor(*block));
    const Palette colors = canvasColors();
    const double valueHeight = styles.regular.metrics.height();
    const double valueTop = rect.center().y() - valueHeight / 2;

    double x = rect.left();
    std::optional<IndexedExpressionPart> previous;
    int numbers = 0;
    // Where a row labelled under the older count keeps each number's label
    // and colour; rows without any read the numbers as shown.
    std::optional<QList<int>> stored;
    if (!ExpressionParts::keysNumbersAsShown(*block))
        stored = ExpressionParts::storedNumberIndices(*block, numberStyle());
    const QList<int>* storedIndices = stored ? &*stored : nullptr;
    auto storedIndex = [&](int shown) { return storedIndices ? storedIndices->value(shown, -1) : shown; };
    // A label longer than this is cut to a start still wider: it is
    // clipped to the column all the same.
    const double labelLimit = 2 * std::max(rect.width(), 1.0);
    // Parts are read only as far as they are laid out: the rest of a long
    // expression is never looked at.
    forEachExpressionPart(block->expression(), [&](TableExpressionPart next) {
        if (!whole && x >= rect.right()) {
            if (allLaidOut)
                *allLaidOut = false;
            return false;
        }
        IndexedExpressionPart part{std::move(next), std::nullopt};
        if (part.part.kind == TableExpressionPart::Kind::number)
            part.numberIndex = numbers++;
        PartBox box;
        box.part = part;
        bool medium = false;
        switch (part.part.kind) {
        case TableExpressionPart::Kind::number: {
            medium = true;
            box.shown = part.part.text;
            box.color = shownColor(partColor(*block, part, storedIndices).value_or(rowColor(*block)));
            box.label = block->getPartLabel(storedIndex(part.numberIndex.value_or(0)), part.part.text).value_or(QString());
            // The inline label field stands in for the label being edited.
            if (m_isEditingPartLabel && m_editingLabelBlockID == block->id() && m_editingLabelIndex == part.numberIndex
                && m_editingLabelForValue == part.part.text)
                box.label.clear();
            break;
        }
        case TableExpressionPart::Kind::linkedValue: {
            medium = true;
            const LinkToken::Shown seen = LinkToken::shown(*block, part.part.text);
            box.shown = seen.text;
            if (seen.source != LinkToken::Shown::Source::valued) {
                box.color = grayColor;
            } else {
                box.color = shownColor(colorFromHex(seen.colorHex).value_or(rowColor(*block)));
                box.label = seen.label;
            }
            break;
        }
        case TableExpressionPart::Kind::operator_:
            box.shown = part.part.text;
            box.color = colors.text;
            box.color.setAlphaF(0.5);
            break;
        case TableExpressionPart::Kind::quotedText:
            box.shown = part.part.text;
            if (const auto own = partColor(*block, part, storedIndices)) {
                box.color = shownColor(*own);
            } else {
                box.color = color;
                box.color.setAlphaF(0.9);
            }
            break;
        case TableExpressionPart::Kind::percent:
            medium = true;
            box.shown = QStringLiteral("%");
            box.color = color;
            if (previous && previous->part.kind == TableExpressionPart::Kind::number) {
                if (const auto own = partColor(*block, *previous, storedIndices))
                    box.color = shownColor(*own);
            }
            break;
        }
        const Face& face = medium ? styles.medium : styles.regular;
        const double width = whole ? face.width(box.shown) : face.boundedWidth(box.shown, rect.right() - x);
        box.box = QRectF(x, valueTop, width, valueHeight);
        if (!box.label.isEmpty()) {
            box.label = styles.small.shownStart(box.label, labelLimit);
            const double labelWidth = styles.small.width(box.label);
            if (part.part.kind == TableExpressionPart::Kind::linkedValue) {
                // A stack: the label above the value, taking its own width.
                box.labelBox = QRectF(x, valueTop - 2 - labelMetrics.height(), labelWidth, labelMetrics.height());
                box.box.setWidth(std::max(width, labelWidth));
            } else {
                // Floats 16 above the number, centred on it, without taking room.
                const double w = std::max(labelWidth, 12.0);
                // Never cut off at the left edge of the column.
                box.labelBox = QRectF(std::max(rect.left(), x + width / 2 - w / 2), valueTop - 16, w, labelMetrics.height());
            }
        }
        x += box.box.width() + 6;
        boxes.append(box);
        previous = std::move(part);
        return true;
    });
    return boxes;
}

QList<CanvasView::PartBox> CanvasView::fittedExpression(const BlockPtr& block, const QRectF& rect) const
{
    bool allLaidOut = true;
    QList<PartBox> boxes = layoutExpression(block, rect, false, &allLaidOut);
    if (boxes.isEmpty() || (allLaidOut && boxes.last().box.right() <= rect.right()))
        return boxes;
    // Too wide: the parts that fit whole, then the first one that does not,
    // cut and ended with "…" (or "…" alone where nothing of it fits).
    const QString ellipsis = QStringLiteral("…");
    const TextStyles& styles = textStyles();
    const double ellipsisWidth = styles.regular.width(ellipsis);
    const double limit = rect.right() - ellipsisWidth;
    QList<PartBox> fitted;
    // "…" alone in place of the last whole part.
    auto endWithEllipsis = [&] {
        PartBox last = fitted.takeLast();
        last.shown = ellipsis;
        last.label.clear();
        last.box.setWidth(ellipsisWidth);
        fitted.append(last);
    };
    bool cutOne = false;
    for (PartBox box : boxes) {
        if (box.box.right() <= limit) {
            fitted.append(box);
            continue;
        }
        const auto kind = box.part.part.kind;
        const bool medium = kind == TableExpressionPart::Kind::number || kind == TableExpressionPart::Kind::percent
            || kind == TableExpressionPart::Kind::linkedValue;
        const Face& face = medium ? styles.medium : styles.regular;
        // The longest start of the part that leaves room for "…".
        const double room = rect.right() - box.box.left() - face.width(ellipsis);
        QString cut = box.shown.left(face.fit.fittingLength(box.shown, room));
        if (cut.isEmpty())
            box.label.clear();
        cut += ellipsis;
        cutOne = true;
        if (box.box.left() + face.width(cut) > rect.right() && !fitted.isEmpty()) {
            // Not even "…" fits after the last whole part: it takes that
            // part's place.
            endWithEllipsis();
            break;
        }
        box.shown = cut;
        box.box.setWidth(face.width(cut));
        fitted.append(box);
        break;
    }
    // Every part laid out fits, but more follow beyond the column.
    if (!cutOne && !fitted.isEmpty())
        endWithEllipsis();
    return fitted;
}

QStringList CanvasView::shownExpressionParts(const BlockPtr& block) const
{
    QStringList texts;
    const int index = indexOfBlock(block->id());
    if (index < 0)
        return texts;
    for (const PartBox& box : fittedExpression(block, expressionRect(index)))
        texts << box.shown;
    return texts;
}

QStringList CanvasView::shownPartLabels(const BlockPtr& block) const
{
    QStringList labels;
    const int index = indexOfBlock(block->id());
    if (index < 0)
        return labels;
    for (const PartBox& box : fittedExpression(block, expressionRect(index)))
        labels << box.label;
    return labels;
}

void CanvasView::setTextPartColor(const BlockPtr& block, const QString& text, const std::optional<QString>& hex)
{
    PartMap colors = block->partColors();
    const QString key = QStringLiteral("text:") + text;
    if (hex)
        colors.insert(key, *hex);
    else
        colors.remove(key);
    block->setPartColors(colors);
    if (const CanvasPtr owner = block->canvas())
        owner->touch();
    refresh();
}
