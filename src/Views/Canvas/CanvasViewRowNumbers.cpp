// While a row's expression is edited its link tokens show as "L" and the
// source row's number; typed row numbers of linked rows become tokens again.

#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Engine/LinkToken.h"

#include <QHash>
#include <QRegularExpression>

#include <functional>

namespace {

// The link into `block` that fits, from its own incoming links first, then
// from the canvas's links that end at it.
LinkPtr findLinkInto(const BlockPtr& block, const CanvasPtr& canvas, const std::function<bool(const Link&)>& fits)
{
    for (const LinkPtr& link : block->incomingLinks()) {
        if (fits(*link))
            return link;
    }
    if (!canvas)
        return nullptr;
    for (const LinkPtr& link : canvas->links()) {
        const BlockPtr destination = link->destinationBlock();
        if (destination && destination->id() == block->id() && fits(*link))
            return link;
    }
    return nullptr;
}

} // namespace

QString CanvasView::expressionWithLineNumbers(const BlockPtr& block) const
{
    return expressionFieldText(block).text;
}

// A token whose source is not a row of the table shows as the canvas shows
// it ("?" once its source is gone); the field holds its place so that an
// edit elsewhere keeps the token, and Undo of the delete finds it there.
CanvasView::ExpressionFieldText CanvasView::expressionFieldText(const BlockPtr& block) const
{
    ExpressionFieldText field;
    const QString& expression = block->expression();
    auto it = placeholderRegex().globalMatch(expression);
    if (!it.hasNext()) {
        field.text = expression;
        return field;
    }

    const BlockList rows = sortedBlocks();
    QHash<QUuid, int> position;
    for (qsizetype i = rows.size() - 1; i >= 0; --i)
        position.insert(rows[i]->id(), int(i)); // the first row with an id wins

    qsizetype from = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        field.text += QStringView(expression).mid(from, match.capturedStart() - from);
        from = match.capturedEnd();
        const QString name = match.captured(1);
        const LinkPtr link =
            findLinkInto(block, m_canvas, [&](const Link& candidate) { return candidate.placeholderName() == name; });
        const BlockPtr source = link ? link->sourceBlock() : nullptr;
        if (source && position.contains(source->id())) {
            field.text += QLatin1Char('L') + QString::number(position.value(source->id()) + 1);
            continue;
        }
        const QString shown = LinkToken::shown(*block, name).text;
        field.held.append({field.text.size(), shown.size(), match.captured(0)});
        field.text += shown;
    }
    field.text += QStringView(expression).mid(from);
    return field;
}

QString CanvasView::expressionFromField(const QString& text, const BlockPtr& block) const
{
    const ExpressionFieldText before = expressionFieldText(block);
    const auto rowNumbers = [&](const QString& part) { return lineNumbersToPlaceholders(part, block); };
    if (before.held.isEmpty())
        return rowNumbers(text);
    return LinkToken::fromEditedField(before.text, before.held, text, m_expressionField->cursorPosition(), rowNumbers);
}

QString CanvasView::lineNumbersToPlaceholders(const QString& text, const BlockPtr& block) const
{
    QList<QRegularExpressionMatch> matches;
    for (auto it = lineNumberRegex().globalMatch(text); it.hasNext();)
        matches.append(it.next());
    if (matches.isEmpty())
        return text;

    const BlockList rows = sortedBlocks();
    QString result = text;
    for (auto match = matches.crbegin(); match != matches.crend(); ++match) {
        bool ok = false;
        const qint64 number = match->captured(1).toLongLong(&ok);
        if (!ok || number < 1 || number > rows.size())
            continue;
        const BlockPtr source = rows[number - 1];
        const LinkPtr link = findLinkInto(block, m_canvas, [&](const Link& candidate) {
            const BlockPtr from = candidate.sourceBlock();
            return from && from->id() == source->id();
        });
        if (!link)
            continue; // no link is ever made here
        QString color = source->colorHex();
        if (color.startsWith(QLatin1Char('#')))
            color.remove(0, 1);
        result.replace(match->capturedStart(), match->capturedLength(),
                       QLatin1Char('{') + link->placeholderName() + QLatin1Char(':') + color + QLatin1Char('}'));
    }
    return result;
}
