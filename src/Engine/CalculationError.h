#pragma once

#include <QString>

// Why the engine refuses to read a row: one value per reason. The hover
// text words each one; tests check a refusal by its code.
enum class RefusalCode {
    none,
        callNotComputable,
        callTouchingNumber,
        clockTime,
        constantTouchingNumber,
        conversionIntoNonCurrency,
        conversionUnreadable,
        conversionWithoutCurrency,
        conversionAfterConversion,
        functionWithoutValue,
        linkTouchingNumber,
        magnitudeWord,
        colonNumber,
        percentWithoutRule,
        unknownSign,
        mixedCurrenciesInConversion,
        unknownOperation,
        operatorBeforeWords,
        operatorWithoutNumber,
        conversionTargetsDiffer,
        lettersInNumber,
        lettersBeforeBracket,
        twoDecimalMarks,
        wordsBetweenNumbers,
        twoOperators,
        twoPercentSigns,
        mixedCurrencies,
        mixedUnits,
        ambiguousGrouping,
        date,
        braceOrder,
        unclosedBrace,
        unitAgainstPrice,
        taxRateWord,
        numberWord,
        currencyWithoutAmount,
        unreadable,
};

// The words a refusal's hover text gives for it.
QString refusalReason(RefusalCode code);

// Why a row could not be evaluated; its description is what the row shows.
class CalculationError {
public:
    enum class Kind {
        missingPlaceholder,
        emptyExpression,
        invalidExpression,
        unbalancedParentheses,
        divisionByZero,
        invalidResult,
        missingExchangeRate,
    };

    static CalculationError missingPlaceholder(const QString& name) { return {Kind::missingPlaceholder, name}; }
    static CalculationError emptyExpression() { return {Kind::emptyExpression}; }
    // `code` says why the text cannot be read; [spanStart, spanEnd) is the
    // stretch of the row as typed it could not read, `text` that stretch.
    static CalculationError invalidExpression(RefusalCode code = RefusalCode::unreadable, const QString& text = {},
                                              qsizetype spanStart = -1, qsizetype spanEnd = -1)
    {
        CalculationError error(Kind::invalidExpression);
        error.m_code = code;
        error.m_text = text;
        error.m_spanStart = spanStart;
        error.m_spanEnd = spanEnd;
        return error;
    }
    static CalculationError unbalancedParentheses() { return {Kind::unbalancedParentheses}; }
    static CalculationError divisionByZero() { return {Kind::divisionByZero}; }
    static CalculationError invalidResult() { return {Kind::invalidResult}; }
    // No rate converts `from` into `to`.
    static CalculationError missingExchangeRate(const QString& from, const QString& to)
    {
        return {Kind::missingExchangeRate, from + QStringLiteral(" \u2192 ") + to};
    }

    Kind kind() const { return m_kind; }
    // The placeholder name of missingPlaceholder, the two currencies of
    // missingExchangeRate; empty otherwise.
    QString name() const { return m_name; }
    RefusalCode refusal() const { return m_code; }
    QString reason() const { return m_code == RefusalCode::none ? QString() : refusalReason(m_code); }
    // Where the typed row holds what could not be read; -1 when unknown.
    qsizetype spanStart() const { return m_spanStart; }
    qsizetype spanEnd() const { return m_spanEnd; }
    // Sets the quoted stretch, as typed.
    void setTypedSpan(const QString& text, qsizetype start, qsizetype end)
    {
        m_text = text;
        m_spanStart = start;
        m_spanEnd = end;
    }
    QString unreadText() const { return m_text; }
    // The short text the row shows.
    QString errorDescription() const;
    // The short text, then why and what could not be read, when known:
    // "Invalid expression — two numbers with only words between them: 2024 120 EUR".
    QString detailText() const;

    bool operator==(const CalculationError& other) const
    {
        return m_kind == other.m_kind
            && ((m_kind != Kind::missingPlaceholder && m_kind != Kind::missingExchangeRate) || m_name == other.m_name);
    }

private:
    CalculationError(Kind kind, const QString& name = {}) : m_kind(kind), m_name(name) {}
    Kind m_kind;
    QString m_name;
    RefusalCode m_code = RefusalCode::none;
    QString m_text;
    qsizetype m_spanStart = -1;
    qsizetype m_spanEnd = -1;
};

// Success with a value or failure with an error.
class EvaluationResult {
public:
    static EvaluationResult success(double value) { return EvaluationResult(value); }
    static EvaluationResult failure(const CalculationError& error) { return EvaluationResult(error); }
    EvaluationResult(const CalculationError& error) : m_error(error), m_ok(false) {}

    bool ok() const { return m_ok; }
    double value() const { return m_value; }
    const CalculationError& error() const { return m_error; }

    bool operator==(const EvaluationResult& other) const
    {
        return m_ok == other.m_ok && (m_ok ? m_value == other.m_value : m_error == other.m_error);
    }

private:
    explicit EvaluationResult(double value) : m_value(value), m_ok(true) {}
    double m_value = 0;
    CalculationError m_error = CalculationError::invalidResult();
    bool m_ok = false;
};
