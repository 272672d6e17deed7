// Fitting text into a width while measuring only the start that can show.

#include "Services/TextFit.h"
#include "support/TestSupport.h"

#include <QFont>
#include <gtest/gtest.h>

namespace {

QFont testFont()
{
    QFont font;
    font.setPixelSize(20);
    return font;
}

// Short texts come out exactly as QFontMetricsF cuts them; long ones are
// cut at the longest start that fits, measuring some thousand characters
// of a hundred thousand.
TEST(TextFitTest, CutsAsElidedTextDoesReadingOnlyTheStartThatShows)
{
    const QFontMetricsF metrics(testFont());
    const QString shortTexts[] = {
        QString(), QStringLiteral("Miete"), QStringLiteral("Lebensmittelgeschäftsrechnung 2025"),
        QStringLiteral("Summe 😀😀😀😀😀😀😀😀 Ende"), QString(64, QLatin1Char('W')),
    };
    for (const double width : {0.0, 30.0, 120.0, 1000.0}) {
        for (const QString& text : shortTexts) {
            SCOPED_TRACE(text.toStdString() + " in " + std::to_string(width));
            const TextFit fit(metrics);
            const QString expected =
                metrics.horizontalAdvance(text) <= width ? text : metrics.elidedText(text, Qt::ElideRight, width);
            EXPECT_EQ(fit.elidedRight(text, width), expected);
            const qsizetype fits = fit.fittingLength(text, width);
            EXPECT_LE(metrics.horizontalAdvance(text.left(fits)), width);
            if (fits < text.size()) {
                const qsizetype next = fits + (text[fits].isHighSurrogate() ? 2 : 1);
                EXPECT_GT(metrics.horizontalAdvance(text.left(next)), width);
            }
            EXPECT_FALSE(fits > 0 && text[fits - 1].isHighSurrogate()) << "never half a pair";
        }
    }

    QString pairs;
    for (int i = 0; i < 50000; ++i)
        pairs += QStringLiteral("😀");
    for (const QString& text : {QString(100000, QLatin1Char('7')), QString(100000, QLatin1Char('q')), pairs}) {
        SCOPED_TRACE(text.left(4).toStdString());
        const TextFit fit(metrics);
        const QString shown = fit.elidedRight(text, 400);
        ASSERT_TRUE(shown.endsWith(QStringLiteral("…")));
        EXPECT_EQ(shown, metrics.elidedText(text.left(2000), Qt::ElideRight, 400));
        const qsizetype fits = fit.fittingLength(text, 400);
        EXPECT_LE(metrics.horizontalAdvance(text.left(fits)), 400);
        EXPECT_GT(metrics.horizontalAdvance(text.left(fits + 2)), 400);
        EXPECT_FALSE(text[fits - 1].isHighSurrogate());
        EXPECT_LT(fit.boundedAdvance(text, 400), metrics.horizontalAdvance(text.left(4000)));
        EXPECT_GT(fit.boundedAdvance(text, 400), 400);
        EXPECT_LT(fit.measuredCharacters(), 10000) << "only the start that can show is measured";
    }
}

} // namespace
