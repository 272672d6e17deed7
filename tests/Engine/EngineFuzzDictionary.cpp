// Writes the engine fuzz target's dictionary (libFuzzer's -dict format) to
// standard output: every word and sign of the catalogue, the tax labels the
// target reads rows with, and the marks that carry arithmetic and shape
// numbers. The build runs it, so a word added to the catalogue is fuzzed
// without anyone keeping a list.
#include "EngineFuzzSettings.h"

#include "Engine/EngineCatalogue.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

QStringList entries;
QSet<QString> seen;

void add(const QString& entry)
{
    if (!entry.isEmpty() && !seen.contains(entry)) {
        seen.insert(entry);
        entries.append(entry);
    }
}

// A word as it stands in a row: alone (glued to a number) and with blanks
// around it.
void addWord(QStringView word)
{
    const QString text = word.toString();
    add(text);
    add(QLatin1Char(' ') + text + QLatin1Char(' '));
}

QByteArray quoted(const QString& entry)
{
    QByteArray out = "\"";
    for (const char c : entry.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '"' || c == '\\')
            out += QByteArray("\\x") + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    return out + '"';
}

} // namespace

int main()
{
    using namespace EngineCatalogue;
    for (const Currency& currency : currencies()) {
        addWord(currency.code);
        addWord(currency.shown);
    }
    for (const CurrencySpelling& sign : currencySigns())
        addWord(sign.text);
    for (const CurrencySpelling& word : currencyWords())
        addWord(word.text);
    for (const Unit& unit : units())
        addWord(unit.text);
    for (QLatin1String keyword : conversionKeywords())
        addWord(QString(keyword));
    for (QStringView arrow : conversionArrows())
        addWord(arrow);
    for (const ArithmeticWord& word : arithmeticWords())
        addWord(QString(word.word));
    for (const Magnitude& magnitude : magnitudes())
        addWord(magnitude.word);
    for (QStringView name : functionNames())
        add(name.toString() + QLatin1Char('('));
    for (QStringView name : constantNames())
        addWord(name);
    for (const CalcSettings::TaxRate& tax : EngineFuzz::settingsFor(DecimalStyle::germanComma).enabledTaxRates)
        addWord(tax.label);
    // Operators and dashes, alone and set apart by blanks.
    for (const char* mark : {"+", "-", "*", "/", "^", ":", "x", "%", "\u00D7", "\u00F7", "\u00B7", "\u2212", "\u2013",
                             "\u2014"})
        addWord(QString::fromUtf8(mark));
    // Shapes of numbers, links, remarks and dates.
    for (const char* shape : {"(", ")", "{A}", "{B}", "{AB}", "{C}", "{", "}", ".", ",", ",-", ".-", "1.000", "1,000",
                              "1.000,50", "1,000.50", "1 000", "1'000", ",5", ".5", "\"", "'", "\u00A0", "\u2009",
                              "\u202F", "\t", "\u00B2", "\u00B3", "\u00BD", "\u0661\u0662", "\U0001D7E0",
                              "2024-04-15", "15/04/2024", "15/04/24", "12.03.2024", "14:30", "1e5", "inf", "nan", "0x10"})
        add(QString::fromUtf8(shape));
    std::printf("# Generated from the engine's catalogue by fuzz_engine_dictionary; not kept by hand.\n");
    for (const QString& entry : std::as_const(entries))
        std::printf("%s\n", quoted(entry).constData());
    return 0;
}
