#include "Services/CanvasPrintLayout.h"

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

} // namespace

struct CanvasPrintLayout::Fonts {
    explicit Fonts(const QString& family)
        : title(make(family, 28, QFont::Bold))
        , regular(make(family, 16, QFont::Normal))
        , medium(make(family, 16, QFont::Medium))
        , small(make(family, 9, QFont::Medium))
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
    QFontMetricsF titleMetrics{title};
    QFontMetricsF regularMetrics{regular};
    QFontMetricsF mediumMetrics{medium};
    QFontMetricsF smallMetrics{small};

    const QFontMetricsF& metrics(const QFont& font) const
    {
        if (font == medium)
            return mediumMetrics;
        if (font == small)
            return smallMetrics;
        if (font == title)
            return titleMetrics;
        return regularMetrics;
    }
};

CanvasPrintLayout::CanvasPrintLayout(const Canvas& canvas, PrintLayoutParameters parameters)
    : m_canvas(canvas)
    , m_parameters(std::move(parameters))
{
}

double CanvasPrintLayout::pageHeight(qsizetype rowCount)
{
    return double(rowCount) * 56 + pageExtra;
}

QString CanvasPrintLayout::formatValue(double value)
{
    return formatDecimalCommaValue(value);
}

BlockList CanvasPrintLayout::sortedBlocks() const
{
    BlockList blocks = m_canvas.blocks();
    std::stable_sort(blocks.begin(), blocks.end(), [](const BlockPtr& a, const BlockPtr& b) {
        return sortKey(a->positionY()) < sortKey(b->positionY());
    });
    return blocks;
}

double CanvasPrintLayout::labelColumnWidth() const
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

double CanvasPrintLayout::resultColumnWidth() const
{
    const BlockList& blocks = m_canvas.blocks();
    if (blocks.isEmpty())
        return m_parameters.minResultWidth;
    double width = m_parameters.minResultWidth;
    for (const BlockPtr& block : blocks) {
        const std::optional<double> result = block->result();
        if (!result)
            continue;
        const double valueNeed = double(characterCount(formatValue(*result)) + 2) * 9;
        const double labelNeed = double(characterCount(block->label())) * 6;
        width = std::max(width, std::max(valueNeed, labelNeed) + 40);
    }
    return std::min(width, 180.0);
}

bool CanvasPrintLayout::isDarkPage() const
{
    return m_parameters.mode == ExportMode::pdf && !m_parameters.canvasLightMode;
}

QColor CanvasPrintLayout::darkened(const QColor& color) const
{
    return isDarkPage() ? color : printDarker(color);
}

QColor CanvasPrintLayout::titleColor() const
{
    if (m_parameters.mode == ExportMode::print)
        return Qt::black;
    const QColor fallback = isDarkPage() ? withOpacity(Qt::white, 0.9) : QColor(Qt::black);
    const std::optional<QString> hex = m_canvas.titleColorHex();
    const QColor color = hex ? colorFromHex(*hex).value_or(fallback) : fallback;
    return darkened(color);
}

QColor CanvasPrintLayout::displayColor(const CalculationBlock& block) const
{
    return darkened(colorFromHex(block.colorHex()).value_or(standardCyanColor()));
}

void CanvasPrintLayout::layoutTitle(PrintPage& page, const Fonts& fonts) const
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

namespace {

struct PlacedPart {
    QString text;
    QFont font;
    QColor color;
    double textWidth = 0;
    QString label;
    QColor labelColor;
    double labelWidth = 0;
    double width = 0;
};

} // namespace

void CanvasPrintLayout::layoutRow(PrintPage& page, const Fonts& fonts, const CalculationBlock& block, int row,
                                  double top, double labelWidth, double resultWidth) const
{
    const bool dark = isDarkPage();
    const QColor display = displayColor(block);
    const double left = m_parameters.padding;
    const double right = m_parameters.width - m_parameters.padding;
    const double resultLeft = right - resultWidth;
    const double expressionLeft = left + labelWidth + cellSpacing;
    const double expressionRight = std::max(expressionLeft, resultLeft - cellSpacing);

    // Expression parts, measured and cut to the cell.
    QList<PlacedPart> placed;
    {
        const ExportExpressionParts parts = PrintExpression::parseExpressionParts(block.expression(), block);
        double x = expressionLeft;
        for (const ExportExpressionPart& part : parts) {
            const double room = expressionRight - x;
            if (room <= 0)
                break;
            PlacedPart p;
            p.font = fonts.regular;
            switch (part.kind) {
            case ExportExpressionPart::Kind::number: {
                p.font = fonts.medium;
                p.text = part.text;
                const std::optional<QString> own = block.getPartColor(part.numberIndex, part.text);
                const std::optional<QColor> ownColor = own ? colorFromHex(*own) : std::nullopt;
                p.color = darkened(ownColor.value_or(display));
                p.label = block.getPartLabel(part.numberIndex, part.text).value_or(QString());
                break;
            }
            case ExportExpressionPart::Kind::linkedValue: {
                p.font = fonts.medium;
                p.color = darkened(colorFromHex(part.colorText).value_or(display));
                const BlockPtr source = PrintExpression::findSourceBlock(part.text, block);
                if (source && source->result()) {
                    p.text = formatValue(*source->result());
                    p.label = source->label();
                } else {
                    p.text = QLatin1Char('{') + part.text + QLatin1Char('}');
                }
                break;
            }
            case ExportExpressionPart::Kind::operator_:
            case ExportExpressionPart::Kind::parenthesis:
                p.text = part.text;
                p.color = dark ? withOpacity(Qt::white, 0.5) : standardGray;
                break;
            case ExportExpressionPart::Kind::text:
                p.text = part.text;
                p.color = dark ? withOpacity(Qt::white, 0.7) : standardGray;
                break;
            case ExportExpressionPart::Kind::percent:
                p.font = fonts.medium;
                p.text = QStringLiteral("%");
                p.color = display;
                break;
            }
            const QFontMetricsF& metrics = fonts.metrics(p.font);
            p.text = singleLine(p.text) + (p.text.size() > measuredCharacters ? QStringLiteral("…") : QString());
            p.textWidth = metrics.horizontalAdvance(p.text);
            if (!p.label.isEmpty()) {
                p.labelColor = withOpacity(p.color, 0.7);
                p.label = elided(fonts.smallMetrics, p.label, room);
                p.labelWidth = fonts.smallMetrics.horizontalAdvance(p.label);
            }
            p.width = std::max(p.textWidth, p.labelWidth);
            const bool fits = p.width <= room;
            if (!fits) {
                p.text = elided(metrics, p.text, room);
                p.textWidth = metrics.horizontalAdvance(p.text);
                p.width = std::min(std::max(p.textWidth, p.labelWidth), room);
            }
            placed.append(p);
            x += p.width + cellSpacing;
            if (!fits)
                break;
        }
    }

    const std::optional<double> result = block.result();
    const QString label = block.label();

    // Everything in the row stands on one baseline; the tallest cell decides
    // how far above it the row reaches, and the whole is centred in the row.
    const double ascent = std::max(fonts.regularMetrics.ascent(), fonts.mediumMetrics.ascent());
    const double descent = std::max(fonts.regularMetrics.descent(), fonts.mediumMetrics.descent());
    const double smallHeight = fonts.smallMetrics.height();
    double above = ascent;
    for (const PlacedPart& p : placed) {
        if (!p.label.isEmpty())
            above = std::max(above, ascent + smallHeight);
    }
    if (result && !label.isEmpty())
        above = std::max(above, ascent + 1 + smallHeight);
    const double baselineY = top + (m_parameters.rowHeight - (above + descent)) / 2 + above;
    const double textTop = baselineY - ascent;

    auto addText = [&](PrintItem::Role role, const QString& text, const QFont& font, const QColor& color, double x,
                       double baseline, double width) {
        if (text.isEmpty())
            return;
        const QFontMetricsF& metrics = fonts.metrics(font);
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
    };

    // Label cell.
    {
        const QString shown = elided(fonts.regularMetrics, label, labelWidth);
        addText(PrintItem::Role::rowLabel, shown, fonts.regular, withOpacity(display, dark ? 0.7 : 0.8), left,
                baselineY, fonts.regularMetrics.horizontalAdvance(shown));
    }

    // Expression cell.
    {
        double x = expressionLeft;
        for (const PlacedPart& p : placed) {
            addText(PrintItem::Role::expressionPart, p.text, p.font, p.color, x + (p.width - p.textWidth) / 2,
                    baselineY, p.textWidth);
            if (!p.label.isEmpty())
                addText(PrintItem::Role::partLabel, p.label, fonts.small, p.labelColor,
                        x + (p.width - p.labelWidth) / 2, textTop - fonts.smallMetrics.descent(), p.labelWidth);
            x += p.width + cellSpacing;
        }
    }

    // Result cell, right-aligned; the row's label small above the value.
    if (result) {
        const QString value = elided(fonts.mediumMetrics, formatValue(*result), resultWidth);
        const double valueWidth = fonts.mediumMetrics.horizontalAdvance(value);
        addText(PrintItem::Role::resultValue, value, fonts.medium, display, right - valueWidth, baselineY, valueWidth);
        if (!label.isEmpty()) {
            const QString small = elided(fonts.smallMetrics, label, resultWidth);
            const double smallWidth = fonts.smallMetrics.horizontalAdvance(small);
            addText(PrintItem::Role::resultLabel, small, fonts.small, withOpacity(display, 0.6), right - smallWidth,
                    textTop - 1 - fonts.smallMetrics.descent(), smallWidth);
        }
    }
}

PrintPage CanvasPrintLayout::layout() const
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

    layoutTitle(page, fonts);

    const double labelWidth = labelColumnWidth();
    const double resultWidth = resultColumnWidth();
    page.rowTops.reserve(blocks.size());
    page.items.reserve(page.items.size() + blocks.size() * 6);
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        const double top = page.titleBottom + double(i) * m_parameters.rowHeight;
        page.rowTops.append(top);
        layoutRow(page, fonts, *blocks[i], int(i), top, labelWidth, resultWidth);
    }
    return page;
}

QList<PrintSlice> CanvasPrintLayout::paginate(const PrintPage& page, double sliceHeight)
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
