// A library of 50 canvases with 200 rows each computed again after a change of
// the number style or a tax rate, as the running program does it: one canvas
// per event-loop turn, each turn saved to the store. Reports the whole pass
// and the longest turn (how long the window can stall at most).
// With the window open the library and the shown canvas follow each turn too.
// Run by hand: build/bench/RecalculationBenchmark --benchmark_repetitions=5

#include "BenchSupport.h"
#include "Engine/CalculatorEngine.h"
#include "Engine/CanvasRecalculation.h"
#include "Models/CalcSettings.h"
#include "Store/ObjectStore.h"
#include "Platform/Defaults.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Window/ContentView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int canvasCount = 50;
constexpr int rowCount = 200;

// Each canvas: rows with a tax word, a percentage and a unit price, every
// fifth taking the row above through a link.
std::unique_ptr<ObjectStore> openLibrary()
{
    static int opened = 0;
    auto store = ObjectStore::open(benchFolder().filePath(QStringLiteral("library%1.store").arg(++opened)));
    for (int c = 0; c < canvasCount; ++c) {
        const CanvasPtr canvas = Canvas::create(QStringLiteral("Canvas %1").arg(c + 1), 0, 0, 1);
        store->context().insert(canvas);
        BlockList rows;
        for (int r = 0; r < rowCount; ++r) {
            QString expression;
            switch (r % 5) {
            case 0: expression = QStringLiteral("%1 + MwSt").arg(100 + r); break;
            case 1: expression = QStringLiteral("%1,50 + 19%").arg(r * 10); break;
            case 2: expression = QStringLiteral("4 x %1,25 €").arg(r); break;
            case 3: expression = QStringLiteral("1.200 / 12"); break;
            default: expression = QStringLiteral("{P:00D4FF} * 2"); break;
            }
            const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(),
                                                          QStringLiteral("Row %1").arg(r), 20, 20 + r * 44.0, 320,
                                                          44, QStringLiteral("#00D4FF"));
            row->setCanvas(canvas);
            canvas->appendBlock(row);
            rows << row;
            if (r % 5 == 4)
                Link::create(rows[r - 1], row, QStringLiteral("P"), QStringLiteral("#00D4FF"))->setCanvas(canvas);
        }
        CalculatorEngine::shared().evaluateCanvas(canvas);
    }
    store->save();
    return store;
}

bool anyBehind(ModelContext& context)
{
    const QList<CanvasPtr> canvases = context.canvases();
    return std::any_of(canvases.cbegin(), canvases.cend(),
                       [](const CanvasPtr& canvas) { return CanvasRecalculation::shared().isBehind(canvas); });
}

QWidget* canvasEditor(const CanvasPtr& canvas, QUndoStack* stack)
{
    return new CanvasView(canvas, canvas->context(), stack);
}

// Changes a setting, then runs the event loop until every canvas followed.
template <typename Change>
void recalculateAfter(benchmark::State& state, Change change, bool windowOpen = false)
{
    auto store = openLibrary();
    CanvasRecalculation::shared().watch(&store->context());
    QTemporaryDir dir;
    Defaults defaults(dir.filePath(QStringLiteral("prefs.conf")));
    std::unique_ptr<ContentView> window;
    if (windowOpen) {
        window = std::make_unique<ContentView>(&store->context(), &canvasEditor, defaults);
        window->resize(1200, 800);
        window->show();
        window->setSidebarVisible(true);
        window->setSelectedCanvas(store->context().canvases().first());
        QCoreApplication::processEvents();
    }
    std::vector<double> turns;
    int flip = 0;
    for (auto _ : state) {
        change(flip++);
        QElapsedTimer turn;
        do {
            turn.start();
            QCoreApplication::processEvents();
            turns.push_back(turn.nsecsElapsed() / 1e6);
        } while (anyBehind(store->context()));
    }
    std::sort(turns.begin(), turns.end());
    state.counters["turn_median_ms"] = turns[turns.size() / 2];
    state.counters["turn_longest_ms"] = turns.back();
    state.counters["turns"] = benchmark::Counter(double(turns.size()), benchmark::Counter::kAvgIterations);
}

void BM_NumberStyleChanged(benchmark::State& state)
{
    recalculateAfter(state, [](int flip) {
        CalcSettings::shared().setDecimalStyle(flip % 2 ? DecimalStyle::germanComma : DecimalStyle::usPeriod);
    });
    CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
}
BENCHMARK(BM_NumberStyleChanged)->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_TaxRateChanged(benchmark::State& state)
{
    const QList<CalcSettings::TaxRate> saved = CalcSettings::shared().taxRates();
    recalculateAfter(state, [](int flip) {
        CalcSettings::shared().setTaxRates({{QUuid::createUuid(), QStringLiteral("MwSt"), flip % 2 ? 19.0 : 20.0, true}});
    });
    CalcSettings::shared().setTaxRates(saved);
}
BENCHMARK(BM_TaxRateChanged)->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_TaxRateChangedWithWindowOpen(benchmark::State& state)
{
    const QList<CalcSettings::TaxRate> saved = CalcSettings::shared().taxRates();
    recalculateAfter(
        state,
        [](int flip) {
            CalcSettings::shared().setTaxRates(
                {{QUuid::createUuid(), QStringLiteral("MwSt"), flip % 2 ? 19.0 : 20.0, true}});
        },
        true);
    CalcSettings::shared().setTaxRates(saved);
}
BENCHMARK(BM_TaxRateChangedWithWindowOpen)->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace

int main(int argc, char** argv)
{
    // The settings the program shares live in the benchmark's own folder.
    qputenv("XDG_CONFIG_HOME", benchFolder().filePath(QStringLiteral("config")).toUtf8());
    preferOffscreen();
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
