// Importing a 1,000-canvas exchange file through the real window: the time
// the import holds the main thread (a busy cursor shows throughout), and the
// window's next event-loop turn after it, which runs without one.
// Run by hand: QT_QPA_PLATFORM=offscreen build/bench/LibraryImportBenchmark

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/CanvasExport.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Platform/Defaults.h"
#include "Views/CanvasListView.h"
#include "Views/CanvasView.h"
#include "Views/ContentView.h"
#include "Views/ExchangeDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
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
void BM_ImportThroughWindow(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString file = largeFile(dir);
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
            if (context.canvasCount() >= 1000 && importDone < 0)
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
        if (context.canvasCount() < 1000 || dialogs->alerts)
            state.SkipWithError("import incomplete");
        state.ResumeTiming();
    }
    state.counters["longest_stall_after_ms"] = longestAfter;
}
BENCHMARK(BM_ImportThroughWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
