#include "Services/CanvasPrintPainter.h"
#include "Services/PrintFixture.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QString writePdf(const QTemporaryDir& dir, const QByteArray& pdf)
{
    QFile file(dir.filePath(QStringLiteral("page.pdf")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pdf);
    return file.fileName();
}

class CanvasPdfTest : public PrintFixture {
protected:
    QByteArray pdfOf(bool light = false) const
    {
        return CanvasPrintPainter::pdfData(page(ExportMode::pdf, light), canvas->name()).value_or(QByteArray());
    }
};

} // namespace

TEST_F(CanvasPdfTest, OnePageWhoseMediaBoxFollowsTheRowCount)
{
    const std::pair<int, const char*> cases[] = {
        {0, "0 0 595 120"}, {1, "0 0 595 176"}, {10, "0 0 595 680"}, {13, "0 0 595 848"}, {60, "0 0 595 3480"}};
    for (const auto& [rows, box] : cases) {
        canvas = Canvas::create(QStringLiteral("Rows"), 0, 0, 1);
        for (int i = 0; i < rows; ++i)
            addRow(QStringLiteral("Row %1").arg(i), QStringLiteral("%1 x 2").arg(i), i * 2.0);
        const QByteArray pdf = pdfOf();
        ASSERT_TRUE(pdf.startsWith("%PDF-"));
        EXPECT_EQ(pdfPageCount(pdf), 1) << rows;
        EXPECT_EQ(pdfMediaBox(pdf), QString::fromLatin1(box)) << rows;
    }
}

TEST_F(CanvasPdfTest, TextStaysTextInThePdf)
{
    addRow("Miete", "1.200 + 19%", 1428);
    addRow("Strom", "95,50 x 4", 382);
    QTemporaryDir dir;
    const QString text = pdfText(writePdf(dir, pdfOf(true)));
    if (text.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    for (const char* expected : {"Budget", "Miete", "Strom", "1428", "382", "95,50", "19"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();
}

TEST_F(CanvasPdfTest, RenderedPageHasTheBackgroundOfItsMode)
{
    addRow("Miete", "1200", 1200);
    struct Case { ExportMode mode; bool light; QColor background; };
    for (const Case& c : {Case{ExportMode::pdf, false, Qt::black}, Case{ExportMode::pdf, true, Qt::white},
                          Case{ExportMode::print, false, Qt::white}}) {
        const PrintPage laid = page(c.mode, c.light);
        const QImage image = CanvasPrintPainter::renderImage(laid, 2);
        ASSERT_EQ(image.size(), QSize(1190, 352));
        for (const QPoint corner : {QPoint(1, 1), QPoint(1188, 1), QPoint(1, 350), QPoint(1188, 350)})
            EXPECT_EQ(image.pixelColor(corner), c.background) << int(c.mode) << c.light;
        // The result's colour shows where the value stands.
        const PrintItem value = items(laid, PrintItem::Role::resultValue, 0).value(0);
        const QRect area = QRectF(value.rect.topLeft() * 2, value.rect.size() * 2).toRect();
        bool inked = false;
        for (int y = area.top(); y <= area.bottom() && !inked; ++y) {
            for (int x = area.left(); x <= area.right() && !inked; ++x)
                inked = image.pixelColor(x, y) != c.background;
        }
        EXPECT_TRUE(inked);
    }
}

TEST_F(CanvasPdfTest, RasterisedPdfShowsTheModesBackground)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (tool.isEmpty())
        GTEST_SKIP() << "pdftoppm is not installed";
    addRow("Miete", "1200", 1200);
    for (const bool light : {false, true}) {
        QTemporaryDir dir;
        QProcess::execute(tool, {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("36"),
                                 writePdf(dir, pdfOf(light)), dir.filePath(QStringLiteral("page"))});
        const QImage image(dir.filePath(QStringLiteral("page-1.png")));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(298, 88));
        const QColor background = light ? Qt::white : Qt::black;
        EXPECT_EQ(image.pixelColor(2, 2), background);
        EXPECT_EQ(image.pixelColor(image.width() - 3, image.height() - 3), background);
    }
}

TEST_F(CanvasPdfTest, PaginationBreaksBetweenWholeRowsTitleFirst)
{
    for (int i = 0; i < 40; ++i)
        addRow(QStringLiteral("r%1").arg(i), QStringLiteral("%1").arg(i), i);
    const PrintPage laid = page(ExportMode::print);
    for (const double height : {100.0, 300.0, 777.0, 5000.0, 10.0}) {
        const QList<PrintSlice> slices = CanvasPrintView::paginate(laid, height);
        ASSERT_FALSE(slices.isEmpty());
        EXPECT_EQ(slices.first().top, 0);
        EXPECT_EQ(slices.first().firstRow, 0);
        int next = 0;
        for (const PrintSlice& slice : slices) {
            EXPECT_EQ(slice.firstRow, next) << height;
            next = slice.endRow;
            // Bands fit unless a single row or the title alone is taller.
            if (slice.endRow - slice.firstRow > 1) {
                EXPECT_LE(slice.bottom - slice.top, height + 0.01) << height;
            }
            if (slice.endRow > slice.firstRow) {
                EXPECT_DOUBLE_EQ(slice.bottom, laid.rowTops[slice.endRow - 1] + 56);
                if (&slice != &slices.first()) {
                    EXPECT_DOUBLE_EQ(slice.top, laid.rowTops[slice.firstRow]);
                }
            }
        }
        EXPECT_EQ(next, 40) << height;
    }
    EXPECT_EQ(CanvasPrintView::paginate(laid, 5000).size(), 1);
    EXPECT_EQ(CanvasPrintView::paginate(laid, 0).size(), 1);
}
