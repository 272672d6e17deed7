#include "EngineTestSupport.h"
#include "Engine/EngineCatalogue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

// Rows built from parts whose value is known, written as people write them
// in either number style, checked against the value of their parts.
namespace {

struct Term {
    double value = 0;
    QString text;
    bool decorated = false; // a word or a currency stands next to it
    bool blankGrouped = false; // its thousands are set apart by blanks
    bool ambiguous = false;    // blank-grouped right after a word: refused
};

struct Writer {
    std::mt19937 random{20261207};
    DecimalStyle style = DecimalStyle::germanComma;

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    bool chance(int percent) { return below(100) < percent; }

    QChar decimalMark() const { return style == DecimalStyle::germanComma ? QLatin1Char(',') : QLatin1Char('.'); }
    QChar groupMark() const { return style == DecimalStyle::germanComma ? QLatin1Char('.') : QLatin1Char(','); }

    // A whole number with its thousands grouped by one separator, or none.
    QString whole(qint64 n, bool* blanks = nullptr)
    {
        const QString digits = QString::number(n);
        if (n < 1000 || chance(30))
            return digits;
        const QChar separators[] = {groupMark(), QLatin1Char(' '), QLatin1Char('\''), QChar(0x202F)};
        const QChar separator = separators[below(4)];
        if (blanks)
            *blanks = separator == QLatin1Char(' ') || separator == QChar(0x202F);
        QString out;
        for (qsizetype i = 0; i < digits.size(); ++i) {
            if (i > 0 && (digits.size() - i) % 3 == 0)
                out += separator;
            out += digits[i];
        }
        return out;
    }

    // A number of known value: whole, with decimals, or a fraction written
    // with a leading mark.
    Term number()
    {
        Term term;
        switch (below(5)) {
        case 0: {
            const qint64 n = below(10) == 0 ? qint64(below(1000)) * 1000000 + below(1000000) : below(100000);
            term.value = double(n);
            term.text = whole(n, &term.blankGrouped);
            break;
        }
        case 1:
        case 2: {
            const qint64 n = below(20000);
            const int places = 1 + below(4);
            const int fraction = below(int(std::pow(10.0, places)));
            term.value = double(n) + fraction / std::pow(10.0, places);
            const QString decimals = QStringLiteral("%1").arg(fraction, places, 10, QLatin1Char('0'));
            // The other mark cannot group before other than three digits,
            // nor after four leading ones: there it is the decimal mark too.
            const bool otherMark = (places != 3 || n >= 1000) && n > 0 && chance(25);
            term.text = (otherMark ? QString::number(n) : whole(n, &term.blankGrouped))
                + (otherMark ? groupMark() : decimalMark()) + decimals;
            break;
        }
        case 3: {
            const int fraction = 1 + below(99);
            term.value = fraction / 100.0;
            const QChar mark = chance(50) ? QLatin1Char('.') : QLatin1Char(',');
            term.text = mark + QStringLiteral("%1").arg(fraction, 2, 10, QLatin1Char('0'));
            break;
        }
        default:
            term.value = below(10);
            term.text = QString::number(term.value);
            break;
        }
        return term;
    }

    // The row's currency, written the same way for every amount.
    enum class Currency { none, signAfter, signBefore, codeAfter, codeBefore, name };

    // The row's currency sign, glued to or set apart from its amounts.
    QString sign = QStringLiteral("€");
    // The row's unit: amounts in different units are not added.
    int unit = 0;

    Term decorated(Currency currency)
    {
        static const char* const labels[] = {"Miete", "Käse", "Brötchen", "E-Bike", "Wi-Fi", "Größe", "Öl", "Straße",
                                             "Tom's Pizza", "Café", "Überweisung", "Nr."};
        static const char* const units[] = {"kg", "Stück", "km", "Liter"};
        Term term = number();
        QString text = term.text;
        switch (currency) {
        case Currency::none: break;
        case Currency::signAfter: text += (chance(50) ? QStringLiteral(" ") : QString()) + sign; break;
        case Currency::signBefore: text = sign + text; break;
        case Currency::codeAfter: text += QStringLiteral(" EUR"); break;
        case Currency::codeBefore: text = QStringLiteral("EUR ") + text; break;
        case Currency::name: text += QStringLiteral(" Euro"); break;
        }
        if (currency == Currency::none && chance(20))
            text += QLatin1Char(' ') + QString::fromUtf8(units[unit]);
        if (chance(40)) {
            const int label = below(12);
            text = QString::fromUtf8(labels[label]) + QLatin1Char(' ') + text;
            // A word's closing point is the word's (Nr.); a currency
            // before the number lets its blanks group.
            term.ambiguous = term.blankGrouped && currency != Currency::signBefore
                && currency != Currency::codeBefore;
        }
        term.decorated = text != term.text;
        term.text = text;
        return term;
    }
};

enum class Op { add, subtract, multiply, divide };

// The value of terms joined by operators, * and / before + and -.
double valueOf(const std::vector<double>& values, const std::vector<Op>& ops)
{
    std::vector<double> sums{values[0]};
    std::vector<Op> sumOps;
    for (size_t i = 0; i < ops.size(); ++i) {
        if (ops[i] == Op::multiply)
            sums.back() *= values[i + 1];
        else if (ops[i] == Op::divide)
            sums.back() /= values[i + 1];
        else {
            sums.push_back(values[i + 1]);
            sumOps.push_back(ops[i]);
        }
    }
    double total = sums[0];
    for (size_t i = 0; i < sumOps.size(); ++i)
        total = sumOps[i] == Op::add ? total + sums[i + 1] : total - sums[i + 1];
    return total;
}

QString opText(Writer& w, Op op, bool blanks)
{
    static const char* const times[] = {"*", "×", "x", "·"};
    static const char* const divide[] = {"/", "÷", ":"};
    QString sign;
    switch (op) {
    case Op::add: sign = QStringLiteral("+"); break;
    case Op::subtract: sign = w.chance(80) ? QStringLiteral("-") : QStringLiteral("−"); break;
    case Op::multiply: sign = QString::fromUtf8(times[w.below(blanks ? 4 : 2)]); break;
    case Op::divide: sign = QString::fromUtf8(divide[w.below(blanks ? 3 : 2)]); break;
    }
    return blanks ? QLatin1Char(' ') + sign + QLatin1Char(' ') : sign;
}

struct Row {
    QString text;
    QString tight; // the same row without blanks around its operators, when it can be written so
    bool tightRefused = false; // a blank-grouped number glued after a slash may end a ratio (1/2 400)
    double value = 0;
    bool ambiguous = false; // refused: a blank-grouped number right after a word
};

Row makeRow(Writer& w)
{
    using Currency = Writer::Currency;
    const Currency currencies[] = {Currency::none, Currency::signAfter, Currency::signBefore, Currency::codeAfter,
                                   Currency::codeBefore, Currency::name};
    const Currency currency = w.chance(50) ? Currency::none : currencies[1 + w.below(5)];
    static const char* const currencySigns[] = {"€", "$", "US$", "C$", "£", "₹"};
    w.sign = QString::fromUtf8(currencySigns[w.below(6)]);
    w.unit = w.below(4);
    const int count = 1 + w.below(5);
    std::vector<Term> terms;
    std::vector<double> values;
    std::vector<Op> ops;
    bool decorated = false;
    bool row_ambiguous = false;
    for (int i = 0; i < count; ++i) {
        Term term = w.decorated(currency);
        // A minus right after an operator is the number's sign.
        if (i > 0 && !term.decorated && w.chance(10)) {
            term.text = (w.chance(50) ? QStringLiteral("-") : QStringLiteral("−")) + term.text;
            term.value = -term.value;
            term.decorated = true; // keeps its blank before it
        }
        if (i > 0) {
            Op op = Op(w.below(4));
            // A divisor of zero has no value to compare with.
            if (op == Op::divide && term.value == 0)
                op = Op::add;
            ops.push_back(op);
        }
        decorated = decorated || term.decorated;
        row_ambiguous = row_ambiguous || term.ambiguous;
        values.push_back(term.value);
        terms.push_back(term);
    }
    Row row;
    row.value = valueOf(values, ops);
    row.ambiguous = row_ambiguous;
    std::vector<QString> signs;
    for (const Op op : ops)
        signs.push_back(opText(w, op, true));
    row.text = terms[0].text;
    for (size_t i = 0; i < ops.size(); ++i)
        row.text += signs[i] + terms[i + 1].text;
    if (!decorated) {
        row.tight = terms[0].text;
        for (size_t i = 0; i < ops.size(); ++i)
            row.tight += signs[i].trimmed() + terms[i + 1].text;
        // A colon glued to digits could be a clock time: it keeps its blanks.
        if (row.tight.contains(QLatin1Char(':')))
            row.tight.clear();
        for (size_t i = 0; i < ops.size() && !row.tight.isEmpty(); ++i) {
            // "x" between a digit and a mark-led fraction is no longer between digits.
            if (terms[i + 1].text.startsWith(QLatin1Char('.')) || terms[i + 1].text.startsWith(QLatin1Char(',')))
                row.tight.clear();
            row.tightRefused = row.tightRefused || (signs[i].trimmed() == u"/" && terms[i + 1].blankGrouped
                                                       && terms[i + 1].text.front().isDigit());
        }
    }
    // A conversion converts the whole row before it (test rates: 1 € = 1,1 $).
    const bool signed_ = currency == Currency::signAfter || currency == Currency::signBefore;
    const bool euros = currency != Currency::none && (!signed_ || w.sign == QStringLiteral("€"));
    const bool dollars = signed_ && (w.sign == QStringLiteral("$") || w.sign == QStringLiteral("US$"));
    if ((euros || dollars) && w.chance(30)) {
        static const char* const keywords[] = {" in ", " to ", " nach ", " -> ", " => ", " into ", " → "};
        row.text += QString::fromUtf8(keywords[w.below(7)]) + (euros ? QStringLiteral("USD") : QStringLiteral("EUR"));
        row.tight.clear();
        row.value = euros ? row.value * 1.1 : row.value / 1.1;
        return row;
    }
    // A percentage applies to the group right before it.
    if (w.chance(15)) {
        const int percent = 1 + w.below(50);
        const bool add = w.chance(50);
        row.text = QLatin1Char('(') + row.text + QLatin1String(add ? ") + " : ") - ") + QString::number(percent)
            + QLatin1Char('%');
        row.tight.clear();
        row.value *= add ? 1 + percent / 100.0 : 1 - percent / 100.0;
    }
    return row;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

} // namespace

// Thousands of rows: each shows the value of its parts, in brackets too,
// and without blanks around its operators where it can be written so.
TEST(GeneratedRows, EveryRowShowsTheValueOfItsParts)
{
    TestEngine t;
    for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        Writer w;
        w.style = style;
        int failures = 0;
        for (int n = 0; n < 4000 && failures < 10; ++n) {
            const Row row = makeRow(w);
            const EvaluationResult result = t.engine.evaluate(row.text);
            const bool holds = row.ambiguous ? !result.ok() && result.error().refusal() == RefusalCode::ambiguousGrouping
                                             : result.ok() && near(result.value(), row.value);
            EXPECT_TRUE(holds) << row.text.toStdString() << " should be " << row.value << ", shows "
                               << (result.ok() ? std::to_string(result.value())
                                               : result.error().detailText().toStdString());
            failures += !holds;
            const EvaluationResult bracketed = t.engine.evaluate(QLatin1Char('(') + row.text + QLatin1Char(')'));
            EXPECT_EQ(bracketed.ok(), result.ok()) << row.text.toStdString();
            if (bracketed.ok() && result.ok()) {
                EXPECT_TRUE(near(bracketed.value(), result.value())) << row.text.toStdString();
            }
            if (!row.tight.isEmpty()) {
                const EvaluationResult tight = t.engine.evaluate(row.tight);
                const bool same = row.tightRefused ? !tight.ok()
                                                   : tight.ok() == result.ok() && (!tight.ok() || near(tight.value(), result.value()));
                EXPECT_TRUE(same) << row.tight.toStdString() << " and " << row.text.toStdString();
                failures += !same;
            }
        }
    }
}

// Every entry of the catalogue, before and after an amount, in both styles:
// each currency spelling carries its currency, each unit keeps its number,
// each keyword converts, each word of arithmetic is its sign, and each
// magnitude or quantity word next to a number refuses the row.
TEST(GeneratedRows, EveryCatalogueEntryReadsInBothStyles)
{
    using namespace EngineCatalogue;
    TestEngine t;
    for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        const QString amount = style == DecimalStyle::germanComma ? QStringLiteral("1.234,5") : QStringLiteral("1,234.5");
        auto expectValue = [&](const QString& row, double value) {
            const EvaluationResult result = t.engine.evaluate(row);
            EXPECT_TRUE(result.ok() && near(result.value(), value))
                << row.toStdString() << " shows " << (result.ok() ? std::to_string(result.value()) : result.error().detailText().toStdString());
        };
        for (const std::span<const CurrencySpelling> table : {currencySigns(), currencyWords()}) {
            for (const CurrencySpelling& entry : table) {
                QStringList rows;
                if (entry.place != MarkPlace::after)
                    rows << entry.text.toString() + QLatin1Char(' ') + amount;
                if (entry.place != MarkPlace::before)
                    rows << amount + QLatin1Char(' ') + entry.text.toString();
                for (const QString& row : rows) {
                    expectValue(row, 1234.5);
                    expectValue(QStringLiteral("Miete ") + row + QStringLiteral(" + 10 %"), 1357.95);
                    EXPECT_EQ(CalculatorEngine::resultCurrencyCode(row), entry.code.toString()) << row.toStdString();
                    // Another currency added to it is refused.
                    const QString other = entry.code == u"USD" ? QStringLiteral("5 €") : QStringLiteral("5 $");
                    const EvaluationResult mixed = t.engine.evaluate(row + QStringLiteral(" + Rest ") + other);
                    EXPECT_TRUE(!mixed.ok() && mixed.error().refusal() == RefusalCode::mixedCurrencies) << row.toStdString();
                }
                // A lettered mark inside a word is no mark.
                if (entry.kind == SpellingKind::letteredMark) {
                    EXPECT_EQ(CalculatorEngine::resultCurrencyCode(QStringLiteral("Ab") + entry.text.toString() + QStringLiteral("ab 5")),
                              std::nullopt) << entry.text.toString().toStdString();
                }
            }
        }
        // The mark drawn beside a value reads back as its currency.
        for (const Currency& currency : currencies()) {
            const QString mark = shownMark(currency.code).toString();
            const bool before = isCurrencyWord(mark) && letteredMarkPlace(mark) == MarkPlace::before;
            const QString row = before ? mark + QStringLiteral(" 5") : QStringLiteral("5 ") + mark;
            EXPECT_EQ(CalculatorEngine::resultCurrencyCode(row), currency.code.toString()) << row.toStdString();
        }
        EXPECT_EQ(shownMark(u"EUR"), u"€");
        EXPECT_EQ(shownMark(u"GBP"), u"£");
        for (const Unit& unit : units()) {
            const QString u = unit.text.toString();
            expectValue(amount + QLatin1Char(' ') + u + QStringLiteral(" x 2"), 2469);
            expectValue(QStringLiteral("1 ") + u + QStringLiteral(" + 2 ") + u, 3);
            // Another spelling of the unit adds; another unit, of its kind
            // or of another, or money, is refused.
            const Unit& elsewhere = units()[unit.kind == UnitKind::mass ? units().size() - 1 : 0];
            for (const Unit& other : units()) {
                if ((other.kind != unit.kind && &other != &elsewhere) || other.text == unit.text)
                    continue;
                const QString row = QStringLiteral("1 ") + u + QStringLiteral(" - 2 ") + other.text.toString();
                const EvaluationResult mixed = t.engine.evaluate(row);
                if (other.symbol == unit.symbol)
                    EXPECT_TRUE(mixed.ok() && near(mixed.value(), -1)) << row.toStdString();
                else
                    EXPECT_TRUE(!mixed.ok() && mixed.error().refusal() == RefusalCode::mixedUnits) << row.toStdString();
            }
            for (const QString& row : {QStringLiteral("5 € + 3 ") + u, QStringLiteral("3 ") + u + QStringLiteral(" - Miete 5 USD")}) {
                const EvaluationResult money = t.engine.evaluate(row);
                EXPECT_TRUE(!money.ok() && money.error().refusal() == RefusalCode::mixedUnits) << row.toStdString();
            }
        }
        for (QLatin1String keyword : conversionKeywords())
            expectValue(QStringLiteral("10 EUR ") + keyword + QStringLiteral(" USD"), 11);
        for (const ArithmeticWord& word : arithmeticWords()) {
            const QString row = QStringLiteral("6 ") + word.word + QStringLiteral(" 3");
            if (word.meaning == WordMeaning::sign)
                expectValue(row, word.sign == QLatin1String("+") ? 9 : word.sign == QLatin1String("-") ? 3 : word.sign == QLatin1String("*") ? 18 : 2);
            else if (word.meaning == WordMeaning::percent)
                expectValue(QStringLiteral("200 + 10 ") + word.word, 220);
            else
                EXPECT_FALSE(t.engine.evaluate(row).ok()) << row.toStdString();
        }
        for (const Magnitude& magnitude : magnitudes()) {
            for (const QString& row : {QStringLiteral("3 ") + magnitude.word.toString() + QStringLiteral(" x 4"),
                                       QStringLiteral("Preis 3") + magnitude.word.toString()}) {
                const EvaluationResult result = t.engine.evaluate(row);
                EXPECT_TRUE(!result.ok() && result.error().refusal() == RefusalCode::magnitudeWord) << row.toStdString();
            }
        }
        // A number written as a word is refused as an operand, and is a
        // label's word before another word.
        for (const QStringView word : numberWords()) {
            for (const QString& row : {word.toString() + QStringLiteral(" + 3"), QStringLiteral("10 - ") + word.toString() + QStringLiteral(" € x 3")}) {
                const EvaluationResult result = t.engine.evaluate(row);
                EXPECT_TRUE(!result.ok() && result.error().refusal() == RefusalCode::numberWord) << row.toStdString();
            }
            expectValue(word.toString() + QStringLiteral(" Pizzen 2 x 4"), 8);
        }
        for (const QStringView name : functionNames()) {
            const bool twoArguments = name.compare(u"pow", Qt::CaseInsensitive) == 0;
            const EvaluationResult result
                = t.engine.evaluate(name.toString() + (twoArguments ? QStringLiteral("(1, 2) + 1") : QStringLiteral("(1) + 1")));
            EXPECT_TRUE(result.ok()) << name.toString().toStdString();
        }
        for (const QStringView name : constantNames())
            EXPECT_TRUE(t.engine.evaluate(QStringLiteral("2 * ") + name.toString()).ok()) << name.toString().toStdString();
    }
}

// Every factor, magnitude and quantity word and every unit with its value
// written out here, not taken from the catalogue: a wrong entry there
// (dreimal as 2, an ounce as a pound) shows as a wrong row.
TEST(GeneratedRows, EveryWordAndUnitMeansItsWrittenValue)
{
    using namespace EngineCatalogue;
    enum Role { magnitude, quantity, multiplier };
    struct Word {
        const char* text;
        double value;
        Role role;
    };
    const Word words[] = {
        {"k", 1e3, magnitude}, {"K", 1e3, magnitude}, {"M", 1e6, magnitude}, {"MM", 1e6, magnitude},
        {"B", 1e9, magnitude}, {"Tsd", 1e3, magnitude},
        {"Tausend", 1e3, magnitude}, {"thousand", 1e3, magnitude}, {"thousands", 1e3, magnitude},
        {"grand", 1e3, magnitude}, {"Hundert", 1e2, magnitude}, {"hundred", 1e2, magnitude}, {"Mio", 1e6, magnitude},
        {"Million", 1e6, magnitude}, {"Millionen", 1e6, magnitude}, {"millions", 1e6, magnitude}, {"mil", 1e6, magnitude},
        {"mill", 1e6, magnitude}, {"Mrd", 1e9, magnitude}, {"Milliarde", 1e9, magnitude}, {"Milliarden", 1e9, magnitude},
        {"billion", 1e9, magnitude}, {"billions", 1e9, magnitude}, {"bn", 1e9, magnitude}, {"mn", 1e6, magnitude},
        {"trillion", 1e12, magnitude}, {"trillions", 1e12, magnitude}, {"Billionen", 1e12, magnitude},
        {"Billiarde", 1e15, magnitude}, {"Billiarden", 1e15, magnitude}, {"Trillionen", 1e18, magnitude},
        {"lakh", 1e5, magnitude}, {"lakhs", 1e5, magnitude}, {"crore", 1e7, magnitude}, {"crores", 1e7, magnitude},
        {"Dutzend", 12, quantity}, {"dozen", 12, quantity}, {"half", 0.5, multiplier}, {"halb", 0.5, magnitude},
        {"halbe", 0.5, quantity}, {"halben", 0.5, quantity}, {"Hälfte", 0.5, multiplier}, {"Drittel", 1.0 / 3, quantity},
        {"third", 1.0 / 3, quantity}, {"Viertel", 0.25, quantity}, {"quarter", 0.25, quantity}, {"twice", 2, multiplier},
        {"doppelt", 2, multiplier}, {"double", 2, multiplier}, {"zweimal", 2, multiplier}, {"zweifach", 2, multiplier},
        {"thrice", 3, multiplier}, {"triple", 3, multiplier}, {"dreimal", 3, multiplier}, {"dreifach", 3, multiplier},
        {"quadruple", 4, multiplier}, {"viermal", 4, multiplier}, {"vierfach", 4, multiplier},
        {"quintuple", 5, multiplier}, {"fünfmal", 5, multiplier}, {"fünffach", 5, multiplier},
        {"sechsmal", 6, multiplier}, {"sechsfach", 6, multiplier}, {"siebenmal", 7, multiplier},
        {"siebenfach", 7, multiplier}, {"achtmal", 8, multiplier}, {"achtfach", 8, multiplier},
        {"neunmal", 9, multiplier}, {"neunfach", 9, multiplier}, {"zehnmal", 10, multiplier},
        {"zehnfach", 10, multiplier}, {"Dutzende", 12, quantity}, {"dozens", 12, quantity},
        {"Hälften", 0.5, quantity}, {"halves", 0.5, quantity}, {"thirds", 1.0 / 3, quantity},
        {"quarters", 0.25, quantity}, {"dime", 0.1, quantity}, {"dimes", 0.1, quantity}, {"nickel", 0.05, quantity},
        {"nickels", 0.05, quantity},
    };
    // Each unit's symbol and size in the first unit of its kind (g, ml, m,
    // m², s, piece, month, Wh); 0 where no one size holds.
    struct UnitSize {
        const char* text;
        const char* symbol;
        UnitKind kind;
        double size;
    };
    constexpr UnitKind mass = UnitKind::mass, volume = UnitKind::volume, length = UnitKind::length,
                       area = UnitKind::area, time = UnitKind::time, pieces = UnitKind::pieces,
                       calendar = UnitKind::calendar, energy = UnitKind::energy, data = UnitKind::data;
    const UnitSize sizes[] = {
        {"mg", "mg", mass, 1e-3}, {"g", "g", mass, 1}, {"Gramm", "g", mass, 1}, {"gram", "g", mass, 1},
        {"grams", "g", mass, 1}, {"kg", "kg", mass, 1e3}, {"Kilo", "kg", mass, 1e3}, {"Kilos", "kg", mass, 1e3},
        {"Kilogramm", "kg", mass, 1e3}, {"kilogram", "kg", mass, 1e3}, {"kilograms", "kg", mass, 1e3},
        {"t", "t", mass, 1e6}, {"Tonne", "t", mass, 1e6}, {"Tonnen", "t", mass, 1e6}, {"lb", "lb", mass, 453.59237},
        {"lbs", "lb", mass, 453.59237}, {"oz", "oz", mass, 28.349523125}, {"ounce", "oz", mass, 28.349523125},
        {"ounces", "oz", mass, 28.349523125}, {"ml", "ml", volume, 1}, {"Milliliter", "ml", volume, 1},
        {"cl", "cl", volume, 10}, {"dl", "dl", volume, 100}, {"l", "l", volume, 1e3}, {"L", "l", volume, 1e3},
        {"Liter", "l", volume, 1e3}, {"litre", "l", volume, 1e3}, {"liters", "l", volume, 1e3},
        {"litres", "l", volume, 1e3}, {"gal", "gal", volume, 0}, {"gallon", "gal", volume, 0},
        {"gallons", "gal", volume, 0}, {"qt", "qt", volume, 0}, {"quart", "qt", volume, 0}, {"quarts", "qt", volume, 0},
        {"pint", "pint", volume, 0}, {"pints", "pint", volume, 0}, {"cup", "cup", volume, 0}, {"cups", "cup", volume, 0},
        {"Tasse", "cup", volume, 0}, {"Tassen", "cup", volume, 0}, {"tbsp", "tbsp", volume, 0},
        {"tablespoon", "tbsp", volume, 0}, {"tablespoons", "tbsp", volume, 0}, {"tsp", "tsp", volume, 0},
        {"teaspoon", "tsp", volume, 0}, {"teaspoons", "tsp", volume, 0}, {"m³", "m³", volume, 1e6},
        {"cbm", "m³", volume, 1e6}, {"cm³", "cm³", volume, 1}, {"mm", "mm", length, 1e-3},
        {"Millimeter", "mm", length, 1e-3}, {"cm", "cm", length, 1e-2}, {"Zentimeter", "cm", length, 1e-2},
        {"centimeter", "cm", length, 1e-2}, {"centimeters", "cm", length, 1e-2}, {"dm", "dm", length, 0.1},
        {"m", "m", length, 1}, {"Meter", "m", length, 1}, {"metre", "m", length, 1}, {"meters", "m", length, 1},
        {"metres", "m", length, 1}, {"km", "km", length, 1e3}, {"Kilometer", "km", length, 1e3},
        {"kilometers", "km", length, 1e3}, {"ft", "ft", length, 0.3048}, {"foot", "ft", length, 0.3048},
        {"feet", "ft", length, 0.3048}, {"inch", "inch", length, 0.0254}, {"inches", "inch", length, 0.0254},
        {"mi", "mi", length, 1609.344}, {"mile", "mi", length, 1609.344}, {"miles", "mi", length, 1609.344},
        {"Meile", "mi", length, 1609.344}, {"Meilen", "mi", length, 1609.344}, {"yd", "yd", length, 0.9144},
        {"yard", "yd", length, 0.9144}, {"yards", "yd", length, 0.9144}, {"qm", "m²", area, 1}, {"m²", "m²", area, 1},
        {"sqm", "m²", area, 1}, {"cm²", "cm²", area, 1e-4}, {"km²", "km²", area, 1e6}, {"ha", "ha", area, 1e4},
        {"s", "s", time, 1}, {"sec", "s", time, 1}, {"Sekunde", "s", time, 1}, {"Sekunden", "s", time, 1},
        {"seconds", "s", time, 1}, {"min", "min", time, 60}, {"mins", "min", time, 60}, {"Minute", "min", time, 60},
        {"Minuten", "min", time, 60}, {"minutes", "min", time, 60}, {"h", "h", time, 3600}, {"Std", "h", time, 3600},
        {"Stunde", "h", time, 3600}, {"Stunden", "h", time, 3600}, {"hr", "h", time, 3600}, {"hrs", "h", time, 3600},
        {"hour", "h", time, 3600}, {"hours", "h", time, 3600}, {"Tag", "d", time, 86400}, {"Tage", "d", time, 86400},
        {"day", "d", time, 86400}, {"days", "d", time, 86400}, {"wk", "wk", time, 604800}, {"wks", "wk", time, 604800},
        {"Woche", "wk", time, 604800}, {"Wochen", "wk", time, 604800}, {"week", "wk", time, 604800},
        {"weeks", "wk", time, 604800}, {"mo", "mo", calendar, 1}, {"Monat", "mo", calendar, 1},
        {"Monate", "mo", calendar, 1}, {"month", "mo", calendar, 1}, {"months", "mo", calendar, 1},
        {"yr", "yr", calendar, 12}, {"yrs", "yr", calendar, 12}, {"Jahr", "yr", calendar, 12},
        {"Jahre", "yr", calendar, 12}, {"year", "yr", calendar, 12}, {"years", "yr", calendar, 12},
        {"Stück", "Stück", pieces, 1}, {"Stk", "Stück", pieces, 1}, {"pcs", "Stück", pieces, 1},
        {"pc", "Stück", pieces, 1}, {"Wh", "Wh", energy, 1}, {"kWh", "kWh", energy, 1e3}, {"MB", "MB", data, 0},
        {"GB", "GB", data, 0}, {"TB", "TB", data, 0},
    };
    ASSERT_EQ(magnitudes().size(), std::size(words)) << "a word of the catalogue with no value written here";
    ASSERT_EQ(units().size(), std::size(sizes)) << "a unit of the catalogue with no size written here";
    TestEngine t;
    for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        auto expectValue = [&](const QString& row, double value) {
            const EvaluationResult result = t.engine.evaluate(row);
            EXPECT_TRUE(result.ok() && near(result.value(), value))
                << row.toStdString() << " shows " << (result.ok() ? std::to_string(result.value()) : result.error().detailText().toStdString())
                << ", not " << value;
        };
        auto expectRefused = [&](const QString& row, RefusalCode code) {
            const EvaluationResult result = t.engine.evaluate(row);
            EXPECT_TRUE(!result.ok() && result.error().refusal() == code)
                << row.toStdString() << " shows " << (result.ok() ? std::to_string(result.value()) : result.error().detailText().toStdString());
        };
        for (const Word& word : words) {
            const QString w = QString::fromUtf8(word.text);
            const Magnitude* entry = magnitudeOf(w);
            ASSERT_TRUE(entry && entry->word == w) << word.text;
            EXPECT_EQ(entry->factor, word.value) << word.text;
            EXPECT_EQ(int(entry->kind), int(word.role)) << word.text;
            // Beside a number it refuses the row, also after the amount's
            // currency or unit, or is the factor at the row's start; after a
            // label word it is part of the label.
            expectRefused(QStringLiteral("3 ") + w, RefusalCode::magnitudeWord);
            expectRefused(QStringLiteral("3 € ") + w, RefusalCode::magnitudeWord);
            expectRefused(QStringLiteral("3 kg ") + w + QStringLiteral(" - 10%"), RefusalCode::magnitudeWord);
            if (word.role == multiplier) {
                expectValue(w + QStringLiteral(" 12"), 12 * word.value);
                expectValue(QStringLiteral("Zimmer ") + w + QStringLiteral(" 12"), 12);
                expectValue(QStringLiteral("10 + ") + w + QStringLiteral(" 12"), 10 + 12 * word.value);
            } else if (word.role == quantity) {
                expectValue(w + QStringLiteral(" 12 x 4"), 48);
            }
        }
        // An amount against a price per another unit of its kind is taken
        // into that unit, in either order; with no one size, or of another
        // kind, it is refused.
        for (const UnitSize& unit : sizes) {
            const Unit* entry = unitOf(QString::fromUtf8(unit.text));
            ASSERT_TRUE(entry && entry->text == QString::fromUtf8(unit.text)) << unit.text;
            EXPECT_EQ(entry->symbol, QString::fromUtf8(unit.symbol)) << unit.text;
            EXPECT_EQ(entry->kind, unit.kind) << unit.text;
            EXPECT_EQ(entry->size, unit.size) << unit.text;
            for (const UnitSize& other : sizes) {
                if (other.kind != unit.kind || std::strcmp(other.symbol, unit.symbol) == 0)
                    continue;
                const QString u = QString::fromUtf8(unit.text);
                const QString per = QString::fromUtf8(other.text);
                const QString amountFirst = QStringLiteral("2 ") + u + QStringLiteral(" x 3 €/") + per;
                const QString priceFirst = QStringLiteral("3 € / ") + per + QStringLiteral(" x 2 ") + u;
                if (unit.size > 0 && other.size > 0) {
                    expectValue(amountFirst, 6 * unit.size / other.size);
                    expectValue(priceFirst, 6 * unit.size / other.size);
                } else {
                    expectRefused(amountFirst, RefusalCode::unitAgainstPrice);
                    expectRefused(priceFirst, RefusalCode::unitAgainstPrice);
                }
                break;
            }
            expectValue(QStringLiteral("2 ") + QString::fromUtf8(unit.text) + QStringLiteral(" x 3 €/") + QString::fromUtf8(unit.symbol), 6);
            const UnitSize& elsewhere = sizes[unit.kind == mass ? std::size(sizes) - 1 : 0];
            expectRefused(QStringLiteral("2 ") + QString::fromUtf8(unit.text) + QStringLiteral(" x 3 €/") + QString::fromUtf8(elsewhere.text),
                          RefusalCode::unitAgainstPrice);
        }
    }
}
