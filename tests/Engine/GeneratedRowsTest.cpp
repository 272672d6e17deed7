#include "EngineTestSupport.h"

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
};

struct Writer {
    std::mt19937 random{20261207};
    DecimalStyle style = DecimalStyle::germanComma;

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    bool chance(int percent) { return below(100) < percent; }

    QChar decimalMark() const { return style == DecimalStyle::germanComma ? QLatin1Char(',') : QLatin1Char('.'); }
    QChar groupMark() const { return style == DecimalStyle::germanComma ? QLatin1Char('.') : QLatin1Char(','); }

    // A whole number with its thousands grouped by one separator, or none.
    QString whole(qint64 n)
    {
        const QString digits = QString::number(n);
        if (n < 1000 || chance(30))
            return digits;
        const QChar separators[] = {groupMark(), QLatin1Char(' '), QLatin1Char('\''), QChar(0x202F)};
        const QChar separator = separators[below(4)];
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
            term.text = whole(n);
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
            term.text = (otherMark ? QString::number(n) : whole(n)) + (otherMark ? groupMark() : decimalMark()) + decimals;
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
            text += QLatin1Char(' ') + QString::fromUtf8(units[below(4)]);
        if (chance(40))
            text = QString::fromUtf8(labels[below(12)]) + QLatin1Char(' ') + text;
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
};

Row makeRow(Writer& w)
{
    using Currency = Writer::Currency;
    const Currency currencies[] = {Currency::none, Currency::signAfter, Currency::signBefore, Currency::codeAfter,
                                   Currency::codeBefore, Currency::name};
    const Currency currency = w.chance(50) ? Currency::none : currencies[1 + w.below(5)];
    static const char* const currencySigns[] = {"€", "$", "US$", "C$", "£", "₹"};
    w.sign = QString::fromUtf8(currencySigns[w.below(6)]);
    const int count = 1 + w.below(5);
    std::vector<Term> terms;
    std::vector<double> values;
    std::vector<Op> ops;
    bool decorated = false;
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
        values.push_back(term.value);
        terms.push_back(term);
    }
    Row row;
    row.value = valueOf(values, ops);
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
            const bool holds = result.ok() && near(result.value(), row.value);
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
