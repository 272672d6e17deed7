#pragma once

#include "Engine/CalculatorEngine.h"

#include <QHash>
#include <QString>
#include <memory>

// Settings as the tests state them: German numbers, "MwSt" 19 % and
// "MwSt reduziert" 7 % enabled, and a euro table with dollar and pound rates.
struct TestSettings {
    EngineSettings settings;
    QHash<QString, double> rates{{QStringLiteral("USD"), 1.1}, {QStringLiteral("GBP"), 0.85}};
    QString base = QStringLiteral("EUR");

    TestSettings()
    {
        settings.decimalStyle = DecimalStyle::germanComma;
        settings.enabledTaxRates = {taxRate("MwSt", 19), taxRate("MwSt reduziert", 7)};
    }

    static CalcSettings::TaxRate taxRate(const char* label, double rate)
    {
        CalcSettings::TaxRate tax;
        tax.label = QString::fromUtf8(label);
        tax.rate = rate;
        return tax;
    }

    // Conversion over the table, pivoting on its base currency.
    std::optional<double> convert(double amount, const QString& from, const QString& to) const
    {
        if (rates.isEmpty())
            return std::nullopt;
        const QString f = from.toUpper();
        const QString t = to.toUpper();
        if (f == base)
            return rates.contains(t) ? std::optional(amount * rates.value(t)) : std::nullopt;
        if (t == base)
            return rates.contains(f) ? std::optional(amount / rates.value(f)) : std::nullopt;
        if (!rates.contains(f) || !rates.contains(t))
            return std::nullopt;
        return amount / rates.value(f) * rates.value(t);
    }

    EngineSettings current() const
    {
        EngineSettings copy = settings;
        copy.hasExchangeRates = !rates.isEmpty();
        copy.convert = [this](double amount, const QString& from, const QString& to) { return convert(amount, from, to); };
        return copy;
    }
};

// An engine reading a TestSettings that the test may change at any time.
struct TestEngine {
    std::shared_ptr<TestSettings> state = std::make_shared<TestSettings>();
    CalculatorEngine engine{[s = state] { return s->current(); }};

    TestSettings& settings() { return *state; }
    void setStyle(DecimalStyle style) { state->settings.decimalStyle = style; }
};
