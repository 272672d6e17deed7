#include "Platform/FileNames.h"

namespace {

qsizetype utf8Length(char32_t scalar)
{
    return scalar < 0x80 ? 1 : scalar < 0x800 ? 2 : scalar < 0x10000 ? 3 : 4;
}

} // namespace

QString cleanFileName(const QString& name, const QString& extension, const FileNameRules& rules)
{
    const qsizetype room = rules.maximumBytes > 0 ? rules.maximumBytes - extension.toUtf8().size() : -1;
    QString cleaned;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t scalar = name[i].unicode();
        qsizetype units = 1;
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(name[i], name[i + 1]);
            units = 2;
        }
        // Invisible format characters (bidirectional overrides among them)
        // could make a name look like another, or hide its extension.
        if (QChar::category(scalar) == QChar::Other_Format) {
            i += units - 1;
            continue;
        }
        const bool separator = scalar == U'/' || (rules.backslash && scalar == U'\\');
        const bool control = QChar::category(scalar) == QChar::Other_Control
            || (rules.lineSeparators && (scalar == QChar::LineSeparator || scalar == QChar::ParagraphSeparator));
        const bool quote = rules.doubleQuotes && scalar == U'"';
        const QString piece = separator ? QStringLiteral("-")
            : control                   ? QString(rules.controlReplacement)
            : quote                     ? QStringLiteral("'")
                                        : name.mid(i, units);
        const qsizetype size = separator || control ? utf8Length(piece.at(0).unicode()) : utf8Length(scalar);
        if (room >= 0 && bytes + size > room)
            break;
        cleaned += piece;
        bytes += size;
        i += units - 1;
    }
    return cleaned + extension;
}
