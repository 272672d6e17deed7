#pragma once

// The settings the engine's fuzz target reads rows with; its dictionary
// takes the tax labels from here too.

#include "Engine/EngineSettings.h"

#include <QHash>
#include <QString>

namespace EngineFuzz {

inline CalcSettings::TaxRate taxRate(const char* label, double rate)
{
    CalcSettings::TaxRate tax;
    tax.label = QString::fromUtf8(label);
    tax.rate = rate;
    tax.isEnabled = true;
    return tax;
}

// MwSt 19 % and 7 %, and rates with the euro as base:
// 1 EUR = 1.25 USD = 0.5 GBP = 0.8 CHF = 160 JPY.
inline EngineSettings settingsFor(DecimalStyle style)
{
    EngineSettings s;
    s.decimalStyle = style;
    s.enabledTaxRates = {taxRate("MwSt", 19), taxRate("MwSt reduziert", 7)};
    static const QHash<QString, double> perEuro = {
        {QStringLiteral("EUR"), 1.0}, {QStringLiteral("USD"), 1.25}, {QStringLiteral("GBP"), 0.5},
        {QStringLiteral("CHF"), 0.8}, {QStringLiteral("JPY"), 160.0}};
    s.hasExchangeRates = true;
    s.convert = [](double amount, const QString& from, const QString& to) -> std::optional<double> {
        const QString f = from.toUpper(), t = to.toUpper();
        if (!perEuro.contains(f) || !perEuro.contains(t))
            return std::nullopt;
        return amount / perEuro.value(f) * perEuro.value(t);
    };
    return s;
}

} // namespace EngineFuzz
