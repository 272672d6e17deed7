#pragma once

#include <QString>

// How a canvas name becomes a file name. "/" always becomes "-", and
// invisible format characters (Unicode category Cf) are dropped.
struct FileNameRules {
    // "\" becomes "-" as well, for names that may travel to other systems.
    bool backslash = false;
    // What takes the place of a control character.
    QChar controlReplacement = u'-';
    // The line and paragraph separators count as control characters.
    bool lineSeparators = false;
    // '"' becomes "'": the file dialog reads a name with double quotes as a
    // list of quoted names and would save under a part of it.
    bool doubleQuotes = false;
    // The longest name in UTF-8 bytes with the extension; 0 for no limit.
    // Cut between characters, never inside one.
    qsizetype maximumBytes = 0;
};

// name, cleaned by the rules so it cannot name a folder, followed by extension.
QString cleanFileName(const QString& name, const QString& extension, const FileNameRules& rules);
