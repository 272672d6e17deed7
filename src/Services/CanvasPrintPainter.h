#pragma once

#include "Services/CanvasPrintView.h"

#include <QByteArray>
#include <QImage>
#include <optional>

class QPainter;

// Draws a laid-out page; the same drawing goes to a PDF, a printer or an image.
namespace CanvasPrintPainter {

// The whole page, in page points on the painter's current transform.
void paint(QPainter& painter, const PrintPage& page);
// One band of the page, with its top at the painter's origin.
void paintSlice(QPainter& painter, const PrintPage& page, const PrintSlice& slice);

// The page as an image with scale pixels per point.
QImage renderImage(const PrintPage& page, double scale = 2);

// A one-page vector PDF whose media box is exactly the page's size; none
// when the PDF could not be produced.
std::optional<QByteArray> pdfData(const PrintPage& page, const QString& title = QString());

} // namespace CanvasPrintPainter
