#include "Engine/CalculatorEngine.h"

#include <QObject>

EngineSettings applicationEngineSettings()
{
    const CalcSettings& settings = CalcSettings::shared();
    EngineSettings engineSettings;
    engineSettings.decimalStyle = settings.decimalStyle();
    engineSettings.enabledTaxRates = settings.enabledTaxRates();
    engineSettings.hasExchangeRates = !settings.exchangeRates().rates.isEmpty();
    engineSettings.convert = [](double amount, const QString& from, const QString& to) {
        return CalcSettings::shared().convert(amount, from, to);
    };
    return engineSettings;
}

CalculatorEngine& CalculatorEngine::shared()
{
    static CalculatorEngine* const engine = [] {
        auto* instance = new CalculatorEngine(applicationEngineSettings);
        // Emptied at once, not later: the next evaluation must not see
        // patterns of labels that are gone.
        QObject::connect(&CalcSettings::shared(), &CalcSettings::taxRatesChanged, &CalcSettings::shared(),
                         [instance] { instance->clearRegexCache(); }, Qt::DirectConnection);
        return instance;
    }();
    return *engine;
}
