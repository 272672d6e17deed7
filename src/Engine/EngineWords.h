#pragma once

// Where a word of a row starts and ends, read one way for every step that
// asks, the canvas's row splitter among them. A word is letters together
// with the digits, hyphens, dashes, points and apostrophes that join them:
// 2-Zimmer-Wohnung, 3D-Druck, Mo.-Fr., Wi–Fi, Tom's, Lukas', Heiz- (und).
//
//   joinsAt(text, i)           the character at i joins the word around it
//   wordAt(text, i)            the word starting at i
//   wordEndingAt(text, end)    the word ending right before end
//   lettersAt / lettersEndingAt the word's letters alone, for a step that
//                              names a catalogue entry by them (5 Cent-Stück)
//   nameOf(word)               what the catalogue knows the word as
//   isHangingHyphen(text, i)   a hyphen closing a word before the next (Heiz- und)
//   isLabelDash(text, i)       a dash standing between two words of a label
//                              (Berlin – München): no minus

#include <QStringView>

namespace EngineWords {

enum class Kind { none, word, number, sign };

struct Span {
    qsizetype start = 0;
    qsizetype end = 0;
    Kind kind = Kind::none;
    bool isEmpty() const { return start == end; }
    QStringView in(QStringView text) const { return text.mid(start, end - start); }
};

// The names the catalogue reads a word as; `none` for a plain word.
enum class Name { none, unit, currency, magnitude, arithmetic, conversion, function, constant };

// The hyphen, dash, point or apostrophe at `i` joins what stands before it
// and after it into one word: between letters (E-Bike, Wi–Fi, z.B., Tom's),
// after a word's point before letters (Mo.-Fr.), between digits and letters
// (2-Zimmer, but 2-pi subtracts), closing a word before another (Heiz- und),
// or an apostrophe closing one (Lukas').
bool joinsAt(QStringView text, qsizetype i);

// The word starting at `i`, or the number or sign there; an empty word
// when `i` holds a blank or the text's end. Digits glued before a unit or a
// currency are an amount, not a word (5kg).
Span wordAt(QStringView text, qsizetype i);

// The word ending right before `end`, blanks not skipped; its closing
// point, exclamation mark or apostrophe taken in (Nr., Achtung!, Lukas'),
// and a hyphen the next word completes (Heiz- und); an apostrophe opening
// it too ('Tom').
// Empty when no letter ends there.
Span wordEndingAt(QStringView text, qsizetype end);

// The run of letters starting at `start`, or ending right before `end`:
// what joins a word is left out. A step reads a catalogue name by its
// letters where a compound keeps it (5 Cent-Stück, 3 Mio.-Betrag, 5 kg-Sack).
QStringView lettersAtSlow(QStringView text, qsizetype start, qsizetype end);
// ASCII letters inline; a word that goes on beyond ASCII is decoded out of line.
inline QStringView lettersAt(QStringView text, qsizetype start)
{
    qsizetype end = start;
    while (end >= 0 && end < text.size() && unsigned(char16_t(text.data()[end].unicode() | 0x20) - u'a') < 26u)
        ++end;
    if (end < 0 || (end < text.size() && text.data()[end].unicode() >= 0x80))
        return lettersAtSlow(text, start, end);
    return text.mid(start, end - start);
}
QStringView lettersEndingAt(QStringView text, qsizetype end);

// A hyphen that ends a word before a blank and another word, as in
// "Kranken- und Pflegeversicherung" or "pre- and post-tax": the word's, no
// minus. Before a number, a sign, a currency, a constant or a call it
// subtracts as ever.
bool isHangingHyphen(QStringView text, qsizetype i);

// `i` stands inside a word that letters begin (E-Bike at B, Mo.-Fr. at F).
// Letters after a number's hyphen start afresh: they may be an operation
// (3-mal 5).
bool insideWord(QStringView text, qsizetype i);

Name nameOf(QStringView word);

// A dash of any kind (-, –, —, −) with a blank beside it, a word before it
// and a word after it that names no value (a currency, a constant, a
// function): Berlin – München, Miete - Nebenkosten. Whether the word before
// closes an amount (5 kg - Sack) is the caller's to ask. `before` is what
// stands before the text (a row's label before its expression).
bool isLabelDash(QStringView text, qsizetype i, QStringView before = {});

inline bool isApostrophe(char32_t c)
{
    return c == '\'' || c == 0x2019;
}

} // namespace EngineWords
