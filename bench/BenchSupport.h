#pragma once

// What the benchmarks share: a scratch folder, the large sample store's
// canvases and the run of the benchmarks the command line names.

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

// A folder that lasts as long as the benchmark program.
inline QTemporaryDir& benchFolder()
{
    static QTemporaryDir dir;
    return dir;
}

// Canvas index (from 0) of MakeSampleStore's large store: 50 rows, 20 links.
inline CanvasPtr largeSampleCanvas(int index)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Canvas %1").arg(index + 1), 0, 0, 1);
    BlockList rows;
    for (int r = 0; r < 50; ++r) {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, QStringLiteral("%1,50 + 19%").arg(r * 10),
                                                      QString(), QStringLiteral("Row %1").arg(r), 20, 20 + r * 44.0,
                                                      320, 44, QStringLiteral("#00D4FF"));
        row->setResult(r * 10.5 * 1.19);
        row->setCanvas(canvas);
        rows << row;
    }
    for (int l = 0; l < 20; ++l)
        Link::create(rows[l], rows[l + 25], QStringLiteral("p%1").arg(l), QStringLiteral("#00D4FF"))->setCanvas(canvas);
    return canvas;
}

// Window benchmarks draw offscreen unless QT_QPA_PLATFORM names a platform.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Runs the benchmarks the command line names; call with the application
// object made.
inline int runBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
