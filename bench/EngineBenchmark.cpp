// The calculation engine: typical rows of both number styles through the
// whole pipeline, whole canvases, and a change at the top of a long chain.
// Run by hand: build/bench/EngineBenchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "EngineBenchRows.h"
#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <benchmark/benchmark.h>

namespace {

// Built once per style, copied per evaluation, as the application's settings are.
CalculatorEngine& engine(DecimalStyle style = DecimalStyle::germanComma)
{
    static const EngineSettings german = typicalRowSettings(DecimalStyle::germanComma);
    static const EngineSettings us = typicalRowSettings(DecimalStyle::usPeriod);
    static CalculatorEngine germanEngine([] { return german; });
    static CalculatorEngine usEngine([] { return us; });
    return style == DecimalStyle::usPeriod ? usEngine : germanEngine;
}

void evaluateTypicalRow(benchmark::State& state, DecimalStyle style)
{
    const char* const row = typicalRow(style, int(state.range(0)));
    const QString expression = QString::fromUtf8(row);
    const QHash<QString, double> values = typicalRowValues();
    const QHash<QString, QString> currencies = typicalRowCurrencies();
    state.SetLabel(row);
    for (auto _ : state) {
        const EvaluationResult result = engine(style).evaluate(expression, values, currencies);
        benchmark::DoNotOptimize(result);
    }
}

void TypicalRow(benchmark::State& state)
{
    evaluateTypicalRow(state, DecimalStyle::germanComma);
}
BENCHMARK(TypicalRow)->DenseRange(0, typicalRowCount - 1)->Unit(benchmark::kMicrosecond);

void TypicalRowUS(benchmark::State& state)
{
    evaluateTypicalRow(state, DecimalStyle::usPeriod);
}
BENCHMARK(TypicalRowUS)->DenseRange(0, typicalRowCount - 1)->Unit(benchmark::kMicrosecond);

// Rows in a chain (each adds one to the row above) or independent rows.
CanvasPtr makeCanvas(int rows, bool chain, BlockList* blocks = nullptr)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Bench"), 0, 0, 1);
    BlockPtr previous;
    for (int i = 0; i < rows; ++i) {
        QString expression;
        if (chain)
            expression = i == 0 ? QStringLiteral("1") : QStringLiteral("{P:#00D4FF} + 1");
        else
            expression = QString::fromUtf8(germanTypicalRows[i % 3]);
        const BlockPtr block = CalculationBlock::create(BlockType::calculation, expression, QString(), QString(), 0,
                                                        40.0 * i, 200, 40, QStringLiteral("#00D4FF"));
        canvas->appendBlock(block);
        if (chain && previous)
            canvas->appendLink(Link::create(previous, block, QStringLiteral("P"), QStringLiteral("#00D4FF")));
        previous = block;
        if (blocks)
            blocks->append(block);
    }
    return canvas;
}

void EvaluateCanvasChain(benchmark::State& state)
{
    const CanvasPtr canvas = makeCanvas(int(state.range(0)), true);
    for (auto _ : state)
        engine().evaluateCanvas(canvas);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(EvaluateCanvasChain)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void EvaluateCanvasIndependent(benchmark::State& state)
{
    const CanvasPtr canvas = makeCanvas(int(state.range(0)), false);
    for (auto _ : state)
        engine().evaluateCanvas(canvas);
}
BENCHMARK(EvaluateCanvasIndependent)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Editing the top row of a chain: every row below is evaluated once.
void ChangeAtTopOfChain(benchmark::State& state)
{
    BlockList blocks;
    const CanvasPtr canvas = makeCanvas(int(state.range(0)), true, &blocks);
    engine().evaluateCanvas(canvas);
    quint64 evaluations = 0;
    int edit = 0;
    for (auto _ : state) {
        blocks.first()->setExpression(QString::number(++edit % 100));
        const quint64 before = engine().evaluationCount();
        engine().evaluateBlock(blocks.first());
        evaluations += engine().evaluationCount() - before;
    }
    state.counters["evaluations"] = benchmark::Counter(double(evaluations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(ChangeAtTopOfChain)->Arg(1000)->Unit(benchmark::kMillisecond);

// One very long row (an imported expression): a run of digits, a run of
// letters, "1+1+…", sqrt( nested around 16, or a link's name followed by
// blanks up to its "}"; ten times the length should cost about ten times
// as much.
QString longExpression(int kind, int length)
{
    switch (kind) {
    case 0: return QString(length, QLatin1Char('7'));
    case 1: return QString(length, QLatin1Char('q'));
    case 2: {
        QString text = QStringLiteral("1+").repeated(length / 2);
        text.chop(1);
        return text;
    }
    case 3: {
        const int depth = (length - 2) / 6;
        return QStringLiteral("sqrt(").repeated(depth) + QStringLiteral("16") + QString(depth, QLatin1Char(')'));
    }
    default:
        return QStringLiteral("{A") + QString(length - 3, QLatin1Char(' ')) + QLatin1Char('}');
    }
}

void LongExpression(benchmark::State& state)
{
    const QString expression = longExpression(int(state.range(0)), int(state.range(1)));
    static const char* const kinds[] = {"digits", "letters", "1+1+…", "sqrt(sqrt(…16…))", "{A   …}"};
    state.SetLabel(kinds[state.range(0)]);
    const QHash<QString, double> values{{QStringLiteral("A"), 2}};
    for (auto _ : state) {
        const EvaluationResult result = engine().evaluate(expression, values, {});
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(LongExpression)->ArgsProduct({{0, 1, 2, 3, 4}, {10000, 100000, 1000000}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
