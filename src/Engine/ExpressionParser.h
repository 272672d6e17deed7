#pragma once

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

// Evaluates one line of plain arithmetic: numbers, + - * / ^, unary minus and
// parentheses. Computes while it parses; keeps no state between calls.
class ExpressionParser {
public:
    enum class ErrorKind {
        unexpectedToken,
        invalidNumber,
        unexpectedEndOfInput,
        divisionByZero,
        // Nesting past maximumDepth; refused so that no input can exhaust the stack.
        nestingTooDeep,
    };
    struct Error {
        ErrorKind kind = ErrorKind::unexpectedToken;
        QString text;
        bool operator==(const Error&) const = default;
    };
    struct Result {
        double value = 0;
        bool ok = false;
        Error error;
    };

    static constexpr int maximumDepth = 1000;

    static Result evaluate(QStringView text);

private:
    enum class TokenKind { number, plus, minus, multiply, divide, power, leftParen, rightParen, end };
    struct Token {
        TokenKind kind;
        double value = 0;
    };

    bool tokenize(QStringView text);
    bool parseNumber(QStringView text, qsizetype& index, double& value);
    TokenKind currentKind() const;
    void advance() { ++m_position; }
    void fail(ErrorKind kind, const QString& text = {});

    double parseExpression();
    double parseTerm();
    double parseUnary();
    double parsePower();
    double parsePrimary();

    // Typical rows fit on the stack.
    QVarLengthArray<Token, 64> m_tokens;
    qsizetype m_position = 0;
    int m_depth = 0;
    bool m_failed = false;
    Error m_error;
};
