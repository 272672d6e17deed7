// Opening a large store: 1,000 canvases with 50 rows and 20 links each; saving
// one keystroke; saving a new canvas of N rows and N links in one go (as an
// import of a big file does).
// Run by hand: build/bench/StoreBenchmark --benchmark_repetitions=5

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Store/ObjectStore.h"

#include <QCoreApplication>
#include <QFile>
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

// A new canvas of rows rows, each feeding the next, and as many links. With
// betweenTwoRows every link joins the first two rows instead, so two rows
// hold every link in their outgoing and incoming lists.
CanvasPtr newCanvas(int rows, bool betweenTwoRows)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Big"), 0, 0, 1);
    BlockList list;
    list.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, QStringLiteral("%1 + A").arg(r), QString(),
                                                      QString(), 20, r * 44.0, 200, 44, QStringLiteral("#00D4FF"));
        row->setCanvas(canvas);
        list.append(row);
    }
    for (int l = 0; l < rows; ++l) {
        const BlockPtr& source = betweenTwoRows ? list[0] : list[l];
        const BlockPtr& destination = betweenTwoRows ? list[1] : list[(l + 1) % rows];
        Link::create(source, destination, QStringLiteral("A"), QStringLiteral("#00D4FF"))->setCanvas(canvas);
    }
    return canvas;
}

// The save of a store into which a new canvas was just inserted. Building the
// canvas is not timed.
void saveNewCanvas(benchmark::State& state, bool betweenTwoRows)
{
    const int rows = int(state.range(0));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString file = benchFolder().filePath(QStringLiteral("new-%1.store").arg(++n));
        auto store = ObjectStore::open(file);
        store->context().insert(newCanvas(rows, betweenTwoRows));
        state.ResumeTiming();
        if (!store->save())
            state.SkipWithError("save failed");
        state.PauseTiming();
        store.reset();
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
        state.ResumeTiming();
    }
    state.SetComplexityN(rows);
}

void BM_SaveNewCanvas(benchmark::State& state) { saveNewCanvas(state, false); }
BENCHMARK(BM_SaveNewCanvas)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveNewCanvasLinksBetweenTwoRows(benchmark::State& state) { saveNewCanvas(state, true); }
BENCHMARK(BM_SaveNewCanvasLinksBetweenTwoRows)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
