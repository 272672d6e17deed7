// Evaluates one of the engine benchmark's typical rows N times with callgrind
// collecting only around the evaluations (one evaluation before warms the
// engine's caches), or does one of its canvas cases N times. Built by
// scripts/measure-engine-instructions against each engine it compares.
//   engine-instructions-driver --list            style, index and text of each row or case
//   engine-instructions-driver DE|US INDEX N     prints the row's result
//   engine-instructions-driver CANVAS INDEX N    prints the result of the case's sum row
#include "EngineBenchCanvases.h"
#include "EngineBenchRows.h"
#include "Engine/CalculatorEngine.h"

#include <QCoreApplication>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

const char* const canvasCases[] = {
    "label keystroke, 1,000 grouped prices and their sum",
    "label keystroke, the same with the sum refused",
    "refused row with 1,000 links",
};

// What an engine does after a row's label changed. Engines from before it
// told the engine of that did nothing.
template <typename Engine>
void labelChanged(Engine& engine, const BlockPtr& row)
{
    if constexpr (requires { engine.sourceRenamed(row); })
        engine.sourceRenamed(row);
}

int runCanvasCase(int index, int count)
{
    static const EngineSettings settings = typicalRowSettings(DecimalStyle::germanComma);
    CalculatorEngine engine([] { return settings; });
    BlockList rows;
    const CanvasPtr canvas = EngineBenchCanvases::fanInOfGroupedPrices(1000, index != 0, &rows);
    engine.evaluateCanvas(canvas);
    const BlockPtr source = rows[rows.size() / 2];
    const BlockPtr sum = rows.last();
    int keystroke = 0;
    auto run = [&] {
        if (index == 2) {
            engine.evaluateBlock(sum);
            return;
        }
        source->setLabel(EngineBenchCanvases::typedLabel(++keystroke));
        labelChanged(engine, source);
    };
    run();
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < count; ++i)
        run();
    CALLGRIND_TOGGLE_COLLECT;
    if (sum->result())
        std::printf("%.17g\n", *sum->result());
    else
        std::printf("%s\n", qPrintable(sum->errorDetail()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (int i = 0; i < typicalRowCount; ++i)
            std::printf("DE\t%d\t%s\n", i, germanTypicalRows[i]);
        for (int i = 0; i < typicalRowCount; ++i)
            std::printf("US\t%d\t%s\n", i, usTypicalRows[i]);
        for (int i = 0; i < int(std::size(canvasCases)); ++i)
            std::printf("CANVAS\t%d\t%s\n", i, canvasCases[i]);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s --list | DE|US|CANVAS INDEX N\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "CANVAS") == 0) {
        const int index = std::atoi(argv[2]);
        const int count = std::atoi(argv[3]);
        if (index < 0 || index >= int(std::size(canvasCases)) || count < 1) {
            std::fprintf(stderr, "no such case or count\n");
            return 2;
        }
        return runCanvasCase(index, count);
    }
    const DecimalStyle style = std::strcmp(argv[1], "US") == 0 ? DecimalStyle::usPeriod : DecimalStyle::germanComma;
    const int index = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    if (index < 0 || index >= typicalRowCount || count < 1) {
        std::fprintf(stderr, "no such row or count\n");
        return 2;
    }
    static const EngineSettings settings = typicalRowSettings(style);
    CalculatorEngine engine([] { return settings; });
    const QString expression = QString::fromUtf8(typicalRow(style, index));
    const QHash<QString, double> values = typicalRowValues();
    const QHash<QString, QString> currencies = typicalRowCurrencies();

    EvaluationResult result = engine.evaluate(expression, values, currencies);
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < count; ++i)
        result = engine.evaluate(expression, values, currencies);
    CALLGRIND_TOGGLE_COLLECT;
    if (result.ok())
        std::printf("%.17g\n", result.value());
    else
        std::printf("%s\n", qPrintable(result.error().errorDescription()));
    return 0;
}
