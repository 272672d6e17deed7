#include "Engine/LinkToken.h"

#include "Engine/ExpressionText.h"
#include "Engine/ResultCurrency.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <algorithm>

namespace LinkToken {

namespace {

QString key(QStringView name)
{
    return ExpressionText::trimmedSpacesAndTabs(name).normalized(QString::NormalizationForm_C);
}

} // namespace

LinkPtr linkFor(const CalculationBlock& row, QStringView name)
{
    const QString wanted = key(name);
    for (const LinkPtr& link : row.incomingLinks()) {
        if (key(link->placeholderName()) == wanted)
            return link;
    }
    if (const CanvasPtr canvas = row.canvas()) {
        for (const LinkPtr& link : canvas->links()) {
            const BlockPtr destination = link->destinationBlock();
            if (destination.get() == &row && key(link->placeholderName()) == wanted)
                return link;
        }
    }
    return nullptr;
}

BlockPtr sourceFor(const CalculationBlock& row, QStringView name)
{
    const LinkPtr link = linkFor(row, name);
    return link ? link->sourceBlock() : nullptr;
}

Shown shown(const CalculationBlock& row, QStringView name)
{
    Shown result;
    result.text = QStringLiteral("?");
    const BlockPtr source = sourceFor(row, name);
    if (!source)
        return result;
    const std::optional<double> value = source->result();
    if (!value) {
        result.source = Shown::Source::withoutValue;
        return result;
    }
    result.source = Shown::Source::valued;
    const CanvasPtr canvas = source->canvas() ? source->canvas() : row.canvas();
    result.text = canvas ? ResultCurrency::shownValue(*canvas, *source, *value) : ExpressionText::formatResult(*value);
    result.label = ExpressionText::trimmedBlanks(source->label());
    result.colorHex = source->colorHex();
    return result;
}

QString nameInText(const CalculationBlock& row, QStringView name)
{
    if (const BlockPtr source = sourceFor(row, name)) {
        const QString label = ExpressionText::trimmedBlanks(source->label());
        if (!label.isEmpty())
            return label;
    }
    return shown(row, name).text;
}

QString missingValueMessage(const CalculationBlock& row, QStringView name)
{
    const BlockPtr source = sourceFor(row, name);
    if (!source)
        return QStringLiteral("Missing value: its source row is gone");
    // Not by the source's place in the table: rows move without the
    // message being written again.
    const QString label = ExpressionText::trimmedBlanks(source->label());
    if (label.isEmpty())
        return QStringLiteral("Missing value: its source row has none");
    return QStringLiteral("Missing value for ") + label;
}

QString fromEditedField(const QString& shown, const QList<Held>& held, const QString& edited, qsizetype caret,
                        const std::function<QString(const QString&)>& plain)
{
    // The edited stretch: what both texts share at the end (up to the
    // caret, where typing ends) and then at the start. The caret tells a
    // "?" typed next to a held "?" from the held one.
    const qsizetype common = std::min(shown.size(), edited.size());
    qsizetype suffix = 0;
    const qsizetype suffixLimit = std::clamp<qsizetype>(edited.size() - caret, 0, common);
    while (suffix < suffixLimit && shown[shown.size() - 1 - suffix] == edited[edited.size() - 1 - suffix])
        ++suffix;
    qsizetype prefix = 0;
    while (prefix < common - suffix && shown[prefix] == edited[prefix])
        ++prefix;
    const qsizetype changedEnd = shown.size() - suffix;
    const qsizetype shift = edited.size() - shown.size();

    QString result;
    qsizetype from = 0;
    for (const Held& stretch : held) {
        qsizetype at = -1;
        if (stretch.start + stretch.length <= prefix)
            at = stretch.start;
        else if (stretch.start >= changedEnd)
            at = stretch.start + shift;
        if (at < from)
            continue; // the edit reached it: the token goes with its text
        result += plain(edited.mid(from, at - from));
        result += stretch.token;
        from = at + stretch.length;
    }
    result += plain(edited.mid(from));
    return result;
}

} // namespace LinkToken
