#include "Engine/ResultCurrency.h"

#include "Engine/CalculatorEngine.h"
#include "Engine/EngineCatalogue.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ValueFormatting.h"

#include <QHash>
#include <QList>

namespace ResultCurrency {

std::optional<QString> markIn(const QString& text)
{
    // The mark of the currency the engine reads the row's value in.
    const std::optional<QString> code = CalculatorEngine::resultCurrencyCode(text);
    if (!code)
        return std::nullopt;
    return EngineCatalogue::shownMark(*code).toString();
}

std::optional<QString> conversionTargetMark(const QString& text)
{
    const std::optional<QString> code = CalculatorEngine::conversionTargetCode(text);
    if (!code)
        return std::nullopt;
    return EngineCatalogue::shownMark(*code).toString();
}

std::optional<QString> effectiveMark(const Canvas& canvas, const CalculationBlock& block, QSet<QUuid> visited)
{
    // Depth first through the sources in the order of the canvas's links;
    // the first mark met wins. A row skips the sources already on the path
    // that led to it (`visited`), so data that links rows in a circle ends.
    // Written with an explicit stack, so long chains cannot exhaust the call
    // stack, and rows whose whole upstream holds no mark are not searched twice.
    if (const auto own = conversionTargetMark(block.expression()))
        return own;
    if (const auto own = markIn(block.expression()))
        return own;

    QHash<QUuid, QList<const CalculationBlock*>> sourcesOf; // per destination, in link order
    for (const LinkPtr& link : canvas.links()) {
        const BlockPtr destination = link->destinationBlock();
        if (destination)
            sourcesOf[destination->id()].append(link->sourceBlock().get());
    }

    struct Frame {
        const CalculationBlock* row;
        qsizetype next = 0;
        bool skipped = false; // the path decided something: the answer is not the row's alone
    };
    // A frame received `visited` and the rows of the frames below it.
    QHash<QUuid, int> onPath;
    auto received = [&](const Frame& frame, const QUuid& id) {
        return visited.contains(id) || onPath.value(id) - (frame.row->id() == id ? 1 : 0) > 0;
    };
    QSet<QUuid> withoutMark; // rows whose whole upstream holds no mark
    QList<Frame> stack{{&block}};
    onPath[block.id()] = 1;
    while (!stack.isEmpty()) {
        Frame& frame = stack.last();
        const QList<const CalculationBlock*> sources = sourcesOf.value(frame.row->id());
        bool descended = false;
        while (frame.next < sources.size()) {
            const CalculationBlock* source = sources[frame.next++];
            if (!source)
                continue;
            if (received(frame, source->id())) {
                frame.skipped = true;
                continue;
            }
            if (withoutMark.contains(source->id()))
                continue;
            if (const auto mark = conversionTargetMark(source->expression()))
                return mark;
            if (const auto mark = markIn(source->expression()))
                return mark;
            stack.append({source});
            ++onPath[source->id()];
            descended = true;
            break;
        }
        if (descended)
            continue;
        const Frame done = stack.takeLast();
        --onPath[done.row->id()];
        if (!done.skipped)
            withoutMark.insert(done.row->id());
        else if (!stack.isEmpty())
            stack.last().skipped = true;
    }
    return std::nullopt;
}

QString shownValue(const Canvas& canvas, const CalculationBlock& block, double value)
{
    QString text = formatDecimalCommaValue(value);
    if (const std::optional<QString> mark = effectiveMark(canvas, block))
        text += QLatin1Char(' ') + *mark;
    return text;
}

} // namespace ResultCurrency
