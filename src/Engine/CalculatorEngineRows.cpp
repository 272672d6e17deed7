#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/LinkToken.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/ExpressionText.h"
#include "Engine/ResultCurrency.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelRevision.h"

#include <QVarLengthArray>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace ExpressionText;

// One evaluation of rows (a row with its dependants, or a whole canvas): the
// settings read once.
struct CalculatorEngine::Batch {
    EngineSettings settings;
};

// The rows a pass may reach, each with its outgoing edges, and the strongly
// connected parts among them.
struct CalculatorEngine::RowGraph {
    std::vector<BlockPtr> rows;
    std::unordered_map<const CalculationBlock*, int> indexOf;
    // The edges of row i are edges[firstEdge[i] .. firstEdge[i + 1]).
    std::vector<int> edges;
    std::vector<size_t> firstEdge{0};

    int add(const BlockPtr& row)
    {
        const auto [it, added] = indexOf.emplace(row.get(), int(rows.size()));
        if (added)
            rows.push_back(row);
        return it->second;
    }

    // Adds every row reachable through outgoing links from the rows added so
    // far, text rows included (they pass changes on without being evaluated).
    void close()
    {
        for (size_t i = firstEdge.size() - 1; i < rows.size(); ++i) {
            for (const LinkPtr& link : rows[i]->outgoingLinks()) {
                if (BlockPtr destination = link->destinationBlock())
                    edges.push_back(add(destination));
            }
            firstEdge.push_back(edges.size());
        }
    }

    int size() const { return int(rows.size()); }
    const int* successorsBegin(int v) const { return edges.data() + firstEdge[size_t(v)]; }
    const int* successorsEnd(int v) const { return edges.data() + firstEdge[size_t(v) + 1]; }

    bool isCycle(const std::vector<int>& component) const
    {
        const int first = component.front();
        return component.size() > 1 || std::find(successorsBegin(first), successorsEnd(first), first) != successorsEnd(first);
    }

    // Strongly connected parts (Tarjan, without recursion), sinks first: read
    // backwards, every part comes after all the parts that feed it.
    std::vector<std::vector<int>> components() const
    {
        const int count = size();
        std::vector<int> order(size_t(count), -1), low(size_t(count), 0), stack;
        std::vector<char> onStack(size_t(count), 0);
        std::vector<std::vector<int>> found;
        struct Frame {
            int row;
            size_t next;
        };
        std::vector<Frame> calls;
        int counter = 0;
        for (int root = 0; root < count; ++root) {
            if (order[size_t(root)] >= 0)
                continue;
            order[size_t(root)] = low[size_t(root)] = counter++;
            stack.push_back(root);
            onStack[size_t(root)] = 1;
            calls.push_back({root, 0});
            while (!calls.empty()) {
                const int v = calls.back().row;
                if (firstEdge[size_t(v)] + calls.back().next < firstEdge[size_t(v) + 1]) {
                    const int w = edges[firstEdge[size_t(v)] + calls.back().next++];
                    if (order[size_t(w)] < 0) {
                        order[size_t(w)] = low[size_t(w)] = counter++;
                        stack.push_back(w);
                        onStack[size_t(w)] = 1;
                        calls.push_back({w, 0});
                    } else if (onStack[size_t(w)]) {
                        low[size_t(v)] = std::min(low[size_t(v)], order[size_t(w)]);
                    }
                    continue;
                }
                if (low[size_t(v)] == order[size_t(v)]) {
                    std::vector<int> component;
                    int w;
                    do {
                        w = stack.back();
                        stack.pop_back();
                        onStack[size_t(w)] = 0;
                        component.push_back(w);
                    } while (w != v);
                    found.push_back(std::move(component));
                }
                calls.pop_back();
                if (!calls.empty())
                    low[size_t(calls.back().row)] = std::min(low[size_t(calls.back().row)], low[size_t(v)]);
            }
        }
        return found;
    }
};

std::optional<QString> CalculatorEngine::resultCurrencyCode(QStringView text)
{
    // A converted value is in the currency of its last conversion.
    if (std::optional<QString> converted = conversionTargetCode(text))
        return converted;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        // A link's name and colour are no amount of the row's.
        if (u == '{') {
            const qsizetype close = text.indexOf(QLatin1Char('}'), i + 1);
            if (close < 0)
                break;
            i = close;
            continue;
        }
        if (u < 0x80 && !isAsciiLetter(u) && !EngineCatalogue::isSignSymbol(u))
            continue;
        qsizetype length = 0;
        const QStringView code = EngineCurrency::currencyAt(text, i, &length);
        if (!code.isEmpty())
            return code.toString();
    }
    return std::nullopt;
}

CalculatorEngine::RowMemo& CalculatorEngine::memoFor(const BlockPtr& block)
{
    RowMemo& memo = m_rowMemos[block.get()];
    const bool sameRow = !memo.row.owner_before(block) && !block.owner_before(memo.row) && !memo.row.expired();
    if (!sameRow) {
        memo = RowMemo();
        memo.row = block;
    }
    return memo;
}

std::optional<QString> CalculatorEngine::ownCurrencyMark(const BlockPtr& block)
{
    RowMemo& memo = memoFor(block);
    const QString expression = block->expression();
    const bool sameText = memo.expression.constData() == expression.constData() && memo.expression.size() == expression.size();
    if (!memo.markKnown || (!sameText && memo.expression != expression)) {
        memo.mark = resultCurrencyCode(expression);
        memo.expression = expression;
        memo.markKnown = true;
    }
    return memo.mark;
}

void CalculatorEngine::checkRowMemos(const BlockPtr& edited)
{
    // The currencies remembered hold while no link and no currency mark has
    // changed. Typing in a row changes one expression, that row's: when its
    // mark stays as it was, nothing else needs working out again.
    const quint64 relationships = ModelRevision::relationships.load(std::memory_order_relaxed);
    const quint64 expressions = ModelRevision::expressions.load(std::memory_order_relaxed);
    bool keep = relationships == m_seenRelationships;
    if (keep && expressions != m_seenExpressions) {
        keep = false;
        if (edited && expressions == m_seenExpressions + 1) {
            const auto found = m_rowMemos.find(edited.get());
            if (found != m_rowMemos.end() && found->second.markKnown && !found->second.row.owner_before(edited)
                && !edited.owner_before(found->second.row)) {
                const RowMemo& memo = found->second;
                keep = memo.expression != edited->expression() && memo.mark == resultCurrencyCode(edited->expression());
            }
        }
    }
    if (!keep)
        m_rowMemos.clear();
    m_seenRelationships = relationships;
    m_seenExpressions = expressions;
}

std::optional<QString> CalculatorEngine::rowCurrency(const BlockPtr& block)
{
    if (!block)
        return std::nullopt;
    checkRowMemos(nullptr);
    return rowCurrency(memoFor(block), block);
}

void CalculatorEngine::appendSources(const CalculationBlock& row, QVarLengthArray<BlockPtr, 16>& sources)
{
    // The links into the row that its canvas lists, in the canvas's order,
    // then all of the row's incoming links in their own order.
    const LinkList& incoming = row.incomingLinks();
    const CanvasPtr canvas = row.canvas();
    if (canvas) {
        QVarLengthArray<std::pair<qsizetype, const Link*>, 8> listed;
        for (const LinkPtr& link : incoming) {
            if (link->canvas() == canvas)
                listed.append({-1, link.get()});
        }
        if (listed.size() > 1) {
            for (auto& entry : listed)
                entry.first = canvas->indexOfLink(entry.second);
            std::stable_sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        for (const auto& entry : std::as_const(listed)) {
            if (BlockPtr source = entry.second->sourceBlock())
                sources.append(std::move(source));
        }
    }
    for (const LinkPtr& link : incoming) {
        if (BlockPtr source = link->sourceBlock())
            sources.append(std::move(source));
    }
}

std::optional<QString> CalculatorEngine::rowCurrency(RowMemo& startMemo, const BlockPtr& block)
{
    // Depth first through the sources, the first currency mark met wins.
    // Each row is looked at once, which also ends the search around a cycle;
    // a row whose currency is known already stands for everything above it.
    if (startMemo.currencyKnown)
        return startMemo.currency;
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
            const RowMemo& memo = memoFor(row);
            if (memo.currencyKnown) {
                if (memo.currency) {
                    answer = memo.currency;
                    break;
                }
                continue;
            }
        }
        if ((answer = ownCurrencyMark(row)))
            break;
        sources.clear();
        appendSources(*row, sources);
        for (auto it = sources.rbegin(); it != sources.rend(); ++it) {
            if (!visited.count(it->get()))
                stack.append(*it);
        }
    }
    // memoFor may have rehashed the table: look the row up again.
    RowMemo& memo = memoFor(block);
    memo.currency = answer;
    memo.currencyKnown = true;
    return answer;
}

QString CalculatorEngine::linkSumTerm(const Link& link)
{
    QString colour = link.colorHex();
    if (colour.startsWith(QLatin1Char('#')))
        colour.remove(0, 1);
    return QLatin1Char('{') + link.placeholderName() + QLatin1Char(':') + colour + QLatin1Char('}');
}

namespace {

const QString sumPlus = QStringLiteral(" + ");

// The label before the expression may decide how the number it starts with
// reads: a word before a blank-grouped number (TV | 1 299), a count before
// an amount (Tickets x2 | 24,00), or a refusal an earlier label made.
bool labelMayDecide(const CalculationBlock& row)
{
    const QStringView expression = row.expression();
    const qsizetype at = leadingNumberStart(expression);
    if (at < 0)
        return false;
    const qsizetype digitsEnd = digitRunEnd(expression, at);
    const qsizetype next = skipWhiteSpace(expression, digitsEnd);
    const bool blankGroup = next > digitsEnd && next < expression.size() && isDecimalDigit(codePointAt(expression, next));
    return blankGroup || row.hasError() || endsInCount(row.label());
}

// The terms of the links, sorted: their order in the expression is the rows'
// order, which the stored links need not keep.
QStringList sortedTerms(const LinkList& links)
{
    QStringList terms;
    terms.reserve(links.size());
    for (const LinkPtr& link : links)
        terms.append(CalculatorEngine::linkSumTerm(*link));
    terms.sort();
    return terms;
}

} // namespace

bool CalculatorEngine::isLinkSum(const CalculationBlock& row)
{
    const LinkList& links = row.incomingLinks();
    if (links.isEmpty())
        return false;
    QStringList written = row.expression().split(sumPlus);
    if (written.size() != links.size())
        return false;
    written.sort();
    return written == sortedTerms(links);
}

namespace {

// The stretch [at, end) of a token that starts with "{" and the name at
// `at`: blanks, then "}" or ":" and anything up to the next "}"; -1 where no
// token ends there.
qsizetype shownTokenEnd(const QString& text, qsizetype j)
{
    while (j < text.size() && text[j].isSpace())
        ++j;
    if (j < text.size() && text[j] == QLatin1Char('}'))
        return j + 1;
    if (j < text.size() && text[j] == QLatin1Char(':')) {
        const qsizetype close = text.indexOf(QLatin1Char('}'), j);
        if (close > 0)
            return close + 1;
    }
    return -1;
}

// The names of the links in the order they are shown: longest first, so
// that "AB" is not read as "A" and the rest.
QStringList linkNames(const CalculationBlock& row)
{
    QStringList names;
    names.reserve(row.incomingLinks().size());
    for (const LinkPtr& link : row.incomingLinks())
        names.append(trimmedBlanks(link->placeholderName()));
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return names;
}

// The links shown name by name, each name's tokens replaced in turn.
QString showNameByName(QString text, const QStringList& linked, LinkToken::Names& names)
{
    for (const QString& name : linked) {
        const QString shown = names.nameInText(name);
        const QString opening = QLatin1Char('{') + name;
        for (qsizetype at = text.indexOf(opening); at >= 0; at = text.indexOf(opening, at + 1)) {
            const qsizetype end = shownTokenEnd(text, at + opening.size());
            if (end < 0)
                continue;
            // Set apart from a word or number it touches, as the canvas shows
            // a link as a part of its own.
            QString part = shown;
            if (at > 0 && text[at - 1].isLetterOrNumber())
                part.prepend(QLatin1Char(' '));
            if (end < text.size() && text[end].isLetterOrNumber())
                part.append(QLatin1Char(' '));
            text.replace(at, end - at, part);
            at += part.size() - 1;
        }
    }
    return text;
}

// The links shown in one scan of the text, as showing them name by name
// does where no token can reach into another or into what a link shows:
// each "{" takes the longest name that forms a token there. `replaced`:
// the tokens, each with its place in the answer. None where the scan cannot
// stand for the names' turns.
std::optional<QString> showInOneScan(const QString& text, const QStringList& linked, LinkToken::Names& names,
                                     Replacements* replaced)
{
    auto holdsBrace = [](QStringView t) {
        return t.contains(QLatin1Char('{')) || t.contains(QLatin1Char('}'));
    };
    // Each name's turn (its first place in `linked`) and what it shows.
    struct Name {
        qsizetype turn;
        QString shown;
    };
    QHash<QString, Name> byName;
    byName.reserve(linked.size());
    QVarLengthArray<qsizetype, 8> lengths;
    for (qsizetype i = 0; i < linked.size(); ++i) {
        const QString& name = linked[i];
        if (byName.contains(name))
            continue;
        if (holdsBrace(name))
            return std::nullopt;
        QString shown = names.nameInText(name);
        if (shown.isEmpty() || holdsBrace(shown))
            return std::nullopt;
        byName.insert(name, {i, std::move(shown)});
        if (!lengths.contains(name.size()))
            lengths.append(name.size());
    }
    // Longest first, as `linked` is sorted.
    struct Token {
        qsizetype at;
        qsizetype end;
        const Name* name;
    };
    QList<Token> tokens;
    const qsizetype size = text.size();
    for (qsizetype at = text.indexOf(QLatin1Char('{')); at >= 0; at = text.indexOf(QLatin1Char('{'), at + 1)) {
        for (const qsizetype length : lengths) {
            if (at + 1 + length > size)
                continue;
            const auto found = byName.constFind(QString::fromRawData(text.constData() + at + 1, length));
            if (found == byName.constEnd())
                continue;
            const qsizetype end = shownTokenEnd(text, at + 1 + length);
            if (end < 0)
                continue;
            // A token that holds another "{" would be another's turn.
            const qsizetype inner = text.indexOf(QLatin1Char('{'), at + 1);
            if (inner >= 0 && inner < end)
                return std::nullopt;
            tokens.append({at, end, &*found});
            at = end - 1;
            break;
        }
    }
    // A token's neighbour that had its turn earlier is shown already where
    // the two touch: what touches is the end or start of that name's text.
    auto earlier = [](const Token& a, const Token& b) {
        return a.name->turn < b.name->turn || (a.name == b.name && a.at < b.at);
    };
    QString result;
    qsizetype copied = 0;
    for (qsizetype k = 0; k < tokens.size(); ++k) {
        const Token& token = tokens[k];
        const bool leftShown = k > 0 && tokens[k - 1].end == token.at && earlier(tokens[k - 1], token);
        const bool rightShown = k + 1 < tokens.size() && tokens[k + 1].at == token.end && earlier(tokens[k + 1], token);
        const QChar before =
            leftShown ? tokens[k - 1].name->shown.back() : (token.at > 0 ? text[token.at - 1] : QChar());
        const QChar after =
            rightShown ? tokens[k + 1].name->shown.front() : (token.end < size ? text[token.end] : QChar());
        result += QStringView(text).mid(copied, token.at - copied);
        const qsizetype partAt = result.size();
        if (token.at > 0 && before.isLetterOrNumber())
            result += QLatin1Char(' ');
        result += token.name->shown;
        if (token.end < size && after.isLetterOrNumber())
            result += QLatin1Char(' ');
        if (replaced)
            replaced->append({token.at, token.end, partAt, result.size()});
        copied = token.end;
    }
    result += QStringView(text).mid(copied);
    return result;
}

// The expression with its links as the canvas shows them; `replaced`, where
// known, the tokens with their places in it.
QString linksShown(const CalculationBlock& row, Replacements* replaced)
{
    const QString& text = row.expression();
    if (!text.contains(QLatin1Char('{')))
        return text;
    const QStringList linked = linkNames(row);
    LinkToken::Names names(row);
    if (std::optional<QString> shown = showInOneScan(text, linked, names, replaced))
        return *shown;
    if (replaced)
        replaced->clear();
    return showNameByName(text, linked, names);
}

} // namespace

QString CalculatorEngine::withLinksShown(const CalculationBlock& row)
{
    return linksShown(row, nullptr);
}

void CalculatorEngine::evaluateRow(Batch& batch, const BlockPtr& block)
{
    ++m_evaluationCount;
    QHash<QString, double> values;
    QHash<QString, QString> currencies;
    values.reserve(block->incomingLinks().size());
    currencies.reserve(block->incomingLinks().size());
    bool sourceWithoutValue = false;
    // The row's own incoming links, looked up by record: the last link of a
    // name wins, and its value and currency travel together.
    for (const LinkPtr& link : block->incomingLinks()) {
        const BlockPtr source = link->sourceBlock();
        if (!source || !source->result()) {
            sourceWithoutValue = true;
            continue;
        }
        const QString name = trimmedBlanks(link->placeholderName());
        values.insert(name, *source->result());
        if (const std::optional<QString> currency = rowCurrency(memoFor(source), source))
            currencies.insert(name, *currency);
        else
            currencies.remove(name);
    }
    // Remembered for the next edit of this row (see checkRowMemos).
    ownCurrencyMark(block);

    // A sum of links adds the rows that have a value; the stored expression
    // keeps every term, so a row that gets its value back counts again.
    QString expression = block->expression();
    if (sourceWithoutValue && isLinkSum(*block)) {
        QStringList valued;
        for (const LinkPtr& link : block->incomingLinks()) {
            if (const BlockPtr source = link->sourceBlock(); source && source->result())
                valued.append(linkSumTerm(*link));
        }
        QStringList kept;
        for (const QString& term : expression.split(sumPlus)) {
            if (valued.removeOne(term))
                kept.append(term);
        }
        expression = kept.isEmpty() ? QStringLiteral("0") : kept.join(sumPlus);
    }

    const QString label = block->label();
    EvaluationResult outcome = evaluateWith(expression, values, currencies, batch.settings, nullptr, label);
    // A refusal quotes the row as the canvas shows it: links by name or value.
    if (!outcome.ok() && outcome.error().kind() == CalculationError::Kind::invalidExpression
        && !block->incomingLinks().isEmpty() && expression.contains(QLatin1Char('{'))) {
        Replacements replaced;
        const QString shown = linksShown(*block, &replaced);
        // A sum of links without some of its terms is no longer what was shown.
        const bool whole = expression == block->expression();
        if (shown != expression)
            outcome = evaluateWith(expression, values, currencies, batch.settings, &shown, label,
                                   whole && !replaced.isEmpty() ? &replaced : nullptr);
    }
    if (outcome.ok()) {
        block->setResult(outcome.value());
        block->setHasError(false);
        block->setErrorMessage(std::nullopt);
        block->setErrorDetail(QString());
    } else {
        block->setResult(std::nullopt);
        block->setHasError(true);
        if (outcome.error().kind() == CalculationError::Kind::missingPlaceholder) {
            // The stored name is no name the user ever saw: say the link as
            // the canvas shows it.
            const QString message = LinkToken::missingValueMessage(*block, outcome.error().name());
            block->setErrorDetail(message);
            block->setErrorMessage(message);
        } else {
            block->setErrorDetail(outcome.error().detailText());
            block->setErrorMessage(outcome.error().errorDescription());
        }
    }
}

void CalculatorEngine::markCycleRow(const BlockPtr& block, const std::unordered_set<const CalculationBlock*>& component)
{
    // The value fed around the cycle cannot exist: the row reports the
    // first placeholder that a row of its own cycle feeds.
    ++m_evaluationCount;
    QString name;
    for (const LinkPtr& link : block->incomingLinks()) {
        if (component.count(link->sourceBlock().get())) {
            name = trimmedBlanks(link->placeholderName());
            break;
        }
    }
    block->setResult(std::nullopt);
    block->setHasError(true);
    block->setErrorDetail(QString());
    block->setErrorMessage(LinkToken::missingValueMessage(*block, name));
}

void CalculatorEngine::evaluateInOrder(Batch& batch, const RowGraph& graph,
                                       const std::vector<std::vector<int>>& components,
                                       const std::vector<char>& chosen, int skipped)
{
    // Upstream first: every chosen row is evaluated once, after all of its
    // sources; the rows of a cycle end with an error.
    for (auto it = components.rbegin(); it != components.rend(); ++it) {
        const std::vector<int>& component = *it;
        if (!chosen[size_t(component.front())])
            continue;
        if (!graph.isCycle(component)) {
            const BlockPtr& row = graph.rows[size_t(component.front())];
            if (component.front() != skipped && row->blockType() == BlockType::calculation)
                evaluateRow(batch, row);
            continue;
        }
        std::unordered_set<const CalculationBlock*> members;
        for (int index : component)
            members.insert(graph.rows[size_t(index)].get());
        for (int index : component) {
            if (graph.rows[size_t(index)]->blockType() == BlockType::calculation)
                markCycleRow(graph.rows[size_t(index)], members);
        }
    }
}

void CalculatorEngine::runFrom(Batch& batch, const BlockPtr& start, bool includeStart)
{
    RowGraph graph;
    graph.add(start);
    graph.close();
    // A start row left out is still marked when it sits on a cycle.
    evaluateInOrder(batch, graph, graph.components(), std::vector<char>(size_t(graph.size()), 1), includeStart ? -1 : 0);
}

void CalculatorEngine::evaluateBlock(const BlockPtr& block)
{
    if (!block || block->blockType() != BlockType::calculation)
        return;
    checkRowMemos(block);
    Batch batch;
    batch.settings = m_settingsProvider();
    runFrom(batch, block, true);
}

void CalculatorEngine::propagateChanges(const BlockPtr& block)
{
    if (!block)
        return;
    checkRowMemos(block);
    Batch batch;
    batch.settings = m_settingsProvider();
    runFrom(batch, block, false);
}

bool CalculatorEngine::readAgain(const BlockPtr& block)
{
    if (block->blockType() != BlockType::calculation)
        return false;
    checkRowMemos(block);
    Batch batch;
    batch.settings = m_settingsProvider();
    // Only a row with links both ways can sit on a cycle, whose rows all
    // read again.
    std::optional<RowGraph> graph;
    std::vector<std::vector<int>> components;
    auto below = [&] {
        graph.emplace();
        graph->add(block);
        graph->close();
        components = graph->components();
    };
    if (!block->incomingLinks().isEmpty() && !block->outgoingLinks().isEmpty()) {
        below();
        for (const std::vector<int>& component : components) {
            if (std::find(component.begin(), component.end(), 0) != component.end() && graph->isCycle(component)) {
                evaluateInOrder(batch, *graph, components, std::vector<char>(size_t(graph->size()), 1), -1);
                return true;
            }
        }
    }
    const std::optional<double> before = block->result();
    evaluateRow(batch, block);
    if (block->result() == before)
        return false;
    if (!graph)
        below();
    evaluateInOrder(batch, *graph, components, std::vector<char>(size_t(graph->size()), 1), 0);
    return true;
}

void CalculatorEngine::sourceRenamed(const BlockPtr& block)
{
    if (!block)
        return;
    // The row itself reads anew; the rows below only when its value changed.
    if (block->blockType() == BlockType::calculation && labelMayDecide(*block) && readAgain(block))
        return;
    // Only failed rows name their sources; the rest shows no label of them.
    std::unordered_set<const CalculationBlock*> seen;
    for (const LinkPtr& link : LinkList(block->outgoingLinks())) {
        const BlockPtr destination = link->destinationBlock();
        if (destination && destination->hasError() && seen.insert(destination.get()).second)
            readAgain(destination);
    }
}

void CalculatorEngine::evaluateCanvas(const CanvasPtr& canvas)
{
    if (!canvas)
        return;
    Batch batch;
    batch.settings = m_settingsProvider();
    // Currencies are worked out afresh for a whole canvas.
    m_rowMemos.clear();
    m_seenRelationships = ModelRevision::relationships.load(std::memory_order_relaxed);
    m_seenExpressions = ModelRevision::expressions.load(std::memory_order_relaxed);

    // Text rows that hold an expression become calculation rows.
    for (const BlockPtr& block : BlockList(canvas->blocks())) {
        if (block->blockType() == BlockType::text && !block->expression().isEmpty())
            block->setBlockType(BlockType::calculation);
    }

    RowGraph graph;
    for (const BlockPtr& block : canvas->blocks())
        graph.add(block);
    graph.close();
    const std::vector<std::vector<int>> components = graph.components();

    // The rows to evaluate: everything downstream of the rows without
    // incoming links, of every cycle, and of every row still without a
    // result; rows no such row leads to keep what they hold.
    std::vector<char> chosen(size_t(graph.size()), 0);
    std::vector<int> pending;
    auto choose = [&](int start) {
        if (chosen[size_t(start)])
            return;
        chosen[size_t(start)] = 1;
        pending.push_back(start);
        while (!pending.empty()) {
            const int v = pending.back();
            pending.pop_back();
            for (const int* w = graph.successorsBegin(v); w != graph.successorsEnd(v); ++w) {
                if (!chosen[size_t(*w)]) {
                    chosen[size_t(*w)] = 1;
                    pending.push_back(*w);
                }
            }
        }
    };
    const BlockList& blocks = canvas->blocks();
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (blocks[i]->blockType() == BlockType::calculation && blocks[i]->incomingLinks().isEmpty())
            choose(graph.indexOf.at(blocks[i].get()));
    }
    for (const std::vector<int>& component : components) {
        if (graph.isCycle(component))
            choose(component.front());
    }
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        const BlockPtr& block = blocks[i];
        if (block->blockType() == BlockType::calculation && !block->result() && !block->expression().isEmpty())
            choose(graph.indexOf.at(block.get()));
    }
    evaluateInOrder(batch, graph, components, chosen, -1);
}
