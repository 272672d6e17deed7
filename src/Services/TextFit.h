#pragma once

#include <QFontMetricsF>
#include <QString>

#include <utility>

// Fits text into a width while measuring only the start that can show: a
// text of a megabyte costs what its first line costs, not the square of its
// length. Measures start with short prefixes and double them, then halve the
// remaining range, so each text is measured O(log n) times.
class TextFit
{
public:
    explicit TextFit(const QFont& font);
    explicit TextFit(const QFontMetricsF& metrics);

    // The advance of the whole text.
    double advance(const QString& text) const;
    // The advance of text where it is at most limit; otherwise some advance
    // above limit, of a start of the text.
    double boundedAdvance(const QString& text, double limit) const;
    // Length, in code units, of the longest start of text not wider than
    // width; never ends inside a surrogate pair.
    qsizetype fittingLength(const QString& text, double width) const;
    // The text as it fits in width: whole, or cut at the right with "…" the
    // way QFontMetricsF::elidedText cuts it.
    QString elidedRight(const QString& text, double width) const;

    // Length of the shortest start of text (doubling from a few characters)
    // wider than limit, or of the whole text when none is: all of the text
    // that can show within limit, and at most about twice that.
    qsizetype shownLength(const QString& text, double limit) const;
    // That start itself: what a caller with its own eliding or clipping
    // needs of a text (the text itself when it is short).
    QString shownStart(const QString& text, double limit) const;

    // Characters measured so far (what each fit costs).
    qint64 measuredCharacters() const { return m_measured; }

private:
    // End of the start of text at most length long, on a character boundary.
    static qsizetype boundary(const QString& text, qsizetype length);
    double measure(const QString& text, qsizetype length) const;
    // Shortest start (doubling from a few characters) wider than limit, or
    // the whole text; its length and advance.
    std::pair<qsizetype, double> firstWiderStart(const QString& text, double limit) const;

    QFontMetricsF m_metrics;
    mutable qint64 m_measured = 0;
};
