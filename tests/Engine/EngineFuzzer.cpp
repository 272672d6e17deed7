// libFuzzer target for the engine: every input is read as a row in both
// number styles, with taxes, exchange rates and link placeholders set, and
// an input of several lines also as a canvas of rows linked one to the next.
// A crash, a sanitizer report, a hang or a success that is not a finite
// number fails the run. Built with -DQUILLSHEET_FUZZ=ON (clang only).
#include "EngineFuzzSettings.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <QCoreApplication>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& row, DecimalStyle style)
{
    std::fprintf(stderr, "%s (%s style): %s\n", what, style == DecimalStyle::usPeriod ? "US" : "German",
                 row.toUtf8().constData());
    std::abort();
}

void checkRow(CalculatorEngine& engine, const QString& row, DecimalStyle style)
{
    // Values that links put into {A}, {B}, {AB}: a plain amount, a negative
    // fraction and one near the largest double.
    static const QHash<QString, double> values{
        {QStringLiteral("A"), 1234.5}, {QStringLiteral("B"), -0.25}, {QStringLiteral("AB"), 1e300}};
    static const QHash<QString, QString> currencies{{QStringLiteral("A"), QStringLiteral("€")},
                                                    {QStringLiteral("B"), QStringLiteral("$")}};
    const EvaluationResult result = engine.evaluate(row, values, currencies);
    if (result.ok() && !std::isfinite(result.value()))
        fail("a success that is not a finite number", row, style);
}

void checkCanvas(CalculatorEngine& engine, const QStringList& lines, DecimalStyle style)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("F"), 0, 0, 1);
    QList<BlockPtr> rows;
    for (const QString& line : lines) {
        rows.append(CalculationBlock::create(BlockType::calculation, line, QString(), QString(), 0, rows.size(), 1, 1,
                                             QStringLiteral("#00D4FF")));
        canvas->appendBlock(rows.last());
    }
    // Each row feeds the next as {A}, the first feeds all as {B}; a first
    // row that names {C} is fed by the last, closing a cycle.
    const QString color = QStringLiteral("#00D4FF");
    for (qsizetype i = 1; i < rows.size(); ++i) {
        canvas->appendLink(Link::create(rows[i - 1], rows[i], QStringLiteral("A"), color));
        if (i >= 2)
            canvas->appendLink(Link::create(rows[0], rows[i], QStringLiteral("B"), color));
    }
    if (rows.size() >= 2 && lines.front().contains(QLatin1String("{C}")))
        canvas->appendLink(Link::create(rows.last(), rows[0], QStringLiteral("C"), color));
    engine.evaluateCanvas(canvas);
    engine.evaluateBlock(rows[0]);
    for (const BlockPtr& row : std::as_const(rows)) {
        if (row->result() && !std::isfinite(*row->result()))
            fail("a row result that is not a finite number", row->expression(), style);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Qt sees none of libFuzzer's flags.
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    static QCoreApplication app(qtArgc, qtArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CalculatorEngine german([] { return EngineFuzz::settingsFor(DecimalStyle::germanComma); });
    static CalculatorEngine us([] { return EngineFuzz::settingsFor(DecimalStyle::usPeriod); });
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const auto& [engine, style] : {std::pair{&german, DecimalStyle::germanComma}, std::pair{&us, DecimalStyle::usPeriod}}) {
        if (lines.size() == 1)
            checkRow(*engine, text, style);
        else if (lines.size() <= 6)
            checkCanvas(*engine, lines, style);
    }
    return 0;
}
