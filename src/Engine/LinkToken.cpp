#include "Engine/LinkToken.h"

#include "Engine/ExpressionText.h"
#include "Engine/ResultCurrency.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

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

} // namespace LinkToken
