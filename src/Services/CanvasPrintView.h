#pragma once

#include "Models/RecordPointers.h"
#include "Services/PrintExpressionParts.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

class Canvas;
class CalculationBlock;

// What a page is for: printing always gives a light page; a PDF follows the
// user's light or dark canvas choice.
enum class ExportMode { print, pdf };

struct PrintLayoutParameters {
    ExportMode mode = ExportMode::pdf;
    double width = 595;
    bool canvasLightMode = false;
    double rowHeight = 56;
    double minLabelWidth = 100;
    double maxLabelWidth = 200;
    double minResultWidth = 120;
    double padding = 16;
    // Empty: the application's font.
    QString fontFamily;
};

// One thing to draw, in page points (origin top left).
struct PrintItem {
    enum class Kind { fill, text };
    enum class Role { background, title, rowLabel, expressionPart, partLabel, resultValue, resultLabel, resultError };

    Kind kind = Kind::text;
    Role role = Role::title;
    // fill: the area; text: the box of the text as drawn (its advance and line).
    QRectF rect;
    // text: the start of its baseline.
    QPointF baseline;
    QString text;
    QFont font;
    QColor color;
    // The row (in print order) the item belongs to; -1 for the page and title.
    int row = -1;
};

// A canvas laid out as one page: everything needed to draw it, without any
// reference back to the records, so it stays valid whatever happens to them.
struct PrintPage {
    QSizeF size;
    QColor background;
    double titleBottom = 0;
    double rowHeight = 56;
    // Top of every row, in print order.
    QList<double> rowTops;
    QList<PrintItem> items;
};

// A band of the page printed on one sheet: [top, bottom) in page points.
struct PrintSlice {
    double top = 0;
    double bottom = 0;
    // Rows [firstRow, endRow) in print order.
    int firstRow = 0;
    int endRow = 0;
    bool operator==(const PrintSlice&) const = default;
};

// The printed page of a canvas: the name as title, then one row per row of
// the canvas with its label, expression parts and result.
class CanvasPrintView {
public:
    CanvasPrintView(const Canvas& canvas, PrintLayoutParameters parameters);

    // 595 wide; 56 per row (text rows too) plus 120 for title and margin.
    static double pageHeight(qsizetype rowCount);

    // Result text: at most two decimals, half to even, no grouping, always a
    // decimal comma, whatever the locale or number style.
    static QString formatValue(double value);

    // Rows by positionY, rows at equal positions in stored order.
    BlockList sortedBlocks() const;
    double labelColumnWidth() const;
    double resultColumnWidth() const;

    bool isDarkPage() const;
    QColor titleColor() const;
    // The colour a row's label, result and parts start from.
    QColor displayColor(const CalculationBlock& block) const;

    // The page: background, title, then one row after another.
    PrintPage body() const;

    // Splits the page into bands no taller than sliceHeight, between whole
    // rows, the title on the first. A row taller than a band gets one alone.
    static QList<PrintSlice> paginate(const PrintPage& page, double sliceHeight);

private:
    struct Fonts;
    struct PartBox;
    QColor darkened(const QColor& color) const;
    void titleView(PrintPage& page, const Fonts& fonts) const;
    void exportRowView(PrintPage& page, const Fonts& fonts, const CalculationBlock& block, int row, double top,
                       double labelWidth, double resultWidth) const;
    // The expression's parts, measured and cut to the cell's width.
    QList<PartBox> expressionView(const Fonts& fonts, const CalculationBlock& block, const QColor& displayColor,
                                  double width) const;
    PartBox partView(const Fonts& fonts, const ExportExpressionPart& part, const QColor& displayColor,
                     const CalculationBlock& block) const;
    // The value right-aligned at right, the row's label small above it.
    void resultColumnView(PrintPage& page, const Fonts& fonts, const QString& result, const QString& label,
                          const QColor& displayColor, double right, double width, double baseline, int row) const;

    const Canvas& m_canvas;
    PrintLayoutParameters m_parameters;
};
