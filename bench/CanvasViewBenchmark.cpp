// Editor speed: opening large canvases to the first paint, one keystroke in
// a row of a large canvas with its repaint, and scrolling.

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/ModelContext.h"
#include "Views/Canvas/CanvasView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

CanvasPtr largeCanvas(int rows)
{
    CanvasPtr canvas = Canvas::create(QStringLiteral("Large"), 0, 0, 1);
    for (int i = 0; i < rows; ++i) {
        BlockPtr row = CalculationBlock::create(BlockType::calculation, QStringLiteral("%1 x 1,5 + 2").arg(i), QString(),
                                                QStringLiteral("Row %1").arg(i), 20, 20 + i * 56.0, 200, 56,
                                                CanvasView::blockColors()[i % 8]);
        row->setCanvas(canvas);
        canvas->appendBlock(row);
    }
    return canvas;
}

// Shows the view at its benchmark size and lets it lay out and evaluate.
void show(CanvasView& view)
{
    view.resize(1000, 800);
    view.show();
    QApplication::processEvents();
}

void repaintTable(CanvasView& view)
{
    view.tableWidget()->repaint(view.tableWidget()->visibleRegion());
}

// The middle row of the shown canvas, with its expression or label field
// open and the caret at the end.
QLineEdit* openMiddleField(CanvasView& view, bool label, BlockPtr* row)
{
    *row = view.sortedBlocks().at(view.sortedBlocks().size() / 2);
    if (label)
        view.setFocusedLabelBlockID((*row)->id());
    else
        view.setFocusedBlockID((*row)->id());
    QApplication::processEvents();
    auto* field = qobject_cast<QLineEdit*>(label ? view.labelEditor() : view.expressionEditor());
    field->end(false);
    return field;
}

// Each round types text with key into target, or takes it back with
// Backspace, then runs settle.
template <class Settle>
void typeAndTakeBack(benchmark::State& state, QWidget* target, Qt::Key key, const QString& text, Settle settle)
{
    bool add = true;
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, add ? key : Qt::Key_Backspace, Qt::NoModifier, add ? text : QString());
        QApplication::sendEvent(target, &press);
        settle();
        add = !add;
    }
}

// Construct, show, evaluate everything (the on-appear step) and paint once;
// the view's teardown is not timed.
void openAndPaint(benchmark::State& state, const CanvasPtr& canvas)
{
    {
        CanvasView view(canvas, nullptr, nullptr);
        view.resize(1000, 800);
        view.show();
        view.repaint();
        QApplication::processEvents();
        benchmark::DoNotOptimize(view.evaluationCounter());
        state.PauseTiming();
    }
    state.ResumeTiming();
}

// Construct, show, evaluate everything (the on-appear step) and paint once.
void BM_OpenToFirstPaint(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const CanvasPtr canvas = largeCanvas(int(state.range(0)));
        state.ResumeTiming();
        openAndPaint(state, canvas);
    }
}
BENCHMARK(BM_OpenToFirstPaint)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One character typed into the middle row's open expression field and taken
// back: write, evaluate, repaint.
void typeInMiddleRow(benchmark::State& state, const CanvasPtr& canvas)
{
    CanvasView view(canvas, nullptr, nullptr);
    show(view);
    BlockPtr row;
    QLineEdit* field = openMiddleField(view, false, &row);
    typeAndTakeBack(state, field, Qt::Key_1, QStringLiteral("1"), [&] { repaintTable(view); });
    benchmark::DoNotOptimize(row->result());
}

// One typed character in the middle row: write, evaluate, repaint.
void BM_Keystroke(benchmark::State& state)
{
    const CanvasPtr canvas = largeCanvas(int(state.range(0)));
    typeInMiddleRow(state, canvas);
}
BENCHMARK(BM_Keystroke)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same keystroke on a stored canvas: the store's change signals for the
// row and its result reach the editor too, and the queued redraw (the whole
// visible table) runs as the event loop paints it.
void BM_KeystrokeStored(benchmark::State& state)
{
    const CanvasPtr canvas = largeCanvas(int(state.range(0)));
    ModelContext context;
    context.insert(canvas);
    CanvasView view(canvas, &context, nullptr);
    show(view);
    BlockPtr row;
    QLineEdit* field = openMiddleField(view, false, &row);
    typeAndTakeBack(state, field, Qt::Key_1, QStringLiteral("1"), [] { QApplication::processEvents(); });
    benchmark::DoNotOptimize(row->result());
}
BENCHMARK(BM_KeystrokeStored)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One letter typed into a label field and taken back, repainted.
void BM_LabelKeystroke(benchmark::State& state)
{
    const CanvasPtr canvas = largeCanvas(int(state.range(0)));
    CanvasView view(canvas, nullptr, nullptr);
    show(view);
    BlockPtr row;
    QLineEdit* field = openMiddleField(view, true, &row);
    typeAndTakeBack(state, field, Qt::Key_A, QStringLiteral("a"), [&] { repaintTable(view); });
    benchmark::DoNotOptimize(row->label());
}
BENCHMARK(BM_LabelKeystroke)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A digit typed onto the canvas into the selected row and taken back.
void BM_CanvasKeystroke(benchmark::State& state)
{
    const CanvasPtr canvas = largeCanvas(int(state.range(0)));
    CanvasView view(canvas, nullptr, nullptr);
    show(view);
    const BlockPtr row = view.sortedBlocks().at(canvas->blocks().size() / 2);
    view.setSelectedBlockID(row->id());
    row->setIsEditing(true);
    QApplication::processEvents();
    typeAndTakeBack(state, &view, Qt::Key_1, QStringLiteral("1"), [&] { repaintTable(view); });
    benchmark::DoNotOptimize(row->result());
}
BENCHMARK(BM_CanvasKeystroke)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One row whose expression is one long run: digits, letters, "1+1+…", or a
// link token whose name is that long (a failed row: its message is as long).
QString longExpression(int kind, int length)
{
    switch (kind) {
    case 0:
        return QString(length, QLatin1Char('7'));
    case 1:
        return QString(length, QLatin1Char('q'));
    case 2: {
        QString text = QStringLiteral("1+").repeated(length / 2);
        text.chop(1);
        return text;
    }
    default:
        return QLatin1Char('{') + QString(length - 2, QLatin1Char('n')) + QLatin1Char('}');
    }
}

// The row as a canvas opens with it: construct, evaluate, lay out and paint,
// with every cache of the view cold.
void BM_LongRowToFirstPaint(benchmark::State& state)
{
    static const char* const kinds[] = {"digits", "letters", "1+1+…", "{name}"};
    state.SetLabel(kinds[state.range(0)]);
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Long"), 0, 0, 1);
    const BlockPtr row = CalculationBlock::create(BlockType::calculation,
                                                  longExpression(int(state.range(0)), int(state.range(1))), QString(),
                                                  QStringLiteral("Import"), 20, 20, 200, 56, CanvasView::blockColors()[0]);
    row->setCanvas(canvas);
    canvas->appendBlock(row);
    for (auto _ : state)
        openAndPaint(state, canvas);
}
BENCHMARK(BM_LongRowToFirstPaint)
    ->ArgsProduct({{0, 1, 2, 3}, {10000, 100000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One character typed at the end of such a row's open expression field and
// taken back: write, evaluate, repaint.
void BM_LongRowKeystroke(benchmark::State& state)
{
    static const char* const kinds[] = {"digits", "letters", "1+1+…", "{name}"};
    state.SetLabel(kinds[state.range(0)]);
    const CanvasPtr canvas = largeCanvas(20);
    canvas->blocks().at(10)->setExpression(longExpression(int(state.range(0)), int(state.range(1))));
    typeInMiddleRow(state, canvas);
}
BENCHMARK(BM_LongRowKeystroke)
    ->ArgsProduct({{0, 1, 2, 3}, {10000, 100000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One page down, painted.
void BM_ScrollPage(benchmark::State& state)
{
    const CanvasPtr canvas = largeCanvas(int(state.range(0)));
    CanvasView view(canvas, nullptr, nullptr);
    show(view);
    QScrollBar* bar = view.scrollArea()->verticalScrollBar();
    for (auto _ : state) {
        const int next = bar->value() + bar->pageStep();
        bar->setValue(next > bar->maximum() ? 0 : next);
        repaintTable(view);
    }
}
BENCHMARK(BM_ScrollPage)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", home.path().toUtf8().constData(), 1);
    preferOffscreen();
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
