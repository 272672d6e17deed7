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
    bool hasAnyLetter() const
    {
        constexpr quint64 letters = (quint64(0x3FFFFFF) << 1) | (quint64(0x3FFFFFF) << 33);
        return bits[1] & letters;
    }
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
// holds the characters it acts on. A step that finds the text cannot be read
// without guessing ends the run: the row fails.
void CalculatorEngine::sanitize(QString& text, Pipeline& pipeline)
{
    Triggers triggers(text);
    if (triggers.beyondAscii || triggers.has(' ') || triggers.has('\'')) {
        normalizeWhitespace(text);
        joinDigitGroups(text, triggers.beyondAscii || triggers.has('\''));
    }
    if (triggers.has('.') || triggers.has(',')) {
        normalizeLocaleNumbers(text, pipeline);
        triggers.add("0. ");
    }
    if (triggers.has('"')) {
        removeQuotedText(text);
        triggers.add(" ");
    }
    const bool keyword = (triggers.hasLetter('i') && triggers.hasLetter('n'))
        || (triggers.hasLetter('t') && triggers.hasLetter('o')) || (triggers.hasLetter('n') && triggers.hasLetter('a'))
        || (triggers.has('-') && triggers.has('>')) || triggers.beyondAscii;
    if (keyword) {
        processCurrencyConversions(text, pipeline);
        triggers.addNumbers();
        triggers.add("(/)");
    }
    if (pipeline.failure)
        return;
    if (triggers.beyondAscii || triggers.hasLetter('x') || triggers.has(':')) {
        normalizeOperatorSymbols(text);
        triggers.add("*/-");
    }
    if (triggers.beyondAscii || triggers.has('$') || triggers.hasAnyLetter()) {
        removeCurrencyMarks(text, pipeline);
        if (pipeline.failure)
            return;
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
    if (pipeline.failure)
        return;
    if (triggers.has('(') || triggers.hasLetter('p') || triggers.hasLetter('e') || triggers.beyondAscii) {
        // A percentage after a function call, or after a group holding one,
        // applies to the call's value, which exists only once the functions
        // step has run.
        const bool replaced = processMathFunctions(text, pipeline);
        if (pipeline.failure)
            return;
        if (percent && (pipeline.groupWaitsForCalls || replaced))
            processPercentages(text, pipeline, PercentPass::afterCalls);
        if (pipeline.failure)
            return;
    }
    extractMathComponents(text, pipeline.failure, triggers.has('%'));
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

namespace {

bool isApostrophe(QChar c)
{
    return c == QLatin1Char('\'') || c == QChar(0x2019);
}

} // namespace

void CalculatorEngine::joinDigitGroups(QString& text, bool apostrophes)
{
    // A blank or an apostrophe between a digit and exactly three digits is
    // a thousands separator (1 000, 1'000): the steps that read amounts see
    // the whole number, as the final reading does.
    qsizetype blank = text.indexOf(QLatin1Char(' '));
    if (apostrophes) {
        for (QChar separator : {QChar(u'\''), QChar(0x2019)}) {
            const qsizetype at = text.indexOf(separator);
            if (at >= 0 && (blank < 0 || at < blank))
                blank = at;
        }
    }
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
        const bool separator = (c == QLatin1Char(' ') || (apostrophes && isApostrophe(c))) && i > 0
            && isDecimalDigit(codePointBefore(source, i)) && isGroupAfter(i + 1);
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

namespace {

// Writes one number run (digits and marks, ending in a digit) with "." as
// its decimal point and no grouping. A grouping mark groups only where it
// can: after one to three leading digits that do not start with 0, and
// before exactly three digits; anywhere else it is the decimal mark. False
// when the run holds two decimal marks (1,2,3 or 12.03.2024). Never writes
// more than it reads, so `out` may trail `run` in the same buffer.
bool writeRun(QChar*& out, QStringView run, QChar groupMark)
{
    const QChar* in = run.data();
    const qsizetype size = run.size();
    qsizetype i = 0;
    qsizetype leading = 0;
    while (i < size) {
        qsizetype length = 1;
        const char16_t unit = in[i].unicode();
        if (unit < 0x80 ? unit < '0' || unit > '9' : !isDecimalDigit(codePointAt(run, i, &length)))
            break;
        for (qsizetype k = 0; k < length; ++k)
            *out++ = in[i + k];
        i += length;
        ++leading;
    }
    bool mayGroup = leading <= 3 && run.front() != QLatin1Char('0');
    bool decimal = false;
    while (i < size) {
        const QChar mark = in[i++];
        const qsizetype groupStart = i;
        qsizetype digits = 0;
        while (i < size) {
            qsizetype length = 1;
            const char16_t unit = in[i].unicode();
            if (unit < 0x80 ? unit < '0' || unit > '9' : !isDecimalDigit(codePointAt(run, i, &length)))
                break;
            i += length;
            ++digits;
        }
        if (!(mark == groupMark && mayGroup && digits == 3)) {
            if (decimal)
                return false;
            decimal = true;
            mayGroup = false;
            *out++ = QLatin1Char('.');
        }
        for (qsizetype k = groupStart; k < i; ++k)
            *out++ = in[k];
    }
    return true;
}

// The dash of a whole price (5,- or 5,–), as typed or as the editor writes it.
bool isPriceDash(QChar c)
{
    return c == QLatin1Char('-') || c == QChar(0x2212) || c == QChar(0x2013) || c == QChar(0x2014);
}

// The run stands first in the brackets of pow: in the US style its comma
// separates the two arguments (pow(2,3)).
bool startsPowArguments(QStringView written)
{
    qsizetype end = written.size();
    while (end > 0 && written[end - 1] == QLatin1Char(' '))
        --end;
    if (end < 4 || written[end - 1] != QLatin1Char('('))
        return false;
    const QStringView name = written.mid(end - 4, 3);
    return (name == u"pow" || name == u"POW") && (end == 4 || !isAsciiLetter(written[end - 5].unicode()));
}

} // namespace

void CalculatorEngine::normalizeLocaleNumbers(QString& text, Pipeline& pipeline)
{
    // Number runs: a digit, then digits, "." and ",", ending in a digit. A
    // leading decimal mark reads as "0."; a price's ",-" means whole units.
    const bool german = pipeline.settings.decimalStyle == DecimalStyle::germanComma;
    const QChar decimalMark = german ? QLatin1Char(',') : QLatin1Char('.');
    const QChar groupMark = german ? QLatin1Char('.') : QLatin1Char(',');
    // What the text may grow by: "0." for a leading mark, ", " for a comma
    // that may part pow's arguments. Without growth it is rewritten in place.
    const bool powCommas = !german && text.contains(QLatin1String("pow("), Qt::CaseInsensitive);
    qsizetype growth = 0;
    bool marks = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('.') && c != QLatin1Char(','))
            continue;
        // Only a mark before a digit, or a price's ",-", changes anything.
        const bool beforeDigit = i + 1 < text.size() && isDecimalDigit(codePointAt(text, i + 1));
        marks = marks || beforeDigit
            || (c == QLatin1Char(',') && i > 0 && i + 1 < text.size() && isPriceDash(text[i + 1]));
        growth += beforeDigit && ((powCommas && c == QLatin1Char(',')) || isLeadingMark(text, i, decimalMark));
    }
    if (!marks)
        return;
    const QString source = growth ? text : QString();
    if (growth)
        text.resize(source.size() + growth);
    QChar* const begin = text.data();
    QChar* out = begin;
    const QStringView in = growth ? QStringView(source) : QStringView(text);
    qsizetype i = 0;
    while (i < in.size()) {
        qsizetype length = 1;
        const char16_t unit = in[i].unicode();
        if (unit < 0x80 ? unit < '0' || unit > '9' : !isDecimalDigit(codePointAt(in, i, &length))) {
            if (growth && isLeadingMark(in, i, decimalMark)) {
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
            const char16_t next = in[j].unicode();
            const char32_t c = next < 0x80 ? next : codePointAt(in, j, &length);
            if (next < 0x80)
                length = 1;
            if (c == '.' || c == ',') {
                j += length;
            } else if (isDecimalDigit(c)) {
                j += length;
                end = j;
            } else {
                break;
            }
        }
        const QStringView run = in.mid(start, end - start);
        const qsizetype comma = german ? -1 : run.indexOf(QLatin1Char(','));
        bool readable;
        if (comma >= 0 && growth && startsPowArguments(QStringView(begin, out - begin))) {
            // One comma, two arguments; written apart so no later step
            // can take it for grouping.
            readable = run.indexOf(QLatin1Char(','), comma + 1) < 0 && writeRun(out, run.left(comma), groupMark);
            *out++ = QLatin1Char(',');
            *out++ = QLatin1Char(' ');
            readable = readable && writeRun(out, run.mid(comma + 1), groupMark);
        } else {
            readable = writeRun(out, run, groupMark);
        }
        if (!readable)
            pipeline.refuse();
        i = end;
        if (i + 1 < in.size() && in[i] == QLatin1Char(',') && isPriceDash(in[i + 1])
            && (i + 2 == in.size() || !isNumberish(codePointAt(in, i + 2))))
            i += 2;
    }
    text.truncate(out - begin);
}

void CalculatorEngine::removeQuotedText(QString& text)
{
    // A quote, anything without a quote, and the closing quote vanish; a
    // quote without a partner stays. A remark between two numbers leaves a
    // blank, so they are not read as one.
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
        if (out > 0 && i < text.size() && isNumberish(data[out - 1].unicode()) && isNumberish(data[i].unicode()))
            data[out++] = QLatin1Char(' ');
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
        case 0x00B7:
        case 0x00F7:
        case 0x2212:
        case 0x2013:
        case 0x2014: symbols = true; break;
        case 'x':
        case 'X': letterX = true; break;
        case ':': colon = true; break;
        default: break;
        }
    }
    if (symbols) {
        text.replace(QChar(0x00D7), QLatin1Char('*'));
        text.replace(QChar(0x00B7), QLatin1Char('*'));
        text.replace(QChar(0x00F7), QLatin1Char('/'));
        text.replace(QChar(0x2212), QLatin1Char('-'));
        // A dash between operands is a minus (100 – 20); after a word it
        // sets a label off (Miete – 850) and stays.
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != QChar(0x2013) && text[i] != QChar(0x2014))
                continue;
            qsizetype before = i;
            while (before > 0 && isWhiteSpace(text[before - 1].unicode()))
                --before;
            qsizetype after = i + 1;
            while (after < text.size() && isWhiteSpace(text[after].unicode()))
                ++after;
            if (before == 0 || after == text.size())
                continue;
            const char32_t left = codePointBefore(text, before);
            const QChar right = text[after];
            const bool operandBefore = isNumberChar(left) || left == ')' || left == '%';
            const bool operandAfter = !QStringView(u"+-*/^)×÷").contains(right) && right != QChar(0x2013)
                && right != QChar(0x2014);
            if (operandBefore && operandAfter)
                text[i] = QLatin1Char('-');
        }
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
            // Between two numbers the mark leaves a blank: 5€3 is not 53.
            if (dst > 0 && src < text.size() && isNumberish(data[dst - 1].unicode())
                && isNumberish(data[src].unicode()))
                data[dst++] = QLatin1Char(' ');
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

// Upper-case function names that hold the mark "R", standing as words:
// they keep their names through the mark removal.
bool protectedCallAt(QStringView text, qsizetype i, qsizetype* length)
{
    static const std::array<QStringView, 3> names = {u"SQRT", u"FLOOR", u"ROUND"};
    if (i > 0 && isAsciiLetter(text[i - 1].unicode()))
        return false;
    for (QStringView name : names) {
        const qsizetype end = i + name.size();
        if (text.mid(i).startsWith(name) && (end == text.size() || !isAsciiLetter(text[end].unicode()))) {
            *length = name.size();
            return true;
        }
    }
    return false;
}

// A number with the currency next to it: the one right after it, else the
// one right before. `start` and `end` take the currency in.
struct Amount {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype currencyStart = -1;
    qsizetype currencyEnd = -1;
    QStringView code;
};

QVarLengthArray<Amount, 16> amountsIn(QStringView text)
{
    QVarLengthArray<Amount, 16> amounts;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype length = 1;
        if (!isNumberChar(codePointAt(text, i, &length))) {
            i += length;
            continue;
        }
        Amount amount;
        amount.start = i;
        while (i < text.size() && isNumberish(codePointAt(text, i, &length)))
            i += length;
        amount.end = i;
        qsizetype after = i;
        while (after < text.size() && isWhiteSpace(text[after].unicode()))
            ++after;
        qsizetype before = amount.start;
        while (before > 0 && isWhiteSpace(text[before - 1].unicode()))
            --before;
        qsizetype currencyLength = 0;
        qsizetype currencyStart = 0;
        if (QStringView code = EngineCurrency::currencyAt(text, after, &currencyLength); !code.isEmpty()) {
            amount.code = code;
            amount.currencyStart = after;
            amount.currencyEnd = after + currencyLength;
            amount.end = amount.currencyEnd;
        } else if (code = EngineCurrency::currencyBefore(text, before, &currencyStart); !code.isEmpty()) {
            amount.code = code;
            amount.currencyStart = currencyStart;
            amount.currencyEnd = before;
            amount.start = currencyStart;
        }
        amounts.append(amount);
    }
    return amounts;
}

// Amounts in two different currencies joined by + or -: no rate converts
// them here, so their sum would mean nothing (20 USD + 10 EUR).
bool joinsDifferentCurrencies(QStringView text, const QVarLengthArray<Amount, 16>& amounts)
{
    for (qsizetype k = 1; k < amounts.size(); ++k) {
        const Amount& a = amounts[k - 1];
        const Amount& b = amounts[k];
        if (a.code.isEmpty() || b.code.isEmpty() || a.code == b.code || a.end > b.start)
            continue;
        const QStringView between = text.mid(a.end, b.start - a.end).trimmed();
        if (between == u"+" || between == u"-")
            return true;
    }
    return false;
}

// A currency code next to an amount is its currency mark (200 EUR + 10%):
// it goes with the marks. Elsewhere it is a word like any other.
void removeCodesNextToAmounts(QString& text, const QVarLengthArray<Amount, 16>& amounts)
{
    QString out;
    qsizetype copied = 0;
    for (const Amount& amount : amounts) {
        const qsizetype length = amount.currencyEnd - amount.currencyStart;
        if (amount.code.isEmpty() || length != 3 || amount.currencyStart < copied
            || !isAsciiLetter(text[amount.currencyStart].unicode())
            || QStringView(text).mid(amount.currencyStart, 3).compare(amount.code, Qt::CaseInsensitive) != 0)
            continue;
        out += QStringView(text).mid(copied, amount.currencyStart - copied);
        // Between two numbers the code leaves a blank: 5EUR3 is not 53.
        const qsizetype end = amount.currencyEnd;
        if (amount.currencyStart > 0 && end < text.size() && isNumberish(text[amount.currencyStart - 1].unicode())
            && isNumberish(text[end].unicode()))
            out += QLatin1Char(' ');
        copied = end;
    }
    if (copied == 0)
        return;
    out += QStringView(text).mid(copied);
    text = std::move(out);
}

} // namespace

void CalculatorEngine::removeCurrencyMarks(QString& text, Pipeline& pipeline)
{
    const QVarLengthArray<Amount, 16> amounts = amountsIn(text);
    if (joinsDifferentCurrencies(text, amounts)) {
        pipeline.refuse();
        return;
    }
    removeCodesNextToAmounts(text, amounts);
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return mayStartMark(c.unicode()); }))
        return;
    // Segments between protected names, each cleared of its marks in place.
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
    // Most texts hold no sign followed by another: one look settles it.
    bool pair = false;
    for (qsizetype i = 0; i < text.size() && !pair; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('+') && c != QLatin1Char('-'))
            continue;
        qsizetype j = i + 1;
        while (j < text.size() && isWhiteSpace(text[j].unicode()))
            ++j;
        pair = j < text.size() && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-'));
    }
    if (!pair)
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

namespace {

// Signs that carry arithmetic the parser does not know: dropping one would
// change what the row computes.
bool isArithmeticSign(char32_t c)
{
    switch (c) {
    case '!':
    case '[':
    case ']':
    case '|':
    case 0x00B1: // ±
    case 0x2213: // ∓
    case 0x2030: // ‰
    case 0x2211: // ∑
    case 0x220F: // ∏
    case 0x221A: // √
    case 0x221B:
    case 0x221C:
        return true;
    default:
        return false;
    }
}

// A letter run that names one of the engine's functions: left in the text,
// the call was not worked out (sqrt 16, pow(2.3)).
bool isFunctionWordAt(QStringView text, qsizetype i)
{
    switch (text[i].unicode() | 0x20) {
    case 'a': case 'c': case 'f': case 'l': case 'p': case 'r': case 's': case 't':
        break;
    default:
        return false;
    }
    qsizetype end = i;
    while (end < text.size() && isAsciiLetter(text[end].unicode()))
        ++end;
    if (end < text.size() && isWordChar(codePointAt(text, end)))
        return false;
    return end - i >= 2 && end - i <= 5 && CalculatorEngine::isFunctionName(text.mid(i, end - i));
}

} // namespace

void CalculatorEngine::extractMathComponents(QString& text, std::optional<CalculationError>& failure,
                                             bool percentPossible)
{
    // Components are written over the text as they are found (none is
    // longer than what it came from). Words, blanks and marks are dropped,
    // but never so that the row computes something else than what was
    // typed: two numbers with only dropped text between them, an operator
    // followed by another, or followed only by words, fail the row.
    if (text.isEmpty())
        return;
    auto refuse = [&failure] {
        if (!failure)
            failure = CalculationError::invalidExpression();
    };
    QChar* data = text.data();
    const qsizetype size = text.size();
    qsizetype out = 0;
    bool written = false;          // a component has been written
    bool afterOperator = true;     // the last component is an operator, or none yet
    bool droppedSinceOperator = false;
    bool lastIsNumber = false;     // the last component is a number or a placeholder
    bool percentDropped = false;
    bool numberWithoutPercent = false;
    char32_t previous = 0;         // the character before the current one, as typed
    bool previousIsTimes = false;  // it was an "x" read as "×"

    auto writeOperator = [&](QChar c) {
        if (!written) {
            // A leading operator other than "-" vanishes.
            if (c == QLatin1Char('-')) {
                data[out++] = c;
                written = true;
            }
        } else if (afterOperator && (droppedSinceOperator || c != QLatin1Char('-'))) {
            refuse();
        } else {
            data[out++] = c;
        }
        afterOperator = true;
        droppedSinceOperator = false;
        lastIsNumber = false;
    };
    // A "#" is the picker being opened: it stands for nothing yet.
    auto drop = [&](char32_t c) {
        if (!isWhiteSpace(c) && c != '#')
            droppedSinceOperator = true;
    };
    // After a number, a placeholder or a bracket.
    auto wroteOperand = [&](bool number) {
        written = true;
        afterOperator = false;
        droppedSinceOperator = false;
        lastIsNumber = number;
    };

    qsizetype runStart = -1;
    qsizetype runEnd = -1;
    int runMarks = 0;
    qsizetype placeholderStart = -1;
    auto flushRun = [&] {
        if (runStart < 0)
            return;
        if (runMarks > 1)
            refuse(); // two decimal marks
        for (qsizetype k = runStart; k < runEnd; ++k)
            data[out++] = data[k] == QLatin1Char(',') ? QLatin1Char('.') : data[k];
        if (percentPossible && !numberWithoutPercent) {
            qsizetype next = runEnd;
            while (next < size && isWhiteSpace(data[next].unicode()))
                ++next;
            numberWithoutPercent = next == size || data[next] != QLatin1Char('%');
        }
        wroteOperand(true);
        runStart = -1;
        runMarks = 0;
    };

    for (qsizetype i = 0; i < size;) {
        qsizetype length = 1;
        const char16_t unit = data[i].unicode();
        const char32_t c = QChar::isSurrogate(unit) ? codePointAt(QStringView(data + i, size - i), 0, &length) : unit;
        const qsizetype at = i;
        i += length;
        const char32_t before = previous;
        const bool beforeIsTimes = previousIsTimes;
        previous = c;
        previousIsTimes = false;
        if (placeholderStart >= 0) {
            if (c == '}') {
                if (lastIsNumber)
                    refuse();
                for (qsizetype k = placeholderStart; k < i; ++k)
                    data[out++] = data[k];
                placeholderStart = -1;
                wroteOperand(true);
            } else if (c == '{') {
                placeholderStart = at; // an unfinished placeholder before this one is dropped
            }
            continue;
        }
        if (c == '{') {
            flushRun();
            placeholderStart = at;
            continue;
        }
        if (isNumberChar(c)) {
            if (runStart < 0) {
                if (lastIsNumber)
                    refuse(); // numbers fused across dropped text
                runStart = at;
            }
            runEnd = i;
            continue;
        }
        if ((c == '.' || c == ',') && runStart >= 0) {
            runEnd = i;
            ++runMarks;
            continue;
        }
        flushRun();
        auto after = [&] { return i < size ? codePointAt(QStringView(data + i, size - i), 0) : char32_t(0); };
        switch (c) {
        case '+':
        case '*':
        case '/':
        case '^':
            writeOperator(QChar(char16_t(c)));
            break;
        case '-':
            // A hyphen between letters is part of a word (E-Bike).
            if (isWordChar(before) && isWordChar(after()))
                drop(c);
            else
                writeOperator(QLatin1Char('-'));
            break;
        case 'x':
        case 'X':
            // "×" only where no letter touches it (4 x 95, not Netflix).
            if (isWordChar(before) || isWordChar(after())) {
                drop(c);
            } else {
                writeOperator(QLatin1Char('*'));
                previousIsTimes = true;
            }
            break;
        case ':':
            // Right after a word and before a blank it ends a label (Summe: 100).
            if (before && !isWhiteSpace(before) && isWhiteSpace(after()))
                drop(c);
            else
                writeOperator(QLatin1Char('/'));
            break;
        case '(':
            // Letters right before a bracket name a function the engine
            // does not have (max(3, 5), Sqrt(16)).
            if (isWordChar(before) && !beforeIsTimes)
                refuse();
            data[out++] = QLatin1Char('(');
            wroteOperand(false);
            break;
        case ')':
            if (written && afterOperator && droppedSinceOperator)
                refuse();
            data[out++] = QLatin1Char(')');
            wroteOperand(false);
            break;
        case '%':
            percentDropped = true;
            drop(c);
            break;
        default:
            if (isArithmeticSign(c))
                refuse();
            else if (isAsciiLetter(c) && !isWordChar(before) && isFunctionWordAt(QStringView(data, size), at))
                refuse();
            drop(c);
            break;
        }
    }
    flushRun();

    // A trailing operator vanishes while the row is being typed (100 +),
    // but not when words follow it (100 + Versand).
    if (written && afterOperator) {
        if (droppedSinceOperator)
            refuse();
        while (out > 0 && isOperator(data[out - 1]))
            --out;
    }
    // A "%" no rule took: fine where every number is a percentage (10% +
    // 10%), else it would silently be dropped (19% * 200).
    if (percentDropped && numberWithoutPercent)
        refuse();
    text.truncate(out);
}
