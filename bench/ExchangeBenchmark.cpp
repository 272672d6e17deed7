// Export of the large sample store (1,000 canvases, 50 rows and 20 links
// each) into one exchange file, and import of that file into a new store.
// Run by hand: build/bench/ExchangeBenchmark --benchmark_repetitions=5
// With QS_SAMPLE_STORE=PATH it uses a store made by MakeSampleStore PATH large.

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Store/CanvasExport.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Store/ObjectStore.h"
#include "Services/LibraryExchange.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <string>

namespace {

// The same content as MakeSampleStore's large store.
QString sampleStorePath()
{
    static const QString path = [] {
        if (const QByteArray given = qgetenv("QS_SAMPLE_STORE"); !given.isEmpty())
            return QString::fromLocal8Bit(given);
        const QString file = benchFolder().filePath(QStringLiteral("large.store"));
        auto store = ObjectStore::open(file);
        for (int c = 0; c < 1000; ++c) {
            const CanvasPtr canvas = largeSampleCanvas(c);
            canvas->setModifiedAt(Clock::now().addSecs(-60 * c));
            store->context().insert(canvas);
        }
        store->save();
        return file;
    }();
    return path;
}

ObjectStore& sampleStore()
{
    static std::unique_ptr<ObjectStore> store = ObjectStore::open(sampleStorePath());
    return *store;
}

QString exportedFilePath()
{
    static const QString path = [] {
        const QString file = benchFolder().filePath(QStringLiteral("Canvases Export.quillsheet"));
        LibraryExchange::exportCanvases(sampleStore().context().canvasesByModifiedAt(), file);
        return file;
    }();
    return path;
}

void BM_ExportSampleStore(benchmark::State& state)
{
    const QList<CanvasPtr> canvases = sampleStore().context().canvasesByModifiedAt();
    const QString file = benchFolder().filePath(QStringLiteral("export.quillsheet"));
    for (auto _ : state) {
        if (LibraryExchange::exportCanvases(canvases, file))
            state.SkipWithError("export failed");
    }
    state.counters["file_MB"] = double(QFileInfo(file).size()) / (1024 * 1024);
}
BENCHMARK(BM_ExportSampleStore)->Unit(benchmark::kMillisecond)->MinTime(3);

// Reading, checking, converting and inserting in one store transaction.
void BM_ImportSampleFile(benchmark::State& state)
{
    const QString file = exportedFilePath();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString target = benchFolder().filePath(QStringLiteral("import%1.store").arg(round++));
        auto store = ObjectStore::open(target);
        ObjectStore* raw = store.get();
        state.ResumeTiming();
        LibraryExchange exchange(store->context(), [raw]() -> std::optional<QString> {
            return raw->save() ? std::nullopt : raw->saveError();
        });
        if (exchange.importFile(file) || store->context().blockCount() != 50000 || store->context().linkCount() != 20000)
            state.SkipWithError("import did not take the whole file");
        state.PauseTiming();
        store.reset();
        QFile::remove(target);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportSampleFile)->Unit(benchmark::kMillisecond)->MinTime(3);

// A hostile but valid file: every link between the same two rows. The
// conversion appends each link to three lists, so its cost follows theirs.
void BM_ConvertLinksBetweenTwoRows(benchmark::State& state)
{
    const int count = int(state.range(0));
    QByteArray links;
    for (int i = 0; i < count; ++i)
        links += QByteArray(i ? "," : "") + "{\"sourceBlockID\":\"00000000-0000-0000-0000-000000000001\","
            + "\"destinationBlockID\":\"00000000-0000-0000-0000-000000000002\"}";
    const QByteArray json = "{\"canvases\":[{\"blocks\":[{\"id\":\"00000000-0000-0000-0000-000000000001\"},"
                            "{\"id\":\"00000000-0000-0000-0000-000000000002\"}],\"links\":["
        + links + "]}]}";
    const auto document = CanvasExport::fromJSON(json);
    for (auto _ : state)
        benchmark::DoNotOptimize(document->canvases[0].toCanvas());
}
BENCHMARK(BM_ConvertLinksBetweenTwoRows)->Arg(1000)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond);

long statusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ':';
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

// Peak memory of one import over the file's size (the peak is reset first).
void BM_ImportPeakMemory(benchmark::State& state)
{
    const QString file = exportedFilePath();
    const double fileSize = double(QFileInfo(file).size());
    double ratio = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString target = benchFolder().filePath(QStringLiteral("memory.store"));
        auto store = ObjectStore::open(target);
        ObjectStore* raw = store.get();
        std::ofstream("/proc/self/clear_refs") << "5"; // resets the peak to the present size
        const long before = statusKilobytes("VmRSS");
        state.ResumeTiming();
        LibraryExchange exchange(store->context(), [raw]() -> std::optional<QString> {
            return raw->save() ? std::nullopt : raw->saveError();
        });
        exchange.importFile(file);
        state.PauseTiming();
        const long peak = statusKilobytes("VmHWM");
        ratio = (peak - before) * 1024.0 / fileSize;
        store.reset();
        QFile::remove(target);
        state.ResumeTiming();
    }
    state.counters["file_MB"] = fileSize / (1024 * 1024);
    state.counters["peak_over_file"] = ratio;
}
BENCHMARK(BM_ImportPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
