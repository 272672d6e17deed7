#pragma once

#include <QString>
#include <optional>

class QKeyEvent;

// A key press as the canvas's keyboard commands see it: the text the key
// types, the named key it is (if any) and the modifiers held. Ctrl stands in
// for Command and Alt for Option.
struct CanvasKey {
    enum class Named { none, escape, returnKey, tab, upArrow, downArrow, backspace, deleteKey };

    QString characters;
    Named key = Named::none;
    bool command = false;
    bool shift = false;
    bool option = false;
    bool meta = false;

    // Ctrl, Alt or Meta held: a chord, which never types.
    bool isChord() const { return command || option || meta; }

    static CanvasKey from(const QKeyEvent& event);

    // The two characters a Backspace key produces on the platforms we know.
    bool isBackspaceCharacters() const;
};

// The one-character currency signs an expression may hold.
bool isCanvasCurrencySign(const QString& characters);
bool isCanvasDigits(const QString& characters);
// Text a key typed with no control character in it; never the empty text.
bool isPrintableText(const QString& characters);
// While a row's expression is empty: whether one typed character starts it
// (a number, a currency sign, an operator, "(", "#" or "√"; a number, "π",
// "-", "." and "," only when not glued to a word, as in "iPhone15", "E-Bike"
// or "Nr. 5") or goes on into the label, as every other character does.
bool startsCanvasExpression(QStringView label, const QString& character);
// Where the expression that character starts begins in the label: at a
// function name, a currency code, name or lettered mark that the engine
// reads with the amount ("CHF 50", "sqrt 16", "Miete sqrt(16)"), or at the
// letters a sign completes ("US$5"); the label's size when none.
qsizetype expressionStartInLabel(QStringView label, const QString& character);
// The text ends with a letter (or the accent on one): a "-" typed next
// joins a word (E-Bike) rather than subtracting.
bool endsWithLetter(QStringView text);
// Length of the function name that ends the label ("sqrt" in "Miete sqrt"),
// 0 when there is none.
qsizetype functionNameAtEnd(QStringView label);
