#pragma once

#include <QString>

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
    // `reason` says why the text cannot be read, `text` is the part of it
    // that could not be read; both only reach the row's hover text.
    static CalculationError invalidExpression(const QString& reason = {}, const QString& text = {})
    {
        CalculationError error(Kind::invalidExpression);
        error.m_reason = reason;
        error.m_text = text;
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
    QString reason() const { return m_reason; }
    QString unreadText() const { return m_text; }
    // The short text the row shows.
    QString errorDescription() const;
    // The short text, then why and what could not be read, when known:
    // "Invalid expression — two numbers with only words between them: 2024 120".
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
    QString m_reason;
    QString m_text;
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
