#include "EngineTestSupport.h"
#include "Engine/EngineCatalogue.h"

#include <gtest/gtest.h>

#include <cmath>
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
            // "Nr." ends in a point, not a word; a currency before the
            // number lets its blanks group.
            term.ambiguous = term.blankGrouped && label != 11 && currency != Currency::signBefore
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
                const bool same = tight.ok() == result.ok() && (!tight.ok() || near(tight.value(), result.value()));
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
