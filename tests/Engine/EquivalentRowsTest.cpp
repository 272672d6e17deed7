#include "EngineTestSupport.h"

#include "Engine/EngineCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

// Rows built from templates, each written a second way that must read the
// same: a constant as its value, a tax by name as its percentage, a unit
// or a multiplier word spelled another way, a dash for a minus, no blanks
// around operators and signs, a label word between an operator and its
// operand, before the row or at its end. Either both show the same value
// or both are refused.
namespace {

struct Token {
    enum Kind { amount, op, unit, currency, value, tax, percent, multiplier, keyword };
    Kind kind;
    QString text;
    QString same; // the same meaning written another way; empty when none
};

struct RowWriter {
    std::mt19937 random{20261208};
    DecimalStyle style = DecimalStyle::germanComma;

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    bool chance(int percent) { return below(100) < percent; }
    template <size_t N>
    const char* pick(const char* const (&items)[N]) { return items[below(int(N))]; }

    bool german() const { return style == DecimalStyle::germanComma; }

    // An amount in the row's style, grouped by its mark or an apostrophe
    // (blanks group only where no word stands before them).
    QString amount()
    {
        const QChar decimal = german() ? QLatin1Char(',') : QLatin1Char('.');
        switch (below(4)) {
        case 0: {
            const int n = 1000 + below(99000);
            const QChar group = chance(50) ? (german() ? QLatin1Char('.') : QLatin1Char(',')) : QLatin1Char('\'');
            return QString::number(n / 1000) + group + QStringLiteral("%1").arg(n % 1000, 3, 10, QLatin1Char('0'));
        }
        case 1:
            return QString::number(1 + below(500)) + decimal + QStringLiteral("%1").arg(below(100), 2, 10, QLatin1Char('0'));
        case 2:
            return decimal + QString::number(1 + below(9));
        default:
            return QString::number(1 + below(99));
        }
    }

    // The value of a constant as a row would write it.
    QString written(double value) const
    {
        QString text = QString::number(value, 'g', 17);
        return german() ? text.replace(QLatin1Char('.'), QLatin1Char(',')) : text;
    }
};

enum class Measure { none, unit, currency };

struct Row {
    std::vector<Token> tokens;
};

const char* const labels[] = {"Miete", "Käse", "E-Bike", "Wi-Fi", "Wi–Fi", "Achtung!", "MwSt-frei", "3D-Druck", "A4",
                              "iPhone15", "Größe", "Rabatt", "T-Shirt", "Nr.", "Summe:", "Tom's", "O'Brien", "Lukas'",
                              "Tom’s Pizza"};

// Unit spellings that name one unit; currencies likewise.
const std::pair<const char*, const char*> unitSpellings[] = {
    {"Liter", "l"}, {"Gramm", "g"}, {"Kilo", "kg"}, {"Meter", "m"}, {"hours", "h"}, {"Minuten", "min"},
    {"feet", "ft"}, {"gallons", "gal"}, {"qm", "m²"}, {"Monate", "mo"}, {"Stück", "Stk"},
};
const std::pair<const char*, const char*> currencySpellings[] = {
    {"€", "EUR"}, {"Euro", "€"}, {"$", "USD"}, {"Dollar", "$"}, {"CHF", "Franken"},
};

void addTerm(RowWriter& w, Row& row, bool afterOperator, const QString& previousOp, Measure measure, int spelling)
{
    const bool canMultiply = !afterOperator || previousOp == u"+" || previousOp == u"-" || previousOp == u"*";
    const int shape = w.below(100);
    if (shape < 10) {
        static const char* const constants[] = {"pi", "π", "e", "PI"};
        const QString name = QString::fromUtf8(w.pick(constants));
        const double value = name == u"e" ? 2.718281828459045 : 3.141592653589793;
        row.tokens.push_back({Token::value, name, w.written(value)});
        return;
    }
    if (shape < 18) {
        static const char* const calls[] = {"cos(180)", "sqrt(16)", "abs(-4)", "round(2,5)", "sin(30)"};
        QString call = QString::fromUtf8(w.pick(calls));
        if (!w.german())
            call.replace(QLatin1Char(','), QLatin1Char('.'));
        row.tokens.push_back({Token::value, call, {}});
        return;
    }
    if (canMultiply && shape < 26) {
        // Each factor word with its factor written out, not taken from the
        // catalogue.
        static const std::pair<const char*, double> multipliers[] = {
            {"twice", 2}, {"doppelt", 2}, {"double", 2}, {"zweimal", 2}, {"zweifach", 2}, {"thrice", 3},
            {"triple", 3}, {"dreimal", 3}, {"dreifach", 3}, {"quadruple", 4}, {"viermal", 4}, {"vierfach", 4},
            {"quintuple", 5}, {"fünfmal", 5}, {"fünffach", 5}, {"sechsmal", 6}, {"sechsfach", 6}, {"siebenmal", 7},
            {"siebenfach", 7}, {"achtmal", 8}, {"achtfach", 8}, {"neunmal", 9}, {"neunfach", 9}, {"zehnmal", 10},
            {"zehnfach", 10}, {"half", 0.5}, {"Hälfte", 0.5},
        };
        const auto& [word, factor] = multipliers[w.below(int(std::size(multipliers)))];
        row.tokens.push_back({Token::multiplier, QString::fromUtf8(word), w.written(factor) + QStringLiteral(" *")});
    }
    // Before the number it names a multiplier is a label (half 0.5): the
    // number multiplied is never its factor.
    const bool multiplied = !row.tokens.empty() && row.tokens.back().kind == Token::multiplier;
    const QChar decimal = w.german() ? QLatin1Char(',') : QLatin1Char('.');
    QString amount = multiplied ? QString::number(11 + w.below(500)) + decimal + QString::number(w.below(10)) : w.amount();
    // A sign between operands, or the row's own at its start.
    if (w.chance(10))
        amount.prepend(QLatin1Char('-'));
    row.tokens.push_back({Token::amount, amount, {}});
    if (measure == Measure::unit) {
        const auto& [spelled, symbol] = unitSpellings[spelling];
        const bool first = w.chance(50);
        row.tokens.push_back({Token::unit, QString::fromUtf8(first ? spelled : symbol), QString::fromUtf8(first ? symbol : spelled)});
    } else if (measure == Measure::currency) {
        const auto& [one, other] = currencySpellings[spelling];
        row.tokens.push_back({Token::currency, QString::fromUtf8(one), QString::fromUtf8(other)});
    }
}

Row makeRow(RowWriter& w)
{
    Row row;
    const int m = w.below(10);
    const Measure measure = m < 4 ? Measure::none : m < 7 ? Measure::unit : Measure::currency;
    const int spelling = measure == Measure::unit ? w.below(int(std::size(unitSpellings))) : w.below(int(std::size(currencySpellings)));
    addTerm(w, row, false, {}, measure, spelling);
    const int more = w.below(4);
    for (int i = 0; i < more; ++i) {
        static const char* const ops[] = {"+", "-", "*", "/", "x", "-", "+"};
        const QString op = QString::fromUtf8(w.pick(ops));
        row.tokens.push_back({Token::op, op, {}});
        addTerm(w, row, true, op, measure, spelling);
    }
    if (w.chance(35)) {
        row.tokens.push_back({Token::op, w.chance(50) ? QStringLiteral("+") : QStringLiteral("-"), {}});
        switch (w.below(3)) {
        case 0: row.tokens.push_back({Token::tax, QStringLiteral("MwSt"), QStringLiteral("19%")}); break;
        case 1: row.tokens.push_back({Token::tax, QString::fromUtf8(w.pick({"MwSt reduziert", "MwSt. reduziert"})), QStringLiteral("7 %")}); break;
        default: {
            // A percentage spelled out reads as its sign.
            const QString number = QString::number(1 + w.below(30));
            const char* const spellings[] = {" Prozent", " v.H.", " vH", " Proz.", " per cent", " percent"};
            row.tokens.push_back({Token::percent, number + QLatin1Char('%'), number + QString::fromUtf8(w.pick(spellings))});
            break;
        }
        }
    }
    if (measure == Measure::currency && spelling < 2 && w.chance(30)) {
        row.tokens.push_back({Token::keyword, QStringLiteral("in"), {}});
        row.tokens.push_back({Token::keyword, QStringLiteral("USD"), {}});
    }
    return row;
}

bool isWordKind(const Token& t)
{
    return t.kind == Token::multiplier || t.kind == Token::keyword;
}

// A letter, or the power sign of a unit's word (m²).
bool isLetter(QChar c)
{
    return c.isLetter() || c == QChar(0x00B2) || c == QChar(0x00B3);
}

bool isWhole(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); });
}

// The row with one blank between its tokens; `glue` drops the blanks
// around operators and signs and between an amount and its unit or
// currency, where no word would run into another.
QString text(const Row& row, bool glue = false)
{
    QString out;
    for (size_t i = 0; i < row.tokens.size(); ++i) {
        const Token& t = row.tokens[i];
        if (i > 0) {
            const Token& p = row.tokens[i - 1];
            bool glued = glue && !isWordKind(t) && !isWordKind(p);
            if (glued && p.kind == Token::op && p.text == u"x")
                glued = !isLetter(t.text.front());
            else if (glued && t.kind == Token::op && t.text == u"x")
                glued = !isLetter(p.text.back());
            else if (glued)
                glued = !(isLetter(p.text.back()) && isLetter(t.text.front()));
            // Whole numbers glued by dashes or slashes may be a date (12-7-13).
            if (glued && ((p.kind == Token::op && i >= 2 && isWhole(row.tokens[i - 2].text) && isWhole(t.text))
                          || (t.kind == Token::op && i + 1 < row.tokens.size() && isWhole(p.text)
                              && isWhole(row.tokens[i + 1].text)))
                && (p.text == u"-" || p.text == u"/" || t.text == u"-" || t.text == u"/"))
                glued = false;
            // A dash between letters joins them into one word (E-Bike).
            if (glued && ((p.kind == Token::op && p.text == u"-" && i >= 2 && isLetter(row.tokens[i - 2].text.back())
                           && isLetter(t.text.front()))
                          || (t.kind == Token::op && t.text == u"-" && i + 1 < row.tokens.size() && isLetter(p.text.back())
                              && isLetter(row.tokens[i + 1].text.front()))))
                glued = false;
            if (!glued)
                out += QLatin1Char(' ');
        }
        out += t.text;
    }
    return out;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

std::string shown(const EvaluationResult& r)
{
    return r.ok() ? std::to_string(r.value()) : r.error().detailText().toStdString();
}

} // namespace

TEST(EquivalentRows, EveryWayOfWritingARowReadsTheSame)
{
    TestEngine t;
    for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        RowWriter w;
        w.style = style;
        int failures = 0;
        int computed = 0;
        constexpr int rows = 3000;
        for (int n = 0; n < rows && failures < 10; ++n) {
            const Row row = makeRow(w);
            const QString base = text(row);
            const EvaluationResult expected = t.engine.evaluate(base);
            computed += expected.ok();
            QStringList variants;
            // Each spelling written the other way, one at a time.
            for (size_t i = 0; i < row.tokens.size(); ++i) {
                if (row.tokens[i].same.isEmpty())
                    continue;
                Row other = row;
                other.tokens[i].text = other.tokens[i].same;
                variants << text(other);
            }
            // Each dash for every minus, between operands and as a sign.
            QStringList dashedRows;
            for (const QChar dash : {QChar(0x2013), QChar(0x2014)}) {
                Row dashed = row;
                for (Token& token : dashed.tokens) {
                    if (token.kind == Token::op && token.text == u"-")
                        token.text = QString(dash);
                    else if (token.kind == Token::amount && token.text.startsWith(QLatin1Char('-')))
                        token.text[0] = dash;
                }
                dashedRows << text(dashed);
            }
            variants << dashedRows << text(row, true);
            // A dash after an opening bracket or a dividing colon signs as a
            // hyphen does: (–5) is (-5), 6 : –7 is 6 : -7.
            Row hyphened = row;
            for (Token& token : hyphened.tokens) {
                if (token.kind == Token::amount && token.text.startsWith(QLatin1Char('-')))
                    token.text = QLatin1Char('(') + token.text + QLatin1Char(')');
            }
            for (size_t i = 0; i + 1 < hyphened.tokens.size(); ++i) {
                Token& next = hyphened.tokens[i + 1];
                if (hyphened.tokens[i].kind == Token::op && hyphened.tokens[i].text == u"/" && next.kind == Token::amount) {
                    hyphened.tokens[i].text = QStringLiteral(":");
                    if (!next.text.startsWith(QLatin1Char('(')))
                        next.text.prepend(QLatin1Char('-'));
                }
            }
            if (text(hyphened) != base) {
                const QString withHyphens = text(hyphened);
                const EvaluationResult hyphenRead = t.engine.evaluate(withHyphens);
                for (const char* dash : {"\u2013", "\u2014", "\u2212", "\u2013 "}) {
                    Row dashed = hyphened;
                    for (Token& token : dashed.tokens) {
                        const qsizetype sign = token.text.indexOf(QLatin1Char('-'));
                        if (token.kind == Token::amount && sign >= 0 && sign <= 1)
                            token.text.replace(sign, 1, QString::fromUtf8(dash));
                    }
                    const EvaluationResult result = t.engine.evaluate(text(dashed));
                    const bool same = result.ok() == hyphenRead.ok() && (!result.ok() || near(result.value(), hyphenRead.value()));
                    EXPECT_TRUE(same) << withHyphens.toStdString() << " shows " << shown(hyphenRead) << ", but "
                                      << text(dashed).toStdString() << " shows " << shown(result);
                    failures += !same;
                }
            }
            // A label word before the row, at its end, and between an
            // operator and its operand. A factor word after a label word is
            // part of the label: the row reads as without it.
            const QString label = QString::fromUtf8(w.pick(labels));
            // Each such row, with the row that reads as it: without that word.
            std::vector<std::pair<QString, QString>> labelledFactor;
            auto withoutToken = [&row](size_t at) {
                Row plain = row;
                plain.tokens.erase(plain.tokens.begin() + qsizetype(at));
                return text(plain);
            };
            // Two label words joined by a dash are a label (Käse – Miete 5).
            for (const QString& labelled : {label + QLatin1Char(' ') + base, label + QStringLiteral(" \u2013 Miete ") + base}) {
                if (row.tokens.front().kind == Token::multiplier)
                    labelledFactor.emplace_back(labelled, withoutToken(0));
                else
                    variants << labelled;
            }
            // The row's own sign as a dash after the label, glued to the
            // number or set apart (Rabatt –5, Rabatt – 5).
            if (base.startsWith(QLatin1Char('-'))) {
                for (const QString& dashed : std::as_const(dashedRows))
                    variants << label + QLatin1Char(' ') + dashed << label + QLatin1Char(' ') + dashed.front() + QLatin1Char(' ') + dashed.mid(1);
            }
            Row ended = row;
            auto end = ended.tokens.end();
            while (end != ended.tokens.begin() && std::prev(end)->kind == Token::keyword)
                --end;
            ended.tokens.insert(end, {Token::keyword, label, {}});
            variants << text(ended);
            for (size_t i = 0; i < row.tokens.size(); ++i) {
                if (row.tokens[i].kind != Token::op || i + 1 >= row.tokens.size())
                    continue;
                Row labelled = row;
                if (row.tokens[i + 1].kind == Token::multiplier) {
                    labelled.tokens.insert(labelled.tokens.begin() + qsizetype(i) + 1, {Token::keyword, label, {}});
                    labelledFactor.emplace_back(text(labelled), withoutToken(i + 1));
                    break;
                }
                labelled.tokens.insert(labelled.tokens.begin() + qsizetype(i) + 1, {Token::keyword, label, {}});
                variants << text(labelled);
                // And its sign set apart, as a dash (2 * Rabatt – 4).
                Token& operand = labelled.tokens[i + 2];
                if (operand.kind == Token::amount && operand.text.startsWith(QLatin1Char('-')))
                    variants << text(labelled).replace(label + QStringLiteral(" -"), label + QStringLiteral(" \u2013 "));
                break;
            }
            // A label word after an operand, before a plus or a minus
            // written as a hyphen, a dash or a minus sign (100 Wi-Fi – 14%,
            // 100 Achtung! - 5, 100 Rabatt − MwSt).
            for (size_t i = 1; i < row.tokens.size(); ++i) {
                if (row.tokens[i].kind != Token::op || (row.tokens[i].text != u"-" && row.tokens[i].text != u"+"))
                    continue;
                Row labelled = row;
                static const char* const minuses[] = {"-", "\u2013", "\u2212"};
                if (labelled.tokens[i].text == u"-")
                    labelled.tokens[i].text = QString::fromUtf8(w.pick(minuses));
                labelled.tokens.insert(labelled.tokens.begin() + qsizetype(i), {Token::keyword, label, {}});
                variants << text(labelled);
                break;
            }
            auto expectSame = [&](const QString& reference, const EvaluationResult& wanted, const QStringList& rows) {
                for (const QString& variant : rows) {
                    const EvaluationResult result = t.engine.evaluate(variant);
                    const bool same = result.ok() == wanted.ok() && (!result.ok() || near(result.value(), wanted.value()));
                    EXPECT_TRUE(same) << reference.toStdString() << " shows " << shown(wanted) << ", but "
                                      << variant.toStdString() << " shows " << shown(result);
                    failures += !same;
                }
            };
            expectSame(base, expected, variants);
            for (const auto& [labelled, plain] : labelledFactor)
                expectSame(plain, t.engine.evaluate(plain), {labelled});
        }
        // The templates make rows that mostly compute: the equivalences
        // are checked on values, not only on refusals.
        EXPECT_GT(computed, rows / 2) << (style == DecimalStyle::germanComma ? "German" : "US");
    }
}

// An amount against a price per another unit of its kind reads as the
// amount written in the price's unit, whichever comes first, with a label,
// a percentage or another factor in the term (200 g x 24,90 €/kg is 0,2 kg
// x 24,90 €/kg). The sizes are written out here.
TEST(EquivalentRows, AnAmountAgainstAPricePerAnotherUnitReadsInThatUnit)
{
    struct Pair {
        const char* unit;
        const char* per;
        double size; // one `unit` in `per`s
    };
    const Pair pairs[] = {
        {"g", "kg", 0.001},       {"Gramm", "Kilo", 0.001}, {"oz", "lb", 0.0625},     {"kg", "t", 0.001},
        {"min", "h", 1.0 / 60},   {"Minuten", "Stunde", 1.0 / 60}, {"hours", "day", 1.0 / 24}, {"Tage", "Woche", 1.0 / 7},
        {"ml", "l", 0.001},       {"cl", "Liter", 0.01},    {"cm", "m", 0.01},       {"feet", "m", 0.3048},
        {"km", "mile", 1 / 1.609344}, {"Monate", "Jahr", 1.0 / 12}, {"yr", "mo", 12}, {"kWh", "Wh", 1000},
        {"ha", "m²", 10000},      {"sec", "min", 1.0 / 60},
    };
    TestEngine t;
    std::mt19937 random{20261208};
    auto below = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        const bool german = style == DecimalStyle::germanComma;
        auto written = [german](double value) {
            QString text = QString::number(value, 'g', 15);
            return german ? text.replace(QLatin1Char('.'), QLatin1Char(',')) : text;
        };
        int computed = 0;
        for (int n = 0; n < 400; ++n) {
            const Pair& pair = pairs[below(int(std::size(pairs)))];
            const double amount = 1 + below(999);
            const QString price = written((1 + below(5000)) / 100.0);
            const QString sign = german ? QStringLiteral("€") : QStringLiteral("$");
            static const char* const perWritings[] = {"%1/%2", "%1 / %2"};
            const QString per = QString::fromUtf8(perWritings[below(2)])
                                    .arg(below(2) ? price + QLatin1Char(' ') + sign : sign + price, QString::fromUtf8(pair.per));
            static const char* const times[] = {" x ", " * ", " × ", " mal "};
            const QString op = QString::fromUtf8(times[below(4)]);
            auto rowWith = [&](const QString& quantity) {
                QString row = below(2) ? quantity + op + per : per + op + quantity;
                if (below(3) == 0)
                    row.prepend(QStringLiteral("Käse "));
                return row;
            };
            const int tail = below(3);
            const QString suffix = tail == 0 ? QString() : tail == 1 ? QStringLiteral(" + 10%") : QStringLiteral(" x 2");
            const int seed = below(1 << 20);
            random.seed(seed);
            const QString typed = rowWith(QString::number(amount) + QLatin1Char(' ') + QString::fromUtf8(pair.unit)) + suffix;
            random.seed(seed);
            const QString converted = rowWith(written(amount * pair.size) + QLatin1Char(' ') + QString::fromUtf8(pair.per)) + suffix;
            const EvaluationResult a = t.engine.evaluate(typed);
            const EvaluationResult b = t.engine.evaluate(converted);
            computed += a.ok();
            EXPECT_TRUE(a.ok() && b.ok() && near(a.value(), b.value()))
                << typed.toStdString() << " shows " << shown(a) << ", " << converted.toStdString() << " shows " << shown(b);
        }
        EXPECT_EQ(computed, 400);
    }
}
