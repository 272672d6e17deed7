#pragma once

// The words and signs a row is read with, in one place: currencies (signs,
// codes, names, lettered marks), units and the kind they measure, conversion
// keywords, words that carry arithmetic, magnitude and quantity words,
// function names and constants. The engine, the canvas, print and the
// settings all read them here; no other file of the program spells a
// currency sign.
//
// Queries (all case rules are the catalogue's own):
//   currencies()                 every currency, in the settings' order
//   currency(code)               one currency by its code ("EUR"), or null
//   shownMark(code)              the mark drawn beside a value in it (the
//                                euro sign, "CHF"; the code when it has none)
//   currencySignAt(text, i, &n)  a currency sign ("$", "C$") at i:
//                                its code and length; empty when none
//   isCurrencySignCharacter(c)   c can start a currency sign (C of C$ too)
//   isSignSymbol(c)              c is no letter and starts a sign
//   currencyOfWord(word)         the code a whole word names: a code (usd),
//                                a name (Pfund, dollars) or a lettered mark
//                                (kr, R, Kč); empty when none
//   letteredMarkPlace(word)      where a lettered mark may stand next to an
//                                amount (R before it; kr, Kč, zł, Ft after)
//   isCurrencyWord(word)         currencyOfWord is not empty
//   isLetteredMark(word)         kr, CHF, R ... as written
//   longestCurrencyWord()        the length of the longest of those words
//   unitOf(word)                 a unit (kg, Liter, feet, m²), its kind and
//                                its symbol (Liter and l are one unit)
//   unitsConvert(from, to)       what one `from` is in `to`s (1000 for kg
//                                in g), or none: another kind, no one size
//   unitWordEnd(text, i)         where a unit word starting at i ends,
//                                its power sign taken in (m², cm³)
//   isConversionKeyword(word)    in, into, to, nach
//   conversionArrowAt(text, i)   the length of an arrow (->, =>, →) at i
//   mayStartConversion(c)        c can start a keyword or an arrow
//   arithmeticWordOf(word)       plus, minus, mal, durch, prozent ...
//   magnitudeOf(word)            Tausend, Mio, dozen, twice, Hälfte ...,
//                                the factor it stands for and its kind
//   magnitudeOfCurrencyWord(w)   a magnitude glued to a currency: TEUR,
//                                MEUR, the T of T€
//   isNumberWord(word)           zwei, fünf, ten ...: a number as a word
//   isPriceWord(word)            per, pro, je and the articles that say
//                                the same after a price (das Kilo, a pound)
//   centOf(word)                 Cent, ct, Rappen, ¢ ...: a hundredth, and
//                                of which currency (none: the row's)
//   isRateWord(word)             reduziert, red, ermäßigte ...: beside a
//                                tax rate's name it names another rate
//   operatorSignOf(c)            an operator sign or dash as typed (+, –,
//                                ×, x, :), what the parser reads for it
//                                and where it is one
//   operatorSignAt(text, i)      the sign at i where it is an operator
//   isMinusSign(c)               -, −, – or —
//   isFunctionName(word)         sqrt, SQRT, pow, ... as written
//   isConstantName(word)         pi, PI, e, E, π
//   constantNameAt(text, i)      the length of a constant's name at i,
//   constantValue(name)          and its value
//   conversionStarts(), constantStarts(), functionStarts()
//                                the characters such entries start with,
//                                for scans that test every character
// The currency a row's result is in is read by the engine, with this
// catalogue: CalculatorEngine::resultCurrencyCode(text).

#include <QString>
#include <QStringView>
#include <optional>
#include <span>

namespace EngineCatalogue {

// Where a lettered mark may stand next to its amount.
enum class MarkPlace { before, after, either };

struct Currency {
    QStringView code;
    // Drawn beside a value in this currency.
    QStringView shown;
    // As the settings list it.
    QStringView englishName;
    // Offered in the settings' exchange-rate list.
    bool offeredForRates;
};

enum class SpellingKind { sign, code, name, letteredMark };

// One way a currency is written.
struct CurrencySpelling {
    QStringView text;
    QStringView code;
    SpellingKind kind;
    MarkPlace place = MarkPlace::either;
};

// Months and years are a kind of their own: no month is a fixed number of
// days.
enum class UnitKind { mass, volume, length, area, time, pieces, calendar, energy, data };

struct Unit {
    QStringView text;
    UnitKind kind;
    // The unit it names, as its symbol: "Liter", "l" and "L" are one unit.
    QStringView symbol;
    // Its size in the kind's first unit (g, ml, m, m², s, piece, month, Wh);
    // 0 where no one size holds (a US or an imperial gallon, a cup, a
    // gigabyte of 1000 or 1024 megabytes).
    double size;
};

enum class WordMeaning { sign, percent, unknownOperation };

struct ArithmeticWord {
    QLatin1String word; // lower case
    WordMeaning meaning;
    QLatin1String sign; // the sign a sign or percent word stands for
};

// Where a typed sign is an operator: always; not inside a word (a hyphen
// or dash between letters joins them: E-Bike, Wi–Fi); where no letter
// touches it (4 x 5, not Netflix); after no word (10:4, not Summe: 100).
enum class SignPlace { always, notInWord, noLetterTouching, notAfterWord };

struct OperatorSign {
    char32_t character;
    char reads; // the parser's sign: + - * / ^
    SignPlace place;
};

// A magnitude (Tausend, Mio) after a number; a quantity (dozen) names a
// row before one; a multiplier (twice, Hälfte) before a number is its factor.
enum class MagnitudeKind { magnitude, quantity, multiplier };

struct Magnitude {
    QStringView word;
    double factor;
    MagnitudeKind kind;
    // Single letters (k, K, M) only as written; words in any case.
    bool exactCase = false;
};

// The characters a kind of entry may start with, both cases of ASCII
// letters; anything beyond ASCII counts when some entry starts so. Taken
// from the tables once and tested inline, so a scan over a row costs a
// bit test per character.
struct CharacterSet {
    quint64 bits[2] = {0, 0};
    bool beyondAscii = false;
    bool has(char32_t c) const { return c < 0x80 ? (bits[c >> 6] >> (c & 63)) & 1 : beyondAscii; }
};

std::span<const Currency> currencies();
const Currency* currency(QStringView code);
QStringView shownMark(QStringView code);

// Currency signs, longest of a kind first (US$ before $).
std::span<const CurrencySpelling> currencySigns();
// Codes, names and lettered marks.
std::span<const CurrencySpelling> currencyWords();
QStringView currencySignAt(QStringView text, qsizetype i, qsizetype* length);
bool isCurrencySignCharacter(char32_t c);
// A character that is no letter and starts a currency sign.
bool isSignSymbol(char32_t c);
// The ASCII characters among them, for quick checks of a whole text.
const char* asciiSignSymbols();
QStringView currencyOfWord(QStringView word);
// Where a lettered mark may stand; `either` for codes and names; only
// meaningful when currencyOfWord(word) is not empty.
MarkPlace letteredMarkPlace(QStringView word);
inline bool isCurrencyWord(QStringView word) { return !currencyOfWord(word).isEmpty(); }
// The word is a lettered mark, as written (kr, CHF).
bool isLetteredMark(QStringView word);
// The length of the longest code, name or lettered mark.
qsizetype longestCurrencyWord();

std::span<const Unit> units();
const Unit* unitOf(QStringView word);
std::optional<double> unitsConvert(const Unit& from, const Unit& to);
// The end of the word at `start` with a power sign glued to it when that
// makes a unit (m²); else the end of the word.
qsizetype unitWordEnd(QStringView text, qsizetype start);
// A power sign a unit may carry (², ³).
inline bool isUnitPower(char32_t c) { return c == 0x00B2 || c == 0x00B3; }

std::span<const QLatin1String> conversionKeywords();
bool isConversionKeyword(QStringView word);
// Arrows that convert like a keyword, with no blanks needed around them.
std::span<const QStringView> conversionArrows();
qsizetype conversionArrowAt(QStringView text, qsizetype i);
bool mayStartConversion(char32_t c);
const CharacterSet& conversionStarts();

std::span<const ArithmeticWord> arithmeticWords();
const ArithmeticWord* arithmeticWordOf(QStringView word);

std::span<const Magnitude> magnitudes();
const Magnitude* magnitudeOf(QStringView word);
// A magnitude glued to a currency's code or name (TEUR, MEUR, kUSD), or,
// with `signFollows`, one glued before a currency sign (T€, T$, k€).
const Magnitude* magnitudeOfCurrencyWord(QStringView word, bool signFollows);
// The word starts as such a magnitude does: only then is it worth asking.
inline bool mayCountCurrency(QStringView word)
{
    if (word.isEmpty())
        return false;
    const char16_t u = word.front().unicode();
    return u == u'T' || u == u'k' || u == u'K' || u == u'M' || u == u'B';
}

// A number written as a word (zwei, fünf, ten), in any case.
std::span<const QStringView> numberWords();
bool isNumberWord(QStringView word);

// A word that ties a price to the unit after it: per, pro, je, and the
// articles that say the same there (24,90 € das Kilo, $12 a pound).
bool isPriceWord(QStringView word);

// A hundredth of a currency: of `code`, or of the row's currency when it
// is empty (a cent is a hundredth of a euro and of a dollar alike).
struct Cent {
    QStringView word;
    QStringView code;
};
std::span<const Cent> cents();
const Cent* centOf(QStringView word);
// A word that, beside a tax rate's name, makes it another rate (MwSt
// red., ermäßigte MwSt).
bool isRateWord(QStringView word);

// The cent sign (¢).
inline bool isCentSign(char32_t c) { return c == 0x00A2; }

// Every sign a row may type for an operator, the dashes among them.
std::span<const OperatorSign> operatorSigns();
const OperatorSign* operatorSignOf(char32_t c);
// The sign at `i` where it stands as an operator, not as part of a word: a
// hyphen or dash between letters (E-Bike, Wi–Fi), an x touching a letter
// (Tax, X-Box), a colon right after a word (Summe: 100) are none.
const OperatorSign* operatorSignAt(QStringView text, qsizetype i);
inline bool isMinusSign(char32_t c)
{
    if (c == '-')
        return true;
    const OperatorSign* sign = c < 0x80 ? nullptr : operatorSignOf(c);
    return sign && sign->reads == '-';
}
// An en or em dash: a minus where a hyphen would be one.
inline bool isDash(char32_t c)
{
    return c >= 0x80 && isMinusSign(c) && operatorSignOf(c)->place == SignPlace::notInWord;
}

std::span<const QStringView> functionNames();
bool isFunctionName(QStringView word);
std::span<const QStringView> constantNames();
bool isConstantName(QStringView word);
// The length of a constant's name at `i` (longest first), else 0; its value.
qsizetype constantNameAt(QStringView text, qsizetype i);
double constantValue(QStringView name);
// c can start a constant's name.
bool mayStartConstant(char32_t c);
const CharacterSet& constantStarts();
const CharacterSet& functionStarts();

// A word that may stand glued after an amount and leave it an amount (5kg,
// 100EUR, 45k, 2pi): a unit, currency, magnitude, keyword, word of
// arithmetic, constant or function.
bool readsAfterAmount(QStringView word);

} // namespace EngineCatalogue
