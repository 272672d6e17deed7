#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/EngineWords.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace ExpressionText;

CalculatorEngine::CalculatorEngine(EngineSettingsProvider settingsProvider)
    : m_settingsProvider(std::move(settingsProvider))
{
}

QString CalculatorEngine::formatResult(double value)
{
    return ExpressionText::formatResult(value);
}

void CalculatorEngine::clearRegexCache()
{
    m_labelCache = {};
}

// ---------------------------------------------------------------------------
// The frame and placeholder substitution

EvaluationResult CalculatorEngine::evaluate(const QString& expression)
{
    return evaluateFrame(expression, m_settingsProvider());
}

EvaluationResult CalculatorEngine::evaluate(const QString& expression, const QHash<QString, double>& values,
                                            const QHash<QString, QString>& currencies)
{
    return evaluateWith(expression, values, currencies, m_settingsProvider());
}

namespace {

// A number sign the steps do not read (³, ½, Ⅻ): where it is, else -1.
qsizetype unreadNumberSign(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() < 0x80)
            continue;
        qsizetype n = 1;
        const char32_t c = codePointAt(text, i, &n);
        if (isNumberChar(c) && !isDecimalDigit(c)) {
            // The power of a unit (78 m², 1,2 m³) is part of its word.
            const qsizetype wordStart = EngineCatalogue::isUnitPower(c) ? i - EngineWords::lettersEndingAt(text, i).size() : i;
            if (wordStart == i || EngineCatalogue::unitWordEnd(text, wordStart) != i + 1)
                return i;
        }
        i += n - 1;
    }
    return -1;
}

// A refusal with no place of its own (the parser's) quotes the whole row as
// typed.
CalculationError quotedAsTyped(CalculationError error, const QString& typed)
{
    if (error.kind() != CalculationError::Kind::invalidExpression || error.spanStart() >= 0)
        return error;
    constexpr qsizetype most = 40;
    const qsizetype at = skipWhiteSpace(typed, 0);
    const qsizetype end = skipWhiteSpaceBack(typed, typed.size(), at);
    QString shown = typed.mid(at, std::min(end - at, most));
    if (end - at > most)
        shown += QChar(0x2026);
    error.setTypedSpan(shown, at, end);
    return error;
}

} // namespace

EvaluationResult CalculatorEngine::evaluateFrame(const QString& expression, const EngineSettings& settings,
                                                 const QString* typed, QStringView label)
{
    const QString& asTyped = typed ? *typed : expression;
    if (const qsizetype at = unreadNumberSign(expression); at >= 0) {
        qsizetype n = 1;
        codePointAt(expression, at, &n);
        std::optional<CalculationError> failure;
        const TypedOrigin origin(asTyped, expression, m_quotedFrom);
        EngineRefusal::refuse(failure, RefusalCode::unknownSign, expression, at, at + n, &origin);
        return *failure;
    }
    Pipeline pipeline{settings};
    pipeline.label = label;
    QString sanitized = expression;
    sanitize(sanitized, pipeline);
    // The refusing step kept what it read: its place there is mapped back
    // to the row as typed.
    if (pipeline.failure && pipeline.failure->refusal() != RefusalCode::none && pipeline.place.known)
        pipeline.failure = pipeline.place.quoted(*pipeline.failure, asTyped, expression, m_quotedFrom);
    // Unbalanced brackets say more than any other reason a row cannot be read.
    if (!hasBalancedParentheses(sanitized))
        return CalculationError::unbalancedParentheses();
    if (pipeline.failure)
        return quotedAsTyped(*pipeline.failure, asTyped);
    if (sanitized.isEmpty())
        return CalculationError::emptyExpression();
    const ExpressionParser::Result parsed = ExpressionParser::evaluate(sanitized);
    if (!parsed.ok) {
        if (parsed.error.kind == ExpressionParser::ErrorKind::divisionByZero)
            return CalculationError::divisionByZero();
        return quotedAsTyped(CalculationError::invalidExpression(RefusalCode::unreadable), asTyped);
    }
    // An overflow is no division: it says the result has no value.
    if (!std::isfinite(parsed.value))
        return CalculationError::invalidResult();
    return EvaluationResult::success(parsed.value);
}

namespace {

// A linked value as the pipeline will read it: plain digits with the decimal
// mark of the current style, never grouped, never in exponent form.
QString linkedValueText(double value, DecimalStyle style)
{
    QString text = plainNumber(value == 0 ? 0.0 : value);
    if (style == DecimalStyle::germanComma)
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

// A value written for the token at [at, end) would touch a number and be
// read as one with it ({A}{B}, 5{A}): the row cannot be read.
bool touchesNumber(const QString& written, qsizetype copied, QStringView text, qsizetype at, qsizetype end)
{
    const QChar before = copied == at && !written.isEmpty() ? written.back() : (at > 0 ? text[at - 1] : QChar());
    return isNumberish(before.unicode()) || (end < text.size() && isNumberish(text[end].unicode()));
}

// Replaces every token of one name: "{", the name, optional white space,
// then "}" or ":" with any text up to the next "}". Tokens are taken left to
// right without overlaps, as a pattern would find them; the name is matched
// literally, so it needs no pattern to be compiled.
template <typename Replacement>
std::optional<QString> replacePlaceholder(const QString& text, const QString& name, Replacement&& replacement)
{
    const QString opening = QLatin1Char('{') + name;
    QString result;
    qsizetype copied = 0;
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(opening, from); at >= 0; at = text.indexOf(opening, from)) {
        qsizetype j = at + opening.size();
        while (j < text.size()) {
            qsizetype length = 1;
            if (!isWhiteSpace(codePointAt(text, j, &length)))
                break;
            j += length;
        }
        qsizetype end = -1;
        if (j < text.size() && text[j] == QLatin1Char('}')) {
            end = j + 1;
        } else if (j < text.size() && text[j] == QLatin1Char(':')) {
            const qsizetype close = text.indexOf(QLatin1Char('}'), j + 1);
            if (close >= 0)
                end = close + 1;
        }
        if (end < 0) {
            from = at + 1;
            continue;
        }
        if (touchesNumber(result, copied, text, at, end))
            return std::nullopt;
        result += QStringView(text).mid(copied, at - copied);
        result += replacement(end);
        copied = end;
        from = end;
    }
    if (copied == 0)
        return text;
    result += QStringView(text).mid(copied);
    return result;
}

// A linked value as inserted for its token: the number, then its currency.
// A negative value stands in brackets, as a value of its own: {A}^2 with
// A = -3 is 9, and 5 {B} with B = -3 is not read as 5 - 3.
QString insertedValue(double value, const QHash<QString, QString>& currencies, const QString& key, DecimalStyle style)
{
    QString number = linkedValueText(value, style);
    if (value < 0)
        number = QLatin1Char('(') + number + QLatin1Char(')');
    const auto currency = currencies.constFind(key);
    if (currency != currencies.constEnd())
        number += QLatin1Char(' ') + *currency;
    return number;
}



// Every token filled in one scan of the text, taking at each "{" the longest
// name that forms a token there. This is what filling one name after the
// other, longest first, gives as long as no token can reach into another:
// none when a name holds a brace or a colon, or when a "{" stands inside the
// name or colour part of a possible token. Then the answer is none and the
// caller fills name by name. With `noteWhere`, `filled` gets the tokens,
// each with its value's place in the answer.
template <bool noteWhere>
std::optional<QString> fillInOneScan(const QString& text, const QHash<QString, double>& values,
                                     const QHash<QString, QString>& currencies, DecimalStyle style,
                                     std::optional<CalculationError>& failure, Replacements* filled)
{
    // The lengths of the names, longest first.
    QVarLengthArray<qsizetype, 8> nameLengths;
    for (auto it = values.keyBegin(); it != values.keyEnd(); ++it) {
        for (const QChar c : *it) {
            if (c == QLatin1Char('{') || c == QLatin1Char('}') || c == QLatin1Char(':'))
                return std::nullopt;
        }
        if (!nameLengths.contains(it->size()))
            nameLengths.append(it->size());
    }
    std::sort(nameLengths.begin(), nameLengths.end(), std::greater<>());
    const qsizetype size = text.size();
    QString result;
    qsizetype copied = 0;
    for (qsizetype at = text.indexOf(QLatin1Char('{')); at >= 0;) {
        // The name and any white space after it run up to the first "}" or ":".
        qsizetype stop = at + 1;
        qsizetype blanksFrom = stop;
        while (stop < size && text[stop] != QLatin1Char('}') && text[stop] != QLatin1Char(':')) {
            if (text[stop] == QLatin1Char('{'))
                return std::nullopt;
            qsizetype length = 1;
            if (!isWhiteSpace(codePointAt(text, stop, &length)))
                blanksFrom = stop + length;
            stop += length;
        }
        if (stop >= size)
            break; // nothing after this "{" can close a token, nor after a later one
        qsizetype end = stop + 1;
        if (text[stop] == QLatin1Char(':')) {
            qsizetype close = stop + 1;
            while (close < size && text[close] != QLatin1Char('}')) {
                if (text[close] == QLatin1Char('{'))
                    return std::nullopt;
                ++close;
            }
            if (close >= size)
                break;
            end = close + 1;
        }
        // The longest name that ends in the stretch's trailing white space:
        // only the lengths of the names there are can match, so a long run
        // of blanks costs one look per name, not one per blank.
        const double* value = nullptr;
        QString key;
        for (const qsizetype length : nameLengths) {
            const qsizetype nameEnd = at + 1 + length;
            if (nameEnd > stop)
                continue;
            if (nameEnd < blanksFrom)
                break;
            key = QString::fromRawData(text.constData() + at + 1, length);
            const auto found = values.constFind(key);
            if (found != values.constEnd()) {
                value = &*found;
                break;
            }
        }
        if (!value) {
            at = text.indexOf(QLatin1Char('{'), at + 1);
            continue;
        }
        // A value that is not a finite number cannot stand in a text.
        if (!std::isfinite(*value)) {
            EngineRefusal::notFinite(failure);
            return std::nullopt;
        }
        if (touchesNumber(result, copied, text, at, end)) {
            // The token and the number it touches, in the row as typed.
            qsizetype from = at;
            while (from > 0 && isNumberish(text[from - 1].unicode()))
                --from;
            if (from > 0 && from == at && text[from - 1] == QLatin1Char('}'))
                from = text.lastIndexOf(QLatin1Char('{'), from - 1);
            qsizetype to = end;
            while (to < text.size() && isNumberish(text[to].unicode()))
                ++to;
            if (to == end && to < text.size() && text[to] == QLatin1Char('{'))
                to = std::max(text.indexOf(QLatin1Char('}'), to) + 1, to + 1);
            const TypedOrigin origin(text, text);
            EngineRefusal::refuse(failure, RefusalCode::linkTouchingNumber, text, from, to, &origin);
            return std::nullopt;
        }
        result += QStringView(text).mid(copied, at - copied);
        if constexpr (noteWhere) {
            const qsizetype valueAt = result.size();
            result += insertedValue(*value, currencies, key, style);
            filled->append({at, end, valueAt, result.size()});
        } else {
            result += insertedValue(*value, currencies, key, style);
        }
        copied = end;
        at = text.indexOf(QLatin1Char('{'), end);
    }
    if (copied == 0)
        return text;
    result += QStringView(text).mid(copied);
    return result;
}

// The first brace of the row as typed that pairs with none: a "}" before
// any "{" names nothing, a "{" left open names no link.
CalculationError strayBrace(const QString& typed)
{
    qsizetype open = -1;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (typed[i] == QLatin1Char('{')) {
            open = i;
        } else if (typed[i] == QLatin1Char('}')) {
            if (open < 0)
                return CalculationError::invalidExpression(RefusalCode::braceOrder, typed.mid(i, 40), i,
                                                           std::min(typed.size(), i + 40));
            open = -1;
        }
    }
    const qsizetype at = std::max<qsizetype>(open, 0);
    return CalculationError::invalidExpression(RefusalCode::unclosedBrace, typed.mid(at, 40), at,
                                               std::min(typed.size(), at + 40));
}

// A brace left after the links were filled in ({open} and {close} the first
// of each): a link without a value, else a brace that pairs with none.
CalculationError braceLeft(const QString& text, qsizetype open, qsizetype close, const QString& quoted)
{
    if (open >= 0 && close >= 0 && open < close) {
        QString name = text.mid(open + 1, close - open - 1);
        const qsizetype colon = name.indexOf(QLatin1Char(':'));
        if (colon >= 0)
            name.truncate(colon);
        return CalculationError::missingPlaceholder(name);
    }
    return strayBrace(quoted);
}

// The first "{" and the first "}" of the text, -1 where there is none: one
// pass, where a search for each costs more on rows of ordinary length.
std::pair<qsizetype, qsizetype> firstBraces(QStringView text)
{
    qsizetype open = -1;
    qsizetype close = -1;
    const QChar* data = text.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = data[i].unicode();
        if (u < '{' || u > '}') [[likely]]
            continue;
        if (u == '{' && open < 0)
            open = i;
        else if (u == '}' && close < 0)
            close = i;
        else
            continue;
        if (open >= 0 && close >= 0)
            break;
    }
    return {open, close};
}

} // namespace

EvaluationResult CalculatorEngine::evaluateWith(const QString& expression, const QHash<QString, double>& values,
                                                const QHash<QString, QString>& currencies,
                                                const EngineSettings& settings, const QString* shown,
                                                QStringView label, const Replacements* shownReplaced)
{
    const QString& quoted = shown ? *shown : expression;
    auto [open, close] = firstBraces(expression);
    if (values.isEmpty() || open < 0) {
        if (open >= 0 || close >= 0)
            return braceLeft(expression, open, close, quoted);
        return evaluateFrame(expression, settings, &quoted, label);
    }

    QString text = expression;
    // The row as quoted and the text read both come from the expression. A
    // row with few links is aligned whole for a quote; with many, where each
    // link stands is noted as it is filled in.
    const bool many = values.size() >= fewReplacedStretches
        || (shownReplaced && shownReplaced->size() >= fewReplacedStretches);
    std::unique_ptr<Replacements> noted;
    bool filledKnown = true;
    std::optional<CalculationError> failure;
    std::optional<QString> filled;
    if (many) {
        noted = std::make_unique<Replacements>();
        filled = fillInOneScan<true>(text, values, currencies, settings.decimalStyle, failure, noted.get());
    } else {
        filled = fillInOneScan<false>(text, values, currencies, settings.decimalStyle, failure, nullptr);
    }
    if (failure)
        return shown ? quotedAsTyped(*failure, *shown) : *failure;
    if (filled) {
        text = std::move(*filled);
    } else {
        filledKnown = false;
        // Longest names first; the braces keep names of equal length apart.
        QVarLengthArray<std::pair<qsizetype, QString>, 8> keys;
        for (auto it = values.keyBegin(); it != values.keyEnd(); ++it)
            keys.append({codePointCount(*it), *it});
        std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& [length, key] : std::as_const(keys)) {
            if (!text.contains(key))
                continue;
            const double value = values.value(key);
            const QString number = insertedValue(value, currencies, key, settings.decimalStyle);
            bool used = false;
            std::optional<QString> filled = replacePlaceholder(text, key, [&](qsizetype) {
                used = true;
                return number;
            });
            if (!filled)
                return CalculationError::invalidExpression(RefusalCode::linkTouchingNumber, quoted.left(40), 0,
                                                           std::min<qsizetype>(quoted.size(), 40));
            text = std::move(*filled);
            if (used && !std::isfinite(value))
                return CalculationError::invalidResult();
        }
    }
    std::tie(open, close) = firstBraces(text);
    if (open >= 0 || close >= 0)
        return braceLeft(text, open, close, quoted);
    if (!many || !filledKnown || (shown && !shownReplaced))
        return evaluateFrame(text, settings, &quoted, label);
    const CommonSource common{expression.size(), shown ? shownReplaced : nullptr,
                              noted->isEmpty() ? nullptr : noted.get()};
    m_quotedFrom = &common;
    EvaluationResult outcome = evaluateFrame(text, settings, &quoted, label);
    m_quotedFrom = nullptr;
    return outcome;
}
