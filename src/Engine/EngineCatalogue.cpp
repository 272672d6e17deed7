// The catalogue's data, and the look-ups over it. Only data and plain
// comparisons live here; reading a row is the engine's business.

#include "Engine/EngineCatalogue.h"

#include <array>
#include <limits>

namespace EngineCatalogue {

namespace {

using P = MarkPlace;
using K = SpellingKind;

// In the order the settings list them.
constexpr Currency currencyTable[] = {
    {u"EUR", u"€", u"Euro", true},
    {u"USD", u"$", u"US Dollar", true},
    {u"GBP", u"£", u"British Pound", true},
    {u"CHF", u"CHF", u"Swiss Franc", true},
    {u"JPY", u"¥", u"Japanese Yen", true},
    {u"CAD", u"C$", u"Canadian Dollar", true},
    {u"AUD", u"A$", u"Australian Dollar", true},
    {u"CNY", u"CN¥", u"Chinese Yuan", true},
    {u"SEK", u"kr", u"Swedish Krona", true},
    {u"NOK", u"NOK", u"Norwegian Krone", true},
    {u"DKK", u"DKK", u"Danish Krone", true},
    {u"PLN", u"zł", u"Polish Zloty", true},
    {u"CZK", u"Kč", u"Czech Koruna", false},
    {u"HUF", u"Ft", u"Hungarian Forint", false},
    {u"ZAR", u"R", u"South African Rand", false},
    {u"BRL", u"R$", u"Brazilian Real", false},
    {u"INR", u"₹", u"Indian Rupee", false},
    {u"RUB", u"₽", u"Russian Ruble", false},
    {u"KRW", u"₩", u"South Korean Won", false},
    {u"THB", u"฿", u"Thai Baht", false},
    {u"ILS", u"₪", u"Israeli Shekel", false},
    {u"VND", u"₫", u"Vietnamese Dong", false},
    {u"UAH", u"₴", u"Ukrainian Hryvnia", false},
    {u"NGN", u"₦", u"Nigerian Naira", false},
    {u"PHP", u"₱", u"Philippine Peso", false},
    {u"PYG", u"₲", u"Paraguayan Guarani", false},
    {u"CRC", u"₡", u"Costa Rican Colón", false},
    {u"GHS", u"₵", u"Ghanaian Cedi", false},
    {u"KZT", u"₸", u"Kazakhstani Tenge", false},
    {u"TRY", u"₺", u"Turkish Lira", false},
    {u"AZN", u"₼", u"Azerbaijani Manat", false},
    {u"GEL", u"₾", u"Georgian Lari", false},
    {u"BTC", u"₿", u"Bitcoin", false},
};

// Signs, longest of a kind first: a sign is taken at the first entry that
// matches.
constexpr CurrencySpelling signTable[] = {
    {u"US$", u"USD", K::sign}, {u"CN¥", u"CNY", K::sign}, {u"C$", u"CAD", K::sign}, {u"A$", u"AUD", K::sign},
    {u"R$", u"BRL", K::sign},  {u"$", u"USD", K::sign},   {u"€", u"EUR", K::sign},  {u"£", u"GBP", K::sign},
    {u"¥", u"JPY", K::sign},   {u"₹", u"INR", K::sign},   {u"₽", u"RUB", K::sign},  {u"₩", u"KRW", K::sign},
    {u"฿", u"THB", K::sign},   {u"₪", u"ILS", K::sign},   {u"₫", u"VND", K::sign},  {u"₴", u"UAH", K::sign},
    {u"₦", u"NGN", K::sign},   {u"₱", u"PHP", K::sign},   {u"₲", u"PYG", K::sign},  {u"₡", u"CRC", K::sign},
    {u"₵", u"GHS", K::sign},   {u"₸", u"KZT", K::sign},   {u"₺", u"TRY", K::sign},  {u"₼", u"AZN", K::sign},
    {u"₾", u"GEL", K::sign},   {u"₿", u"BTC", K::sign},
};

// Codes and names match in any case; lettered marks only as written, and
// only as a word of their own.
constexpr CurrencySpelling wordTable[] = {
    // Codes.
    {u"EUR", u"EUR", K::code}, {u"USD", u"USD", K::code}, {u"GBP", u"GBP", K::code}, {u"CHF", u"CHF", K::code},
    {u"JPY", u"JPY", K::code}, {u"CAD", u"CAD", K::code}, {u"AUD", u"AUD", K::code}, {u"CNY", u"CNY", K::code},
    {u"SEK", u"SEK", K::code}, {u"NOK", u"NOK", K::code}, {u"DKK", u"DKK", K::code}, {u"PLN", u"PLN", K::code},
    {u"CZK", u"CZK", K::code}, {u"HUF", u"HUF", K::code}, {u"ZAR", u"ZAR", K::code}, {u"BRL", u"BRL", K::code},
    {u"INR", u"INR", K::code}, {u"RUB", u"RUB", K::code}, {u"TRY", u"TRY", K::code},
    // Names, German and English, with their plurals.
    {u"Euro", u"EUR", K::name},      {u"Euros", u"EUR", K::name},    {u"Dollar", u"USD", K::name},
    {u"Dollars", u"USD", K::name},   {u"Pfund", u"GBP", K::name},    {u"pound", u"GBP", K::name},
    {u"pounds", u"GBP", K::name},    {u"Franken", u"CHF", K::name},  {u"franc", u"CHF", K::name},
    {u"francs", u"CHF", K::name},    {u"Yen", u"JPY", K::name},      {u"Yuan", u"CNY", K::name},
    {u"Krona", u"SEK", K::name},     {u"Kronor", u"SEK", K::name},   {u"Zloty", u"PLN", K::name},
    {u"Złoty", u"PLN", K::name},     {u"Forint", u"HUF", K::name},   {u"Rand", u"ZAR", K::name},
    {u"Rupie", u"INR", K::name},     {u"Rupien", u"INR", K::name},   {u"rupee", u"INR", K::name},
    {u"rupees", u"INR", K::name},    {u"Rubel", u"RUB", K::name},    {u"ruble", u"RUB", K::name},
    {u"rubles", u"RUB", K::name},
    // Lettered marks.
    {u"CHF", u"CHF", K::letteredMark, P::either}, {u"kr", u"SEK", K::letteredMark, P::either},
    {u"zł", u"PLN", K::letteredMark, P::after},   {u"Kč", u"CZK", K::letteredMark, P::after},
    {u"Ft", u"HUF", K::letteredMark, P::after},   {u"R", u"ZAR", K::letteredMark, P::before},
};

constexpr Unit unitTable[] = {
    {u"mg", UnitKind::mass},     {u"g", UnitKind::mass},      {u"kg", UnitKind::mass},     {u"t", UnitKind::mass},
    {u"lb", UnitKind::mass},     {u"lbs", UnitKind::mass},    {u"oz", UnitKind::mass},     {u"ml", UnitKind::volume},
    {u"cl", UnitKind::volume},   {u"dl", UnitKind::volume},   {u"l", UnitKind::volume},    {u"L", UnitKind::volume},
    {u"gal", UnitKind::volume},  {u"mm", UnitKind::length},   {u"cm", UnitKind::length},   {u"dm", UnitKind::length},
    {u"m", UnitKind::length},    {u"km", UnitKind::length},   {u"ft", UnitKind::length},   {u"mi", UnitKind::length},
    {u"yd", UnitKind::length},   {u"qm", UnitKind::area},     {u"ha", UnitKind::area},
    {u"s", UnitKind::time},      {u"sec", UnitKind::time},    {u"min", UnitKind::time},    {u"h", UnitKind::time},
    {u"Std", UnitKind::time},    {u"Stunde", UnitKind::time}, {u"Stunden", UnitKind::time}, {u"hr", UnitKind::time},
    {u"hrs", UnitKind::time},    {u"hour", UnitKind::time},   {u"hours", UnitKind::time},  {u"Tag", UnitKind::time},
    {u"Tage", UnitKind::time},   {u"day", UnitKind::time},    {u"days", UnitKind::time},   {u"Woche", UnitKind::time},
    {u"Wochen", UnitKind::time}, {u"week", UnitKind::time},   {u"weeks", UnitKind::time},  {u"Monat", UnitKind::time},
    {u"Monate", UnitKind::time}, {u"month", UnitKind::time},  {u"months", UnitKind::time}, {u"Jahr", UnitKind::time},
    {u"Jahre", UnitKind::time},  {u"year", UnitKind::time},   {u"years", UnitKind::time},  {u"Stück", UnitKind::pieces},
    {u"Stk", UnitKind::pieces},  {u"pcs", UnitKind::pieces},  {u"pc", UnitKind::pieces},   {u"Wh", UnitKind::energy},
    {u"kWh", UnitKind::energy},  {u"MB", UnitKind::data},     {u"GB", UnitKind::data},     {u"TB", UnitKind::data},
};

constexpr QLatin1String keywordTable[] = {
    QLatin1String("into"), QLatin1String("in"), QLatin1String("to"), QLatin1String("nach"),
};

constexpr ArithmeticWord arithmeticTable[] = {
    {QLatin1String("plus"), WordMeaning::sign, QLatin1String("+")},
    {QLatin1String("minus"), WordMeaning::sign, QLatin1String("-")},
    {QLatin1String("mal"), WordMeaning::sign, QLatin1String("*")},
    {QLatin1String("times"), WordMeaning::sign, QLatin1String("*")},
    {QLatin1String("durch"), WordMeaning::sign, QLatin1String("/")},
    {QLatin1String("prozent"), WordMeaning::percent, QLatin1String("%")},
    {QLatin1String("percent"), WordMeaning::percent, QLatin1String("%")},
    {QLatin1String("pct"), WordMeaning::percent, QLatin1String("%")},
    {QLatin1String("wurzel"), WordMeaning::unknownOperation, {}},
    {QLatin1String("root"), WordMeaning::unknownOperation, {}},
    {QLatin1String("hoch"), WordMeaning::unknownOperation, {}},
};

constexpr Magnitude magnitudeTable[] = {
    {u"k", 1e3, true},          {u"K", 1e3, true},         {u"M", 1e6, true},          {u"Tsd", 1e3, false},
    {u"Tausend", 1e3, false},   {u"thousand", 1e3, false}, {u"thousands", 1e3, false}, {u"grand", 1e3, false},
    {u"Hundert", 1e2, false},   {u"hundred", 1e2, false},  {u"Mio", 1e6, false},       {u"Million", 1e6, false},
    {u"Millionen", 1e6, false}, {u"millions", 1e6, false}, {u"mil", 1e6, false},       {u"mill", 1e6, false},
    {u"Mrd", 1e9, false},       {u"Milliarde", 1e9, false}, {u"Milliarden", 1e9, false}, {u"billion", 1e9, false},
    {u"billions", 1e9, false},  {u"bn", 1e9, false},       {u"Dutzend", 12, false},    {u"dozen", 12, false},
    {u"half", 0.5, false},      {u"halbe", 0.5, false},    {u"halben", 0.5, false},    {u"Hälfte", 0.5, false},
    {u"Drittel", 1.0 / 3, false}, {u"third", 1.0 / 3, false}, {u"Viertel", 0.25, false}, {u"quarter", 0.25, false},
    {u"twice", 2, false},       {u"doppelt", 2, false},    {u"double", 2, false},      {u"triple", 3, false},
    {u"dreifach", 3, false},
};

// Names are case-sensitive: each in lower and in upper case.
constexpr QStringView functionTable[] = {
    u"sqrt", u"SQRT", u"asin", u"ASIN", u"acos", u"ACOS", u"atan", u"ATAN", u"sin",   u"SIN",
    u"cos",  u"COS",  u"tan",  u"TAN",  u"ln",   u"LN",   u"log",  u"LOG",  u"abs",   u"ABS",
    u"floor", u"FLOOR", u"ceil", u"CEIL", u"round", u"ROUND", u"pow", u"POW",
};

constexpr QStringView constantTable[] = {u"pi", u"PI", u"π", u"e", u"E"};

bool sameIgnoringCase(QStringView a, QStringView b)
{
    return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// The ASCII characters a table's entries may start with, both cases, and
// the lengths they span: most words of a row fail these and need no compare
// at all. Taken from the table itself, so a new entry is never cut off.
struct FirstLetters {
    quint64 bits[2] = {0, 0};
    bool beyondAscii = false;
    qsizetype shortest = std::numeric_limits<qsizetype>::max();
    qsizetype longest = 0;
    void add(QStringView entry)
    {
        shortest = std::min(shortest, entry.size());
        longest = std::max(longest, entry.size());
        const char16_t u = entry.front().unicode();
        if (u >= 0x80) {
            beyondAscii = true;
            return;
        }
        bits[u >> 6] |= quint64(1) << (u & 63);
        if ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') {
            const char16_t other = u ^ 0x20;
            bits[other >> 6] |= quint64(1) << (other & 63);
        }
    }
    bool mayStart(QStringView word) const
    {
        if (word.size() < shortest || word.size() > longest)
            return false;
        const char16_t u = word.front().unicode();
        if (u >= 0x80)
            return beyondAscii;
        return bits[u >> 6] & (quint64(1) << (u & 63));
    }
};

template <typename Table, typename Text>
FirstLetters firstLettersOf(const Table& table, Text text)
{
    FirstLetters letters;
    for (const auto& entry : table)
        letters.add(QStringView(text(entry)));
    return letters;
}

} // namespace

std::span<const Currency> currencies() { return currencyTable; }

const Currency* currency(QStringView code)
{
    for (const Currency& entry : currencyTable) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

QStringView shownMark(QStringView code)
{
    const Currency* found = currency(code);
    return found ? found->shown : code;
}

std::span<const CurrencySpelling> currencySigns() { return signTable; }
std::span<const CurrencySpelling> currencyWords() { return wordTable; }

bool isCurrencySignCharacter(char32_t c)
{
    if (c == '$')
        return true;
    if (c < 0x80)
        return c == 'U' || c == 'C' || c == 'A' || c == 'R';
    for (const CurrencySpelling& sign : signTable) {
        if (sign.text.front().unicode() == c)
            return true;
    }
    return false;
}

bool isSignSymbol(char32_t c)
{
    if (c < 0x80)
        return c == '$';
    for (const CurrencySpelling& sign : signTable) {
        if (sign.text.front().unicode() == c)
            return true;
    }
    return false;
}

const char* asciiSignSymbols() { return "$"; }

QStringView currencySignAt(QStringView text, qsizetype i, qsizetype* length)
{
    if (i < 0 || i >= text.size())
        return {};
    const QChar first = text[i];
    if (first.unicode() < 0x80 && first != QLatin1Char('$') && first != QLatin1Char('U') && first != QLatin1Char('C')
        && first != QLatin1Char('A') && first != QLatin1Char('R'))
        return {};
    for (const CurrencySpelling& sign : signTable) {
        if (sign.text.front() == first && text.mid(i).startsWith(sign.text)) {
            *length = sign.text.size();
            return sign.code;
        }
    }
    return {};
}

QStringView currencyOfWord(QStringView word)
{
    static const FirstLetters first = firstLettersOf(wordTable, [](const CurrencySpelling& e) { return e.text; });
    if (!first.mayStart(word))
        return {};
    for (const CurrencySpelling& entry : wordTable) {
        if (entry.kind == K::letteredMark ? entry.text == word : sameIgnoringCase(entry.text, word))
            return entry.code;
    }
    return {};
}

MarkPlace letteredMarkPlace(QStringView word)
{
    for (const CurrencySpelling& entry : wordTable) {
        if (entry.kind == K::letteredMark && entry.text == word)
            return entry.place;
    }
    return P::either;
}

std::span<const Unit> units() { return unitTable; }

const Unit* unitOf(QStringView word)
{
    static const FirstLetters first = firstLettersOf(unitTable, [](const Unit& e) { return e.text; });
    if (!first.mayStart(word))
        return nullptr;
    for (const Unit& entry : unitTable) {
        // Short units as written (m is metres, M a million); words in any case.
        if (entry.text.size() <= 3 ? entry.text == word : sameIgnoringCase(entry.text, word))
            return &entry;
    }
    return nullptr;
}

std::span<const QLatin1String> conversionKeywords() { return keywordTable; }

bool isConversionKeyword(QStringView word)
{
    static const FirstLetters first = firstLettersOf(keywordTable, [](QLatin1String e) { return QString(e); });
    if (!first.mayStart(word))
        return false;
    for (QLatin1String keyword : keywordTable) {
        if (word.size() == keyword.size() && word.compare(keyword, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

std::span<const ArithmeticWord> arithmeticWords() { return arithmeticTable; }

const ArithmeticWord* arithmeticWordOf(QStringView word)
{
    static const FirstLetters first
        = firstLettersOf(arithmeticTable, [](const ArithmeticWord& e) { return QString(e.word); });
    if (!first.mayStart(word))
        return nullptr;
    for (const ArithmeticWord& entry : arithmeticTable) {
        if (word.size() == entry.word.size() && word.compare(entry.word, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

std::span<const Magnitude> magnitudes() { return magnitudeTable; }

const Magnitude* magnitudeOf(QStringView word)
{
    static const FirstLetters first = firstLettersOf(magnitudeTable, [](const Magnitude& e) { return e.word; });
    if (!first.mayStart(word))
        return nullptr;
    for (const Magnitude& entry : magnitudeTable) {
        if (entry.exactCase ? entry.word == word : sameIgnoringCase(entry.word, word))
            return &entry;
    }
    return nullptr;
}

std::span<const QStringView> functionNames() { return functionTable; }

bool isFunctionName(QStringView word)
{
    static const FirstLetters first = firstLettersOf(functionTable, [](QStringView e) { return e; });
    if (!first.mayStart(word))
        return false;
    for (QStringView name : functionTable) {
        if (name == word)
            return true;
    }
    return false;
}

std::span<const QStringView> constantNames() { return constantTable; }

bool isConstantName(QStringView word)
{
    for (QStringView name : constantTable) {
        if (name == word)
            return true;
    }
    return false;
}

// Any word of the catalogue that may stand glued after an amount.
bool readsAfterAmount(QStringView word)
{
    return unitOf(word) || isCurrencyWord(word) || magnitudeOf(word) || isConversionKeyword(word)
        || arithmeticWordOf(word) || isConstantName(word) || isFunctionName(word);
}

} // namespace EngineCatalogue
