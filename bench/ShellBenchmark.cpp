// The shell's part of switching canvases and of keeping the library current.
// Run by hand: QT_QPA_PLATFORM=offscreen build/bench/ShellBenchmark

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/ModelContext.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Canvas/CanvasView.h"
#include "Platform/Defaults.h"
#include "Views/Window/ContentView.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

CanvasPtr makeCanvas(ModelContext& context, const QString& name, int rows)
{
    const CanvasPtr canvas = Canvas::create(name, 0, 0, 1);
    for (int r = 0; r < rows; ++r) {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, QStringLiteral("%1 + 19%").arg(r),
                                                      QString(), QStringLiteral("Row %1").arg(r), 20, r * 44.0, 200,
                                                      44, QStringLiteral("#00D4FF"));
        row->setCanvas(canvas);
    }
    context.insert(canvas);
    return canvas;
}

QWidget* canvasEditor(const CanvasPtr& canvas, QUndoStack* stack)
{
    return new CanvasView(canvas, canvas->context(), stack);
}

// Switching between two 200-row canvases with the real editor: the old editor
// goes, the new one evaluates its canvas and paints.
void BM_SwitchCanvas(benchmark::State& state)
{
    ModelContext context;
    QList<CanvasPtr> canvases;
    for (int i = 0; i < 1000; ++i)
        canvases << makeCanvas(context, QStringLiteral("Canvas %1").arg(i), i < 2 ? 200 : 0);
    QTemporaryDir dir;
    Defaults defaults(dir.filePath(QStringLiteral("prefs.conf")));
    ContentView window(&context, &canvasEditor, defaults);
    window.show();
    window.setSidebarVisible(true);
    QCoreApplication::processEvents();
    int next = 0;
    for (auto _ : state) {
        window.setSelectedCanvas(canvases[next]);
        QCoreApplication::processEvents(); // paint the new editor and the list
        next = 1 - next;
    }
}
BENCHMARK(BM_SwitchCanvas)->Unit(benchmark::kMillisecond);

void BM_LibraryFollowsATouch(benchmark::State& state)
{
    ModelContext context;
    QList<CanvasPtr> canvases;
    for (int i = 0; i < 1000; ++i)
        canvases << makeCanvas(context, QStringLiteral("Canvas %1").arg(i), 0);
    CanvasListView library(&context);
    int next = 0;
    for (auto _ : state) {
        canvases[next % 1000]->touch();
        library.refresh();
        ++next;
    }
}
BENCHMARK(BM_LibraryFollowsATouch)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
