#pragma once

// The currency mark shown beside a row's value, wherever the value is shown
// (the canvas, print and PDF). Worked out from the expression; a row without
// a mark of its own shows the currency of the rows it is linked from. (The
// engine's rowCurrency decides what currency a value carries into a
// calculation; that is another rule.)

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <optional>

class Canvas;
class CalculationBlock;

namespace ResultCurrency {

// The mark of the currency the engine reads the text's value in.
std::optional<QString> markIn(const QString& text);
// The mark of the currency the text converts into, read with the engine's
// own keywords and currency names.
std::optional<QString> conversionTargetMark(const QString& text);
// The row's mark: its own, else the first found through its sources in the
// order of the canvas's links. Rows in `visited` are not searched.
std::optional<QString> effectiveMark(const Canvas& canvas, const CalculationBlock& block, QSet<QUuid> visited = {});
// The value as a result is shown: two decimals at most, a decimal comma, and
// the row's mark after a blank.
QString shownValue(const Canvas& canvas, const CalculationBlock& block, double value);

// The same for many rows of one canvas: its links are gathered once, not
// once for each value shown.
class Marks {
public:
    explicit Marks(const Canvas& canvas) : m_canvas(canvas) {}
    const Canvas& canvas() const { return m_canvas; }
    QString shownValue(const CalculationBlock& block, double value);

private:
    const Canvas& m_canvas;
    // Per destination row, its sources in the order of the canvas's links.
    QHash<QUuid, QList<const CalculationBlock*>> m_sourcesOf;
    bool m_gathered = false;
};

} // namespace ResultCurrency
