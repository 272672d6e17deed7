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

// Each style's rows, the US ones written as a US user types them. The last
// five are refused and quote the row from where reading failed, the two long
// ones near their end.
inline const char* const germanTypicalRows[] = {
    "1.234,56 € in USD",
    "(100 + 50) * 10% + MwSt",
    "sqrt(16) + pow(2, 10)",
    "{Netto:#00D4FF} + {Rabatt:#FF6B9D} * 2 - {Versand}",
    "1234.56 * 1.19",
    "Preis 1.000,50 Rabatt 20,5",
    "100 USD to EUR to GBP",
    "{Netto} Versand 4,90 + 1,2,3",
    "Brot 2,49 + Milch 1,19 + Butter 2,29 + Käse 4,50 + Äpfel 3,99 + Bananen 1,79 + "
    "Eier 2,99 + Joghurt 0,89 + Nudeln 1,29 + Reis 1,99 + Kaffee 4,99 Rabatt 2",
    "Brot 2,49 + Milch 1,19 + Butter 2,29 + Käse 4,50 + Äpfel 3,99 + Bananen 1,79 + "
    "Eier 2,99 + Joghurt 0,89 + Nudeln 1,29 + Reis 1,99 + Tomaten 2,19 + Gurke 0,79 + "
    "Zwiebeln 1,49 + Kartoffeln 2,99 + Mehl 0,99 + Zucker 1,09 + Salz 0,49 + Öl 3,49 + "
    "Essig 1,39 + Honig 4,29 + Marmelade 2,59 + Müsli 3,79 + Saft 1,89 + Wasser 0,59 + "
    "Tee 2,39 + Schokolade 1,49 + Senf 0,95 + Quark 0,79 + Sahne 0,99 + Spinat 1,59 + "
    "Paprika 2,49 + Möhren 1,19 + Lauch 0,99 + Pilze 1,99 + Brötchen 2,40 + "
    "Kaffee 4,99 Rabatt 2",
};
inline const char* const usTypicalRows[] = {
    "$1,234.56 in EUR",
    "(100 + 50) * 10% + MwSt",
    "sqrt(16) + pow(2, 10)",
    "{Netto:#00D4FF} + {Rabatt:#FF6B9D} * 2 - {Versand}",
    "1,234.56 * 1.19",
    "Price 1,000.50 discount 20.5",
    "100 USD to EUR to GBP",
    "{Netto} shipping 4.90 + 1.2.3",
    "Bread 2.49 + Milk 1.19 + Butter 2.29 + Cheese 4.50 + Apples 3.99 + Bananas 1.79 + "
    "Eggs 2.99 + Yogurt 0.89 + Pasta 1.29 + Rice 1.99 + Coffee 4.99 discount 2",
    "Bread 2.49 + Milk 1.19 + Butter 2.29 + Cheese 4.50 + Apples 3.99 + Bananas 1.79 + "
    "Eggs 2.99 + Yogurt 0.89 + Pasta 1.29 + Rice 1.99 + Tomatoes 2.19 + Cucumber 0.79 + "
    "Onions 1.49 + Potatoes 2.99 + Flour 0.99 + Sugar 1.09 + Salt 0.49 + Oil 3.49 + "
    "Vinegar 1.39 + Honey 4.29 + Jam 2.59 + Cereal 3.79 + Juice 1.89 + Water 0.59 + "
    "Tea 2.39 + Chocolate 1.49 + Mustard 0.95 + Quark 0.79 + Cream 0.99 + Spinach 1.59 + "
    "Peppers 2.49 + Carrots 1.19 + Leeks 0.99 + Mushrooms 1.99 + Rolls 2.40 + "
    "Coffee 4.99 discount 2",
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
