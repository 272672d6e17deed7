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
    };

    static CalculationError missingPlaceholder(const QString& name) { return {Kind::missingPlaceholder, name}; }
    static CalculationError emptyExpression() { return {Kind::emptyExpression}; }
    static CalculationError invalidExpression() { return {Kind::invalidExpression}; }
    static CalculationError unbalancedParentheses() { return {Kind::unbalancedParentheses}; }
    static CalculationError divisionByZero() { return {Kind::divisionByZero}; }
    static CalculationError invalidResult() { return {Kind::invalidResult}; }

    Kind kind() const { return m_kind; }
    // The placeholder name of missingPlaceholder; empty otherwise.
    QString name() const { return m_name; }
    QString errorDescription() const;

    bool operator==(const CalculationError& other) const
    {
        return m_kind == other.m_kind && (m_kind != Kind::missingPlaceholder || m_name == other.m_name);
    }

private:
    CalculationError(Kind kind, const QString& name = {}) : m_kind(kind), m_name(name) {}
    Kind m_kind;
    QString m_name;
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
