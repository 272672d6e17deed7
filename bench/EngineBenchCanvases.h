#pragma once

// Canvases of the engine benchmarks where one keystroke or one row reads many
// links. Shared with the driver of scripts/measure-engine-instructions, which
// builds it against older engines too: use only the records' long-standing
// calls.

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <QString>

namespace EngineBenchCanvases {

inline const QString rowColor = QStringLiteral("#00D4FF");

// `sources` rows of a blank-grouped price, each labelled as a number (which
// leaves the price whole), all feeding the last row, which adds them up as
// the sum keyword writes it. `refused`: the sum goes on with words between
// two numbers, so the row is refused and quotes its links by their labels.
// The canvas as evaluated and its rows, the sum last.
inline CanvasPtr fanInOfGroupedPrices(int sources, bool refused, BlockList* rows = nullptr)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Grouped prices"), 0, 0, 1);
    BlockList made;
    QString sum;
    for (int i = 0; i < sources; ++i) {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, QStringLiteral("1 %1").arg(100 + i % 900),
                                                      QString(), QStringLiteral("Nr:"), 0, 40.0 * i, 200, 40, rowColor);
        canvas->appendBlock(row);
        made.append(row);
        if (i > 0)
            sum += QStringLiteral(" + ");
        sum += QStringLiteral("{V%1:%2}").arg(i).arg(rowColor.mid(1));
    }
    if (refused)
        sum += QStringLiteral(" + 2 Äpfel 3");
    const BlockPtr total = CalculationBlock::create(BlockType::calculation, sum, QString(), QString(), 0,
                                                    40.0 * sources, 200, 40, rowColor);
    canvas->appendBlock(total);
    for (int i = 0; i < sources; ++i)
        canvas->appendLink(Link::create(made[i], total, QStringLiteral("V%1").arg(i), rowColor));
    made.append(total);
    if (rows)
        *rows = made;
    return canvas;
}

// The label a keystroke gives a source of the canvas above, and takes back
// with the next: the price reads the same with both.
inline QString typedLabel(int keystroke)
{
    return keystroke % 2 ? QStringLiteral("Nr.:") : QStringLiteral("Nr:");
}

} // namespace EngineBenchCanvases
