#include "Services/CanvasPrintView.h"

#include "Engine/ResultCurrency.h"

#include "Engine/ExpressionText.h"
#include "Engine/LinkToken.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/HexColor.h"
#include "Models/ValueFormatting.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double titleInset = 16;
constexpr double bottomSpace = 20;
constexpr double cellSpacing = 4;
// Title and margins: 80 + 40 points on top of the rows.
constexpr double pageExtra = 120;
// Nothing wider than a page shows more than this many characters, so longer
// texts (an imported megabyte label) are cut before they are measured.
constexpr qsizetype measuredCharacters = 400;

const QColor standardGray(142, 142, 147);

qsizetype characterCount(const QString& text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(opacity));
    return color;
}

// The start of a long text, cut where no surrogate pair is split.
QString leading(const QString& text, qsizetype length, bool* cut = nullptr)
{
    if (cut)
        *cut = text.size() > length;
    if (text.size() <= length)
        return text;
    qsizetype end = length;
    if (text[end - 1].isHighSurrogate())
        --end;
    return text.left(end);
}

// One line: line breaks and other control characters show as spaces.
QString singleLine(const QString& text)
{
    QString line = leading(text, measuredCharacters);
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return line;
}

QString elided(const QFontMetricsF& metrics, const QString& text, double width)
{
    const QString line = singleLine(text);
    const bool cut = text.size() > line.size();
    const QString shown = metrics.elidedText(line, Qt::ElideRight, std::max(width, 0.0));
    if (cut && shown == line)
        return metrics.elidedText(line + QStringLiteral("…"), Qt::ElideRight, std::max(width, 0.0));
    return shown;
}

double sortKey(double y)
{
    return std::isnan(y) ? std::numeric_limits<double>::infinity() : y;
}

// The error of a row that failed to compute; a row with nothing to compute
// is no failure and stays blank.
QString failureText(const CalculationBlock& block)
{
    if (block.isTextBlock() || block.result() || !block.hasError()
        || ExpressionText::trimmedSpacesAndTabs(block.expression()).isEmpty())
        return QString();
    return block.errorMessage().value_or(QString());
}

} // namespace

struct CanvasPrintView::Fonts {
    explicit Fonts(const QString& family)
        : title(make(family, 28, QFont::Bold))
        , regular(make(family, 16, QFont::Normal))
        , medium(make(family, 16, QFont::Medium))
        , small(make(family, 9, QFont::Medium))
        , error(make(family, 13, QFont::Normal))
    {
    }
    static QFont make(const QString& family, int size, QFont::Weight weight)
    {
        QFont font(family.isEmpty() ? QGuiApplication::font().family() : family);
        // Page units are points: a pixel-sized font keeps its size on every device.
        font.setPixelSize(size);
        font.setWeight(weight);
        return font;
    }
    // Declared before the metrics, which are made from them.
    QFont title;
    QFont regular;
    QFont medium;
    QFont small;
    QFont error;
    QFontMetricsF titleMetrics{title};
    QFontMetricsF regularMetrics{regular};
    QFontMetricsF mediumMetrics{medium};
    QFontMetricsF smallMetrics{small};
    QFontMetricsF errorMetrics{error};

    const QFontMetricsF& metrics(const QFont& font) const
    {
        if (font == medium)
            return mediumMetrics;
        if (font == small)
            return smallMetrics;
        if (font == title)
            return titleMetrics;
        if (font == error)
            return errorMetrics;
        return regularMetrics;
    }
};

CanvasPrintView::CanvasPrintView(const Canvas& canvas, PrintLayoutParameters parameters)
    : m_canvas(canvas)
    , m_parameters(std::move(parameters))
{
}

double CanvasPrintView::pageHeight(qsizetype rowCount)
{
    return double(rowCount) * 56 + pageExtra;
}

QString CanvasPrintView::formatValue(double value)
{
    return formatDecimalCommaValue(value);
}

BlockList CanvasPrintView::sortedBlocks() const
{
    BlockList blocks = m_canvas.blocks();
    std::stable_sort(blocks.begin(), blocks.end(), [](const BlockPtr& a, const BlockPtr& b) {
        return sortKey(a->positionY()) < sortKey(b->positionY());
    });
    return blocks;
}

double CanvasPrintView::labelColumnWidth() const
{
    const BlockList& blocks = m_canvas.blocks();
    if (blocks.isEmpty())
        return m_parameters.minLabelWidth;
    qsizetype longest = 0;
    for (const BlockPtr& block : blocks)
        longest = std::max(longest, characterCount(block->label()));
    if (longest == 0)
        return m_parameters.minLabelWidth;
    double width = double(longest) * 10 + 16;
    width = std::max(width, m_parameters.minLabelWidth);
    if (width >= m_parameters.maxLabelWidth)
        width = m_parameters.maxLabelWidth;
    return width;
}

double CanvasPrintView::resultColumnWidth() const
{
    const BlockList& blocks = m_canvas.blocks();
    if (blocks.isEmpty())
        return m_parameters.minResultWidth;
    double width = m_parameters.minResultWidth;
    for (const BlockPtr& block : blocks) {
        const std::optional<double> result = block->result();
        if (!result)
            continue;
        const double valueNeed = double(characterCount(ResultCurrency::shownValue(m_canvas, *block, *result)) + 2) * 9;
        const double labelNeed = double(characterCount(block->label())) * 6;
        width = std::max(width, std::max(valueNeed, labelNeed) + 40);
    }
    return std::min(width, 180.0);
}

bool CanvasPrintView::isDarkPage() const
{
    return m_parameters.mode == ExportMode::pdf && !m_parameters.canvasLightMode;
}

QColor CanvasPrintView::darkened(const QColor& color) const
{
    return isDarkPage() ? color : printDarker(color);
}

QColor CanvasPrintView::titleColor() const
{
    if (m_parameters.mode == ExportMode::print)
        return Qt::black;
    const QColor fallback = isDarkPage() ? withOpacity(Qt::white, 0.9) : QColor(Qt::black);
    const std::optional<QString> hex = m_canvas.titleColorHex();
    const QColor color = hex ? colorFromHex(*hex).value_or(fallback) : fallback;
    return darkened(color);
}

QColor CanvasPrintView::displayColor(const CalculationBlock& block) const
{
    return darkened(colorFromHex(block.colorHex()).value_or(standardCyanColor()));
}

void CanvasPrintView::titleView(PrintPage& page, const Fonts& fonts) const
{
    const double left = m_parameters.padding;
    const double width = std::max(m_parameters.width - 2 * m_parameters.padding, 1.0);
    const double lineHeight = fonts.titleMetrics.height();
    // The title wraps as far as the page's fixed height leaves room for it;
    // the last line it gets ends with an ellipsis when more is left.
    const double room = pageExtra - 2 * titleInset - bottomSpace;
    const int maxLines = std::max(1, int(std::floor((room + 0.5) / lineHeight)));

    bool cut = false;
    const QString name = leading(m_canvas.name(), 4000, &cut);
    QStringList lines;
    if (!name.isEmpty()) {
        QString text = name;
        for (QChar& c : text) {
            if (c.category() == QChar::Other_Control && c != QLatin1Char('\n'))
                c = QLatin1Char(' ');
        }
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        QTextLayout textLayout(text, fonts.title);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        textLayout.setTextOption(option);
        textLayout.beginLayout();
        QList<QTextLine> laid;
        while (laid.size() < maxLines) {
            QTextLine line = textLayout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            laid.append(line);
        }
        textLayout.endLayout();
        for (qsizetype i = 0; i < laid.size(); ++i) {
            const QTextLine& line = laid[i];
            const bool last = i == laid.size() - 1;
            const qsizetype end = line.textStart() + line.textLength();
            if (last && (end < text.size() || cut))
                lines.append(elided(fonts.titleMetrics, text.mid(line.textStart()) + (cut ? QStringLiteral("…") : QString()),
                                    width));
            else
                lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
        }
    }
    const QColor color = titleColor();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const double top = titleInset + double(i) * lineHeight;
        PrintItem item;
        item.kind = PrintItem::Kind::text;
        item.role = PrintItem::Role::title;
        item.text = lines[i];
        item.font = fonts.title;
        item.color = color;
        item.baseline = QPointF(left, top + fonts.titleMetrics.ascent());
        item.rect = QRectF(left, top, fonts.titleMetrics.horizontalAdvance(lines[i]), lineHeight);
        page.items.append(item);
    }
    page.titleBottom = 2 * titleInset + double(std::max<qsizetype>(lines.size(), 1)) * lineHeight;
}

struct CanvasPrintView::PartBox {
    QString text;
    QFont font;
    QColor color;
    double textWidth = 0;
    QString label;
    QColor labelColor;
    double labelWidth = 0;
    double width = 0;
};

namespace {

void addText(PrintPage& page, const QFontMetricsF& metrics, PrintItem::Role role, const QString& text,
             const QFont& font, const QColor& color, double x, double baseline, double width, int row)
{
    if (text.isEmpty())
        return;
    PrintItem item;
    item.kind = PrintItem::Kind::text;
    item.role = role;
    item.text = text;
    item.font = font;
    item.color = color;
    item.row = row;
    item.baseline = QPointF(x, baseline);
    item.rect = QRectF(x, baseline - metrics.ascent(), width, metrics.ascent() + metrics.descent());
    page.items.append(item);
}

} // namespace

CanvasPrintView::PartBox CanvasPrintView::partView(const Fonts& fonts, const ExportExpressionPart& part,
                                                   const QColor& displayColor, const CalculationBlock& block) const
{
    const bool dark = isDarkPage();
    PartBox box;
    box.font = fonts.regular;
    switch (part.kind) {
    case ExportExpressionPart::Kind::number: {
        box.font = fonts.medium;
        box.text = part.text;
        const std::optional<QString> own = block.getPartColor(part.numberIndex, part.text);
        const std::optional<QColor> ownColor = own ? colorFromHex(*own) : std::nullopt;
        box.color = darkened(ownColor.value_or(displayColor));
        box.label = block.getPartLabel(part.numberIndex, part.text).value_or(QString());
        break;
    }
    case ExportExpressionPart::Kind::linkedValue: {
        box.font = fonts.medium;
        // As the canvas shows it: the source's value, label and colour, or
        // a grey "?" while there is no value.
        const LinkToken::Shown seen = LinkToken::shown(block, part.text);
        box.text = seen.text;
        if (seen.source == LinkToken::Shown::Source::valued) {
            box.color = darkened(colorFromHex(seen.colorHex).value_or(displayColor));
            box.label = seen.label;
        } else {
            box.color = standardGray;
        }
        break;
    }
    case ExportExpressionPart::Kind::operator_:
    case ExportExpressionPart::Kind::parenthesis:
        box.text = part.text;
        box.color = dark ? withOpacity(Qt::white, 0.5) : standardGray;
        break;
    case ExportExpressionPart::Kind::text:
        box.text = part.text;
        box.color = dark ? withOpacity(Qt::white, 0.7) : standardGray;
        break;
    case ExportExpressionPart::Kind::percent:
        box.font = fonts.medium;
        box.text = QStringLiteral("%");
        box.color = displayColor;
        break;
    }
    box.text = singleLine(box.text) + (box.text.size() > measuredCharacters ? QStringLiteral("…") : QString());
    box.textWidth = fonts.metrics(box.font).horizontalAdvance(box.text);
    if (!box.label.isEmpty())
        box.labelColor = withOpacity(box.color, 0.7);
    return box;
}

QList<CanvasPrintView::PartBox> CanvasPrintView::expressionView(const Fonts& fonts, const CalculationBlock& block,
                                                                const QColor& displayColor, double width) const
{
    // Parts are laid out only as far as the cell reaches; a long expression
    // is never measured to its end.
    QList<PartBox> boxes;
    double used = 0;
    bool allFit = true;
    for (const ExportExpressionPart& part : PrintExpression::parseExpressionParts(block.expression(), block)) {
        if (used > width) {
            allFit = false;
            break;
        }
        PartBox box = partView(fonts, part, displayColor, block);
        if (!box.label.isEmpty()) {
            box.label = elided(fonts.smallMetrics, box.label, std::max(width - used, 0.0));
            box.labelWidth = fonts.smallMetrics.horizontalAdvance(box.label);
        }
        box.width = std::max(box.textWidth, box.labelWidth);
        boxes.append(box);
        used += box.width + cellSpacing;
    }
    if (allFit && (boxes.isEmpty() || used - cellSpacing <= width))
        return boxes;

    // Too wide: the parts that fit whole with room for "…" after them, then
    // the first one that does not, cut and ended with "…". A cut never goes
    // unmarked, whatever took the room (a long label over a linked value).
    const QString ellipsis = QStringLiteral("…");
    const double ellipsisWidth = std::max(fonts.regularMetrics.horizontalAdvance(ellipsis),
                                          fonts.mediumMetrics.horizontalAdvance(ellipsis));
    QList<PartBox> fitted;
    used = 0;
    for (PartBox box : boxes) {
        if (used + box.width + cellSpacing + ellipsisWidth <= width) {
            fitted.append(box);
            used += box.width + cellSpacing;
            continue;
        }
        const double room = std::max(width - used, 0.0);
        const QFontMetricsF& metrics = fonts.metrics(box.font);
        const QString line = singleLine(box.text);
        QString cut;
        if (metrics.horizontalAdvance(line) + metrics.horizontalAdvance(ellipsis) <= room)
            cut = line + ellipsis;
        else
            cut = metrics.elidedText(line, Qt::ElideRight, room);
        if (!cut.endsWith(ellipsis))
            cut = ellipsis;
        if (metrics.horizontalAdvance(cut) > room && !fitted.isEmpty()) {
            // Not even "…" fits after the last whole part: it takes that
            // part's place.
            box = fitted.takeLast();
            cut = ellipsis;
        }
        if (cut == ellipsis)
            box.label.clear();
        box.text = cut;
        box.textWidth = fonts.metrics(box.font).horizontalAdvance(cut);
        box.labelWidth = box.label.isEmpty() ? 0 : box.labelWidth;
        box.width = std::max(box.textWidth, box.labelWidth);
        fitted.append(box);
        break;
    }
    return fitted;
}

void CanvasPrintView::resultColumnView(PrintPage& page, const Fonts& fonts, const QString& result,
                                       const QString& label, const QColor& displayColor, double right, double width,
                                       double baseline, int row) const
{
    const QString value = elided(fonts.mediumMetrics, result, width);
    const double valueWidth = fonts.mediumMetrics.horizontalAdvance(value);
    addText(page, fonts.mediumMetrics, PrintItem::Role::resultValue, value, fonts.medium, displayColor,
            right - valueWidth, baseline, valueWidth, row);
    if (label.isEmpty())
        return;
    const QString small = elided(fonts.smallMetrics, label, width);
    const double smallWidth = fonts.smallMetrics.horizontalAdvance(small);
    const double valueTop = baseline - fonts.mediumMetrics.ascent();
    addText(page, fonts.smallMetrics, PrintItem::Role::resultLabel, small, fonts.small, withOpacity(displayColor, 0.6),
            right - smallWidth, valueTop - 1 - fonts.smallMetrics.descent(), smallWidth, row);
}

void CanvasPrintView::exportRowView(PrintPage& page, const Fonts& fonts, const CalculationBlock& block, int row,
                                    double top, double labelWidth, double resultWidth) const
{
    const bool dark = isDarkPage();
    const QColor display = displayColor(block);
    const double left = m_parameters.padding;
    const double right = m_parameters.width - m_parameters.padding;
    const double expressionLeft = left + labelWidth + cellSpacing;
    const double expressionRight = std::max(expressionLeft, right - resultWidth - cellSpacing);
    const QList<PartBox> parts = expressionView(fonts, block, display, expressionRight - expressionLeft);
    const std::optional<double> result = block.result();
    const QString label = block.label();

    // Everything in the row stands on one baseline; the tallest cell decides
    // how far above it the row reaches, and the whole is centred in the row.
    const double ascent = std::max(fonts.regularMetrics.ascent(), fonts.mediumMetrics.ascent());
    const double descent = std::max(fonts.regularMetrics.descent(), fonts.mediumMetrics.descent());
    const double smallHeight = fonts.smallMetrics.height();
    double above = ascent;
    for (const PartBox& part : parts) {
        if (!part.label.isEmpty())
            above = std::max(above, ascent + smallHeight);
    }
    if (result && !label.isEmpty())
        above = std::max(above, ascent + 1 + smallHeight);
    const double baseline = top + (m_parameters.rowHeight - (above + descent)) / 2 + above;

    const QString shownLabel = elided(fonts.regularMetrics, label, labelWidth);
    addText(page, fonts.regularMetrics, PrintItem::Role::rowLabel, shownLabel, fonts.regular,
            withOpacity(display, dark ? 0.7 : 0.8), left, baseline, fonts.regularMetrics.horizontalAdvance(shownLabel),
            row);

    double x = expressionLeft;
    for (const PartBox& part : parts) {
        const QFontMetricsF& metrics = fonts.metrics(part.font);
        addText(page, metrics, PrintItem::Role::expressionPart, part.text, part.font, part.color,
                x + (part.width - part.textWidth) / 2, baseline, part.textWidth, row);
        if (!part.label.isEmpty()) {
            // Directly above the part's text, centred over it.
            const double textTop = baseline - metrics.ascent();
            addText(page, fonts.smallMetrics, PrintItem::Role::partLabel, part.label, fonts.small, part.labelColor,
                    x + (part.width - part.labelWidth) / 2, textTop - fonts.smallMetrics.descent(), part.labelWidth,
                    row);
        }
        x += part.width + cellSpacing;
    }

    if (result) {
        // As the canvas shows it: with the row's currency.
        resultColumnView(page, fonts, ResultCurrency::shownValue(m_canvas, block, *result), label, display, right,
                         resultWidth, baseline, row);
        return;
    }
    // A failed row shows its error where the value would stand, as on the
    // canvas: it may reach left into what the expression leaves free.
    const QString error = failureText(block);
    if (error.isEmpty())
        return;
    const double partsEnd = parts.isEmpty() ? expressionLeft : x - cellSpacing;
    const double room = std::max(0.0, right - std::min(right - resultWidth, partsEnd + 16));
    const QString shown = elided(fonts.errorMetrics, error, room);
    const double width = fonts.errorMetrics.horizontalAdvance(shown);
    const QColor secondary = dark ? QColor(235, 235, 245, 153) : QColor(60, 60, 67, 153);
    addText(page, fonts.errorMetrics, PrintItem::Role::resultError, shown, fonts.error, secondary, right - width,
            baseline, width, row);
}

PrintPage CanvasPrintView::body() const
{
    const Fonts fonts(m_parameters.fontFamily);
    const BlockList blocks = sortedBlocks();

    PrintPage page;
    page.size = QSizeF(m_parameters.width, pageHeight(blocks.size()));
    page.background = isDarkPage() ? QColor(Qt::black) : QColor(Qt::white);
    page.rowHeight = m_parameters.rowHeight;

    PrintItem background;
    background.kind = PrintItem::Kind::fill;
    background.role = PrintItem::Role::background;
    background.rect = QRectF(QPointF(0, 0), page.size);
    background.color = page.background;
    page.items.append(background);

    titleView(page, fonts);

    const double labelWidth = labelColumnWidth();
    const double resultWidth = resultColumnWidth();
    page.rowTops.reserve(blocks.size());
    page.items.reserve(page.items.size() + blocks.size() * 6);
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        const double top = page.titleBottom + double(i) * m_parameters.rowHeight;
        page.rowTops.append(top);
        exportRowView(page, fonts, *blocks[i], int(i), top, labelWidth, resultWidth);
    }
    return page;
}

QList<PrintSlice> CanvasPrintView::paginate(const PrintPage& page, double sliceHeight)
{
    const int rows = int(page.rowTops.size());
    auto rowBottom = [&](int i) { return page.rowTops[i] + page.rowHeight; };
    QList<PrintSlice> slices;
    PrintSlice current{0, page.titleBottom, 0, 0};
    if (!(sliceHeight > 0) || rows == 0) {
        if (rows > 0)
            current = {0, rowBottom(rows - 1), 0, rows};
        slices.append(current);
        return slices;
    }
    for (int i = 0; i < rows; ++i) {
        if (rowBottom(i) - current.top > sliceHeight && (current.endRow > current.firstRow || slices.isEmpty())) {
            slices.append(current);
            current = {page.rowTops[i], page.rowTops[i], i, i};
        }
        current.bottom = rowBottom(i);
        current.endRow = i + 1;
    }
    slices.append(current);
    return slices;
}
