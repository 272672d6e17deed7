#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionText.h"

#include <algorithm>
#include <array>

using namespace ExpressionText;

QString CalculatorEngine::sanitize(const QString& expression)
{
    const EngineSettings settings = m_settingsProvider();
    Pipeline pipeline{settings, std::nullopt, false};
    QString text = expression;
    sanitize(text, pipeline);
    return text;
}

namespace {

// The characters a text holds, as far as the steps' triggers go: every
// ASCII character, and whether there is anything beyond ASCII. Steps that
// only remove characters leave it a superset; those that write add what
// they may write.
struct Triggers {
    quint64 bits[2] = {0, 0};
    bool beyondAscii = false;

    explicit Triggers(QStringView text)
    {
        for (QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x80)
                bits[u >> 6] |= quint64(1) << (u & 63);
            else
                beyondAscii = true;
        }
    }
    bool has(char c) const { return bits[uchar(c) >> 6] & (quint64(1) << (uchar(c) & 63)); }
    bool hasLetter(char lower) const { return has(lower) || has(char(lower - 'a' + 'A')); }
    void add(const char* characters)
    {
        for (; *characters; ++characters)
            bits[uchar(*characters) >> 6] |= quint64(1) << (uchar(*characters) & 63);
    }
    void addNumbers() { add("0123456789.-"); }
};

bool mayHoldTaxLabel(const Triggers& triggers, const QList<CalcSettings::TaxRate>& rates)
{
    if (triggers.beyondAscii)
        return true;
    for (const CalcSettings::TaxRate& rate : rates) {
        if (rate.label.isEmpty())
            continue;
        // Folded, as the label is matched: the Kelvin sign starts like "k".
        const char32_t first = QChar::toCaseFolded(codePointAt(rate.label, 0));
        if (first >= 0x80)
            continue; // an ASCII text cannot start it
        if (isAsciiLetter(first) ? triggers.hasLetter(char(first)) : triggers.has(char(first)))
            return true;
    }
    return false;
}

} // namespace

// Every step rewrites the one text in place; a step runs only when the text
// holds the characters it acts on.
void CalculatorEngine::sanitize(QString& text, Pipeline& pipeline)
{
    Triggers triggers(text);
    if (triggers.beyondAscii || triggers.has(' ')) {
        normalizeWhitespace(text);
        joinDigitGroups(text);
    }
    if (triggers.has('.') || triggers.has(',')) {
        normalizeLocaleNumbers(text, pipeline.settings.decimalStyle);
        triggers.add("0.");
    }
    if (triggers.has('"'))
        removeQuotedText(text);
    const bool keyword = (triggers.hasLetter('i') && triggers.hasLetter('n'))
        || (triggers.hasLetter('t') && triggers.hasLetter('o')) || (triggers.has('-') && triggers.has('>'));
    if (keyword) {
        processCurrencyConversions(text, pipeline);
        triggers.addNumbers();
        triggers.add("(/)");
    }
    if (triggers.beyondAscii || triggers.hasLetter('x') || triggers.has(':')) {
        normalizeOperatorSymbols(text);
        triggers.add("*/-");
    }
    if (triggers.beyondAscii || triggers.has('$') || triggers.has('C') || triggers.has('k') || triggers.has('z')
        || triggers.has('K') || triggers.has('F') || triggers.has('R')) {
        removeCurrencyMarks(text);
        // Marks gone, most texts are plain ASCII from here on.
        triggers = Triggers(text);
    }
    if (triggers.has(','))
        removeThousandsSeparators(text);
    if (triggers.has('+') || triggers.has('-'))
        normalizeDuplicateOperators(text);
    if (mayHoldTaxLabel(triggers, pipeline.settings.enabledTaxRates)) {
        processTaxLabels(text, pipeline);
        triggers.addNumbers();
        triggers.add("*%");
    }
    const bool percent = triggers.has('%');
    if (percent)
        processPercentages(text, pipeline, PercentPass::beforeCalls);
    if (triggers.has('(') || triggers.hasLetter('p') || triggers.hasLetter('e') || triggers.beyondAscii) {
        // A percentage after a function call, or after a group holding one,
        // applies to the call's value, which exists only once the functions
        // step has run.
        const bool replaced = processMathFunctions(text, pipeline);
        if (percent && (pipeline.groupWaitsForCalls || replaced))
            processPercentages(text, pipeline, PercentPass::afterCalls);
    }
    extractMathComponents(text);
}

void CalculatorEngine::normalizeWhitespace(QString& text)
{
    // Wide and narrow spaces become plain blanks; runs of blanks collapse.
    // Tabs and line breaks stay.
    qsizetype first = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool changes = c < 0xA0 ? (c == ' ' && i > 0 && text[i - 1] == QLatin1Char(' '))
                                      : (c == 0x00A0 || (c >= 0x2007 && c <= 0x200A) || c == 0x202F
                                         || c == 0x205F || c == 0x3000);
        if (changes) {
            first = i;
            break;
        }
    }
    if (first < 0)
        return;
    // Output never outruns input: rewrite in place.
    QChar* data = text.data();
    qsizetype out = first;
    for (qsizetype i = first; i < text.size(); ++i) {
        QChar c = data[i];
        switch (c.unicode()) {
        case 0x00A0:
        case 0x2009:
        case 0x200A:
        case 0x202F:
        case 0x2007:
        case 0x2008:
        case 0x205F:
        case 0x3000:
            c = QLatin1Char(' ');
            break;
        default:
            break;
        }
        if (c == QLatin1Char(' ') && out > 0 && data[out - 1] == QLatin1Char(' '))
            continue;
        data[out++] = c;
    }
    text.truncate(out);
}

void CalculatorEngine::joinDigitGroups(QString& text)
{
    // A blank between a digit and exactly three digits is a thousands
    // separator (1 000), as a "," is: the steps that read amounts see the
    // whole number, as the final reading does.
    qsizetype blank = text.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return;
    const QString source = text;
    const QStringView view(source);
    auto isGroupAfter = [view](qsizetype i) {
        for (int k = 0; k < 3; ++k) {
            qsizetype length = 1;
            if (i >= view.size() || !isDecimalDigit(codePointAt(view, i, &length)))
                return false;
            i += length;
        }
        return i >= view.size() || !isDecimalDigit(codePointAt(view, i));
    };
    qsizetype out = -1;
    QChar* data = nullptr;
    for (qsizetype i = blank; i < source.size(); ++i) {
        const QChar c = source[i];
        const bool separator = c == QLatin1Char(' ') && i > 0 && isDecimalDigit(codePointBefore(source, i))
            && isGroupAfter(i + 1);
        if (separator && !data) {
            data = text.data(); // a buffer of its own; `source` is read
            out = i;
            continue;
        }
        if (!data || separator)
            continue;
        data[out++] = c;
    }
    if (data)
        text.truncate(out);
}

namespace {

// A decimal mark with a digit after it that starts a number (,5 or .5):
// not right after a word ("mwst.5" keeps its label's ".") nor after a
// number, blanks aside ("1 ,5" reads as before).
bool isLeadingMark(QStringView text, qsizetype i, QChar decimalMark)
{
    if (text[i] != decimalMark || i + 1 >= text.size() || !isDecimalDigit(codePointAt(text, i + 1)))
        return false;
    if (i > 0 && QChar::isLetter(codePointBefore(text, i)))
        return false;
    qsizetype before = i;
    while (before > 0 && text[before - 1] == QLatin1Char(' '))
        --before;
    return before == 0 || !isNumberChar(codePointBefore(text, before));
}

} // namespace

void CalculatorEngine::normalizeLocaleNumbers(QString& text, DecimalStyle style)
{
    // Number runs: a digit, then digits, "." and ",", ending in a digit.
    // Only the marks inside runs change; a leading mark reads as "0.".
    const QChar decimalMark = style == DecimalStyle::germanComma ? QLatin1Char(',') : QLatin1Char('.');
    qsizetype leading = 0;
    bool marks = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('.') || c == QLatin1Char(',')) {
            marks = true;
            leading += isLeadingMark(text, i, decimalMark);
        }
    }
    if (!marks)
        return;
    // Without leading marks the text only shrinks: rewrite it in place.
    const QString source = leading ? text : QString();
    if (leading)
        text.resize(source.size() + leading);
    QChar* out = text.data();
    const QStringView in = leading ? QStringView(source) : QStringView(text);
    qsizetype i = 0;
    while (i < in.size()) {
        qsizetype length = 1;
        if (!isDecimalDigit(codePointAt(in, i, &length))) {
            if (leading && isLeadingMark(in, i, decimalMark)) {
                *out++ = QLatin1Char('0');
                *out++ = QLatin1Char('.');
                ++i;
                continue;
            }
            for (qsizetype k = 0; k < length; ++k)
                *out++ = in[i + k];
            i += length;
            continue;
        }
        const qsizetype start = i;
        qsizetype end = i + length; // just after the last digit of the run
        qsizetype j = end;
        while (j < in.size()) {
            const char32_t c = codePointAt(in, j, &length);
            if (c == '.' || c == ',') {
                j += length;
            } else if (isDecimalDigit(c)) {
                j += length;
                end = j;
            } else {
                break;
            }
        }
        for (qsizetype k = start; k < end; ++k) {
            const QChar c = in[k];
            if (style == DecimalStyle::germanComma) {
                if (c == QLatin1Char('.'))
                    continue;
                *out++ = c == QLatin1Char(',') ? QLatin1Char('.') : c;
            } else if (c != QLatin1Char(',')) {
                *out++ = c;
            }
        }
        i = end;
    }
    text.truncate(out - text.constData());
}

void CalculatorEngine::removeQuotedText(QString& text)
{
    // A quote, anything without a quote, and the closing quote vanish; a
    // quote without a partner stays.
    qsizetype open = text.indexOf(QLatin1Char('"'));
    if (open < 0 || text.indexOf(QLatin1Char('"'), open + 1) < 0)
        return;
    QChar* data = text.data();
    qsizetype out = open;
    qsizetype i = open;
    while (i < text.size()) {
        open = text.indexOf(QLatin1Char('"'), i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('"'), open + 1);
        const qsizetype keepEnd = close < 0 ? text.size() : open;
        for (qsizetype k = i; k < keepEnd; ++k)
            data[out++] = data[k];
        if (close < 0)
            break;
        i = close + 1;
    }
    text.truncate(out);
}

void CalculatorEngine::normalizeOperatorSymbols(QString& text)
{
    bool symbols = false;
    bool letterX = false;
    bool colon = false;
    for (QChar c : std::as_const(text)) {
        switch (c.unicode()) {
        case 0x00D7:
        case 0x00F7:
        case 0x2212: symbols = true; break;
        case 'x':
        case 'X': letterX = true; break;
        case ':': colon = true; break;
        default: break;
        }
    }
    if (symbols) {
        text.replace(QChar(0x00D7), QLatin1Char('*'));
        text.replace(QChar(0x00F7), QLatin1Char('/'));
        text.replace(QChar(0x2212), QLatin1Char('-'));
    }
    if (letterX) {
        // An "x" between two digits, white space around it dropped; left to
        // right, a digit taken by one match is not used by the next (2x3x4
        // gives 2*3x4).
        const QString source = text;
        QChar* data = text.data(); // a buffer of its own; `source` is read
        qsizetype out = 0;
        qsizetype free = 0; // the first character no match has taken
        for (qsizetype i = 0; i < source.size(); ++i) {
            const QChar c = source[i];
            if (c == QLatin1Char('x') || c == QLatin1Char('X')) {
                qsizetype d1 = i;
                while (d1 > free && isWhiteSpace(source[d1 - 1].unicode()))
                    --d1;
                qsizetype d2 = i + 1;
                while (d2 < source.size() && isWhiteSpace(source[d2].unicode()))
                    ++d2;
                qsizetype before = 1;
                if (d1 > free && isDecimalDigit(codePointBefore(source, d1, &before)) && d1 - before >= free
                    && d2 < source.size() && isDecimalDigit(codePointAt(source, d2))) {
                    out -= i - d1; // the white space before the "x"
                    data[out++] = QLatin1Char('*');
                    qsizetype length = 1;
                    codePointAt(source, d2, &length);
                    for (qsizetype k = 0; k < length; ++k)
                        data[out++] = source[d2 + k];
                    i = d2 + length - 1;
                    free = d2 + length;
                    continue;
                }
            }
            data[out++] = c;
        }
        text.truncate(out);
        text.replace(QLatin1String(" x "), QLatin1String(" * "));
        text.replace(QLatin1String(" X "), QLatin1String(" * "));
    }
    if (colon)
        text.replace(QLatin1String(" : "), QLatin1String(" / "));
}

namespace {

// Removed in this order, case-sensitively, wherever they stand.
const QStringList& currencyMarks()
{
    static const QStringList marks = [] {
        QStringList list;
        for (const char16_t* mark : {u"$", u"€", u"£", u"¥", u"₹", u"₽", u"₩", u"฿", u"₪", u"₫", u"₴", u"₦", u"₱", u"₲",
        u"₡", u"₵", u"₸", u"₺", u"₼", u"₾", u"₿", u"CHF", u"kr", u"zł", u"Kč", u"Ft", u"R$", u"R"})
            list.append(QString::fromUtf16(mark));
        return list;
    }();
    return marks;
}

// Could start a mark: "$", the letters of the lettered marks, and the
// currency signs.
bool mayStartMark(char16_t c)
{
    switch (c) {
    case '$':
    case 'C':
    case 'k':
    case 'z':
    case 'K':
    case 'F':
    case 'R':
    case 0x00A3:
    case 0x00A5:
    case 0x0E3F:
        return true;
    default:
        return c >= 0x20A0 && c <= 0x20CF;
    }
}

// Removes the marks from text[start, end) in place; returns the new end.
qsizetype removeMarks(QString& text, qsizetype start, qsizetype end)
{
    // Removing only deletes characters, so a mark whose first character is
    // not in the segment now cannot appear later either.
    const QStringList& marks = currencyMarks();
    quint32 candidates = 0;
    for (qsizetype i = start; i < end; ++i) {
        const QChar c = text[i];
        if (!mayStartMark(c.unicode()))
            continue;
        for (qsizetype m = 0; m < marks.size(); ++m) {
            if (marks[m].front() == c)
                candidates |= 1u << m;
        }
    }
    for (qsizetype m = 0; candidates && m < marks.size(); ++m) {
        if (!(candidates & (1u << m)))
            continue;
        // Every occurrence found left to right, none formed by a removal
        // (as removing all occurrences of a text does).
        const QString& mark = marks[m];
        const qsizetype n = mark.size();
        qsizetype src = text.indexOf(mark, start);
        if (src < 0 || src + n > end)
            continue;
        QChar* data = text.data();
        qsizetype dst = src;
        while (src < end) {
            src += n; // past the occurrence
            qsizetype next = text.indexOf(mark, src);
            if (next < 0 || next + n > end)
                next = end;
            while (src < next)
                data[dst++] = data[src++];
        }
        const qsizetype removed = end - dst;
        for (qsizetype k = end; k < text.size(); ++k)
            data[k - removed] = data[k];
        text.truncate(text.size() - removed);
        end = dst;
    }
    return end;
}

// Upper-case function names that hold the mark "R": a call of one of them
// keeps its name through the mark removal.
bool protectedCallAt(QStringView text, qsizetype i, qsizetype* length)
{
    static const std::array<QStringView, 3> names = {u"SQRT", u"FLOOR", u"ROUND"};
    if (i > 0 && isAsciiLetter(text[i - 1].unicode()))
        return false;
    for (QStringView name : names) {
        if (text.mid(i).startsWith(name) && i + name.size() < text.size()
            && text[i + name.size()] == QLatin1Char('(')) {
            *length = name.size();
            return true;
        }
    }
    return false;
}

} // namespace

void CalculatorEngine::removeCurrencyMarks(QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return mayStartMark(c.unicode()); }))
        return;
    // Segments between protected calls, each cleared of its marks in place.
    qsizetype segmentStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('S') && c != QLatin1Char('F') && c != QLatin1Char('R'))
            continue;
        qsizetype length = 0;
        if (!protectedCallAt(text, i, &length))
            continue;
        const qsizetype segmentEnd = removeMarks(text, segmentStart, i);
        i = segmentEnd + length - 1;
        segmentStart = i + 1;
    }
    removeMarks(text, segmentStart, text.size());
}

void CalculatorEngine::removeThousandsSeparators(QString& text)
{
    static const QRegularExpression thousandsSepRegex = EngineRegex::compile(QStringLiteral(R"((\d),(\d{3})(?!\d))"));
    // Every match needs a digit on both sides of a ",".
    bool candidate = false;
    const QStringView view(text);
    for (qsizetype i = view.indexOf(QLatin1Char(',')); i >= 0 && !candidate; i = view.indexOf(QLatin1Char(','), i + 1))
        candidate = i > 0 && i + 1 < view.size() && isDecimalDigit(codePointBefore(view, i))
            && isDecimalDigit(codePointAt(view, i + 1));
    if (!candidate)
        return;
    for (;;) {
        const QString before = text;
        text.replace(thousandsSepRegex, QStringLiteral("\\1\\2"));
        if (text == before)
            return;
    }
}

namespace {

// Replaces every `first`, optional white space, `second` by `replacement`,
// left to right without overlaps (the patterns \+\s*\+, -\s*-, \+\s*-, -\s*\+),
// in place.
bool replaceSignPair(QString& text, QChar first, QChar second, QChar replacement)
{
    // The end of a pair that starts at `i`, else -1; reads only ahead.
    auto pairEnd = [&text, second](qsizetype i) -> qsizetype {
        qsizetype j = i + 1;
        while (j < text.size()) {
            qsizetype length = 1;
            if (!isWhiteSpace(codePointAt(text, j, &length)))
                break;
            j += length;
        }
        return j < text.size() && text[j] == second ? j + 1 : -1;
    };
    qsizetype at = text.indexOf(first);
    while (at >= 0 && pairEnd(at) < 0)
        at = text.indexOf(first, at + 1);
    if (at < 0)
        return false;
    QChar* data = text.data();
    qsizetype out = at;
    qsizetype read = at;
    while (read < text.size()) {
        const qsizetype end = data[read] == first ? pairEnd(read) : -1;
        if (end >= 0) {
            data[out++] = replacement;
            read = end;
        } else {
            data[out++] = data[read++];
        }
    }
    text.truncate(out);
    return true;
}

} // namespace

void CalculatorEngine::normalizeDuplicateOperators(QString& text)
{
    if (text.isEmpty())
        return;
    const QChar plus = QLatin1Char('+');
    const QChar minus = QLatin1Char('-');
    for (;;) {
        bool changed = replaceSignPair(text, plus, plus, plus);
        changed |= replaceSignPair(text, minus, minus, plus);
        changed |= replaceSignPair(text, plus, minus, minus);
        changed |= replaceSignPair(text, minus, plus, minus);
        if (!changed)
            return;
    }
}

namespace {

bool isOperator(QChar c)
{
    switch (c.unicode()) {
    case '+':
    case '-':
    case '*':
    case '/':
    case '^':
        return true;
    default:
        return false;
    }
}

} // namespace

void CalculatorEngine::extractMathComponents(QString& text)
{
    // Components are written over the text as they are found (none is
    // longer than what it came from): an operator other than "-" right
    // after an operator (or at the start) is left out.
    if (text.isEmpty())
        return;
    QChar* data = text.data();
    const qsizetype size = text.size();
    qsizetype out = 0;
    bool afterOperator = true;
    auto writeOperator = [&](QChar c) {
        if (!afterOperator || c == QLatin1Char('-'))
            data[out++] = c;
        afterOperator = true;
    };
    auto writeCopy = [&](qsizetype start, qsizetype end) {
        for (qsizetype k = start; k < end; ++k)
            data[out++] = data[k];
        afterOperator = false;
    };

    qsizetype runStart = -1;
    qsizetype runEnd = -1;
    bool runHasMarks = false;
    qsizetype placeholderStart = -1;
    auto flushRun = [&] {
        if (runStart >= 0) {
            if (runHasMarks)
                out = normalizeNumberRun(data, runStart, runEnd, out);
            else
                writeCopy(runStart, runEnd);
            afterOperator = false;
            runStart = -1;
            runHasMarks = false;
        }
    };

    for (qsizetype i = 0; i < size;) {
        qsizetype length = 1;
        const char32_t c = codePointAt(QStringView(data + i, size - i), 0, &length);
        const qsizetype at = i;
        i += length;
        if (c == '{') {
            // An unfinished placeholder before this one is dropped.
            flushRun();
            placeholderStart = at;
        } else if (placeholderStart >= 0) {
            if (c == '}') {
                writeCopy(placeholderStart, i);
                placeholderStart = -1;
            }
        } else if (isNumberChar(c)) {
            if (runStart < 0)
                runStart = at;
            runEnd = i;
        } else if ((c == '.' || c == ',') && runStart >= 0) {
            runEnd = i;
            runHasMarks = true;
        } else {
            flushRun();
            switch (c) {
            case '+':
            case '-':
            case '*':
            case '/':
            case '^':
                writeOperator(QChar(char16_t(c)));
                break;
            case '(':
            case ')':
                data[out++] = QChar(char16_t(c));
                afterOperator = false;
                break;
            case 'x':
            case 'X':
                writeOperator(QLatin1Char('*'));
                break;
            case ':':
                writeOperator(QLatin1Char('/'));
                break;
            default:
                break; // words, blanks, "%", stray marks
            }
        }
    }
    flushRun();

    while (out > 0 && isOperator(data[out - 1]))
        --out;
    text.truncate(out);
}
