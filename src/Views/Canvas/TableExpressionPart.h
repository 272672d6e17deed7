#pragma once

#include <QList>
#include <QString>
#include <optional>

// One piece of an expression as the table shows it while the row is not
// being edited.
struct TableExpressionPart {
    enum class Kind { number, linkedValue, operator_, quotedText, percent };

    Kind kind = Kind::quotedText;
    // number: the run as written; linkedValue: the placeholder name;
    // operator_: the operator ("×" and "÷" for "*" and "/"); quotedText: the text.
    QString text;
    // linkedValue only: the colour text of the token, as written.
    QString colorText;

    static TableExpressionPart number(const QString& text) { return {Kind::number, text, {}}; }
    static TableExpressionPart linkedValue(const QString& name, const QString& color)
    {
        return {Kind::linkedValue, name, color};
    }
    static TableExpressionPart operator_(const QString& symbol) { return {Kind::operator_, symbol, {}}; }
    static TableExpressionPart quotedText(const QString& text) { return {Kind::quotedText, text, {}}; }
    static TableExpressionPart percent() { return {Kind::percent, {}, {}}; }

    bool operator==(const TableExpressionPart&) const = default;
};

// A part with its number index: numbers count 0, 1, 2 ... from the left and
// key the row's number labels and colours; other parts have none.
struct IndexedExpressionPart {
    TableExpressionPart part;
    std::optional<int> numberIndex;
    bool operator==(const IndexedExpressionPart&) const = default;
};

using TableExpressionParts = QList<TableExpressionPart>;
using IndexedExpressionParts = QList<IndexedExpressionPart>;
