#include "Views/Canvas/CanvasKey.h"

#include <QKeyEvent>

CanvasKey CanvasKey::from(const QKeyEvent& event)
{
    CanvasKey key;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    key.command = modifiers.testFlag(Qt::ControlModifier);
    key.shift = modifiers.testFlag(Qt::ShiftModifier);
    key.option = modifiers.testFlag(Qt::AltModifier);
    key.meta = modifiers.testFlag(Qt::MetaModifier);
    key.characters = event.text();

    const int code = event.key();
    switch (code) {
    case Qt::Key_Escape:
        key.key = Named::escape;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        key.key = Named::returnKey;
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        key.key = Named::tab;
        break;
    case Qt::Key_Up:
        key.key = Named::upArrow;
        break;
    case Qt::Key_Down:
        key.key = Named::downArrow;
        break;
    case Qt::Key_Backspace:
        // Qt types "\b" here on some platforms and nothing with Ctrl held;
        // the commands look for the one Backspace text.
        key.key = Named::backspace;
        key.characters = QString(QChar(0x7F));
        break;
    case Qt::Key_Delete:
        // X11 types U+007F for the forward Delete key, which would otherwise
        // read as Backspace and eat the expression's last character.
        key.key = Named::deleteKey;
        key.characters.clear();
        break;
    default:
        break;
    }
    // With Ctrl held Qt types control characters; the chords compare letters.
    if (key.command && code >= Qt::Key_A && code <= Qt::Key_Z) {
        const QChar letter(char16_t(u'a' + (code - Qt::Key_A)));
        key.characters = key.shift ? letter.toUpper() : letter;
    }
    return key;
}

bool CanvasKey::isBackspaceCharacters() const
{
    return characters == QString(QChar(0x7F)) || characters == QString(QChar(0x08));
}
