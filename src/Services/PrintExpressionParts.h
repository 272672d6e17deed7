#pragma once

#include "Models/CalcSettings.h"
#include "Models/RecordPointers.h"

#include <QList>
#include <QString>

class CalculationBlock;

// One piece of a row's expression on the printed page, split as the editor
// splits it.
struct ExportExpressionPart {
    enum class Kind { number, linkedValue, operator_, text, parenthesis, percent };

    Kind kind = Kind::text;
    // number: the run as written; linkedValue: the placeholder name;
    // operator_ and parenthesis: the character; text: the text.
    QString text;
    // linkedValue only: the colour text of the token (or the row's colour).
    QString colorText;
    // number only: 0 for the first number of the expression, and so on.
    int numberIndex = -1;

    static ExportExpressionPart number(const QString& text, int index) { return {Kind::number, text, {}, index}; }
    static ExportExpressionPart linkedValue(const QString& name, const QString& color)
    {
        return {Kind::linkedValue, name, color, -1};
    }
    static ExportExpressionPart operator_(const QString& symbol) { return {Kind::operator_, symbol, {}, -1}; }
    static ExportExpressionPart text_(const QString& text) { return {Kind::text, text, {}, -1}; }
    static ExportExpressionPart parenthesis(const QString& symbol) { return {Kind::parenthesis, symbol, {}, -1}; }
    static ExportExpressionPart percent() { return {Kind::percent, {}, {}, -1}; }

    bool operator==(const ExportExpressionPart&) const = default;
};

using ExportExpressionParts = QList<ExportExpressionPart>;

namespace PrintExpression {

// Splits an expression into the parts the editor shows it in, numbers as
// read in the given style. rowColorHex is the colour a link token without
// one of its own takes.
ExportExpressionParts parseExpressionParts(const QString& expression, const QString& rowColorHex, DecimalStyle style);
// The row's parts in the settings' style; a number's index is the key its
// label and colour are kept under in the row.
ExportExpressionParts parseExpressionParts(const QString& expression, const CalculationBlock& block);


// What strtod accepts, whole, in the POSIX locale: decimal and hexadecimal
// floating-point numbers, "inf", "infinity" and "nan" in any case.
bool isFloatingPointLiteral(const QString& text);

// The source row of the row's first incoming link whose name (spaces and
// tabs trimmed, canonically equivalent) matches; none without such a link or
// when that link lost its source row.
BlockPtr findSourceBlock(const QString& placeholder, const CalculationBlock& block);

} // namespace PrintExpression
