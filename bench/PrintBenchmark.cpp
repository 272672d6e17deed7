// Print and PDF speed: laying out a canvas as its page, and the page with
// its one-page PDF, for small and large canvases (should grow linearly).

#include "BenchSupport.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Services/CanvasPrintView.h"
#include "Services/CanvasPrintPainter.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// Rows as people write them: labels, a linked value, percentages, a number label.
CanvasPtr canvasWith(int rows)
{
    static const char* colors[] = {"#00D4FF", "#FF6B9D", "#00FF88", "#FFB800", "#B388FF", "#FF5252", "#64FFDA", "#FFFF00"};
    CanvasPtr canvas = Canvas::create(QStringLiteral("Haushalt"), 0, 0, 1);
    BlockPtr previous;
    for (int i = 0; i < rows; ++i) {
        const QString expression = previous ? QStringLiteral("{A} + %1,50 x 3 + 19%").arg(i)
                                            : QStringLiteral("%1,50 x 3 + 19%").arg(i);
        BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(),
                                                QStringLiteral("Posten %1").arg(i), 20, i * 56.0, 400, 56,
                                                QString::fromLatin1(colors[i % 8]));
        row->setCanvas(canvas);
        row->setResult(i * 5.25 + 0.125);
        row->setPartLabel(QStringLiteral("Stück"), 1, QStringLiteral("3"));
        if (previous)
            Link::create(previous, row, QStringLiteral("A"), QString::fromLatin1(colors[(i + 1) % 8]))->setCanvas(canvas);
        previous = row;
    }
    return canvas;
}

void BM_Layout(benchmark::State& state)
{
    const CanvasPtr canvas = canvasWith(int(state.range(0)));
    PrintLayoutParameters parameters;
    for (auto _ : state) {
        PrintPage page = CanvasPrintView(*canvas, parameters).body();
        benchmark::DoNotOptimize(page);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Layout)->Arg(50)->Arg(1000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_LayoutAndPdf(benchmark::State& state)
{
    const CanvasPtr canvas = canvasWith(int(state.range(0)));
    PrintLayoutParameters parameters;
    for (auto _ : state) {
        const std::optional<QByteArray> pdf =
            CanvasPrintPainter::pdfData(CanvasPrintView(*canvas, parameters).body(), canvas->name());
        benchmark::DoNotOptimize(pdf);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LayoutAndPdf)->Arg(50)->Arg(1000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// A canvas of one row whose expression is one long run (an imported file):
// digits, letters or "1+1+…"; ten times the length should cost about ten
// times as much, or less.
void BM_LongRowLayoutAndPdf(benchmark::State& state)
{
    static const char* const kinds[] = {"digits", "letters", "1+1+…"};
    state.SetLabel(kinds[state.range(0)]);
    const int length = int(state.range(1));
    QString expression;
    if (state.range(0) == 0) {
        expression = QString(length, QLatin1Char('7'));
    } else if (state.range(0) == 1) {
        expression = QString(length, QLatin1Char('q'));
    } else {
        expression = QStringLiteral("1+").repeated(length / 2);
        expression.chop(1);
    }
    const CanvasPtr canvas = Canvas::create(QString(length, QLatin1Char('T')), 0, 0, 1);
    const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(),
                                                  QString(length, QLatin1Char('L')), 20, 0, 400, 56,
                                                  QStringLiteral("#00D4FF"));
    row->setCanvas(canvas);
    row->setResult(1);
    PrintLayoutParameters parameters;
    for (auto _ : state) {
        const std::optional<QByteArray> pdf =
            CanvasPrintPainter::pdfData(CanvasPrintView(*canvas, parameters).body(), canvas->name());
        benchmark::DoNotOptimize(pdf);
    }
}
BENCHMARK(BM_LongRowLayoutAndPdf)->ArgsProduct({{0, 1, 2}, {10000, 100000}})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", home.path().toUtf8().constData(), 1);
    preferOffscreen();
    QGuiApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
