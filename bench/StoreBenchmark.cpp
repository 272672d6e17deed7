// Opening a large store: 1,000 canvases with 50 rows and 20 links each.
// Run by hand: build/bench/StoreBenchmark --benchmark_repetitions=5

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ObjectStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString largeStorePath()
{
    static const QString path = [] {
        const QString file = benchFolder().filePath(QStringLiteral("large.store"));
        auto store = ObjectStore::open(file);
        for (int c = 0; c < 1000; ++c) {
            const CanvasPtr canvas = Canvas::create(QStringLiteral("Canvas %1").arg(c + 1), 0, 0, 1);
            store->context().insert(canvas);
            BlockList rows;
            for (int r = 0; r < 50; ++r) {
                const BlockPtr row = CalculationBlock::create(
                    BlockType::calculation, QStringLiteral("%1,50 + 19%").arg(r * 10), QString(),
                    QStringLiteral("Row %1").arg(r), 20, 20 + r * 44.0, 200, 44, QStringLiteral("#00D4FF"));
                row->setPartLabel(QStringLiteral("Netto"), 0, QString());
                row->setResult(r * 10.5 * 1.19);
                row->setCanvas(canvas);
                canvas->appendBlock(row);
                rows.append(row);
            }
            for (int l = 0; l < 20; ++l) {
                const LinkPtr link = Link::create(rows[l], rows[l + 30], QStringLiteral("A"), QStringLiteral("#00D4FF"));
                link->setCanvas(canvas);
                canvas->appendLink(link);
            }
        }
        store->save();
        return file;
    }();
    return path;
}

void BM_OpenLargeStore(benchmark::State& state)
{
    const QString path = largeStorePath();
    for (auto _ : state) {
        auto store = ObjectStore::open(path);
        if (!store || store->context().blockCount() != 50000 || store->context().linkCount() != 20000)
            state.SkipWithError("store did not load whole");
        benchmark::DoNotOptimize(store.get());
        state.PauseTiming();
        store.reset(); // closing (and its checkpoint) is not part of opening
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenLargeStore)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_SaveOneKeystroke(benchmark::State& state)
{
    const QString file = benchFolder().filePath(QStringLiteral("keystroke.store"));
    auto store = ObjectStore::open(file);
    const CanvasPtr canvas = Canvas::create(QStringLiteral("C"), 0, 0, 1);
    store->context().insert(canvas);
    BlockList rows;
    for (int r = 0; r < 50; ++r) {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, QStringLiteral("1"), QString(), QString(),
                                                      20, r * 44.0, 200, 44, QStringLiteral("#00D4FF"));
        row->setCanvas(canvas);
        canvas->appendBlock(row);
        rows.append(row);
    }
    store->save();
    int n = 0;
    for (auto _ : state) {
        // A keystroke: the expression and the results of the row and one dependant.
        ++n;
        rows[0]->setExpression(QString::number(n));
        rows[0]->setResult(n);
        rows[1]->setResult(n * 2.0);
        store->save();
    }
}
BENCHMARK(BM_SaveOneKeystroke)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
