#pragma once

#include "Models/CalcSettings.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// What the engine reads of the user's settings, taken afresh for every
// evaluation. A plain value so that tests can state it directly.
struct EngineSettings {
    DecimalStyle decimalStyle = DecimalStyle::germanComma;
    // Enabled rates with a non-empty label, in the settings' order.
    QList<CalcSettings::TaxRate> enabledTaxRates;
    // The exchange-rate table holds at least one rate.
    bool hasExchangeRates = false;
    // Amount, source code, target code; none when a rate is missing.
    std::function<std::optional<double>(double, const QString&, const QString&)> convert;
};

using EngineSettingsProvider = std::function<EngineSettings()>;

// The settings of CalcSettings::shared().
EngineSettings applicationEngineSettings();
