#include "Services/TextFit.h"

namespace {

// About what a table column holds: a text this short is measured whole, at
// once, as it always was.
constexpr qsizetype firstProbe = 64;

} // namespace

TextFit::TextFit(const QFont& font)
    : m_metrics(font)
{
}

TextFit::TextFit(const QFontMetricsF& metrics)
    : m_metrics(metrics)
{
}

qsizetype TextFit::boundary(const QString& text, qsizetype length)
{
    if (length <= 0)
        return 0;
    if (length >= text.size())
        return text.size();
    if (text[length - 1].isHighSurrogate() && text[length].isLowSurrogate())
        return length - 1;
    return length;
}

double TextFit::measure(const QString& text, qsizetype length) const
{
    m_measured += length;
    // A copy of the start: measuring "the first length characters" of the
    // whole string still lays out all of it.
    return length >= text.size() ? m_metrics.horizontalAdvance(text) : m_metrics.horizontalAdvance(text.left(length));
}

double TextFit::advance(const QString& text) const
{
    return measure(text, text.size());
}

std::pair<qsizetype, double> TextFit::firstWiderStart(const QString& text, double limit) const
{
    qsizetype probe = firstProbe;
    while (true) {
        qsizetype length = boundary(text, probe);
        if (length == 0)
            length = std::min<qsizetype>(2, text.size()); // a pair at the very start
        const double width = measure(text, length);
        if (width > limit || length == text.size())
            return {length, width};
        probe = length * 2;
    }
}

double TextFit::boundedAdvance(const QString& text, double limit) const
{
    if (text.isEmpty())
        return 0;
    return firstWiderStart(text, limit).second;
}

qsizetype TextFit::shownLength(const QString& text, double limit) const
{
    return text.isEmpty() ? 0 : firstWiderStart(text, limit).first;
}

QString TextFit::shownStart(const QString& text, double limit) const
{
    return text.left(shownLength(text, limit));
}

qsizetype TextFit::fittingLength(const QString& text, double width) const
{
    if (text.isEmpty() || width < 0)
        return 0;
    const auto [wider, widerWidth] = firstWiderStart(text, width);
    if (widerWidth <= width)
        return wider; // the whole text
    // The start of half the length fitted (or nothing was tried yet).
    qsizetype fits = wider > firstProbe ? boundary(text, wider / 2) : 0;
    qsizetype tooWide = wider;
    while (tooWide - fits > 1) {
        qsizetype middle = fits + (tooWide - fits) / 2;
        if (boundary(text, middle) != middle) {
            // Never between the halves of a pair.
            if (middle + 1 < tooWide)
                ++middle;
            else if (middle - 1 > fits)
                --middle;
            else
                break;
        }
        if (measure(text, middle) <= width)
            fits = middle;
        else
            tooWide = middle;
    }
    return fits;
}

QString TextFit::elidedRight(const QString& text, double width) const
{
    if (text.size() <= firstProbe) {
        m_measured += text.size();
        return m_metrics.horizontalAdvance(text) <= width ? text
                                                          : m_metrics.elidedText(text, Qt::ElideRight, width);
    }
    const auto [wider, widerWidth] = firstWiderStart(text, width);
    if (widerWidth <= width)
        return text;
    // The cut lies inside this start; a few characters more keep the shaping
    // around it as in the whole text.
    const QString start = text.left(boundary(text, wider + 16));
    m_measured += start.size();
    return m_metrics.elidedText(start, Qt::ElideRight, width);
}
