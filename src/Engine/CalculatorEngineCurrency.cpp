#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionText.h"

#include <cmath>

using namespace ExpressionText;

namespace {

// Currency code of a currency as typed.
QString normalizeCurrency(QStringView text)
{
    static const QHash<QString, QString> aliases = {
        {QStringLiteral("€"), QStringLiteral("EUR")},     {QStringLiteral("EURO"), QStringLiteral("EUR")},
        {QStringLiteral("EUROS"), QStringLiteral("EUR")}, {QStringLiteral("$"), QStringLiteral("USD")},
        {QStringLiteral("US$"), QStringLiteral("USD")},   {QStringLiteral("DOLLAR"), QStringLiteral("USD")},
        {QStringLiteral("DOLLARS"), QStringLiteral("USD")}, {QStringLiteral("£"), QStringLiteral("GBP")},
        {QStringLiteral("POUND"), QStringLiteral("GBP")}, {QStringLiteral("POUNDS"), QStringLiteral("GBP")},
        {QStringLiteral("¥"), QStringLiteral("JPY")},     {QStringLiteral("YEN"), QStringLiteral("JPY")},
        {QStringLiteral("CHF"), QStringLiteral("CHF")},   {QStringLiteral("FRANC"), QStringLiteral("CHF")},
        {QStringLiteral("FRANCS"), QStringLiteral("CHF")}, {QStringLiteral("C$"), QStringLiteral("CAD")},
        {QStringLiteral("CAD$"), QStringLiteral("CAD")},  {QStringLiteral("A$"), QStringLiteral("AUD")},
        {QStringLiteral("AUD$"), QStringLiteral("AUD")},  {QStringLiteral("KR"), QStringLiteral("SEK")},
        {QStringLiteral("KRONA"), QStringLiteral("SEK")}, {QStringLiteral("ZŁ"), QStringLiteral("PLN")},
        {QStringLiteral("ZLOTY"), QStringLiteral("PLN")},
    };
    const QString upper = text.trimmed().toString().toUpper();
    return aliases.value(upper, upper);
}

bool allNumberChars(QStringView piece)
{
    for (qsizetype i = 0; i < piece.size();) {
        qsizetype length = 1;
        if (!isNumberChar(codePointAt(piece, i, &length)))
            return false;
        i += length;
    }
    return true;
}

// The amount of a conversion phrase; a single group of three digits after
// "." or "," reads as thousands.
std::optional<double> parseAmount(QStringView amount)
{
    QString text = amount.toString();
    const bool hasDot = text.contains(QLatin1Char('.'));
    const bool hasComma = text.contains(QLatin1Char(','));
    auto isGroup = [](QStringView piece) { return codePointCount(piece) == 3 && allNumberChars(piece); };
    if (hasDot && hasComma) {
        text.remove(QLatin1Char('.'));
        text.replace(QLatin1Char(','), QLatin1Char('.'));
    } else if (hasComma) {
        const QList<QStringView> pieces = amount.split(QLatin1Char(','));
        if (pieces.size() == 2 && isGroup(pieces[1]))
            text.remove(QLatin1Char(','));
        else
            text.replace(QLatin1Char(','), QLatin1Char('.'));
    } else if (hasDot) {
        const QList<QStringView> pieces = amount.split(QLatin1Char('.'));
        bool groups = true;
        for (qsizetype p = 1; p < pieces.size(); ++p)
            groups = groups && isGroup(pieces[p]);
        if (groups)
            text.remove(QLatin1Char('.'));
    }
    return readDouble(text);
}

// Every phrase needs "in", "to" (in any case) or "->".
bool hasConversionKeyword(QStringView text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        const char16_t a = text[i].unicode() | 0x20;
        const char16_t b = text[i + 1].unicode() | 0x20;
        if ((a == 'i' && b == 'n') || (a == 't' && b == 'o') || (text[i] == QLatin1Char('-') && text[i + 1] == QLatin1Char('>')))
            return true;
    }
    return false;
}

} // namespace

void CalculatorEngine::processCurrencyConversions(QString& text, Pipeline& pipeline)
{
    static const QString currencies = QStringLiteral(
        R"((€|C\$|A\$|US\$|\$|£|¥|EUR|USD|GBP|CHF|JPY|CAD|AUD|CNY|SEK|NOK|DKK|PLN|Euro|Dollar|Euros|Dollars|Pound|Pounds))");
    static const QString keyword = QStringLiteral(R"(\s+(?:in|to|->)\s*)");
    static const QString amount = QStringLiteral(R"((\d+(?:[.,]\d+)*))");
    static const QRegularExpression amountFirst =
        EngineRegex::compile(amount + QStringLiteral(R"(\s*)") + currencies + keyword + currencies, true);
    static const QRegularExpression symbolFirst =
        EngineRegex::compile(QStringLiteral(R"((€|C\$|A\$|US\$|\$|£|¥)\s*)") + amount + keyword + currencies, true);

    // Without any rates a phrase still fails as for a missing rate: an
    // amount must never pass as converted when it is not.
    const EngineSettings& settings = pipeline.settings;
    if (!hasConversionKeyword(text))
        return;

    auto convert = [&](int amountGroup, int fromGroup, int toGroup) {
        return [&settings, amountGroup, fromGroup, toGroup](const QRegularExpressionMatch& match) -> std::optional<QString> {
            const std::optional<double> value = parseAmount(match.capturedView(amountGroup));
            if (!value)
                return std::nullopt;
            const QString from = normalizeCurrency(match.capturedView(fromGroup));
            const QString to = normalizeCurrency(match.capturedView(toGroup));
            const std::optional<double> converted =
                settings.convert ? settings.convert(*value, from, to) : std::nullopt;
            // A missing rate, or a zero one, ends as a division by zero
            // rather than as a silent 0.
            if (!converted || !std::isfinite(*converted))
                return QStringLiteral("(0/0)");
            return canonicalNumber(*converted);
        };
    };
    text = EngineRegex::replaceEachMatch(text, amountFirst, convert(1, 2, 3));
    text = EngineRegex::replaceEachMatch(text, symbolFirst, convert(2, 1, 3));
}
