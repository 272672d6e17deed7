// Evaluates one of the engine benchmark's typical rows N times with callgrind
// collecting only around the evaluations (one evaluation before warms the
// engine's caches). Built by scripts/measure-engine-instructions against each
// engine it compares.
//   engine-instructions-driver --list          style, index and text of each row
//   engine-instructions-driver DE|US INDEX N   prints the row's result
#include "EngineBenchRows.h"
#include "Engine/CalculatorEngine.h"

#include <QCoreApplication>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (int i = 0; i < typicalRowCount; ++i)
            std::printf("DE\t%d\t%s\n", i, germanTypicalRows[i]);
        for (int i = 0; i < typicalRowCount; ++i)
            std::printf("US\t%d\t%s\n", i, usTypicalRows[i]);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s --list | DE|US INDEX N\n", argv[0]);
        return 2;
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
