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

namespace {

using SourcesOf = QHash<QUuid, QList<const CalculationBlock*>>;

SourcesOf gatherSources(const Canvas& canvas)
{
    SourcesOf sourcesOf; // per destination, in link order
    for (const LinkPtr& link : canvas.links()) {
        const BlockPtr destination = link->destinationBlock();
        if (destination)
            sourcesOf[destination->id()].append(link->sourceBlock().get());
    }
    return sourcesOf;
}

std::optional<QString> ownMark(const CalculationBlock& block)
{
    if (const auto own = conversionTargetMark(block.expression()))
        return own;
    return markIn(block.expression());
}

// The first mark met upstream of a row without one of its own.
std::optional<QString> markUpstream(const SourcesOf& sourcesOf, const CalculationBlock& block,
                                    const QSet<QUuid>& visited)
{
    // Depth first through the sources in the order of the canvas's links;
    // the first mark met wins. A row skips the sources already on the path
    // that led to it (`visited`), so data that links rows in a circle ends.
    // Written with an explicit stack, so long chains cannot exhaust the call
    // stack, and rows whose whole upstream holds no mark are not searched twice.
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
            if (const auto mark = ownMark(*source))
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

} // namespace

std::optional<QString> effectiveMark(const Canvas& canvas, const CalculationBlock& block, QSet<QUuid> visited)
{
    if (const auto own = ownMark(block))
        return own;
    return markUpstream(gatherSources(canvas), block, visited);
}

QString shownValue(const Canvas& canvas, const CalculationBlock& block, double value)
{
    QString text = formatDecimalCommaValue(value);
    if (const std::optional<QString> mark = effectiveMark(canvas, block))
        text += QLatin1Char(' ') + *mark;
    return text;
}

QString Marks::shownValue(const CalculationBlock& block, double value)
{
    QString text = formatDecimalCommaValue(value);
    std::optional<QString> mark = ownMark(block);
    if (!mark) {
        if (!m_gathered) {
            m_sourcesOf = gatherSources(m_canvas);
            m_gathered = true;
        }
        mark = markUpstream(m_sourcesOf, block, {});
    }
    if (mark)
        text += QLatin1Char(' ') + *mark;
    return text;
}

} // namespace ResultCurrency
