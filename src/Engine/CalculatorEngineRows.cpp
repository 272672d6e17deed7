#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionText.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <QVarLengthArray>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace ExpressionText;

// One evaluation of rows (a row with its dependants, or a whole canvas): the
// settings read once, and lookups that hold while no record changes shape.
struct CalculatorEngine::Batch {
    EngineSettings settings;
    // Per canvas: its links sorted by the id of their destination row, each
    // id's links in list order.
    std::unordered_map<const Canvas*, std::vector<std::pair<QUuid, const Link*>>> linksByDestination;
    QHash<const CalculationBlock*, std::optional<QString>> currencyMemo;
    // Rows written since this was set (the last pass of evaluateCanvas).
    std::unordered_set<const CalculationBlock*>* written = nullptr;
};

std::optional<QString> CalculatorEngine::detectRowCurrency(const QString& text)
{
    QStringView trimmed(text);
    while (!trimmed.isEmpty() && isBlank(codePointBefore(trimmed, trimmed.size())))
        trimmed.chop(1); // blanks are single UTF-16 units
    for (const QString& symbol : currencySymbols()) {
        if (trimmed.endsWith(symbol))
            return symbol;
    }
    // The words are three ASCII letters: when the text ends in three ASCII
    // characters, upper-casing those alone decides.
    const QStringView tail = trimmed.right(3);
    const bool asciiTail = tail.size() == 3 && std::all_of(tail.begin(), tail.end(), [](QChar c) { return c.unicode() < 0x80; });
    const QString upper = asciiTail ? tail.toString().toUpper() : trimmed.toString().toUpper();
    for (const QString& word : currencyWords()) {
        if (upper.endsWith(word))
            return word;
    }
    return std::nullopt;
}

std::optional<QString> CalculatorEngine::rowCurrency(const BlockPtr& block)
{
    Batch batch;
    return rowCurrency(batch, block);
}

CalculatorEngine::LinkRefs CalculatorEngine::canvasLinksInto(Batch& batch, const BlockPtr& block)
{
    LinkRefs links;
    const CanvasPtr canvas = block->canvas();
    if (!canvas)
        return links;
    auto found = batch.linksByDestination.find(canvas.get());
    if (found == batch.linksByDestination.end()) {
        // One sorted array rather than a list per row: built and searched
        // without an allocation per row.
        std::vector<std::pair<QUuid, const Link*>> index;
        index.reserve(size_t(canvas->links().size()));
        for (const LinkPtr& link : canvas->links()) {
            if (const BlockPtr destination = link->destinationBlock())
                index.emplace_back(destination->id(), link.get());
        }
        std::stable_sort(index.begin(), index.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        found = batch.linksByDestination.emplace(canvas.get(), std::move(index)).first;
    }
    const auto& index = found->second;
    const QUuid id = block->id();
    auto it = std::lower_bound(index.begin(), index.end(), id, [](const auto& entry, const QUuid& key) { return entry.first < key; });
    for (; it != index.end() && it->first == id; ++it)
        links.append(it->second);
    return links;
}

std::optional<QString> CalculatorEngine::rowCurrency(Batch& batch, const BlockPtr& block)
{
    // Depth first through the sources (canvas links into the row first, then
    // its incoming links), the first currency mark met wins. Each row is
    // looked at once, which also ends the search around a cycle.
    if (const auto memo = batch.currencyMemo.constFind(block.get()); memo != batch.currencyMemo.constEnd())
        return *memo;
    std::optional<QString> answer;
    std::unordered_set<const CalculationBlock*> visited;
    QVarLengthArray<BlockPtr, 16> stack{block};
    QVarLengthArray<BlockPtr, 16> sources;
    while (!stack.empty()) {
        const BlockPtr row = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(row.get()).second)
            continue;
        if (row != block) {
            if (const auto memo = batch.currencyMemo.constFind(row.get()); memo != batch.currencyMemo.constEnd()) {
                if (*memo) {
                    answer = *memo;
                    break;
                }
                continue;
            }
        }
        if ((answer = detectRowCurrency(row->expression())))
            break;
        sources.clear();
        auto addSource = [&](const Link& link) {
            BlockPtr source = link.sourceBlock();
            if (source && !visited.count(source.get()))
                sources.append(std::move(source));
        };
        for (const Link* link : canvasLinksInto(batch, row))
            addSource(*link);
        for (const LinkPtr& link : row->incomingLinks())
            addSource(*link);
        for (auto it = sources.rbegin(); it != sources.rend(); ++it)
            stack.append(*it);
    }
    batch.currencyMemo.insert(block.get(), answer);
    return answer;
}

void CalculatorEngine::evaluateRow(Batch& batch, const BlockPtr& block)
{
    ++m_evaluationCount;
    QHash<QString, double> values;
    QHash<QString, QString> currencies;
    // A value and its currency travel together: a later link of the same
    // name replaces both.
    auto take = [&](const Link& link, bool replace) {
        const QString name = trimmedBlanks(link.placeholderName());
        const BlockPtr source = link.sourceBlock();
        if (!source || !source->result() || (!replace && values.contains(name)))
            return;
        values.insert(name, *source->result());
        if (const std::optional<QString> currency = rowCurrency(batch, source))
            currencies.insert(name, *currency);
        else
            currencies.remove(name);
    };
    for (const LinkPtr& link : block->incomingLinks())
        take(*link, true);
    for (const Link* link : canvasLinksInto(batch, block))
        take(*link, false);

    const EvaluationResult outcome = evaluateWith(block->expression(), values, currencies, batch.settings);
    if (outcome.ok()) {
        block->setResult(outcome.value());
        block->setHasError(false);
        block->setErrorMessage(std::nullopt);
    } else {
        block->setResult(std::nullopt);
        block->setHasError(true);
        block->setErrorMessage(outcome.error().errorDescription());
    }
    if (batch.written)
        batch.written->insert(block.get());
}

void CalculatorEngine::markCycleRow(Batch& batch, const BlockPtr& block,
                                    const std::unordered_set<const CalculationBlock*>& component)
{
    // The value fed around the cycle cannot exist: the row reports the
    // first placeholder that a row of its own cycle feeds.
    ++m_evaluationCount;
    QString name;
    bool found = false;
    auto consider = [&](const Link& link) {
        if (!found && component.count(link.sourceBlock().get())) {
            name = trimmedBlanks(link.placeholderName());
            found = true;
        }
    };
    for (const LinkPtr& link : block->incomingLinks())
        consider(*link);
    for (const Link* link : canvasLinksInto(batch, block))
        consider(*link);
    block->setResult(std::nullopt);
    block->setHasError(true);
    block->setErrorMessage(CalculationError::missingPlaceholder(name).errorDescription());
    if (batch.written)
        batch.written->insert(block.get());
}

void CalculatorEngine::runFrom(Batch& batch, const BlockPtr& start, bool includeStart)
{
    // The rows reachable through outgoing links, text rows included (they
    // pass changes on without being evaluated). The edges of row i are
    // edges[firstEdge[i] .. firstEdge[i + 1]).
    std::vector<BlockPtr> rows{start};
    QHash<const CalculationBlock*, int> indexOf{{start.get(), 0}};
    std::vector<int> edges;
    std::vector<size_t> firstEdge{0};
    for (size_t i = 0; i < rows.size(); ++i) {
        for (const LinkPtr& link : rows[i]->outgoingLinks()) {
            BlockPtr destination = link->destinationBlock();
            if (!destination)
                continue;
            const auto known = indexOf.constFind(destination.get());
            if (known != indexOf.constEnd()) {
                edges.push_back(*known);
                continue;
            }
            indexOf.insert(destination.get(), int(rows.size()));
            edges.push_back(int(rows.size()));
            rows.push_back(std::move(destination));
        }
        firstEdge.push_back(edges.size());
    }
    auto successorsBegin = [&](int v) { return edges.begin() + ptrdiff_t(firstEdge[v]); };
    auto successorsEnd = [&](int v) { return edges.begin() + ptrdiff_t(firstEdge[v + 1]); };

    // Strongly connected parts (Tarjan, without recursion), found sinks first.
    const int count = int(rows.size());
    std::vector<int> order(count, -1), low(count, 0), stack;
    std::vector<char> onStack(count, 0);
    std::vector<std::vector<int>> components;
    struct Frame {
        int row;
        size_t next;
    };
    std::vector<Frame> calls{{0, 0}};
    int counter = 0;
    order[0] = low[0] = counter++;
    stack.push_back(0);
    onStack[0] = 1;
    while (!calls.empty()) {
        const int v = calls.back().row;
        if (firstEdge[v] + calls.back().next < firstEdge[v + 1]) {
            const int w = edges[firstEdge[v] + calls.back().next++];
            if (order[w] < 0) {
                order[w] = low[w] = counter++;
                stack.push_back(w);
                onStack[w] = 1;
                calls.push_back({w, 0});
            } else if (onStack[w]) {
                low[v] = std::min(low[v], order[w]);
            }
            continue;
        }
        if (low[v] == order[v]) {
            std::vector<int> component;
            int w;
            do {
                w = stack.back();
                stack.pop_back();
                onStack[w] = 0;
                component.push_back(w);
            } while (w != v);
            components.push_back(std::move(component));
        }
        calls.pop_back();
        if (!calls.empty())
            low[calls.back().row] = std::min(low[calls.back().row], low[v]);
    }

    // Upstream first: every row is evaluated once, after all of its sources.
    for (auto it = components.rbegin(); it != components.rend(); ++it) {
        const std::vector<int>& component = *it;
        const int first = component.front();
        const bool cycle = component.size() > 1 || std::find(successorsBegin(first), successorsEnd(first), first) != successorsEnd(first);
        if (!cycle) {
            const BlockPtr& row = rows[first];
            if ((row != start || includeStart) && row->blockType() == BlockType::calculation)
                evaluateRow(batch, row);
            continue;
        }
        std::unordered_set<const CalculationBlock*> members;
        for (int index : component)
            members.insert(rows[index].get());
        for (int index : component) {
            if (rows[index]->blockType() == BlockType::calculation)
                markCycleRow(batch, rows[index], members);
        }
    }
}

void CalculatorEngine::evaluateBlock(const BlockPtr& block)
{
    if (!block || block->blockType() != BlockType::calculation)
        return;
    Batch batch;
    batch.settings = m_settingsProvider();
    runFrom(batch, block, true);
}

void CalculatorEngine::propagateChanges(const BlockPtr& block)
{
    if (!block)
        return;
    Batch batch;
    batch.settings = m_settingsProvider();
    runFrom(batch, block, false);
}

void CalculatorEngine::evaluateCanvas(const CanvasPtr& canvas)
{
    if (!canvas)
        return;
    Batch batch;
    batch.settings = m_settingsProvider();

    for (const BlockPtr& block : BlockList(canvas->blocks())) {
        if (block->blockType() == BlockType::text && !block->expression().isEmpty())
            block->setBlockType(BlockType::calculation);
    }

    BlockList roots;
    for (const BlockPtr& block : canvas->blocks()) {
        if (block->blockType() == BlockType::calculation && block->incomingLinks().isEmpty())
            roots.append(block);
    }
    for (const BlockPtr& root : std::as_const(roots)) {
        if (root->blockType() == BlockType::calculation)
            runFrom(batch, root, true);
    }

    // Rows no root leads to, and rows that failed. A row already evaluated in
    // this pass holds what evaluating it again would give.
    std::unordered_set<const CalculationBlock*> written;
    batch.written = &written;
    for (const BlockPtr& block : BlockList(canvas->blocks())) {
        if (block->blockType() == BlockType::calculation && !block->result() && !block->expression().isEmpty()
            && !written.count(block.get()))
            runFrom(batch, block, true);
    }
}
