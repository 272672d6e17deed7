#include "Services/SettingsForm.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace SettingsForm {

const QStringList& tabTitles()
{
    static const QStringList titles{QStringLiteral("Tax Rates"), QStringLiteral("Currency"), QStringLiteral("Sync"),
                                    QStringLiteral("Interface")};
    return titles;
}

int taxRateRowCount(const QList<CalcSettings::TaxRate>& rates)
{
    return int(std::min<qsizetype>(rates.size(), maximumTaxRateRows));
}

QString taxRateFieldText(double rate, const QLocale& locale)
{
    if (!std::isfinite(rate))
        return {};
    return locale.toString(rate, 'f', QLocale::FloatingPointShortest);
}

std::optional<double> parseTaxRate(const QString& text, const QLocale& locale)
{
    bool ok = false;
    const double rate = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(rate))
        return std::nullopt;
    return rate;
}

std::optional<QString> taxLabelRefusal(const QString& typed, const QString& kept)
{
    if (CalcSettings::isUsableTaxLabel(typed))
        return std::nullopt;
    if (kept.isEmpty())
        return QStringLiteral("A label needs at least one letter.");
    return QStringLiteral("A label needs at least one letter, so “%1” stays.").arg(kept);
}

QStringList withCurrency(const QStringList& codes, const QString& code, bool enabled)
{
    QStringList result = codes;
    if (enabled) {
        if (!result.contains(code))
            result.append(code);
    } else {
        result.removeAll(code);
    }
    return result;
}

const QList<RefreshIntervalOption>& refreshIntervalOptions()
{
    static const QList<RefreshIntervalOption> options{
        {QStringLiteral("Manuell"), 0},
        {QStringLiteral("Stündlich"), 1},
        {QStringLiteral("Alle 6 Stunden"), 6},
        {QStringLiteral("Täglich"), 24},
    };
    return options;
}

std::optional<int> refreshIntervalIndex(int hours)
{
    const auto& options = refreshIntervalOptions();
    for (int i = 0; i < options.size(); ++i) {
        if (options[i].hours == hours)
            return i;
    }
    return std::nullopt;
}

QString abbreviatedDateTime(const QDateTime& date, const QLocale& locale)
{
    // The locale's long date without the weekday and with the short month name.
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    pattern.remove(QRegularExpression(QStringLiteral("dddd[,.]?\\s*")));
    pattern.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    pattern = pattern.trimmed();
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), pattern) + QStringLiteral(", ")
        + locale.toString(local.time(), QLocale::ShortFormat);
}

RatesStatus ratesStatus(const CalcSettings& settings, const QLocale& locale)
{
    const auto& rates = settings.exchangeRates();
    if (rates.rates.isEmpty())
        return {false, QStringLiteral("Keine Wechselkurse geladen"), std::nullopt};
    return {true, QStringLiteral("Aktualisiert: ") + abbreviatedDateTime(rates.lastUpdated, locale),
            settings.timeUntilNextRefresh()};
}

QString syncSwitchText(bool on)
{
    return on ? QStringLiteral("Canvases sync across your devices") : QStringLiteral("Canvases stored locally only");
}

} // namespace SettingsForm
