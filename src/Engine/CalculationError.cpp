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

QString refusalReason(RefusalCode code)
{
    switch (code) {
    case RefusalCode::none: return {};
    case RefusalCode::callNotComputable: return QStringLiteral("a call that cannot be computed");
    case RefusalCode::callTouchingNumber: return QStringLiteral("a call touching a number");
    case RefusalCode::clockTime: return QStringLiteral("a clock time");
    case RefusalCode::constantTouchingNumber: return QStringLiteral("a constant touching a number");
    case RefusalCode::conversionIntoNonCurrency: return QStringLiteral("a conversion into something that is not a currency");
    case RefusalCode::conversionUnreadable: return QStringLiteral("a conversion of an amount that cannot be read");
    case RefusalCode::conversionWithoutCurrency: return QStringLiteral("a conversion of an amount with no currency");
    case RefusalCode::conversionAfterConversion: return QStringLiteral("a conversion right after another");
    case RefusalCode::functionWithoutValue: return QStringLiteral("a function name without a value");
    case RefusalCode::linkTouchingNumber: return QStringLiteral("a linked value touching a number");
    case RefusalCode::magnitudeWord: return QStringLiteral("a magnitude or quantity word next to a number");
    case RefusalCode::colonNumber: return QStringLiteral("a number set off by a colon");
    case RefusalCode::percentWithoutRule: return QStringLiteral("a percentage no rule applies to");
    case RefusalCode::unknownSign: return QStringLiteral("a sign the calculator does not read");
    case RefusalCode::mixedCurrenciesInConversion: return QStringLiteral("amounts in different currencies in one conversion");
    case RefusalCode::unknownOperation: return QStringLiteral("an operation the calculator has no sign for");
    case RefusalCode::operatorBeforeWords: return QStringLiteral("an operator followed only by words");
    case RefusalCode::operatorWithoutNumber: return QStringLiteral("an operator with no number before it");
    case RefusalCode::conversionTargetsDiffer: return QStringLiteral("conversions into different currencies");
    case RefusalCode::lettersInNumber: return QStringLiteral("letters inside a number");
    case RefusalCode::lettersBeforeBracket: return QStringLiteral("letters right before a bracket");
    case RefusalCode::twoDecimalMarks: return QStringLiteral("two decimal marks in one number");
    case RefusalCode::wordsBetweenNumbers: return QStringLiteral("two numbers with only words between them");
    case RefusalCode::twoOperators: return QStringLiteral("two operators in a row");
    case RefusalCode::twoPercentSigns: return QStringLiteral("two percent signs");
    case RefusalCode::mixedCurrencies: return QStringLiteral("amounts in different currencies added up");
    case RefusalCode::mixedUnits: return QStringLiteral("amounts in different units added up");
    case RefusalCode::ambiguousGrouping: return QStringLiteral("a number grouped with blanks right after a word");
    case RefusalCode::date: return QStringLiteral("a date");
    case RefusalCode::braceOrder: return QStringLiteral("a \u201c}\u201d before its \u201c{\u201d");
    case RefusalCode::unclosedBrace: return QStringLiteral("a link without its other brace");
    case RefusalCode::unitAgainstPrice: return QStringLiteral("an amount in one unit against a price per another");
    case RefusalCode::taxRateWord: return QStringLiteral("a tax rate's name with a word that makes it another rate");
    case RefusalCode::numberWord: return QStringLiteral("a number written as a word");
    case RefusalCode::currencyWithoutAmount: return QStringLiteral("a currency with no amount after an amount in another");
    case RefusalCode::unreadable: return QStringLiteral("a part the calculator cannot read");
    }
    return {};
}

QString CalculationError::detailText() const
{
    QString text = errorDescription();
    if (m_code == RefusalCode::none)
        return text;
    text += QStringLiteral(" \u2014 ") + refusalReason(m_code);
    if (!m_text.isEmpty())
        text += QStringLiteral(": ") + m_text;
    return text;
}
