#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/EngineWords.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <cmath>

using namespace ExpressionText;

namespace {

// The run of letters starting at `i`: [i, end).
qsizetype wordEnd(QStringView text, qsizetype i)
{
    qsizetype end = i;
    while (end < text.size()) {
        qsizetype n = 1;
        if (!isWordChar(codePointAt(text, end, &n)))
            break;
        end += n;
    }
    return end;
}

// A lettered mark stands next to an amount, on a side it may stand on. A
// one-letter mark needs a blank before its number: R5 is a word (a cable,
// a model), R 5 five rand.
bool markNextToAmount(QStringView text, qsizetype start, qsizetype end, QStringView word)
{
    const EngineCatalogue::MarkPlace place = EngineCatalogue::letteredMarkPlace(word);
    const bool single = word.size() == 1;
    if (place != EngineCatalogue::MarkPlace::after) {
        const qsizetype next = skipWhiteSpace(text, end);
        if (next < text.size() && (next > end || !single) && isNumberish(codePointAt(text, next)))
            return true;
    }
    if (place != EngineCatalogue::MarkPlace::before) {
        const qsizetype previous = skipWhiteSpaceBack(text, start);
        if (previous > 0 && isNumberChar(codePointBefore(text, previous)))
            return true;
    }
    return false;
}

// The currency the word [start, end) names, if it stands where it can.
QStringView wordCurrencyAt(QStringView text, qsizetype start, qsizetype end, bool target = false)
{
    const QStringView word = text.mid(start, end - start);
    const QStringView code = EngineCatalogue::currencyOfWord(word);
    if (code.isEmpty())
        return {};
    bool lettered = false;
    for (const EngineCatalogue::CurrencySpelling& entry : EngineCatalogue::currencyWords()) {
        if (entry.kind == EngineCatalogue::SpellingKind::letteredMark && entry.text == word) {
            lettered = true;
            break;
        }
    }
    // Codes and names that happen to spell a mark (CHF) stand anywhere.
    bool named = false;
    if (lettered) {
        for (const EngineCatalogue::CurrencySpelling& entry : EngineCatalogue::currencyWords()) {
            if (entry.kind != EngineCatalogue::SpellingKind::letteredMark && entry.text.size() == word.size()
                && entry.text.compare(word, Qt::CaseInsensitive) == 0) {
                named = true;
                break;
            }
        }
    }
    if (lettered && !named && !target && !markNextToAmount(text, start, end, word))
        return {};
    return code;
}

} // namespace

namespace EngineCurrency {

QStringView currencyAt(QStringView text, qsizetype i, qsizetype* length, bool target)
{
    if (i >= text.size())
        return {};
    const char16_t first = text[i].unicode();
    if (first < 0x80 && !EngineCatalogue::isSignSymbol(first) && !isAsciiLetter(first))
        return {};
    const bool wordBefore = i > 0 && isWordChar(codePointBefore(text, i));
    if (!(wordBefore && isAsciiLetter(first))) {
        qsizetype n = 0;
        const QStringView sign = EngineCatalogue::currencySignAt(text, i, &n);
        if (!sign.isEmpty()) {
            *length = n;
            return sign;
        }
    }
    if (wordBefore || !isWordChar(codePointAt(text, i)))
        return {};
    const qsizetype end = wordEnd(text, i);
    const QStringView code = wordCurrencyAt(text, i, end, target);
    if (!code.isEmpty())
        *length = end - i;
    return code;
}

QStringView currencyBefore(QStringView text, qsizetype end, qsizetype* start)
{
    if (end <= 0)
        return {};
    qsizetype n = 1;
    const char32_t last = codePointBefore(text, end, &n);
    if (!isWordChar(last)) {
        if (last < 0x80 && !EngineCatalogue::isSignSymbol(last))
            return {};
        for (const EngineCatalogue::CurrencySpelling& sign : EngineCatalogue::currencySigns()) {
            const qsizetype at = end - sign.text.size();
            if (at < 0 || sign.text.back() != text[end - 1] || text.mid(at, sign.text.size()) != sign.text)
                continue;
            if (isAsciiLetter(sign.text.front().unicode()) && at > 0 && isWordChar(codePointBefore(text, at)))
                continue;
            *start = at;
            return sign.code;
        }
        return {};
    }
    // No further back than the longest currency word: a longer word is none.
    const qsizetype longest = EngineCatalogue::longestCurrencyWord();
    qsizetype at = end;
    while (at > 0 && end - at < longest) {
        qsizetype m = 1;
        if (!isWordChar(codePointBefore(text, at, &m)))
            break;
        at -= m;
    }
    if (at > 0 && isWordChar(codePointBefore(text, at)))
        return {};
    const QStringView found = wordCurrencyAt(text, at, end);
    if (!found.isEmpty())
        *start = at;
    return found;
}

} // namespace EngineCurrency

namespace {

// The length of a conversion keyword at `i` ("in", "to", "nach", "into" as
// words or run into a currency's name, "->", "=>", "→", "="), else 0.
qsizetype keywordAt(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (!EngineCatalogue::mayStartConversion(c))
        return 0;
    if (const qsizetype arrow = EngineCatalogue::conversionArrowAt(text, i))
        return arrow;
    if (i > 0 && isWordChar(codePointBefore(text, i)))
        return 0;
    for (QLatin1String word : EngineCatalogue::conversionKeywords()) {
        if (!startsWithLowerAscii(text, i, word))
            continue;
        const qsizetype end = i + word.size();
        if (end == text.size() || !isWordChar(codePointAt(text, end)))
            return word.size();
        // Run into a currency's code or name, as in "inUSD"; a word that is
        // a currency itself (INR) is no keyword.
        const QStringView rest = EngineWords::lettersAt(text, end);
        if (EngineCatalogue::isCurrencyWord(text.mid(i, end + rest.size() - i)))
            return 0;
        const QStringView code = EngineCatalogue::currencyOfWord(rest);
        if (!code.isEmpty() && EngineCatalogue::letteredMarkPlace(rest) == EngineCatalogue::MarkPlace::either
            && !(EngineCatalogue::isLetteredMark(rest) && rest.front().isLower()))
            return word.size();
    }
    return 0;
}

// The stretch before a keyword ends in an amount: a number, a bracket, a
// percentage or a currency, or one such followed by a unit word (5 kg).
bool endsInAmount(QStringView text, qsizetype from, qsizetype end)
{
    end = skipWhiteSpaceBack(text, end);
    if (end <= from)
        return false;
    auto amountEnd = [&](qsizetype at) {
        if (at <= from)
            return false;
        const char32_t c = codePointBefore(text, at);
        qsizetype start = 0;
        return isNumberChar(c) || c == ')' || c == '%' || !EngineCurrency::currencyBefore(text, at, &start).isEmpty();
    };
    if (amountEnd(end))
        return true;
    // A unit written with a degree sign, a slash or a power sign is one
    // unit too (20 °C, 100 km/h, 5 m²).
    qsizetype wordStart = end;
    while (wordStart > from) {
        const char32_t c = codePointBefore(text, wordStart);
        if (!isWordChar(c) && c != '/' && c != 0x00B0 && !EngineCatalogue::isUnitPower(c))
            break;
        --wordStart;
    }
    return wordStart < end && amountEnd(skipWhiteSpaceBack(text, wordStart));
}

} // namespace

std::optional<QString> CalculatorEngine::conversionTargetCode(QStringView text)
{
    // The last conversion decides the currency the value ends in.
    std::optional<QString> target;
    for (qsizetype k = 0; k < text.size(); ++k) {
        const qsizetype keyword = keywordAt(text, k);
        if (keyword == 0)
            continue;
        qsizetype length = 0;
        const QStringView code = EngineCurrency::currencyAt(text.mid(skipWhiteSpace(text, k + keyword)), 0, &length, true);
        if (!code.isEmpty())
            target = code.toString();
        k += keyword - 1;
    }
    return target;
}

// A conversion converts the value of everything between the previous
// conversion (or the row's start, or the bracket it stands in) and itself.
// The amounts there that carry a currency all carry the same one, and a
// plain number counts in it. Whatever cannot be read that way fails the row
// rather than pass an amount as converted when it is not.
void CalculatorEngine::processCurrencyConversions(QString& text, Pipeline& pipeline)
{
    const QStringView in(text);
    QString out;
    qsizetype copied = 0;
    qsizetype previousEnd = -1; // where the previous conversion's target ends
    QString firstTarget;
    QVarLengthArray<qsizetype, 8> opens; // unclosed "(" in `in`
    const EngineCatalogue::CharacterSet& starts = EngineCatalogue::conversionStarts();
    for (qsizetype k = 0; k < in.size(); ++k) {
        const QChar c = in[k];
        if (c == QLatin1Char('(')) {
            opens.append(k);
            continue;
        }
        if (c == QLatin1Char(')')) {
            if (!opens.isEmpty())
                opens.removeLast();
            continue;
        }
        if (!starts.has(c.unicode()))
            continue;
        const qsizetype keyword = keywordAt(in, k);
        if (keyword == 0)
            continue;
        // Where the stretch starts: after the previous conversion and the
        // operator that follows it, or inside the bracket it stands in.
        qsizetype from = 0;
        if (previousEnd >= 0) {
            from = skipWhiteSpace(in, previousEnd);
            if (from < k && EngineCatalogue::operatorSignAt(in, from))
                ++from;
        }
        if (!opens.isEmpty() && opens.back() + 1 > from)
            from = opens.back() + 1;
        const qsizetype targetAt = skipWhiteSpace(in, k + keyword);
        qsizetype targetLength = 0;
        // The target may be run into the keyword (inUSD).
        const QStringView target = EngineCurrency::currencyAt(in.mid(targetAt), 0, &targetLength, true);
        const bool plainEquals = keyword == 1 && c == QLatin1Char('=');
        if (target.isEmpty()) {
            // A keyword that follows no amount is a word of a label (Urlaub
            // in Rom); one that does converts into something that is not a
            // currency (5 kg in lb), or into nothing (100 USD in).
            if (!endsInAmount(in, from, k) || (plainEquals && targetAt == in.size()))
                continue;
            if (previousEnd >= 0 && skipWhiteSpace(in, previousEnd) >= k)
                pipeline.refuse(RefusalCode::conversionAfterConversion, in, previousEnd, targetAt + 8);
            else
                pipeline.refuse(RefusalCode::conversionIntoNonCurrency, in, k, targetAt + 8);
            return;
        }
        // A price per a unit is no currency to convert into (10 €/kg in €/g).
        if (const qsizetype after = skipWhiteSpace(in, targetAt + targetLength);
            after < in.size() && in[after] == QLatin1Char('/') && endsInAmount(in, from, k)) {
            const qsizetype unitStart = skipWhiteSpace(in, after + 1);
            const qsizetype unitEnd = EngineCatalogue::unitWordEnd(in, unitStart);
            if (unitEnd > unitStart && EngineCatalogue::unitOf(in.mid(unitStart, unitEnd - unitStart))) {
                pipeline.refuse(RefusalCode::conversionIntoNonCurrency, in, k, unitEnd);
                return;
            }
        }
        // Nothing before it at all: a word of a label (in USD alone).
        if (previousEnd < 0 && skipWhiteSpace(in, from) >= k && opens.isEmpty())
            continue;
        if (skipWhiteSpace(in, from) >= k || (previousEnd >= 0 && skipWhiteSpace(in, previousEnd) >= k)) {
            pipeline.refuse(RefusalCode::conversionAfterConversion, in, std::max<qsizetype>(0, from - 8),
                            targetAt + targetLength);
            return;
        }
        // The stretch's currency: every amount there that carries one carries the same.
        const QStringView stretch = in.mid(from, k - from);
        QStringView source;
        for (qsizetype i = 0; i < stretch.size(); ++i) {
            qsizetype length = 0;
            const QStringView code = EngineCurrency::currencyAt(stretch, i, &length);
            if (code.isEmpty())
                continue;
            if (!source.isEmpty() && code != source) {
                pipeline.refuse(RefusalCode::mixedCurrenciesInConversion, in, from, k + keyword);
                return;
            }
            source = code;
            i += length - 1;
        }
        if (source.isEmpty()) {
            pipeline.refuse(RefusalCode::conversionWithoutCurrency, in, from, targetAt + targetLength);
            return;
        }
        if (firstTarget.isEmpty()) {
            firstTarget = target.toString();
        } else if (firstTarget != target) {
            pipeline.refuse(RefusalCode::conversionTargetsDiffer, in, from, targetAt + targetLength);
            return;
        }
        // The stretch's value, read by the steps that follow this one.
        QString value = stretch.toString();
        // The stretch is read on its own; its refusals quote the row.
        pipeline.place.converted = text;
        pipeline.place.stretchFrom = from;
        pipeline.place.stretchTo = k;
        sanitizeAfterConversions(value, pipeline);
        if (pipeline.failure)
            return;
        pipeline.place.stretchFrom = -1;
        pipeline.place.stretchTo = -1;
        if (!hasBalancedParentheses(value) || value.isEmpty()) {
            pipeline.refuse(RefusalCode::conversionUnreadable, in, from, k);
            return;
        }
        const ExpressionParser::Result parsed = ExpressionParser::evaluate(value);
        if (!parsed.ok) {
            if (parsed.error.kind == ExpressionParser::ErrorKind::divisionByZero)
                pipeline.failure = CalculationError::divisionByZero();
            else
                pipeline.refuse(RefusalCode::conversionUnreadable, in, from, k);
            return;
        }
        const QString fromCode = source.toString();
        const QString toCode = target.toString();
        const std::optional<double> converted = fromCode == toCode ? std::optional(parsed.value)
            : pipeline.settings.convert                           ? pipeline.settings.convert(parsed.value, fromCode, toCode)
                                                                  : std::nullopt;
        if (!converted || !std::isfinite(*converted)) {
            if (!pipeline.failure)
                pipeline.failure = CalculationError::missingExchangeRate(fromCode, toCode);
            return;
        }
        out += in.mid(copied, from - copied);
        if (from > 0 && !isWhiteSpace(in[from - 1].unicode()) && in[from - 1] != QLatin1Char('('))
            out += QLatin1Char(' ');
        appendCanonicalNumber(out, *converted);
        // The value goes on in its new currency.
        out += QLatin1Char(' ');
        out += toCode;
        copied = targetAt + targetLength;
        previousEnd = copied;
        k = copied - 1;
    }
    if (copied == 0)
        return;
    out += in.mid(copied);
    text = std::move(out);
}
