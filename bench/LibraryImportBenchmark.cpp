// Importing a 1,000-canvas exchange file through the real window: the time
// the import holds the main thread (a busy cursor shows throughout), and the
// window's next event-loop turn after it, which runs without one. And the
// import of one canvas whose N links all join the same two rows into a real
// store, step by step, to show that no step grows faster than N.
// Run by hand: QT_QPA_PLATFORM=offscreen build/bench/LibraryImportBenchmark

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Store/CanvasExport.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Store/ObjectStore.h"
#include "Platform/Defaults.h"
#include "Services/LibraryExchange.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Window/ContentView.h"
#include "Views/Library/ExchangeDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <map>
#include <vector>
#include <benchmark/benchmark.h>

namespace {

class PickedFiles : public ExchangeDialogs {
public:
    std::optional<QString> chooseExportFile(QWidget*, const QString&) override { return std::nullopt; }
    QStringList chooseImportFiles(QWidget*) override { return files; }
    void showAlert(QWidget*, const ExchangeFailure&) override { ++alerts; }
    QStringList files;
    int alerts = 0;
};

QString largeFile(const QTemporaryDir& dir)
{
    QList<CanvasPtr> canvases;
    for (int c = 0; c < 1000; ++c)
        canvases << largeSampleCanvas(c);
    const QString path = dir.filePath(QStringLiteral("large.quillsheet"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(*exchangeFileBytes(canvases));
    return path;
}

// The time is the whole import as the window runs it (a busy cursor shows
// throughout). longest_stall_after_ms is the longest the event loop then
// stays away (list refresh, editor, paint), when the cursor is normal again.
void importThroughWindow(benchmark::State& state, const QTemporaryDir& dir, const QString& file, int canvases)
{
    double longestAfter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Defaults defaults(dir.filePath(QStringLiteral("prefs.conf")));
        ModelContext context;
        ContentView window(
            &context, [](const CanvasPtr& c, QUndoStack* s) { return new CanvasView(c, c->context(), s); }, defaults);
        auto dialogs = std::make_shared<PickedFiles>();
        dialogs->files = {file};
        window.library()->setExchangeDialogs(dialogs);
        window.resize(1000, 700);
        window.show();
        window.setSidebarVisible(true);
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QElapsedTimer clock;
        clock.start();
        qint64 importDone = -1, lastTick = 0;
        longestAfter = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (importDone >= 0 && now > importDone)
                longestAfter = std::max(longestAfter, (now - std::max(lastTick, importDone)) / 1e6);
            lastTick = now;
        });
        // Chosen at the very end of the import.
        QObject::connect(window.library(), &CanvasListView::selectedCanvasChanged, [&] {
            if (context.canvasCount() >= canvases && importDone < 0)
                importDone = clock.nsecsElapsed();
        });
        ticker.start();
        window.library()->importCanvases();
        state.ResumeTiming();
        while (importDone < 0 && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        state.PauseTiming();
        while (clock.nsecsElapsed() < importDone + 1000000000LL)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (context.canvasCount() < canvases || dialogs->alerts)
            state.SkipWithError("import incomplete");
        state.ResumeTiming();
    }
    state.counters["longest_stall_after_ms"] = longestAfter;
}

void BM_ImportThroughWindow(benchmark::State& state)
{
    QTemporaryDir dir;
    importThroughWindow(state, dir, largeFile(dir), 1000);
}
BENCHMARK(BM_ImportThroughWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

// A valid file of one canvas: two rows and count links from the first to the second.
QString linksBetweenTwoRowsFile(const QTemporaryDir& dir, int count)
{
    QByteArray json = "{\"canvases\":[{\"blocks\":[{\"id\":\"00000000-0000-0000-0000-000000000001\"},"
                      "{\"id\":\"00000000-0000-0000-0000-000000000002\"}],\"links\":[";
    for (int i = 0; i < count; ++i)
        json += QByteArray(i ? "," : "") + "{\"sourceBlockID\":\"00000000-0000-0000-0000-000000000001\","
            + "\"destinationBlockID\":\"00000000-0000-0000-0000-000000000002\"}";
    json += "]}]}";
    const QString path = dir.filePath(QStringLiteral("links-%1.quillsheet").arg(count));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(json);
    return path;
}

// The time is LibraryExchange::importFile into a new store (read, check,
// convert, insert, save in one transaction). The counters time the same steps
// one by one on a second store, and the removal of the inserted canvas as a
// failed save undoes it.
void BM_ImportLinksBetweenTwoRows(benchmark::State& state)
{
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const QString file = linksBetweenTwoRowsFile(dir, count);
    std::map<std::string, std::vector<double>> steps;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = ObjectStore::open(dir.filePath(QStringLiteral("whole-%1.store").arg(++n)));
        ObjectStore* raw = store.get();
        LibraryExchange exchange(store->context(), [raw]() -> std::optional<QString> {
            return raw->save() ? std::nullopt : raw->saveError();
        });
        state.ResumeTiming();
        const auto failure = exchange.importFile(file);
        state.PauseTiming();
        if (failure || store->context().linkCount() != count)
            state.SkipWithError("import failed");

        auto steps2 = ObjectStore::open(dir.filePath(QStringLiteral("steps-%1.store").arg(n)));
        QElapsedTimer clock;
        auto lap = [&](const char* name) {
            steps[name].push_back(double(clock.nsecsElapsed()) / 1e6);
            clock.start();
        };
        clock.start();
        QString why;
        const auto bytes = LibraryExchange::readFile(file, &why);
        lap("read_ms");
        auto document = CanvasExport::fromJSON(*bytes, &why);
        lap("check_ms");
        const CanvasPtr canvas = document->canvases[0].toCanvas();
        lap("convert_ms");
        steps2->context().insert(canvas);
        lap("insert_ms");
        steps2->save();
        lap("save_ms");
        ModelContext::deleteRecord(canvas);
        lap("remove_ms");
        steps2->save();
        lap("save_removal_ms");
        state.ResumeTiming();
    }
    for (auto& [name, laps] : steps) {
        std::sort(laps.begin(), laps.end());
        state.counters[name] = laps[laps.size() / 2];
    }
}
BENCHMARK(BM_ImportLinksBetweenTwoRows)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same file imported through the window, which then shows the canvas.
void BM_ImportLinksBetweenTwoRowsThroughWindow(benchmark::State& state)
{
    QTemporaryDir dir;
    importThroughWindow(state, dir, linksBetweenTwoRowsFile(dir, int(state.range(0))), 1);
}
BENCHMARK(BM_ImportLinksBetweenTwoRowsThroughWindow)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
