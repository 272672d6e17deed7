#include "Engine/TypedRowSplit.h"

#include "Engine/CalculatorEngine.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/EngineWords.h"
#include "Engine/ExpressionText.h"

bool isCanvasDigits(const QString& characters)
{
    // A run of "0123456789" in practice means one digit.
    return !characters.isEmpty() && QStringLiteral("0123456789").contains(characters);
}

bool isCanvasCurrencySign(const QString& characters)
{
    // The signs the engine reads as currency marks; lettered marks (CHF, kr)
    // arrive as letters.
    if (characters.size() != 1)
        return false;
    return EngineCatalogue::isSignSymbol(characters.at(0).unicode());
}

bool isPrintableText(const QString& characters)
{
    if (characters.isEmpty())
        return false;
    for (const char32_t c : characters.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Surrogate
            || category == QChar::Other_NotAssigned || c == 0x2028 || c == 0x2029)
            return false;
    }
    return true;
}

bool endsWithLetter(QStringView text)
{
    if (text.isEmpty())
        return false;
    const char32_t c = ExpressionText::codePointBefore(text, text.size());
    return QChar::isLetter(c) || QChar::isMark(c);
}

namespace {

// `character` typed after the label joins the word the label ends in, as
// the engine reads the two in one line (iPhone15, E10, A4, Aπ).
bool joinsLabelEnd(QStringView label, QChar character)
{
    QString probe;
    probe.reserve(label.size() + 1);
    probe.append(label);
    probe.append(character);
    const EngineWords::Span word = EngineWords::wordEndingAt(probe, probe.size());
    return !word.isEmpty() && word.start < label.size();
}

// One code point of a number of any script (7, ½, ³, ٣).
bool isNumberCharacter(const QString& character)
{
    const QList<uint> points = character.toUcs4();
    return points.size() == 1 && QChar::isNumber(char32_t(points.first()));
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// A word the engine reads as an operation between values: "x", "mal", "plus".
bool isOperationWord(QStringView word)
{
    if (word == u"x" || word == u"X")
        return true;
    const EngineCatalogue::ArithmeticWord* entry = EngineCatalogue::arithmeticWordOf(word);
    return entry && entry->meaning == EngineCatalogue::WordMeaning::sign;
}

// Where a constant at the end of the label starts the expression: the
// label's last words are constants and operation words ("π x", "Kreis pi
// mal"), the first constant among them begins what the engine reads. A
// constant right before a number is read too ("Vitamin E 5" as E times 5
// fails there as in the expression field).
qsizetype constantStartInLabel(QStringView label)
{
    qsizetype end = label.size();
    qsizetype found = label.size();
    while (end > 0) {
        while (end > 0 && isBlank(label.at(end - 1)))
            --end;
        qsizetype wordStart = end;
        while (wordStart > 0 && !isBlank(label.at(wordStart - 1)))
            --wordStart;
        QStringView word = label.mid(wordStart, end - wordStart);
        // A minus typed right after a constant stayed in the label, as the
        // hyphen of E-Bike would: before a number it subtracts (pi-1).
        if (end == label.size() && word.size() > 1 && word.back() == u'-')
            word.chop(1);
        if (word.isEmpty() || !(EngineCatalogue::isConstantName(word) || isOperationWord(word)))
            break;
        if (EngineCatalogue::isConstantName(word))
            found = wordStart;
        end = wordStart;
    }
    return found;
}

// A hyphen or dash typed after the label's word joins it to the word that
// may follow, as the engine reads it (E-Bike, Mo.-Fr., iPhone15-Hülle).
bool joinsLabelWord(QStringView label, QChar dash)
{
    QString probe;
    probe.reserve(label.size() + 2);
    probe.append(label);
    probe.append(dash);
    probe.append(QLatin1Char('a'));
    return EngineWords::joinsAt(probe, label.size());
}

} // namespace

bool startsCanvasExpression(QStringView label, const QString& character)
{
    if (isCanvasCurrencySign(character))
        return true;
    // Digits glued to a word belong to it (iPhone15, E10, A4).
    if (isCanvasDigits(character) || isNumberCharacter(character))
        return !joinsLabelEnd(label, QLatin1Char('0'));
    if (character.size() != 1)
        return false;
    const QChar c = character.at(0);
    if (c.category() == QChar::Symbol_Currency)
        return true;
    // π standing as a word is the engine's constant; glued to letters it is
    // part of the word, as the engine reads it.
    if (c == QChar(0x03C0))
        return !joinsLabelEnd(label, c);
    // The engine's operator signs: one that is always an operator starts
    // the expression; a hyphen or dash after a letter may join a word
    // (E-Bike). Letters and the colon stay in the label.
    if (const EngineCatalogue::OperatorSign* sign = EngineCatalogue::operatorSignOf(c.unicode())) {
        switch (sign->place) {
        case EngineCatalogue::SignPlace::always: return true;
        case EngineCatalogue::SignPlace::notInWord: return !joinsLabelWord(label, c);
        case EngineCatalogue::SignPlace::noLetterTouching:
        case EngineCatalogue::SignPlace::notAfterWord: return false;
        }
    }
    switch (c.unicode()) {
    case u'(':
    case u'#':
    case 0x221A: // √: the engine names it when it refuses it
        return true;
    case u'.':
    case u',':
        return !endsWithLetter(label);
    default:
        return false;
    }
}

qsizetype functionNameAtEnd(QStringView label)
{
    const QStringView word = EngineWords::lettersEndingAt(label, label.size());
    const qsizetype start = label.size() - word.size();
    // A whole word only: "Katalog(" is no call of log, nor is "A4sin(" one.
    if (start > 0 && QChar::isNumber(ExpressionText::codePointBefore(label, start)))
        return 0;
    return CalculatorEngine::isFunctionName(word) ? word.size() : 0;
}

qsizetype factorWordAtRowStart(QStringView label)
{
    const qsizetype size = label.size();
    qsizetype start = 0;
    while (start < size && isBlank(label.at(start)))
        ++start;
    qsizetype end = start;
    while (end < size && !isBlank(label.at(end)))
        ++end;
    // One word, set apart from what follows by a blank.
    qsizetype rest = end;
    while (rest < size && isBlank(label.at(rest)))
        ++rest;
    if (start == end || end == size || rest < size)
        return size;
    const EngineCatalogue::Magnitude* magnitude = EngineCatalogue::magnitudeOf(label.mid(start, end - start));
    return magnitude && magnitude->kind == EngineCatalogue::MagnitudeKind::multiplier ? start : size;
}

qsizetype expressionStartInLabel(QStringView label, const QString& character)
{
    const qsizetype size = label.size();
    // What the engine reads as the number a leading factor word multiplies:
    // a number, possibly after a sign, a bracket or a currency sign.
    const bool operand = isCanvasDigits(character) || isNumberCharacter(character) || isCanvasCurrencySign(character)
        || character == QLatin1String("(") || character == QLatin1String(".") || character == QLatin1String(",")
        || (character.size() == 1 && EngineCatalogue::isMinusSign(character.at(0).unicode()));
    if (operand) {
        if (const qsizetype factor = factorWordAtRowStart(label); factor < size)
            return factor;
    }
    // Letters a sign completes: "US" before "$", "C" before "$".
    if (isCanvasCurrencySign(character)) {
        const qsizetype start = size - EngineWords::lettersEndingAt(label, size).size();
        const QString joined = label.toString() + character;
        for (qsizetype k = start; k < size; ++k) {
            qsizetype length = 0;
            if (!EngineCatalogue::currencySignAt(joined, k, &length).isEmpty() && k + length > size)
                return k;
        }
        return size;
    }
    if (character == QLatin1String("("))
        return size - functionNameAtEnd(label);
    const qsizetype constant = constantStartInLabel(label);
    if (constant < size)
        return constant;
    // A whole word before the blanks that end the label.
    qsizetype end = size;
    while (end > 0 && (label.at(end - 1) == u' ' || label.at(end - 1) == u'\t'))
        --end;
    if (end == size)
        return size;
    // Letters after a number are no name of their own (5EUR).
    const qsizetype start = end - EngineWords::lettersEndingAt(label, end).size();
    if (start == end || (start > 0 && QChar::isNumber(ExpressionText::codePointBefore(label, start))))
        return size;
    const QStringView word = label.mid(start, end - start);
    if (CalculatorEngine::isFunctionName(word))
        return start;
    if (EngineCatalogue::isCurrencyWord(word) && EngineCatalogue::letteredMarkPlace(word) != EngineCatalogue::MarkPlace::after)
        return start;
    return size;
}
