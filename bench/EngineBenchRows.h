#pragma once

// The typical rows of the engine benchmark, in both number styles, with the
// settings and linked values they are read with. Shared with the driver of
// scripts/measure-engine-instructions, which builds it against older engines
// too: use only what the engine's evaluate() has long offered.

#include "Engine/EngineSettings.h"

#include <QHash>
#include <QLatin1String>
#include <QString>

#include <iterator>

// Each style's rows, the US ones written as a US user types them.
inline const char* const germanTypicalRows[] = {
    "1.234,56 € in USD",
    "(100 + 50) * 10% + MwSt",
    "sqrt(16) + pow(2, 10)",
    "{Netto:#00D4FF} + {Rabatt:#FF6B9D} * 2 - {Versand}",
    "1234.56 * 1.19",
};
inline const char* const usTypicalRows[] = {
    "$1,234.56 in EUR",
    "(100 + 50) * 10% + MwSt",
    "sqrt(16) + pow(2, 10)",
    "{Netto:#00D4FF} + {Rabatt:#FF6B9D} * 2 - {Versand}",
    "1,234.56 * 1.19",
};
constexpr int typicalRowCount = int(std::size(germanTypicalRows));
static_assert(std::size(usTypicalRows) == std::size(germanTypicalRows));

inline const char* typicalRow(DecimalStyle style, int index)
{
    return style == DecimalStyle::usPeriod ? usTypicalRows[index] : germanTypicalRows[index];
}

inline EngineSettings typicalRowSettings(DecimalStyle style)
{
    EngineSettings settings;
    settings.decimalStyle = style;
    CalcSettings::TaxRate standard;
    standard.label = QStringLiteral("MwSt");
    standard.rate = 19;
    CalcSettings::TaxRate reduced;
    reduced.label = QStringLiteral("MwSt reduziert");
    reduced.rate = 7;
    settings.enabledTaxRates = {standard, reduced};
    settings.hasExchangeRates = true;
    settings.convert = [](double amount, const QString& from, const QString& to) -> std::optional<double> {
        static const QHash<QString, double> rates{{QStringLiteral("USD"), 1.08}, {QStringLiteral("GBP"), 0.85}};
        const double fromRate = from == QLatin1String("EUR") ? 1.0 : rates.value(from, 0);
        const double toRate = to == QLatin1String("EUR") ? 1.0 : rates.value(to, 0);
        if (fromRate == 0 || toRate == 0)
            return std::nullopt;
        return amount / fromRate * toRate;
    };
    return settings;
}

// The linked rows' values and currencies the placeholders read.
inline QHash<QString, double> typicalRowValues()
{
    return {{QStringLiteral("Netto"), 1250.5}, {QStringLiteral("Rabatt"), -12.75}, {QStringLiteral("Versand"), 4.9}};
}

inline QHash<QString, QString> typicalRowCurrencies()
{
    return {{QStringLiteral("Netto"), QStringLiteral("€")}};
}
