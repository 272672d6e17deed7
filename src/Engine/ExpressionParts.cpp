#include "Engine/ExpressionParts.h"

#include "Engine/EngineCatalogue.h"
#include "Engine/EngineWords.h"
#include "Engine/ExpressionText.h"

#include <QVarLengthArray>

using namespace ExpressionText;

namespace ExpressionParts {

namespace {

char32_t pointAt(QStringView text, qsizetype i)
{
    return i >= 0 && i < text.size() ? codePointAt(text, i) : 0;
}

char32_t pointBefore(QStringView text, qsizetype i)
{
    return i > 0 ? codePointBefore(text, i) : 0;
}

bool isApostrophe(char32_t c)
{
    return c == '\'' || c == 0x2019;
}

// Counts what a number reads as, without keeping the text.
struct Discard {
    void append(QChar) {}
    void append(QStringView) {}
};

class Splitter {
public:
    Splitter(QStringView text, DecimalStyle style, const std::function<bool(const Part&)>& visit,
             bool hyphenJoins = true)
        : m_text(text), m_us(style == DecimalStyle::usPeriod), m_hyphenJoins(hyphenJoins), m_visit(visit)
    {
    }

    void run()
    {
        qsizetype runStart = -1;
        auto closeRun = [&](qsizetype end) {
            if (runStart < 0)
                return true;
            const qsizetype start = runStart;
            runStart = -1;
            return splitRun(start, end);
        };
        // Once a search for a closing brace fails, every later one would too.
        bool noClosingBrace = false;
        const qsizetype size = m_text.size();
        qsizetype length = 1;
        for (qsizetype i = 0; i < size; i += length) {
            const char32_t c = codePointAt(m_text, i, &length);
            // A quote or an opening brace always ends the run before it,
            // even when it has no partner and so starts the next run itself.
            if (c == '"' || c == '{') {
                if (!closeRun(i))
                    return;
                qsizetype close = -1;
                if (c == '"')
                    close = m_text.indexOf(QLatin1Char('"'), i + 1);
                else if (!noClosingBrace)
                    close = m_text.indexOf(QLatin1Char('}'), i + 1);
                if (c == '{')
                    noClosingBrace = close < 0;
                if (close >= 0) {
                    if (!report(c == '"' ? Kind::quoted : Kind::link, i, close + 1))
                        return;
                    length = close + 1 - i;
                    continue;
                }
            } else if (c == '(' || c == ')') {
                const bool powOpen = c == '(' && runStart >= 0 && isPow(m_text.mid(runStart, i - runStart));
                if (!closeRun(i) || !report(Kind::parenthesis, i, i + 1))
                    return;
                m_powArguments = powOpen;
                continue;
            } else if (EngineCatalogue::operatorSignAt(m_text, i)) {
                if (!closeRun(i) || !report(Kind::operatorSign, i, i + length))
                    return;
                continue;
            } else if (c == '%') {
                if (!closeRun(i) || !report(Kind::percent, i, i + 1))
                    return;
                continue;
            } else if (isWhiteSpace(c)) {
                if (!closeRun(i))
                    return;
                continue;
            }
            if (runStart < 0)
                runStart = i;
        }
        closeRun(size);
    }

private:
    static bool isPow(QStringView word)
    {
        return word.compare(QLatin1String("pow"), Qt::CaseInsensitive) == 0 && EngineCatalogue::isFunctionName(word);
    }

    bool report(Kind kind, qsizetype start, qsizetype end)
    {
        // Only the run right after pow's bracket holds its first argument.
        if (kind != Kind::parenthesis)
            m_powArguments = false;
        return m_visit(Part{kind, start, end});
    }

    // A number starts at i: a digit, or a decimal mark right before one (.5).
    bool numberStartsAt(qsizetype i, qsizetype end) const
    {
        const char32_t c = codePointAt(m_text, i);
        if (isDecimalDigit(c))
            return true;
        return (c == '.' || c == ',') && i + 1 < end && isDecimalDigit(codePointAt(m_text, i + 1));
    }

    // Where the number starting at i ends, inside the run: the engine's own
    // reader, across an apostrophe between digits (1'777); in the US style
    // the first argument of pow ends at its comma (pow(2,3)).
    qsizetype numberEnd(qsizetype i, qsizetype end) const
    {
        const QStringView run = m_text.left(end);
        qsizetype stop = numberRunEnd(run, i);
        while (stop + 1 < end && isApostrophe(codePointAt(run, stop)) && isDecimalDigit(codePointAt(run, stop + 1)))
            stop = numberRunEnd(run, stop + 1);
        if (m_us && m_powArguments) {
            const qsizetype comma = run.mid(i, stop - i).indexOf(QLatin1Char(','));
            if (comma > 0)
                stop = i + comma;
        }
        return stop;
    }

    // A run the engine reads as one number in either style: where a number
    // is, and so which number a label sits on, never changes with the
    // style (1.000,50 in the US style is a number the row cannot read,
    // not a word that moves the labels after it). Dates and lists (1,2,3)
    // read in neither. The engine reads ASCII digits only (٣ is refused).
    bool readsAsNumber(qsizetype start, qsizetype end) const
    {
        bool apostrophes = false;
        for (qsizetype i = start; i < end; ++i) {
            const char16_t c = m_text[i].unicode();
            if (isApostrophe(c))
                apostrophes = true;
            else if (c >= 0x80)
                return false;
        }
        QString digits;
        if (apostrophes) {
            for (qsizetype i = start; i < end; ++i) {
                if (!isApostrophe(m_text[i].unicode()))
                    digits += m_text[i];
            }
        }
        const QStringView run = apostrophes ? QStringView(digits) : m_text.mid(start, end - start);
        Discard sink;
        return appendNumberRun(sink, run, QLatin1Char('.')) || appendNumberRun(sink, run, QLatin1Char(','));
    }

    // Where the word starting at i ends: letters, a hyphen between them
    // and signs such as ² (m²); with digits unless lettersOnly (A4).
    qsizetype wordEnd(qsizetype i, qsizetype end, bool lettersOnly) const
    {
        qsizetype length = 1;
        for (; i < end; i += length) {
            const char32_t c = codePointAt(m_text, i, &length);
            // A mark between the word's digits stays in it (Win10.5).
            const bool markInDigits = !lettersOnly && (c == '.' || c == ',') && i > 0 && i + 1 < end
                && isDecimalDigit(m_text[i - 1].unicode()) && isDecimalDigit(m_text[i + 1].unicode());
            if (!isWordChar(c) && c != '-' && !markInDigits
                && (!isNumberChar(c) || (lettersOnly && isDecimalDigit(c))))
                break;
        }
        return i;
    }

    // The number starting at i, or the word it starts: digits before any
    // word the catalogue does not read after an amount are part of that
    // word (3D-Druck, not 5kg), and so are digits a hyphen joins to a word
    // (2-Zimmer, 12-pack, not 2-pi).
    qsizetype numberOrWordAt(qsizetype i, qsizetype end, Kind* kind) const
    {
        const qsizetype stop = numberEnd(i, end);
        if (m_hyphenJoins && stop < end && EngineWords::joinsAt(m_text, stop)) {
            // Past the hyphen or dash, a letter follows: the word reads on.
            *kind = Kind::text;
            return wordEnd(stop + 1, end, false);
        }
        if (stop < end && isWordChar(codePointAt(m_text, stop))) {
            const qsizetype letters = wordEnd(stop, end, true);
            if (!EngineCatalogue::readsAfterAmount(m_text.mid(stop, letters - stop))) {
                *kind = Kind::text;
                return wordEnd(stop, end, false);
            }
        }
        *kind = readsAsNumber(i, stop) ? Kind::number : Kind::text;
        // pow's first argument takes the comma after it (pow(2,3)).
        if (m_us && m_powArguments && stop < end && m_text[stop] == QLatin1Char(','))
            return stop + 1;
        return stop;
    }

    // Splits a run of characters between separators into words and
    // numbers; a number takes the signs glued to it (€20, 10€, 5,-), signs
    // alone are text.
    bool splitRun(qsizetype start, qsizetype end)
    {
        m_pieces.clear();
        qsizetype signsStart = -1; // signs waiting for what follows them
        auto addPiece = [&](Kind kind, qsizetype from, qsizetype to) {
            // Signs go with the number after them (€20); between words they
            // are part of the text (a.b, {A).
            if (signsStart >= 0)
                from = signsStart;
            signsStart = -1;
            if (kind == Kind::text && !m_pieces.isEmpty() && m_pieces.last().kind == Kind::text
                && m_pieces.last().end == from)
                m_pieces.last().end = to;
            else
                m_pieces.append({kind, from, to});
        };
        qsizetype i = start;
        qsizetype length = 1;
        while (i < end) {
            const char32_t c = codePointAt(m_text, i, &length);
            if (isWordChar(c)) {
                // Digits after letters belong to the word (A4, iPhone15);
                // after a currency's code or name they are its amount.
                const qsizetype letters = wordEnd(i, end, true);
                const bool amountFollows = letters < end && numberStartsAt(letters, end)
                    && EngineCatalogue::isCurrencyWord(m_text.mid(i, letters - i));
                const qsizetype stop = amountFollows ? letters : wordEnd(i, end, false);
                addPiece(Kind::text, i, stop);
                i = stop;
            } else if (numberStartsAt(i, end)) {
                Kind kind = Kind::number;
                const qsizetype stop = numberOrWordAt(i, end, &kind);
                addPiece(kind, i, stop);
                i = stop;
            } else {
                if (signsStart < 0 && !m_pieces.isEmpty() && m_pieces.last().end == i
                    && m_pieces.last().kind == Kind::number)
                    m_pieces.last().end = i + length;
                else if (signsStart < 0)
                    signsStart = i;
                i += length;
            }
        }
        if (signsStart >= 0)
            addPiece(Kind::text, signsStart, end);
        m_powArguments = false;
        for (const Part& piece : std::as_const(m_pieces)) {
            if (!m_visit(piece))
                return false;
        }
        return true;
    }

    QStringView m_text;
    bool m_us = false;
    // Rows labelled before a hyphen joined digits to a word key their
    // numbers by the split without it.
    bool m_hyphenJoins = true;
    // The run being read stands first in the brackets of pow.
    bool m_powArguments = false;
    QVarLengthArray<Part, 16> m_pieces;
    const std::function<bool(const Part&)>& m_visit;
};

} // namespace

void forEachPart(QStringView expression, DecimalStyle style, const std::function<bool(const Part&)>& visit)
{
    Splitter(expression, style, visit).run();
}

QList<Part> parts(QStringView expression, DecimalStyle style)
{
    QList<Part> list;
    forEachPart(expression, style, [&](const Part& part) {
        list.append(part);
        return true;
    });
    return list;
}

namespace {

QList<std::pair<qsizetype, qsizetype>> numberSpansOf(QStringView expression, DecimalStyle style, bool hyphenWords)
{
    QList<std::pair<qsizetype, qsizetype>> spans;
    Splitter(expression, style, [&](const Part& part) {
        if (part.kind == Kind::number)
            spans.append({part.start, part.end});
        return true;
    }, hyphenWords).run();
    return spans;
}

} // namespace

QList<std::pair<qsizetype, qsizetype>> numberSpans(QStringView expression, DecimalStyle style)
{
    return numberSpansOf(expression, style, true);
}

namespace {

bool marked(const CalculationBlock& block)
{
    return block.partLabels().contains(numberingKey) || block.partColors().contains(numberingKey);
}

// Any other mark is the earlier one ("as read"), from before digits a
// hyphen joins to a word (2-Zimmer) were the word's.
bool markedAsShown(const CalculationBlock& block)
{
    return block.partLabels().value(numberingKey) == numberingValue
        || block.partColors().value(numberingKey) == numberingValue;
}

// The numbers as they were shown before a hyphen joined digits to a word.
QList<std::pair<qsizetype, qsizetype>> unjoinedNumberSpans(QStringView expression, DecimalStyle style)
{
    return numberSpansOf(expression, style, false);
}

// A number of the older count: digits with at most one decimal mark,
// other signs around them aside; no letters, no other numerals.
bool isOlderNumber(QStringView run)
{
    int marks = 0;
    int digits = 0;
    qsizetype length = 1;
    for (qsizetype i = 0; i < run.size(); i += length) {
        const char32_t c = codePointAt(run, i, &length);
        if (QChar::isLetter(c) || (QChar::isNumber(c) && !(c >= '0' && c <= '9')))
            return false;
        marks += c == '.' || c == ',';
        digits += c >= '0' && c <= '9';
    }
    return marks <= 1 && digits > 0;
}

// The numbers of the count rows were labelled under before numbers were
// read as the engine reads them: runs between spaces, operators (a hyphen
// between letters aside), percent signs, quoted remarks and links.
QList<std::pair<qsizetype, qsizetype>> olderNumberSpans(QStringView text)
{
    QList<std::pair<qsizetype, qsizetype>> spans;
    qsizetype runStart = -1;
    auto closeRun = [&](qsizetype end) {
        if (runStart >= 0 && isOlderNumber(text.mid(runStart, end - runStart)))
            spans.append({runStart, end});
        runStart = -1;
    };
    bool noClosingBrace = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('{')) {
            // Without its partner it starts the next run.
            closeRun(i);
            qsizetype close = -1;
            if (c == QLatin1Char('"'))
                close = text.indexOf(c, i + 1);
            else if (!noClosingBrace)
                close = text.indexOf(QLatin1Char('}'), i + 1);
            noClosingBrace = noClosingBrace || (c == QLatin1Char('{') && close < 0);
            if (close >= 0) {
                i = close;
                continue;
            }
        } else if (QStringView(u"+-×÷*/% ").contains(c)
                   && !(c == QLatin1Char('-') && isWordChar(pointBefore(text, i)) && isWordChar(pointAt(text, i + 1)))) {
            closeRun(i);
            continue;
        }
        if (runStart < 0)
            runStart = i;
    }
    closeRun(text.size());
    return spans;
}

// For each number of an older count, the first number as shown that
// stands in it (its digits are the same), or -1.
QList<int> olderToShown(const QList<std::pair<qsizetype, qsizetype>>& older,
                        const QList<std::pair<qsizetype, qsizetype>>& shown)
{
    QList<int> map;
    map.reserve(older.size());
    qsizetype j = 0;
    for (const auto& [start, end] : older) {
        while (j < shown.size() && shown[j].second <= start)
            ++j;
        map.append(j < shown.size() && shown[j].first < end ? int(j) : -1);
    }
    return map;
}

// The index in a key "n<k>"; -1 for any other key.
int keyIndex(const QString& key)
{
    if (key.size() < 2 || key[0] != QLatin1Char('n'))
        return -1;
    bool ok = false;
    const int index = key.mid(1).toInt(&ok);
    return ok && index >= 0 && CalculationBlock::tokenKey(index) == key ? index : -1;
}

// A marked row of the earlier mark counts its numbers as they were shown
// then; an unmarked one by the count before.
QList<int> storedToShown(const CalculationBlock& block, const QList<std::pair<qsizetype, qsizetype>>& shown,
                         DecimalStyle style)
{
    const QStringView expression = block.expression();
    return olderToShown(marked(block) ? unjoinedNumberSpans(expression, style) : olderNumberSpans(expression), shown);
}

PartMap adopted(const PartMap& map, const QList<int>& olderToShownIndex, int shownCount)
{
    PartMap out;
    QList<std::pair<int, QString>> stale;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const int older = keyIndex(it.key());
        if (older < 0) {
            out.insert(it.key(), it.value());
            continue;
        }
        const int shown = olderToShownIndex.value(older, -1);
        if (shown >= 0)
            out.insert(CalculationBlock::tokenKey(shown), it.value());
        else
            stale.append({older, it.value()});
    }
    // Keys of no number (left from a longer expression) stay past the
    // last number, so they show on no number now either.
    const int olderCount = int(olderToShownIndex.size());
    for (const auto& [older, value] : stale) {
        const QString key = CalculationBlock::tokenKey(shownCount + (older >= olderCount ? older - olderCount : older));
        if (!out.contains(key))
            out.insert(key, value);
    }
    out.insert(numberingKey, numberingValue);
    return out;
}

} // namespace

bool keysNumbersAsShown(const CalculationBlock& block)
{
    return (block.partLabels().isEmpty() && block.partColors().isEmpty()) || markedAsShown(block);
}

QList<int> storedNumberIndices(const CalculationBlock& block, DecimalStyle style)
{
    const QList<std::pair<qsizetype, qsizetype>> shown = numberSpans(block.expression(), style);
    QList<int> indices(shown.size());
    if (keysNumbersAsShown(block)) {
        for (qsizetype k = 0; k < indices.size(); ++k)
            indices[k] = int(k);
        return indices;
    }
    indices.fill(-1);
    const QList<int> map = storedToShown(block, shown, style);
    for (qsizetype older = 0; older < map.size(); ++older) {
        if (map[older] >= 0)
            indices[map[older]] = int(older);
    }
    return indices;
}

int storedNumberIndex(const CalculationBlock& block, int shownIndex, DecimalStyle style)
{
    if (keysNumbersAsShown(block))
        return shownIndex;
    return storedNumberIndices(block, style).value(shownIndex, -1);
}

void adoptShownNumbering(CalculationBlock& block, DecimalStyle style)
{
    if (markedAsShown(block))
        return;
    // Marked even where both counts name the same numbers today: unmarked,
    // the row would go on being read by the older count, and an edit that
    // makes the counts differ (4 typed over as sqrt(16)) would take its
    // labels off their numbers.
    const QList<std::pair<qsizetype, qsizetype>> shown = numberSpans(block.expression(), style);
    const QList<int> map = storedToShown(block, shown, style);
    block.setPartLabels(adopted(block.partLabels(), map, int(shown.size())));
    block.setPartColors(adopted(block.partColors(), map, int(shown.size())));
}

void keepNumberingThroughEdit(CalculationBlock& block, DecimalStyle style)
{
    if (!keysNumbersAsShown(block))
        adoptShownNumbering(block, style);
}

void dropIdleNumbering(CalculationBlock& block)
{
    auto idle = [](const PartMap& map) { return map.size() == 1 && map.contains(numberingKey); };
    const bool labelsIdle = idle(block.partLabels());
    const bool colorsIdle = idle(block.partColors());
    const bool labelsFree = labelsIdle || block.partLabels().isEmpty();
    const bool colorsFree = colorsIdle || block.partColors().isEmpty();
    if (labelsIdle && (colorsFree || block.partColors().contains(numberingKey)))
        block.setPartLabels({});
    if (colorsIdle && (labelsFree || block.partLabels().contains(numberingKey)))
        block.setPartColors({});
}

} // namespace ExpressionParts
