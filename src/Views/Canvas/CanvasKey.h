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

// What typing the characters on the canvas appends to an expression: digits,
// "." and "," as typed (the number style reads them, as in the expression
// field), operators in their display form, the currency signs the engine
// knows, and "#", which asks for the picker. None for anything else
// (letters, the space and empty text included).
std::optional<QString> canvasExpressionText(const QString& characters);
// The one-character currency signs an expression may hold.
bool isCanvasCurrencySign(const QString& characters);
// One or more of a-z (either case), nothing else; never the empty text.
bool isCanvasLetters(const QString& characters);
bool isCanvasDigits(const QString& characters);
