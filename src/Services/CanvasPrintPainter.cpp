#include "Services/CanvasPrintPainter.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>

namespace CanvasPrintPainter {

namespace {

void drawItem(QPainter& painter, const PrintItem& item)
{
    if (item.kind == PrintItem::Kind::fill) {
        painter.fillRect(item.rect, item.color);
        return;
    }
    painter.setFont(item.font);
    painter.setPen(item.color);
    painter.drawText(item.baseline, item.text);
}

bool inSlice(const PrintItem& item, const PrintSlice& slice)
{
    if (item.row < 0)
        return slice.firstRow == 0 && slice.top <= 0;
    return item.row >= slice.firstRow && item.row < slice.endRow;
}

} // namespace

void paint(QPainter& painter, const PrintPage& page)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (const PrintItem& item : page.items)
        drawItem(painter, item);
    painter.restore();
}

void paintSlice(QPainter& painter, const PrintPage& page, const PrintSlice& slice)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF band(0, 0, page.size.width(), slice.bottom - slice.top);
    painter.setClipRect(band, Qt::IntersectClip);
    painter.fillRect(band, page.background);
    painter.translate(0, -slice.top);
    for (const PrintItem& item : page.items) {
        if (item.kind == PrintItem::Kind::fill && item.role == PrintItem::Role::background)
            continue;
        if (inSlice(item, slice))
            drawItem(painter, item);
    }
    painter.restore();
}

QImage renderImage(const PrintPage& page, double scale)
{
    const QSize pixels(int(std::ceil(page.size.width() * scale)), int(std::ceil(page.size.height() * scale)));
    if (pixels.isEmpty())
        return {};
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(page.background);
    QPainter painter(&image);
    painter.scale(scale, scale);
    paint(painter, page);
    return image;
}

std::optional<QByteArray> pdfData(const PrintPage& page, const QString& title)
{
    QByteArray data;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Quillsheet"));
        writer.setTitle(title.left(1000));
        // One unit is one point, so the page is laid out and drawn alike.
        writer.setResolution(72);
        const QPageSize size(page.size, QPageSize::Point, QString(), QPageSize::ExactMatch);
        if (!writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0))))
            return std::nullopt;
        QPainter painter;
        if (!painter.begin(&writer))
            return std::nullopt;
        paint(painter, page);
        if (!painter.end())
            return std::nullopt;
    }
    if (!data.startsWith("%PDF-"))
        return std::nullopt;
    return data;
}

} // namespace CanvasPrintPainter
