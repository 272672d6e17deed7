#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionText.h"

#include <cmath>

using namespace ExpressionText;

namespace {

// Currency signs, longest first, with their codes.
struct Sign {
    QStringView text;
    QStringView code;
};
constexpr Sign signs[] = {
    {u"US$", u"USD"}, {u"C$", u"CAD"}, {u"A$", u"AUD"}, {u"R$", u"BRL"}, {u"$", u"USD"},
    {u"€", u"EUR"},   {u"£", u"GBP"},  {u"¥", u"JPY"},  {u"₹", u"₹"},    {u"₽", u"₽"},
    {u"₩", u"₩"},     {u"฿", u"฿"},    {u"₪", u"₪"},    {u"₫", u"₫"},    {u"₴", u"₴"},
    {u"₦", u"₦"},     {u"₱", u"₱"},    {u"₲", u"₲"},    {u"₡", u"₡"},    {u"₵", u"₵"},
    {u"₸", u"₸"},     {u"₺", u"₺"},    {u"₼", u"₼"},    {u"₾", u"₾"},    {u"₿", u"₿"},
};

// Currencies written as words, with their codes; matched without regard to case.
constexpr Sign words[] = {
    {u"EUR", u"EUR"},     {u"USD", u"USD"},    {u"GBP", u"GBP"},     {u"CHF", u"CHF"},    {u"JPY", u"JPY"},
    {u"CAD", u"CAD"},     {u"AUD", u"AUD"},    {u"CNY", u"CNY"},     {u"SEK", u"SEK"},    {u"NOK", u"NOK"},
    {u"DKK", u"DKK"},     {u"PLN", u"PLN"},    {u"EURO", u"EUR"},    {u"EUROS", u"EUR"},  {u"DOLLAR", u"USD"},
    {u"DOLLARS", u"USD"}, {u"POUND", u"GBP"},  {u"POUNDS", u"GBP"},  {u"YEN", u"JPY"},    {u"FRANC", u"CHF"},
    {u"FRANCS", u"CHF"},  {u"KRONA", u"SEK"},  {u"ZLOTY", u"PLN"},   {u"KR", u"SEK"},     {u"ZŁ", u"PLN"},
    {u"KČ", u"CZK"},      {u"FT", u"HUF"},
};

QStringView wordCurrency(QStringView word)
{
    if (word.size() < 2 || word.size() > 7)
        return {};
    const char16_t first = word.front().unicode() & ~0x20;
    for (const Sign& entry : words) {
        if (entry.text.size() == word.size() && entry.text.front() == first
            && word.compare(entry.text, Qt::CaseInsensitive) == 0)
            return entry.code;
    }
    return {};
}

// A currency's name may start with this letter.
bool mayStartWord(char16_t c)
{
    switch (c & ~0x20) {
    case 'A': case 'C': case 'D': case 'E': case 'F': case 'G': case 'J': case 'K':
    case 'N': case 'P': case 'S': case 'U': case 'Y': case 'Z':
        return true;
    default:
        return false;
    }
}

// A sign may start at this character.
bool mayStartSign(char16_t c)
{
    return c == '$' || c == 'U' || c == 'C' || c == 'A' || c == 'R' || c >= 0x80;
}

} // namespace

namespace EngineCurrency {

QString code(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    for (const Sign& sign : signs) {
        if (sign.text == trimmed)
            return sign.code.toString();
    }
    const QStringView word = wordCurrency(trimmed);
    return word.isEmpty() ? trimmed.toString().toUpper() : word.toString();
}

QStringView currencyAt(QStringView text, qsizetype i, qsizetype* length)
{
    if (i >= text.size())
        return {};
    const char16_t first = text[i].unicode();
    if (first < 0x80 && first != '$' && !isAsciiLetter(first))
        return {};
    const bool wordBefore = i > 0 && isWordChar(codePointBefore(text, i));
    if (mayStartSign(first)) {
        for (const Sign& sign : signs) {
            if (sign.text.front() != first || !text.mid(i).startsWith(sign.text))
                continue;
            if (wordBefore && isAsciiLetter(first))
                continue;
            *length = sign.text.size();
            return sign.code;
        }
    }
    if (wordBefore || !mayStartWord(first))
        return {};
    qsizetype end = i;
    while (end < text.size() && end - i <= 7) {
        qsizetype n = 1;
        if (!isWordChar(codePointAt(text, end, &n)))
            break;
        end += n;
    }
    const QStringView found = wordCurrency(text.mid(i, end - i));
    if (!found.isEmpty() && (end == text.size() || !isWordChar(codePointAt(text, end))))
        *length = end - i;
    else
        return {};
    return found;
}

QStringView currencyBefore(QStringView text, qsizetype end, qsizetype* start)
{
    if (end <= 0)
        return {};
    qsizetype n = 1;
    const char32_t last = codePointBefore(text, end, &n);
    if (!isWordChar(last)) {
        if (last < 0x80 && last != '$')
            return {};
        for (const Sign& sign : signs) {
            const qsizetype at = end - sign.text.size();
            if (at < 0 || sign.text.back() != text[end - 1] || text.mid(at, sign.text.size()) != sign.text)
                continue;
            if (isAsciiLetter(sign.text.front().unicode()) && at > 0 && isWordChar(codePointBefore(text, at)))
                continue;
            *start = at;
            return sign.code;
        }
        return {};
    }
    qsizetype at = end;
    while (at > 0 && end - at <= 7) {
        qsizetype m = 1;
        if (!isWordChar(codePointBefore(text, at, &m)))
            break;
        at -= m;
    }
    if (at > 0 && isWordChar(codePointBefore(text, at)))
        return {};
    const QStringView found = wordCurrency(text.mid(at, end - at));
    if (!found.isEmpty())
        *start = at;
    return found;
}

} // namespace EngineCurrency

namespace {

// The amount of a conversion phrase, read after the number format step:
// at most one decimal mark.
std::optional<double> parseAmount(QStringView amount)
{
    QString text = amount.toString();
    if (text.count(QLatin1Char('.')) + text.count(QLatin1Char(',')) > 1)
        return std::nullopt;
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    return readDouble(text);
}

// Every phrase needs "in", "to" (in any case) or "->"; "nach" and "→" are
// caught as unconverted phrases.
bool hasConversionKeyword(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QChar(0x2192))
            return true;
        if (i + 1 >= text.size())
            break;
        const char16_t a = text[i].unicode() | 0x20;
        const char16_t b = text[i + 1].unicode() | 0x20;
        if ((a == 'i' && b == 'n') || (a == 't' && b == 'o') || (a == 'n' && b == 'a')
            || (text[i] == QLatin1Char('-') && text[i + 1] == QLatin1Char('>')))
            return true;
    }
    return false;
}

qsizetype skipBlanksBack(QStringView text, qsizetype end)
{
    while (end > 0 && isWhiteSpace(text[end - 1].unicode()))
        --end;
    return end;
}

// The length of a conversion keyword at `i` ("in", "to", "nach" as words or
// before a currency, "->", "→"), else 0.
qsizetype keywordAt(QStringView text, qsizetype i)
{
    if (text[i] == QChar(0x2192))
        return 1;
    if (text.mid(i).startsWith(QLatin1String("->")))
        return 2;
    if (i > 0 && isWordChar(codePointBefore(text, i)))
        return 0;
    for (QLatin1String word : {QLatin1String("in"), QLatin1String("to"), QLatin1String("nach")}) {
        if (!text.mid(i).startsWith(word, Qt::CaseInsensitive))
            continue;
        const qsizetype end = i + word.size();
        if (end == text.size() || !isWordChar(codePointAt(text, end)))
            return word.size();
        // Run into a currency's name, as in "inUSD".
        qsizetype runEnd = end;
        while (runEnd < text.size() && isWordChar(codePointAt(text, runEnd)))
            ++runEnd;
        if (!wordCurrency(text.mid(end, runEnd - end)).isEmpty())
            return word.size();
    }
    return 0;
}

// An amount with its currency, followed by a conversion keyword, still
// stands: the conversion was not made, and the amount must not pass as if
// it had been (100 € in Yen, 100 usd->eur, 100 € nach USD).
bool holdsUnconvertedPhrase(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c != 0x2192 && c != '-' && (c | 0x20) != 'i' && (c | 0x20) != 't' && (c | 0x20) != 'n')
            continue;
        if (keywordAt(text, i) == 0)
            continue;
        qsizetype at = skipBlanksBack(text, i);
        qsizetype start = 0;
        // Amount, then currency: 100 € in …
        if (!EngineCurrency::currencyBefore(text, at, &start).isEmpty()) {
            const qsizetype amountEnd = skipBlanksBack(text, start);
            if (amountEnd > 0 && isDecimalDigit(codePointBefore(text, amountEnd)))
                return true;
        }
        // Currency, then amount: € 100 in …
        if (at > 0 && isDecimalDigit(codePointBefore(text, at))) {
            while (at > 0 && isNumberish(codePointBefore(text, at)))
                --at;
            if (!EngineCurrency::currencyBefore(text, skipBlanksBack(text, at), &start).isEmpty())
                return true;
        }
    }
    return false;
}

} // namespace

void CalculatorEngine::processCurrencyConversions(QString& text, Pipeline& pipeline)
{
    static const QString currencies = QStringLiteral(
        R"((€|C\$|A\$|US\$|\$|£|¥|EUR|USD|GBP|CHF|JPY|CAD|AUD|CNY|SEK|NOK|DKK|PLN|Euro|Dollar|Euros|Dollars|Pound|Pounds))");
    static const QString keyword = QStringLiteral(R"(\s+(?:in|to|->)\s*)");
    static const QString amount = QStringLiteral(R"((\d+(?:[.,]\d+)*))");
    static const QRegularExpression amountFirst =
        EngineRegex::compile(amount + QStringLiteral(R"(\s*)") + currencies + keyword + currencies, true);
    static const QRegularExpression symbolFirst =
        EngineRegex::compile(QStringLiteral(R"((€|C\$|A\$|US\$|\$|£|¥)\s*)") + amount + keyword + currencies, true);

    // Without any rates a phrase still fails as for a missing rate: an
    // amount must never pass as converted when it is not.
    const EngineSettings& settings = pipeline.settings;
    if (!hasConversionKeyword(text))
        return;

    auto convert = [&](int amountGroup, int fromGroup, int toGroup) {
        return [&settings, amountGroup, fromGroup, toGroup](const QRegularExpressionMatch& match) -> std::optional<QString> {
            const std::optional<double> value = parseAmount(match.capturedView(amountGroup));
            if (!value)
                return std::nullopt;
            const QString from = EngineCurrency::code(match.capturedView(fromGroup));
            const QString to = EngineCurrency::code(match.capturedView(toGroup));
            const std::optional<double> converted =
                settings.convert ? settings.convert(*value, from, to) : std::nullopt;
            // A missing rate, or a zero one, ends as a division by zero
            // rather than as a silent 0.
            if (!converted || !std::isfinite(*converted))
                return QStringLiteral("(0/0)");
            return canonicalNumber(*converted);
        };
    };
    text = EngineRegex::replaceEachMatch(text, amountFirst, convert(1, 2, 3));
    text = EngineRegex::replaceEachMatch(text, symbolFirst, convert(2, 1, 3));
    if (holdsUnconvertedPhrase(text))
        pipeline.refuse();
}
