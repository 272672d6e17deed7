// Whole canvases at scale: one row fed by many rows, rows joined by many
// random links, one edited row on a large canvas, a keystroke in a label on
// a large canvas, opening a stored canvas and building a large canvas record
// by record.
// Run by hand: build/bench/CanvasEvaluationBenchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "BenchSupport.h"
#include "EngineBenchCanvases.h"
#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Store/ObjectStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <random>

namespace {

const QString rowColor = QStringLiteral("#00D4FF");

CalculatorEngine& engine()
{
    static const EngineSettings settings = [] {
        EngineSettings s;
        s.decimalStyle = DecimalStyle::germanComma;
        return s;
    }();
    static CalculatorEngine instance([] { return settings; });
    return instance;
}

BlockPtr addRow(const CanvasPtr& canvas, const QString& expression, int index)
{
    const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), QString(), 0,
                                                  40.0 * index, 200, 40, rowColor);
    canvas->appendBlock(row);
    return row;
}

void addLink(const CanvasPtr& canvas, const BlockPtr& source, const BlockPtr& destination, const QString& name)
{
    canvas->appendLink(Link::create(source, destination, name, rowColor));
}

// `sources` rows each feeding one placeholder of the last row, which adds
// them all up (as the picker or an imported file makes it).
CanvasPtr makeFanIn(int sources, BlockList* rows = nullptr)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Fan-in"), 0, 0, 1);
    BlockList made;
    QString sum;
    for (int i = 0; i < sources; ++i) {
        made.append(addRow(canvas, QString::number(i % 97 + 1), i));
        if (i > 0)
            sum += QStringLiteral(" + ");
        sum += QStringLiteral("{V%1:%2}").arg(i).arg(rowColor);
    }
    const BlockPtr total = addRow(canvas, sum, sources);
    for (int i = 0; i < sources; ++i)
        addLink(canvas, made[i], total, QStringLiteral("V%1").arg(i));
    made.append(total);
    if (rows)
        *rows = made;
    return canvas;
}

// Rows each adding one to the row above.
CanvasPtr makeChain(int length, BlockList* rows = nullptr)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Chain"), 0, 0, 1);
    BlockPtr previous;
    for (int i = 0; i < length; ++i) {
        const BlockPtr row = addRow(canvas, previous ? QStringLiteral("{P:#00D4FF} + 1") : QStringLiteral("1"), i);
        if (previous)
            addLink(canvas, previous, row, QStringLiteral("P"));
        previous = row;
        if (rows)
            rows->append(row);
    }
    return canvas;
}

// `count` rows and three times as many links, each from a row to one further
// down (no cycle); each row adds one to the sum of what feeds it.
CanvasPtr makeRandomLinks(int count)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Random"), 0, 0, 1);
    std::mt19937 random(20261207);
    std::vector<std::pair<int, int>> pairs;
    for (int l = 0; l < 3 * count; ++l) {
        int a = int(random() % unsigned(count));
        int b = int(random() % unsigned(count));
        if (a == b)
            b = (b + 1) % count;
        pairs.emplace_back(std::min(a, b), std::max(a, b));
    }
    std::vector<QString> expressions(size_t(count), QStringLiteral("1"));
    std::vector<int> feeds(size_t(count), 0);
    std::vector<QString> names;
    for (const auto& [a, b] : pairs) {
        names.push_back(QStringLiteral("L%1").arg(feeds[size_t(b)]++));
        expressions[size_t(b)] += QStringLiteral(" + {%1:%2}").arg(names.back(), rowColor);
    }
    BlockList rows;
    for (int i = 0; i < count; ++i)
        rows.append(addRow(canvas, expressions[size_t(i)], i));
    for (size_t l = 0; l < pairs.size(); ++l)
        addLink(canvas, rows[pairs[l].first], rows[pairs[l].second], names[l]);
    return canvas;
}

void evaluations(benchmark::State& state, quint64 before)
{
    state.counters["evaluations"] =
        benchmark::Counter(double(engine().evaluationCount() - before), benchmark::Counter::kAvgIterations);
}

void BM_EvaluateFanIn(benchmark::State& state)
{
    const CanvasPtr canvas = makeFanIn(int(state.range(0)));
    const quint64 before = engine().evaluationCount();
    for (auto _ : state)
        engine().evaluateCanvas(canvas);
    evaluations(state, before);
}
BENCHMARK(BM_EvaluateFanIn)->Arg(125)->Arg(250)->Arg(500)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_EvaluateRandomLinks(benchmark::State& state)
{
    const CanvasPtr canvas = makeRandomLinks(int(state.range(0)));
    const quint64 before = engine().evaluationCount();
    for (auto _ : state)
        engine().evaluateCanvas(canvas);
    evaluations(state, before);
}
BENCHMARK(BM_EvaluateRandomLinks)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Typing in the last row of a long chain: one row to evaluate.
void BM_EditLastRowOfChain(benchmark::State& state)
{
    BlockList rows;
    const CanvasPtr canvas = makeChain(int(state.range(0)), &rows);
    engine().evaluateCanvas(canvas);
    const BlockPtr last = rows.last();
    const quint64 before = engine().evaluationCount();
    int edit = 0;
    for (auto _ : state) {
        last->setExpression(QStringLiteral("{P:#00D4FF} + %1").arg(++edit % 10));
        engine().evaluateBlock(last);
    }
    evaluations(state, before);
}
BENCHMARK(BM_EditLastRowOfChain)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Typing in one source of a large sum: the source and the sum to evaluate.
void BM_EditFanInSource(benchmark::State& state)
{
    BlockList rows;
    const CanvasPtr canvas = makeFanIn(int(state.range(0)), &rows);
    // The sources hold their results, as when read from a store.
    for (int i = 0; i + 1 < rows.size(); ++i)
        rows[i]->setResult(i % 97 + 1);
    const BlockPtr source = rows.first();
    const quint64 before = engine().evaluationCount();
    int edit = 0;
    for (auto _ : state) {
        source->setExpression(QString::number(++edit % 10));
        engine().evaluateBlock(source);
    }
    evaluations(state, before);
}
BENCHMARK(BM_EditFanInSource)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A keystroke in the label of one of a sum's sources, each a blank-grouped
// price the label could decide: the source to read again. Second argument:
// the sum is refused, and quotes its links by their labels.
void BM_LabelKeystrokeInGroupedSource(benchmark::State& state)
{
    BlockList rows;
    const CanvasPtr canvas = EngineBenchCanvases::fanInOfGroupedPrices(int(state.range(0)), state.range(1) != 0, &rows);
    engine().evaluateCanvas(canvas);
    const BlockPtr source = rows[rows.size() / 2];
    const quint64 before = engine().evaluationCount();
    int keystroke = 0;
    for (auto _ : state) {
        source->setLabel(EngineBenchCanvases::typedLabel(++keystroke));
        engine().sourceRenamed(source);
    }
    evaluations(state, before);
}
BENCHMARK(BM_LabelKeystrokeInGroupedSource)->Args({1000, 0})->Args({1000, 1})->Unit(benchmark::kMicrosecond);

// Reading a refused row with many links: its quote names them all.
void BM_EvaluateRefusedLinkSum(benchmark::State& state)
{
    BlockList rows;
    const CanvasPtr canvas = EngineBenchCanvases::fanInOfGroupedPrices(int(state.range(0)), true, &rows);
    engine().evaluateCanvas(canvas);
    const BlockPtr sum = rows.last();
    for (auto _ : state)
        engine().evaluateBlock(sum);
}
BENCHMARK(BM_EvaluateRefusedLinkSum)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Rows and links appended one by one to a new canvas, as an import does.
void BM_BuildCanvas(benchmark::State& state)
{
    const int count = int(state.range(0));
    for (auto _ : state) {
        CanvasPtr canvas = makeChain(count);
        benchmark::DoNotOptimize(canvas.get());
        state.PauseTiming();
        canvas.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildCanvas)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same into a canvas that is stored already: every append is noted for
// the next save.
void BM_BuildStoredCanvas(benchmark::State& state)
{
    const int count = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto context = std::make_unique<ModelContext>();
        CanvasPtr canvas = Canvas::create(QStringLiteral("Stored"), 0, 0, 1);
        context->insert(canvas);
        state.ResumeTiming();
        BlockPtr previous;
        for (int i = 0; i < count; ++i) {
            const BlockPtr row = addRow(canvas, previous ? QStringLiteral("{P:#00D4FF} + 1") : QStringLiteral("1"), i);
            if (previous)
                addLink(canvas, previous, row, QStringLiteral("P"));
            previous = row;
        }
        benchmark::DoNotOptimize(context->blockCount());
        state.PauseTiming();
        context.reset();
        canvas.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildStoredCanvas)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Opening a stored fan-in canvas: reading the store, then evaluating it as
// the editor does when it shows the canvas.
void BM_OpenStoredFanIn(benchmark::State& state)
{
    static QTemporaryDir folder;
    static int runs = 0;
    const QString path = folder.filePath(QStringLiteral("fan-in-%1-%2.store").arg(state.range(0)).arg(++runs));
    {
        QString message;
        auto store = ObjectStore::open(path, &message);
        if (!store) {
            state.SkipWithError(qPrintable(message));
            return;
        }
        const CanvasPtr canvas = makeFanIn(int(state.range(0)));
        store->context().insert(canvas);
        engine().evaluateCanvas(canvas);
        store->save();
    }
    for (auto _ : state) {
        QString message;
        auto store = ObjectStore::open(path, &message);
        if (!store || store->context().canvases().size() != 1) {
            state.SkipWithError(qPrintable(store ? QStringLiteral("store did not load whole") : message));
            break;
        }
        const QList<CanvasPtr> canvases = store->context().canvases();
        engine().evaluateCanvas(canvases.first());
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenStoredFanIn)->Arg(3000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
