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
// (a digit, a currency sign, an operator, "(" or "#"; "-", "." and "," only
// when not right after a letter, as in "E-Bike" or "Nr. 5") or goes on into
// the label, as every other character does.
bool startsCanvasExpression(QStringView label, const QString& character);
// The text ends with a letter (or the accent on one): a "-" typed next
// joins a word (E-Bike) rather than subtracting.
bool endsWithLetter(QStringView text);
// Length of the function name that ends the label ("sqrt" in "Miete sqrt"),
// 0 when there is none; the "(" typed next takes it into the expression.
qsizetype functionNameAtEnd(QStringView label);
