#pragma once

#include "Models/CalcSettings.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>

// What the settings window shows and how it reads what is typed there, apart
// from any widget.
namespace SettingsForm {

// Tab titles, in order.
const QStringList& tabTitles();

// Tax rates: the tab shows at most three rows, never more than are stored.
constexpr int maximumTaxRateRows = 3;
int taxRateRowCount(const QList<CalcSettings::TaxRate>& rates);
// A rate as its field shows it, in the locale's number format with grouping.
QString taxRateFieldText(double rate, const QLocale& locale);
// The rate typed into a field; none when the text is no finite number.
std::optional<double> parseTaxRate(const QString& text, const QLocale& locale);

// Why a typed tax label is not taken, naming the label that stays; none
// when it is taken.
std::optional<QString> taxLabelRefusal(const QString& typed, const QString& kept);

// Enabled currencies: switching one on appends it unless it is there;
// switching it off removes every copy; the others keep their order.
QStringList withCurrency(const QStringList& codes, const QString& code, bool enabled);

// The refresh interval menu.
struct RefreshIntervalOption {
    QString title;
    int hours = 0;
};
const QList<RefreshIntervalOption>& refreshIntervalOptions();
// The option showing a stored interval; none for any other value.
std::optional<int> refreshIntervalIndex(int hours);

// The exchange-rate status under the menu.
struct RatesStatus {
    bool loaded = false;
    QString text;
    std::optional<QString> nextRefresh; // only when rates are loaded
    bool operator==(const RatesStatus&) const = default;
};
RatesStatus ratesStatus(const CalcSettings& settings, const QLocale& locale);
// Day, abbreviated month and year, then hours and minutes, as the locale writes them.
QString abbreviatedDateTime(const QDateTime& date, const QLocale& locale);

// The line under the sync switch.
QString syncSwitchText(bool on);

} // namespace SettingsForm
