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
    }
    return QStringLiteral("Invalid expression");
}
