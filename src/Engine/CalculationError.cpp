#include "Engine/CalculationError.h"

QString CalculationError::errorDescription() const
{
    switch (m_kind) {
    case Kind::missingPlaceholder: return QStringLiteral("Missing value for ") + m_name;
    case Kind::emptyExpression: return QStringLiteral("Empty expression");
    case Kind::invalidExpression: return QStringLiteral("Invalid expression");
    case Kind::unbalancedParentheses: return QStringLiteral("Unbalanced parentheses");
    case Kind::divisionByZero: return QStringLiteral("Division by zero");
    case Kind::invalidResult: return QStringLiteral("Invalid result");
    case Kind::missingExchangeRate: return QStringLiteral("No exchange rate for ") + m_name;
    }
    return QStringLiteral("Invalid expression");
}

QString CalculationError::detailText() const
{
    QString text = errorDescription();
    if (m_reason.isEmpty())
        return text;
    text += QStringLiteral(" \u2014 ") + m_reason;
    if (!m_text.isEmpty())
        text += QStringLiteral(": ") + m_text;
    return text;
}
