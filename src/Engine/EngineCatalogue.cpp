// The catalogue's data, and the look-ups over it. Only data and plain
// comparisons live here; reading a row is the engine's business.

#include "Engine/EngineCatalogue.h"
#include "Engine/EngineWords.h"
#include "Engine/ExpressionText.h"

#include <QVarLengthArray>

#include <array>
#include <limits>

namespace EngineCatalogue {

namespace {

constexpr bool isAsciiLetter(char32_t c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

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
    {u"rubles", u"RUB", K::name},    {u"bucks", u"USD", K::name},
    // Lettered marks.
    {u"CHF", u"CHF", K::letteredMark, P::either}, {u"kr", u"SEK", K::letteredMark, P::either},
    {u"zł", u"PLN", K::letteredMark, P::after},   {u"Kč", u"CZK", K::letteredMark, P::after},
    {u"Ft", u"HUF", K::letteredMark, P::after},   {u"R", u"ZAR", K::letteredMark, P::before},
};

constexpr UnitKind mass = UnitKind::mass, volume = UnitKind::volume, length = UnitKind::length,
                   area = UnitKind::area, time = UnitKind::time, pieces = UnitKind::pieces,
                   calendar = UnitKind::calendar, energy = UnitKind::energy, data = UnitKind::data;

// Symbols and the words people spell them with, German and English,
// singular and plural. Words of up to three letters match as written.
constexpr Unit unitTable[] = {
    {u"mg", mass, u"mg", 1e-3}, {u"g", mass, u"g", 1}, {u"Gramm", mass, u"g", 1}, {u"gram", mass, u"g", 1},
    {u"grams", mass, u"g", 1}, {u"kg", mass, u"kg", 1e3}, {u"Kilo", mass, u"kg", 1e3}, {u"Kilos", mass, u"kg", 1e3},
    {u"Kilogramm", mass, u"kg", 1e3}, {u"kilogram", mass, u"kg", 1e3}, {u"kilograms", mass, u"kg", 1e3},
    {u"t", mass, u"t", 1e6}, {u"Tonne", mass, u"t", 1e6}, {u"Tonnen", mass, u"t", 1e6},
    {u"lb", mass, u"lb", 453.59237}, {u"lbs", mass, u"lb", 453.59237}, {u"oz", mass, u"oz", 28.349523125},
    {u"ounce", mass, u"oz", 28.349523125}, {u"ounces", mass, u"oz", 28.349523125},
    {u"ml", volume, u"ml", 1}, {u"Milliliter", volume, u"ml", 1}, {u"cl", volume, u"cl", 10},
    {u"dl", volume, u"dl", 100}, {u"l", volume, u"l", 1e3}, {u"L", volume, u"l", 1e3}, {u"Liter", volume, u"l", 1e3},
    {u"litre", volume, u"l", 1e3}, {u"liters", volume, u"l", 1e3}, {u"litres", volume, u"l", 1e3},
    {u"gal", volume, u"gal", 0}, {u"gallon", volume, u"gal", 0}, {u"gallons", volume, u"gal", 0},
    {u"qt", volume, u"qt", 0}, {u"quart", volume, u"qt", 0}, {u"quarts", volume, u"qt", 0},
    {u"pint", volume, u"pint", 0}, {u"pints", volume, u"pint", 0}, {u"cup", volume, u"cup", 0},
    {u"cups", volume, u"cup", 0}, {u"Tasse", volume, u"cup", 0}, {u"Tassen", volume, u"cup", 0},
    {u"tbsp", volume, u"tbsp", 0}, {u"tablespoon", volume, u"tbsp", 0}, {u"tablespoons", volume, u"tbsp", 0},
    {u"tsp", volume, u"tsp", 0}, {u"teaspoon", volume, u"tsp", 0}, {u"teaspoons", volume, u"tsp", 0},
    {u"m³", volume, u"m³", 1e6}, {u"cbm", volume, u"m³", 1e6}, {u"cm³", volume, u"cm³", 1},
    {u"mm", length, u"mm", 1e-3}, {u"Millimeter", length, u"mm", 1e-3}, {u"cm", length, u"cm", 1e-2},
    {u"Zentimeter", length, u"cm", 1e-2}, {u"centimeter", length, u"cm", 1e-2}, {u"centimeters", length, u"cm", 1e-2},
    {u"dm", length, u"dm", 0.1}, {u"m", length, u"m", 1}, {u"Meter", length, u"m", 1}, {u"metre", length, u"m", 1},
    {u"meters", length, u"m", 1}, {u"metres", length, u"m", 1}, {u"km", length, u"km", 1e3},
    {u"Kilometer", length, u"km", 1e3}, {u"kilometers", length, u"km", 1e3}, {u"ft", length, u"ft", 0.3048},
    {u"foot", length, u"ft", 0.3048}, {u"feet", length, u"ft", 0.3048}, {u"inch", length, u"inch", 0.0254},
    {u"inches", length, u"inch", 0.0254}, {u"mi", length, u"mi", 1609.344}, {u"mile", length, u"mi", 1609.344},
    {u"miles", length, u"mi", 1609.344}, {u"Meile", length, u"mi", 1609.344}, {u"Meilen", length, u"mi", 1609.344},
    {u"yd", length, u"yd", 0.9144}, {u"yard", length, u"yd", 0.9144}, {u"yards", length, u"yd", 0.9144},
    {u"qm", area, u"m²", 1}, {u"m²", area, u"m²", 1}, {u"sqm", area, u"m²", 1}, {u"cm²", area, u"cm²", 1e-4},
    {u"km²", area, u"km²", 1e6}, {u"ha", area, u"ha", 1e4},
    {u"s", time, u"s", 1}, {u"sec", time, u"s", 1}, {u"Sekunde", time, u"s", 1}, {u"Sekunden", time, u"s", 1},
    {u"seconds", time, u"s", 1}, {u"min", time, u"min", 60}, {u"mins", time, u"min", 60},
    {u"Minute", time, u"min", 60}, {u"Minuten", time, u"min", 60}, {u"minutes", time, u"min", 60},
    {u"h", time, u"h", 3600}, {u"Std", time, u"h", 3600}, {u"Stunde", time, u"h", 3600},
    {u"Stunden", time, u"h", 3600}, {u"hr", time, u"h", 3600}, {u"hrs", time, u"h", 3600},
    {u"hour", time, u"h", 3600}, {u"hours", time, u"h", 3600}, {u"Tag", time, u"d", 86400},
    {u"Tage", time, u"d", 86400}, {u"day", time, u"d", 86400}, {u"days", time, u"d", 86400},
    {u"wk", time, u"wk", 604800}, {u"wks", time, u"wk", 604800}, {u"Woche", time, u"wk", 604800},
    {u"Wochen", time, u"wk", 604800}, {u"week", time, u"wk", 604800}, {u"weeks", time, u"wk", 604800},
    {u"mo", calendar, u"mo", 1}, {u"Monat", calendar, u"mo", 1}, {u"Monate", calendar, u"mo", 1},
    {u"month", calendar, u"mo", 1}, {u"months", calendar, u"mo", 1}, {u"yr", calendar, u"yr", 12},
    {u"yrs", calendar, u"yr", 12}, {u"Jahr", calendar, u"yr", 12}, {u"Jahre", calendar, u"yr", 12},
    {u"year", calendar, u"yr", 12}, {u"years", calendar, u"yr", 12},
    {u"Stück", pieces, u"Stück", 1}, {u"Stk", pieces, u"Stück", 1}, {u"pcs", pieces, u"Stück", 1},
    {u"pc", pieces, u"Stück", 1},
    {u"Wh", energy, u"Wh", 1}, {u"kWh", energy, u"kWh", 1e3},
    {u"MB", data, u"MB", 0}, {u"GB", data, u"GB", 0}, {u"TB", data, u"TB", 0},
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
    {QLatin1String("proz"), WordMeaning::percent, QLatin1String("%")},
    {QLatin1String("vh"), WordMeaning::percent, QLatin1String("%")},
    // A per mille would apply a tenth of a percentage: no sign reads it.
    {QLatin1String("promille"), WordMeaning::unknownOperation, {}},
    {QLatin1String("permille"), WordMeaning::unknownOperation, {}},
    {QLatin1String("wurzel"), WordMeaning::unknownOperation, {}},
    {QLatin1String("root"), WordMeaning::unknownOperation, {}},
    {QLatin1String("hoch"), WordMeaning::unknownOperation, {}},
};

using MK = MagnitudeKind;

constexpr Magnitude magnitudeTable[] = {
    {u"k", 1e3, MK::magnitude, true}, {u"K", 1e3, MK::magnitude, true}, {u"M", 1e6, MK::magnitude, true},
    {u"MM", 1e6, MK::magnitude, true}, {u"B", 1e9, MK::magnitude, true},
    {u"Tsd", 1e3, MK::magnitude},     {u"Tausend", 1e3, MK::magnitude},  {u"thousand", 1e3, MK::magnitude},
    {u"thousands", 1e3, MK::magnitude}, {u"grand", 1e3, MK::magnitude},  {u"Hundert", 1e2, MK::magnitude},
    {u"hundred", 1e2, MK::magnitude}, {u"Mio", 1e6, MK::magnitude},      {u"Million", 1e6, MK::magnitude},
    {u"Millionen", 1e6, MK::magnitude}, {u"millions", 1e6, MK::magnitude}, {u"mil", 1e6, MK::magnitude},
    {u"mill", 1e6, MK::magnitude},    {u"Mrd", 1e9, MK::magnitude},      {u"Milliarde", 1e9, MK::magnitude},
    {u"Milliarden", 1e9, MK::magnitude}, {u"billion", 1e9, MK::magnitude}, {u"billions", 1e9, MK::magnitude},
    {u"bn", 1e9, MK::magnitude},      {u"mn", 1e6, MK::magnitude},       {u"trillion", 1e12, MK::magnitude},
    {u"trillions", 1e12, MK::magnitude},
    // German counts in long scale: a Billion is a million millions.
    {u"Billionen", 1e12, MK::magnitude}, {u"Billiarde", 1e15, MK::magnitude}, {u"Billiarden", 1e15, MK::magnitude},
    {u"Trillionen", 1e18, MK::magnitude}, {u"lakh", 1e5, MK::magnitude},  {u"lakhs", 1e5, MK::magnitude},
    {u"crore", 1e7, MK::magnitude},   {u"crores", 1e7, MK::magnitude},
    {u"Dutzend", 12, MK::quantity},   {u"dozen", 12, MK::quantity},     {u"Dutzende", 12, MK::quantity},
    {u"dozens", 12, MK::quantity},
    // "halb 5" may be a time (half past four): next to a number it refuses
    // the row. A quantity names a row before its number (Viertel 4,50 is a
    // glass of wine, eine Halbe a beer).
    {u"half", 0.5, MK::multiplier},   {u"halb", 0.5, MK::magnitude},     {u"halbe", 0.5, MK::quantity},
    {u"halben", 0.5, MK::quantity},   {u"Hälfte", 0.5, MK::multiplier},  {u"Drittel", 1.0 / 3, MK::quantity},
    {u"third", 1.0 / 3, MK::quantity}, {u"Viertel", 0.25, MK::quantity}, {u"quarter", 0.25, MK::quantity},
    {u"Hälften", 0.5, MK::quantity},  {u"halves", 0.5, MK::quantity},    {u"thirds", 1.0 / 3, MK::quantity},
    {u"quarters", 0.25, MK::quantity},
    // The coins of a dollar count it as the quarter does; lower case only:
    // Nickel is a metal.
    {u"dime", 0.1, MK::quantity},     {u"dimes", 0.1, MK::quantity},     {u"nickel", 0.05, MK::quantity, true},
    {u"nickels", 0.05, MK::quantity, true},
    // "einmal" and "once" are left out: their factor is the number itself,
    // and as entries they would refuse a label (Einmal Pizza 8,50).
    {u"twice", 2, MK::multiplier},    {u"doppelt", 2, MK::multiplier},   {u"double", 2, MK::multiplier},
    {u"zweimal", 2, MK::multiplier},  {u"zweifach", 2, MK::multiplier},  {u"thrice", 3, MK::multiplier},
    {u"triple", 3, MK::multiplier},   {u"dreimal", 3, MK::multiplier},   {u"dreifach", 3, MK::multiplier},
    {u"quadruple", 4, MK::multiplier}, {u"viermal", 4, MK::multiplier},  {u"vierfach", 4, MK::multiplier},
    {u"quintuple", 5, MK::multiplier}, {u"fünfmal", 5, MK::multiplier},  {u"fünffach", 5, MK::multiplier},
    {u"sechsmal", 6, MK::multiplier}, {u"sechsfach", 6, MK::multiplier}, {u"siebenmal", 7, MK::multiplier},
    {u"siebenfach", 7, MK::multiplier}, {u"achtmal", 8, MK::multiplier}, {u"achtfach", 8, MK::multiplier},
    {u"neunmal", 9, MK::multiplier},  {u"neunfach", 9, MK::multiplier},  {u"zehnmal", 10, MK::multiplier},
    {u"zehnfach", 10, MK::multiplier},
};

// Glued to a currency they count it in thousands or millions (450 TEUR,
// 85 T€, 3,2 MEUR); only there, as written: T alone is no magnitude.
constexpr Magnitude currencyMagnitudeTable[] = {
    {u"T", 1e3, MK::magnitude, true},   {u"Tsd", 1e3, MK::magnitude, true}, {u"k", 1e3, MK::magnitude, true},
    {u"K", 1e3, MK::magnitude, true},   {u"M", 1e6, MK::magnitude, true},   {u"Mio", 1e6, MK::magnitude, true},
    {u"MM", 1e6, MK::magnitude, true},  {u"Mrd", 1e9, MK::magnitude, true}, {u"B", 1e9, MK::magnitude, true},
};

// Numbers written as words, any case. Nothing reads them as their value:
// a row that computes with one is refused (fünf + 3, ten bucks + 5).
constexpr QStringView numberWordTable[] = {
    u"eins", u"zwei", u"zwo", u"drei", u"vier", u"fünf", u"sechs", u"sieben", u"acht", u"neun", u"zehn", u"elf",
    u"zwölf", u"dreizehn", u"vierzehn", u"fünfzehn", u"sechzehn", u"siebzehn", u"achtzehn", u"neunzehn",
    u"zwanzig", u"dreißig", u"vierzig", u"fünfzig", u"one", u"two", u"three", u"four", u"five", u"six", u"seven",
    u"eight", u"nine", u"ten", u"eleven", u"twelve", u"thirteen", u"fourteen", u"fifteen", u"sixteen",
    u"seventeen", u"eighteen", u"nineteen", u"twenty", u"thirty", u"forty", u"fifty",
};

// Lower case; the articles only after a price (24,90 € das Kilo).
constexpr QLatin1String priceWordTable[] = {
    QLatin1String("per"), QLatin1String("pro"), QLatin1String("je"),  QLatin1String("a"),
    QLatin1String("an"),  QLatin1String("the"), QLatin1String("das"), QLatin1String("der"),
    QLatin1String("die"), QLatin1String("each"),
};

// A cent of the euro and of the dollar alike; a Rappen is the franc's, a
// penny the pound's.
constexpr Cent centTable[] = {
    {u"Cent", u""},    {u"Cents", u""},    {u"ct", u""},     {u"cts", u""},      {u"Pfennig", u""},
    {u"Pfennige", u""}, {u"Rappen", u"CHF"}, {u"penny", u"GBP"}, {u"pence", u"GBP"},
    {u"pennies", u"GBP"},
};

// Any case; the reduced rate as people abbreviate and inflect it.
constexpr QStringView rateWordTable[] = {
    u"reduziert", u"reduzierte", u"reduzierten", u"reduzierter", u"red", u"ermäßigt", u"ermäßigte",
    u"ermäßigten", u"ermäßigter", u"ermässigt", u"ermässigte", u"erm", u"reduced",
};

using SP = SignPlace;

// The signs of arithmetic as typed. The symbols beyond ASCII read as the
// parser's sign wherever they stand; a dash is a minus where a hyphen is.
constexpr OperatorSign operatorTable[] = {
    {U'+', '+', SP::always},
    {U'-', '-', SP::notInWord},
    {U'\u2212', '-', SP::always},    // minus sign
    {U'\u2013', '-', SP::notInWord}, // en dash
    {U'\u2014', '-', SP::notInWord}, // em dash
    {U'*', '*', SP::always},
    {U'\u00D7', '*', SP::always},    // ×
    {U'\u00B7', '*', SP::always},    // ·
    {U'x', '*', SP::noLetterTouching},
    {U'X', '*', SP::noLetterTouching},
    {U'/', '/', SP::always},
    {U'\u00F7', '/', SP::always},    // ÷
    {U':', '/', SP::notAfterWord},
    {U'^', '^', SP::always},
};

// Arrows convert as the keywords do; a plain "=" too. Longest first.
constexpr QStringView arrowTable[] = {u"->", u"=>", u"\u2192", u"="};

// Names are case-sensitive: each in lower and in upper case.
constexpr QStringView functionTable[] = {
    u"sqrt", u"SQRT", u"asin", u"ASIN", u"acos", u"ACOS", u"atan", u"ATAN", u"sin",   u"SIN",
    u"cos",  u"COS",  u"tan",  u"TAN",  u"ln",   u"LN",   u"log",  u"LOG",  u"abs",   u"ABS",
    u"floor", u"FLOOR", u"ceil", u"CEIL", u"round", u"ROUND", u"pow", u"POW",
};

struct Constant {
    QStringView name;
    double value;
};

constexpr double piValue = 3.141592653589793;
constexpr double eValue = 2.718281828459045;
constexpr Constant constantValueTable[] = {
    {u"pi", piValue}, {u"PI", piValue}, {u"π", piValue}, {u"e", eValue}, {u"E", eValue},
};

constexpr auto constantTable = [] {
    std::array<QStringView, std::size(constantValueTable)> names{};
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = constantValueTable[i].name;
    return names;
}();

// As written; the lengths and first units are compared before the rest.
bool sameAsWritten(QStringView a, QStringView b)
{
    return a.size() == b.size() && (a.isEmpty() || (a.front() == b.front() && a == b));
}

// ASCII letters are compared here, a unit by a unit; at the first unit
// beyond ASCII the compare's own case rules take the whole word (one may
// fold to an ASCII letter).
template <typename Other>
bool sameIgnoringCase(QStringView a, Other b)
{
    if (a.size() != b.size())
        return false;
    auto fold = [](char16_t c) { return c >= 'A' && c <= 'Z' ? char16_t(c | 0x20) : c; };
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = QChar(b[i]).unicode();
        if (x == y)
            continue;
        if (x >= 0x80 || y >= 0x80)
            return a.compare(b, Qt::CaseInsensitive) == 0;
        if (fold(x) != fold(y))
            return false;
    }
    return true;
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
    bool mayStartCharacter(char32_t u) const
    {
        if (u >= 0x80)
            return beyondAscii;
        return bits[u >> 6] & (quint64(1) << (u & 63));
    }
    bool mayStart(QStringView word) const
    {
        if (word.size() < shortest || word.size() > longest)
            return false;
        return mayStartCharacter(word.front().unicode());
    }
};

// A table's entries by their first letter, folded to lower case: a word is
// compared only with the few entries that can match it. Words that start
// beyond ASCII go through the whole table, and entries that do are tried
// for every word, since their case rules are the compare's own. An entry
// matches only a word of its own length: the others are passed over
// without a compare.
template <typename Entry>
class ByFirstLetter {
public:
    template <typename Table, typename Text>
    ByFirstLetter(const Table& table, Text text)
    {
        for (const auto& entry : table) {
            // Kept whole while read: some tables give their text as a QString.
            const auto kept = text(entry);
            const QStringView written(kept);
            const Slot slot{&entry, written.size()};
            m_all.append(slot);
            const char16_t u = written.front().unicode();
            if (u >= 0x80)
                m_beyondAscii.append(slot);
            else
                m_lists[fold(u)].append(slot);
        }
    }
    template <typename Match>
    const Entry* find(QStringView word, Match match) const
    {
        if (word.isEmpty())
            return nullptr;
        const char16_t u = word.front().unicode();
        if (u >= 0x80)
            return findIn(m_all, word, match);
        if (const Entry* entry = findIn(m_lists[fold(u)], word, match))
            return entry;
        return findIn(m_beyondAscii, word, match);
    }

private:
    struct Slot {
        const Entry* entry;
        qsizetype size;
    };
    template <typename List, typename Match>
    static const Entry* findIn(const List& list, QStringView word, Match match)
    {
        for (const Slot& slot : list) {
            if (slot.size == word.size() && match(*slot.entry))
                return slot.entry;
        }
        return nullptr;
    }
    static char16_t fold(char16_t u) { return u >= 'A' && u <= 'Z' ? char16_t(u | 0x20) : u; }
    QVarLengthArray<Slot, 64> m_all;
    std::array<QVarLengthArray<Slot, 4>, 128> m_lists;
    QVarLengthArray<Slot, 4> m_beyondAscii;
};

template <typename Table, typename Text>
FirstLetters firstLettersOf(const Table& table, Text text)
{
    FirstLetters letters;
    for (const auto& entry : table)
        letters.add(QStringView(text(entry)));
    return letters;
}

CharacterSet characterSetOf(std::initializer_list<FirstLetters> letters)
{
    CharacterSet set;
    for (const FirstLetters& l : letters) {
        set.bits[0] |= l.bits[0];
        set.bits[1] |= l.bits[1];
        set.beyondAscii = set.beyondAscii || l.beyondAscii;
    }
    return set;
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

namespace {

// The first characters of the signs: ASCII ones in a bit set, others listed.
struct SignStarts {
    quint64 ascii[2] = {0, 0};
    quint64 symbols[2] = {0, 0}; // ASCII starts that are no letter ($)
    char asciiSymbols[8] = {};
    bool has(char32_t c) const { return c < 0x80 && (ascii[c >> 6] & (quint64(1) << (c & 63))); }
    bool isSymbol(char32_t c) const { return c < 0x80 && (symbols[c >> 6] & (quint64(1) << (c & 63))); }
};

const SignStarts& signStarts()
{
    static const SignStarts starts = [] {
        SignStarts s;
        int n = 0;
        for (const CurrencySpelling& sign : signTable) {
            const char16_t u = sign.text.front().unicode();
            if (u >= 0x80)
                continue;
            s.ascii[u >> 6] |= quint64(1) << (u & 63);
            const bool letter = (u | 0x20) >= 'a' && (u | 0x20) <= 'z';
            if (!letter && !s.isSymbol(u) && n + 1 < int(sizeof s.asciiSymbols)) {
                s.symbols[u >> 6] |= quint64(1) << (u & 63);
                s.asciiSymbols[n++] = char(u);
            }
        }
        return s;
    }();
    return starts;
}

bool startsSignBeyondAscii(char32_t c)
{
    for (const CurrencySpelling& sign : signTable) {
        if (sign.text.front().unicode() == c)
            return true;
    }
    return false;
}

} // namespace

bool isCurrencySignCharacter(char32_t c)
{
    return c < 0x80 ? signStarts().has(c) : startsSignBeyondAscii(c);
}

bool isSignSymbol(char32_t c)
{
    return c < 0x80 ? signStarts().isSymbol(c) : startsSignBeyondAscii(c);
}

const char* asciiSignSymbols() { return signStarts().asciiSymbols; }

QStringView currencySignAt(QStringView text, qsizetype i, qsizetype* length)
{
    if (i < 0 || i >= text.size())
        return {};
    const QChar first = text[i];
    if (first.unicode() < 0x80 && !signStarts().has(first.unicode()))
        return {};
    // The signs by the low byte of their first character, in table order.
    static const std::array<QVarLengthArray<const CurrencySpelling*, 2>, 256> byFirst = [] {
        std::array<QVarLengthArray<const CurrencySpelling*, 2>, 256> lists;
        for (const CurrencySpelling& sign : signTable)
            lists[sign.text.front().unicode() & 0xFF].append(&sign);
        return lists;
    }();
    for (const CurrencySpelling* sign : byFirst[first.unicode() & 0xFF]) {
        if (sign->text.front() == first && sameAsWritten(text.mid(i, sign->text.size()), sign->text)) {
            *length = sign->text.size();
            return sign->code;
        }
    }
    return {};
}

QStringView currencyOfWord(QStringView word)
{
    static const FirstLetters first = firstLettersOf(wordTable, [](const CurrencySpelling& e) { return e.text; });
    if (!first.mayStart(word))
        return {};
    static const ByFirstLetter<CurrencySpelling> entries(wordTable, [](const CurrencySpelling& e) { return e.text; });
    const CurrencySpelling* found = entries.find(word, [word](const CurrencySpelling& entry) {
        return entry.kind == K::letteredMark ? sameAsWritten(entry.text, word) : sameIgnoringCase(entry.text, word);
    });
    return found ? found->code : QStringView();
}

bool isLetteredMark(QStringView word)
{
    for (const CurrencySpelling& entry : wordTable) {
        if (entry.kind == K::letteredMark && entry.text == word)
            return true;
    }
    return false;
}

qsizetype longestCurrencyWord()
{
    static const qsizetype longest = firstLettersOf(wordTable, [](const CurrencySpelling& e) { return e.text; }).longest;
    return longest;
}

MarkPlace letteredMarkPlace(QStringView word)
{
    for (const CurrencySpelling& entry : wordTable) {
        if (entry.kind == K::letteredMark && sameAsWritten(entry.text, word))
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
    // Only the entries that start with the word's letter are compared.
    static const ByFirstLetter<Unit> entries(unitTable, [](const Unit& e) { return e.text; });
    // Short units as written (m is metres, M a million); words in any case.
    return entries.find(word, [word](const Unit& entry) {
        return entry.text.size() <= 3 ? sameAsWritten(entry.text, word) : sameIgnoringCase(entry.text, word);
    });
}

std::optional<double> unitsConvert(const Unit& from, const Unit& to)
{
    if (from.symbol == to.symbol)
        return 1.0;
    if (from.kind != to.kind || from.size <= 0 || to.size <= 0)
        return std::nullopt;
    return from.size / to.size;
}

qsizetype unitWordEnd(QStringView text, qsizetype start)
{
    qsizetype end = start;
    for (char16_t u; end < text.size() && ((u = text[end].unicode()) < 0x80 ? isAsciiLetter(u) : text[end].isLetter());)
        ++end;
    if (end > start && end < text.size() && isUnitPower(text[end].unicode()) && unitOf(text.mid(start, end + 1 - start)))
        return end + 1;
    return end;
}

std::span<const QLatin1String> conversionKeywords() { return keywordTable; }

std::span<const QStringView> conversionArrows() { return arrowTable; }

qsizetype conversionArrowAt(QStringView text, qsizetype i)
{
    if (i < 0 || i >= text.size())
        return 0;
    for (QStringView arrow : arrowTable) {
        if (text[i] == arrow.front() && text.mid(i, arrow.size()) == arrow)
            return arrow.size();
    }
    return 0;
}

const CharacterSet& conversionStarts()
{
    static const CharacterSet set
        = characterSetOf({firstLettersOf(keywordTable, [](QLatin1String e) { return QString(e); }),
                          firstLettersOf(arrowTable, [](QStringView e) { return e; })});
    return set;
}

bool mayStartConversion(char32_t c)
{
    return conversionStarts().has(c);
}

bool isConversionKeyword(QStringView word)
{
    static const FirstLetters first = firstLettersOf(keywordTable, [](QLatin1String e) { return QString(e); });
    if (!first.mayStart(word))
        return false;
    for (QLatin1String keyword : keywordTable) {
        if (sameIgnoringCase(word, keyword))
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
    static const ByFirstLetter<ArithmeticWord> entries(arithmeticTable, [](const ArithmeticWord& e) { return QString(e.word); });
    return entries.find(word, [word](const ArithmeticWord& entry) {
        return sameIgnoringCase(word, entry.word);
    });
}

std::span<const Magnitude> magnitudes() { return magnitudeTable; }

const Magnitude* magnitudeOf(QStringView word)
{
    static const FirstLetters first = firstLettersOf(magnitudeTable, [](const Magnitude& e) { return e.word; });
    if (!first.mayStart(word))
        return nullptr;
    static const ByFirstLetter<Magnitude> entries(magnitudeTable, [](const Magnitude& e) { return e.word; });
    return entries.find(word, [word](const Magnitude& entry) {
        return entry.exactCase ? sameAsWritten(entry.word, word) : sameIgnoringCase(entry.word, word);
    });
}

const Magnitude* magnitudeOfCurrencyWord(QStringView word, bool signFollows)
{
    if (!mayCountCurrency(word))
        return nullptr;
    // The prefix compared a unit by a unit: the entries are a few letters long.
    auto startsWithEntry = [word](QStringView entry) {
        for (qsizetype i = 0; i < entry.size(); ++i) {
            if (word[i] != entry[i])
                return false;
        }
        return true;
    };
    for (const Magnitude& entry : currencyMagnitudeTable) {
        if (entry.word.front() != word.front())
            continue;
        if (signFollows ? sameAsWritten(word, entry.word)
                        : word.size() >= entry.word.size() + 3 && startsWithEntry(entry.word)
                    && isCurrencyWord(word.mid(entry.word.size())) && !isCurrencyWord(word))
            return &entry;
    }
    return nullptr;
}

std::span<const QStringView> numberWords() { return numberWordTable; }

bool isNumberWord(QStringView word)
{
    static const FirstLetters first = firstLettersOf(numberWordTable, [](QStringView e) { return e; });
    if (!first.mayStart(word))
        return false;
    static const ByFirstLetter<QStringView> entries(numberWordTable, [](QStringView e) { return e; });
    return entries.find(word, [word](QStringView entry) { return sameIgnoringCase(entry, word); }) != nullptr;
}

bool isPriceWord(QStringView word)
{
    static const FirstLetters first = firstLettersOf(priceWordTable, [](QLatin1String e) { return QString(e); });
    if (!first.mayStart(word))
        return false;
    static const ByFirstLetter<QLatin1String> entries(priceWordTable, [](QLatin1String e) { return QString(e); });
    return entries.find(word, [word](QLatin1String entry) { return ExpressionText::isLowerAsciiWord(word, entry); }) != nullptr;
}

bool isRateWord(QStringView word)
{
    if (word.size() < 3 || word.size() > 11 || ((word.front().unicode() | 0x20) != 'r' && (word.front().unicode() | 0x20) != 'e'))
        return false;
    for (QStringView entry : rateWordTable) {
        if (sameIgnoringCase(entry, word))
            return true;
    }
    return false;
}

std::span<const Cent> cents() { return centTable; }

const Cent* centOf(QStringView word)
{
    static const FirstLetters first = firstLettersOf(centTable, [](const Cent& e) { return e.word; });
    if (!first.mayStart(word))
        return nullptr;
    for (const Cent& entry : centTable) {
        if (entry.word.size() == word.size()
            && (entry.word.size() <= 3 ? sameAsWritten(entry.word, word) : sameIgnoringCase(entry.word, word)))
            return &entry;
    }
    return nullptr;
}

std::span<const OperatorSign> operatorSigns() { return operatorTable; }

const OperatorSign* operatorSignOf(char32_t c)
{
    // ASCII by a table of their own: the row splitter asks for every character.
    static const std::array<const OperatorSign*, 128> ascii = [] {
        std::array<const OperatorSign*, 128> signs{};
        for (const OperatorSign& sign : operatorTable) {
            if (sign.character < 0x80)
                signs[sign.character] = &sign;
        }
        return signs;
    }();
    if (c < 0x80)
        return ascii[c];
    for (const OperatorSign& sign : operatorTable) {
        if (sign.character == c)
            return &sign;
    }
    return nullptr;
}

const OperatorSign* operatorSignAt(QStringView text, qsizetype i)
{
    using ExpressionText::codePointAt;
    using ExpressionText::codePointBefore;
    using ExpressionText::isWordChar;
    const OperatorSign* sign = operatorSignOf(codePointAt(text, i));
    if (!sign)
        return nullptr;
    const qsizetype next = i + (sign->character > 0xFFFF ? 2 : 1);
    switch (sign->place) {
    case SP::always:
        return sign;
    case SP::notInWord:
        // A hyphen joining a word (E-Bike, Mo.-Fr., 2-Zimmer) or ending one
        // before another (Heiz- und Nebenkosten) is part of it.
        return EngineWords::joinsAt(text, i) ? nullptr : sign;
    case SP::noLetterTouching: {
        const char32_t after = codePointAt(text, next);
        const bool hyphenWord = after == '-' && isWordChar(codePointAt(text, next + 1));
        return isWordChar(codePointBefore(text, i)) || isWordChar(after) || hyphenWord ? nullptr : sign;
    }
    case SP::notAfterWord:
        return isWordChar(codePointBefore(text, i)) ? nullptr : sign;
    }
    return nullptr;
}

std::span<const QStringView> functionNames() { return functionTable; }

bool isFunctionName(QStringView word)
{
    static const FirstLetters first = firstLettersOf(functionTable, [](QStringView e) { return e; });
    if (!first.mayStart(word))
        return false;
    static const ByFirstLetter<QStringView> entries(functionTable, [](QStringView e) { return e; });
    return entries.find(word, [word](QStringView name) { return sameAsWritten(name, word); });
}

std::span<const QStringView> constantNames() { return constantTable; }

const CharacterSet& constantStarts()
{
    // Names match as written: the set holds both cases, the table decides.
    static const CharacterSet set = characterSetOf({firstLettersOf(constantTable, [](QStringView e) { return e; })});
    return set;
}

const CharacterSet& functionStarts()
{
    static const CharacterSet set = characterSetOf({firstLettersOf(functionTable, [](QStringView e) { return e; })});
    return set;
}

bool mayStartConstant(char32_t c)
{
    return constantStarts().has(c);
}

qsizetype constantNameAt(QStringView text, qsizetype i)
{
    if (i < 0 || i >= text.size() || !constantStarts().has(text[i].unicode()))
        return 0;
    qsizetype longest = 0;
    for (QStringView name : constantTable) {
        if (name.size() > longest && sameAsWritten(text.mid(i, name.size()), name))
            longest = name.size();
    }
    return longest;
}

double constantValue(QStringView name)
{
    for (const Constant& constant : constantValueTable) {
        if (constant.name == name)
            return constant.value;
    }
    return 0;
}

bool isConstantName(QStringView word)
{
    static const FirstLetters first = firstLettersOf(constantTable, [](QStringView e) { return e; });
    if (!first.mayStart(word))
        return false;
    for (QStringView name : constantTable) {
        if (sameAsWritten(name, word))
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
