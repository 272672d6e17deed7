#pragma once

#include "Engine/TypedRowSplit.h"

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
