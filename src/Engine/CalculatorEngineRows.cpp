#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionText.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace ExpressionText;

// One evaluation of rows (a row with its dependants, or a whole canvas): the
// settings read once, and lookups that hold while no record changes shape.
struct CalculatorEngine::Batch {
    EngineSettings settings;
    // Per canvas: its links by the id of their destination row, in list order.
    std::unordered_map<const Canvas*, QHash<QUuid, LinkList>> linksByDestination;
    std::unordered_map<const CalculationBlock*, std::optional<QString>> currencyMemo;
    // Rows written since this was set (the last pass of evaluateCanvas).
    std::unordered_set<const CalculationBlock*>* written = nullptr;
};

std::optional<QString> CalculatorEngine::detectCurrency(const QString& text)
{
    const QString trimmed = trimmedBlanks(text);
    for (const QString& symbol : currencySymbols()) {
        if (trimmed.endsWith(symbol))
            return symbol;
    }
    const QString upper = trimmed.toUpper();
    for (const QString& word : currencyWords()) {
        if (upper.endsWith(word))
            return word;
    }
    return std::nullopt;
}

std::optional<QString> CalculatorEngine::effectiveCurrency(const BlockPtr& block)
{
    Batch batch;
    return effectiveCurrency(batch, block);
}

const LinkList& CalculatorEngine::canvasLinksInto(Batch& batch, const BlockPtr& block)
{
    static const LinkList none;
    const CanvasPtr canvas = block->canvas();
    if (!canvas)
        return none;
    auto found = batch.linksByDestination.find(canvas.get());
    if (found == batch.linksByDestination.end()) {
        QHash<QUuid, LinkList> index;
        for (const LinkPtr& link : canvas->links()) {
            if (const BlockPtr destination = link->destinationBlock())
                index[destination->id()].append(link);
        }
        found = batch.linksByDestination.emplace(canvas.get(), std::move(index)).first;
    }
    const auto links = found->second.constFind(block->id());
    return links == found->second.constEnd() ? none : *links;
}

std::optional<QString> CalculatorEngine::effectiveCurrency(Batch& batch, const BlockPtr& block)
{
    // Depth first through the sources (canvas links into the row first, then
    // its incoming links), the first currency mark met wins. Each row is
    // looked at once, which also ends the search around a cycle.
    if (const auto memo = batch.currencyMemo.find(block.get()); memo != batch.currencyMemo.end())
        return memo->second;
    std::optional<QString> answer;
    std::unordered_set<const CalculationBlock*> visited;
    std::vector<BlockPtr> stack{block};
    std::vector<BlockPtr> sources;
    while (!stack.empty()) {
        const BlockPtr row = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(row.get()).second)
            continue;
        if (row != block) {
            if (const auto memo = batch.currencyMemo.find(row.get()); memo != batch.currencyMemo.end()) {
                if (memo->second) {
                    answer = memo->second;
                    break;
                }
                continue;
            }
        }
        if ((answer = detectCurrency(row->expression())))
            break;
        sources.clear();
        for (const LinkList* links : {&canvasLinksInto(batch, row), &row->incomingLinks()}) {
            for (const LinkPtr& link : *links) {
                BlockPtr source = link->sourceBlock();
                if (source && !visited.count(source.get()))
                    sources.push_back(std::move(source));
            }
        }
        stack.insert(stack.end(), sources.rbegin(), sources.rend());
    }
    batch.currencyMemo[block.get()] = answer;
    return answer;
}

void CalculatorEngine::evaluateRow(Batch& batch, const BlockPtr& block)
{
    ++m_evaluationCount;
    QHash<QString, double> values;
    QHash<QString, QString> currencies;
    // A value and its currency travel together: a later link of the same
    // name replaces both.
    auto take = [&](const LinkPtr& link, bool replace) {
        const QString name = trimmedBlanks(link->placeholderName());
        const BlockPtr source = link->sourceBlock();
        if (!source || !source->result() || (!replace && values.contains(name)))
            return;
        values.insert(name, *source->result());
        if (const std::optional<QString> currency = effectiveCurrency(batch, source))
            currencies.insert(name, *currency);
        else
            currencies.remove(name);
    };
    for (const LinkPtr& link : block->incomingLinks())
        take(link, true);
    for (const LinkPtr& link : canvasLinksInto(batch, block))
        take(link, false);

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
    for (const LinkList* links : {&block->incomingLinks(), &canvasLinksInto(batch, block)}) {
        for (const LinkPtr& link : *links) {
            if (!found && component.count(link->sourceBlock().get())) {
                name = trimmedBlanks(link->placeholderName());
                found = true;
            }
        }
    }
    block->setResult(std::nullopt);
    block->setHasError(true);
    block->setErrorMessage(CalculationError::missingPlaceholder(name).errorDescription());
    if (batch.written)
        batch.written->insert(block.get());
}

void CalculatorEngine::runFrom(Batch& batch, const BlockPtr& start, bool includeStart)
{
    // The rows reachable through outgoing links, text rows included (they
    // pass changes on without being evaluated).
    std::vector<BlockPtr> rows{start};
    std::unordered_map<const CalculationBlock*, int> indexOf{{start.get(), 0}};
    std::vector<std::vector<int>> successors;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::vector<int> next;
        for (const LinkPtr& link : rows[i]->outgoingLinks()) {
            BlockPtr destination = link->destinationBlock();
            if (!destination)
                continue;
            const auto [it, inserted] = indexOf.emplace(destination.get(), int(rows.size()));
            if (inserted)
                rows.push_back(std::move(destination));
            next.push_back(it->second);
        }
        successors.push_back(std::move(next));
    }

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
        if (calls.back().next < successors[v].size()) {
            const int w = successors[v][calls.back().next++];
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
        const bool cycle = component.size() > 1
            || std::find(successors[first].begin(), successors[first].end(), first) != successors[first].end();
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
