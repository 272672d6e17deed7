// The calculation engine: typical rows through the whole pipeline, whole
// canvases, and a change at the top of a long chain.
// Run by hand: build/bench/EngineBenchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <benchmark/benchmark.h>

namespace {

EngineSettings benchmarkSettings()
{
    EngineSettings settings;
    settings.decimalStyle = DecimalStyle::germanComma;
    CalcSettings::TaxRate standard;
    standard.label = QStringLiteral("MwSt");
    standard.rate = 19;
    CalcSettings::TaxRate reduced;
    reduced.label = QStringLiteral("MwSt reduziert");
    reduced.rate = 7;
    settings.enabledTaxRates = {standard, reduced};
    settings.hasExchangeRates = true;
    settings.convert = [](double amount, const QString& from, const QString& to) -> std::optional<double> {
        static const QHash<QString, double> rates{{QStringLiteral("USD"), 1.08}, {QStringLiteral("GBP"), 0.85}};
        const double fromRate = from == QLatin1String("EUR") ? 1.0 : rates.value(from, 0);
        const double toRate = to == QLatin1String("EUR") ? 1.0 : rates.value(to, 0);
        if (fromRate == 0 || toRate == 0)
            return std::nullopt;
        return amount / fromRate * toRate;
    };
    return settings;
}

CalculatorEngine& engine()
{
    // Built once, copied per evaluation, as the application's settings are.
    static const EngineSettings settings = benchmarkSettings();
    static CalculatorEngine instance([] { return settings; });
    return instance;
}

const char* const typicalRows[] = {
    "1.234,56 € in USD",
    "(100 + 50) * 10% + MwSt",
    "sqrt(16) + pow(2, 10)",
    "{Netto:#00D4FF} + {Rabatt:#FF6B9D} * 2 - {Versand}",
    "1234.56 * 1.19",
};

void TypicalRow(benchmark::State& state)
{
    const QString expression = QString::fromUtf8(typicalRows[state.range(0)]);
    const QHash<QString, double> values{{QStringLiteral("Netto"), 1250.5}, {QStringLiteral("Rabatt"), -12.75},
                                        {QStringLiteral("Versand"), 4.9}};
    const QHash<QString, QString> currencies{{QStringLiteral("Netto"), QStringLiteral("€")}};
    state.SetLabel(typicalRows[state.range(0)]);
    for (auto _ : state) {
        const EvaluationResult result = engine().evaluate(expression, values, currencies);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(TypicalRow)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

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
            expression = QString::fromUtf8(typicalRows[i % 3]);
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
