#include "Engine/EngineWords.h"

#include "Engine/EngineCatalogue.h"
#include "Engine/ExpressionText.h"

using namespace ExpressionText;

namespace EngineWords {

namespace {

// A hyphen or a dash that may join a word (not the minus sign, which is
// always one).
bool isJoiningDash(char32_t c)
{
    if (c == '-')
        return true;
    const EngineCatalogue::OperatorSign* sign = c < 0x80 ? nullptr : EngineCatalogue::operatorSignOf(c);
    return sign && sign->reads == '-' && sign->place == EngineCatalogue::SignPlace::notInWord;
}

// Digits ending right before `letters` (the start of a run of letters) are
// the word's (3D, 2-Zimmer), not an amount's (5kg, 100EUR, 2pi).
bool digitsJoin(QStringView text, qsizetype letters)
{
    const qsizetype end = EngineCatalogue::unitWordEnd(text, letters);
    return !EngineCatalogue::readsAfterAmount(text.mid(letters, end - letters));
}

} // namespace

QStringView lettersAtSlow(QStringView text, qsizetype start, qsizetype end)
{
    for (qsizetype n = 1; end < text.size() && isWordChar(codePointAt(text, end, &n));)
        end += n;
    return text.mid(start, end - start);
}

QStringView lettersEndingAt(QStringView text, qsizetype end)
{
    qsizetype start = end;
    for (qsizetype n = 1; start > 0 && isWordChar(codePointBefore(text, start, &n));)
        start -= n;
    return text.mid(start, end - start);
}

bool isHangingHyphen(QStringView text, qsizetype i)
{
    if (i <= 0 || i + 1 >= text.size() || text[i] != QLatin1Char('-') || !isWordChar(codePointBefore(text, i))
        || !isWhiteSpace(codePointAt(text, i + 1)))
        return false;
    const QStringView word = lettersAt(text, skipWhiteSpace(text, i + 1));
    return !word.isEmpty() && !EngineCatalogue::isCurrencyWord(word) && !EngineCatalogue::isConstantName(word)
        && !EngineCatalogue::isFunctionName(word);
}

bool insideWord(QStringView text, qsizetype i)
{
    if (i <= 0 || i > text.size())
        return false;
    qsizetype n = 1;
    const char32_t before = codePointBefore(text, i, &n);
    if (isWordChar(before))
        return true;
    if (before < 0x80 && before != '-' && before != '.' && before != '\'')
        return false; // nothing else in ASCII joins
    return joinsAt(text, i - n) && !isDecimalDigit(codePointBefore(text, i - n));
}

bool joinsAt(QStringView text, qsizetype i)
{
    if (i <= 0 || i >= text.size())
        return false;
    qsizetype length = 1;
    const char32_t c = codePointAt(text, i, &length);
    qsizetype beforeLength = 1;
    const char32_t before = codePointBefore(text, i, &beforeLength);
    const char32_t after = codePointAt(text, i + length);
    if (isApostrophe(c))
        return isWordChar(before);
    if (c == '.') {
        // z.B., and a word's point before a hyphen that joins (Mo.-Fr.).
        return isWordChar(before) && (isWordChar(after) || (isJoiningDash(after) && joinsAt(text, i + length)));
    }
    if (!isJoiningDash(c))
        return false;
    if (isWordChar(after)) {
        if (isWordChar(before))
            return true;
        // After an abbreviation's point (Mo.-Fr., Dr.-Ing.).
        if (before == '.' && isWordChar(codePointBefore(text, i - beforeLength)))
            return true;
        // A number joined to a word is part of it (2-Zimmer-Wohnung,
        // 24-hour); before a value's name it subtracts (2-pi, 9-sqrt(4)),
        // and an operation's word stays one (3-mal 5).
        if (isDecimalDigit(before)) {
            const QStringView word = lettersAt(text, i + length);
            const EngineCatalogue::ArithmeticWord* operation = EngineCatalogue::arithmeticWordOf(word);
            return !EngineCatalogue::isConstantName(word) && !EngineCatalogue::isFunctionName(word)
                && !(operation && operation->meaning == EngineCatalogue::WordMeaning::sign);
        }
        return false;
    }
    return c == '-' && isHangingHyphen(text, i);
}

Span wordAt(QStringView text, qsizetype i)
{
    if (i < 0 || i >= text.size())
        return {i, i, Kind::none};
    qsizetype length = 1;
    const char32_t c = codePointAt(text, i, &length);
    if (isWhiteSpace(c))
        return {i, i, Kind::none};
    qsizetype end = i;
    bool letters = false;
    if (isDecimalDigit(c)) {
        end = digitRunEnd(text, i);
        const bool glued = end < text.size() && isWordChar(codePointAt(text, end)) && digitsJoin(text, end);
        if (!glued && !(end < text.size() && joinsAt(text, end)))
            return {i, numberRunEnd(text, i), Kind::number};
    } else if (!isWordChar(c)) {
        return {i, i + length, Kind::sign};
    }
    while (end < text.size()) {
        qsizetype n = 1;
        const char32_t d = codePointAt(text, end, &n);
        if (isWordChar(d)) {
            letters = true;
            end += n;
        } else if (isDecimalDigit(d) && (letters || isWordChar(codePointAt(text, digitRunEnd(text, end))))) {
            end = digitRunEnd(text, end);
        } else if (joinsAt(text, end)) {
            end += n;
        } else {
            break;
        }
    }
    return {i, end, Kind::word};
}

Span wordEndingAt(QStringView text, qsizetype end)
{
    qsizetype at = end;
    const char32_t last = codePointBefore(text, at);
    // A word's closing mark (Nr., Achtung!, Wozu?, Lukas'), or the hyphen
    // a word after it completes (Heiz- und).
    if (((last == '.' || last == '!' || last == '?' || isApostrophe(last)) && at >= 2
         && (isWordChar(codePointBefore(text, at - 1)) || isDecimalDigit(codePointBefore(text, at - 1))))
        || (last == '-' && isHangingHyphen(text, at - 1)))
        --at;
    const qsizetype wordEnd = at;
    bool letters = false;
    while (at > 0) {
        qsizetype n = 1;
        const char32_t c = codePointBefore(text, at, &n);
        if (isWordChar(c)) {
            letters = true;
            at -= n;
        } else if (isDecimalDigit(c)) {
            // Glued after letters (iPhone15, E10) or before letters that
            // name no unit or currency (3D, not 5kg).
            qsizetype digits = at;
            while (digits > 0 && isDecimalDigit(codePointBefore(text, digits)))
                --digits;
            const bool lettersBefore = isWordChar(codePointBefore(text, digits));
            const bool lettersAfter = at < wordEnd && isWordChar(codePointAt(text, at)) && digitsJoin(text, at);
            const bool joinedAfter = at < wordEnd && joinsAt(text, at);
            if (!lettersBefore && !lettersAfter && !joinedAfter)
                break;
            at = digits;
        } else if (at < wordEnd && joinsAt(text, at - n)) {
            at -= n;
        } else {
            break;
        }
    }
    if (!letters)
        return {end, end, Kind::none};
    // An apostrophe opening a quoted word ('Tom').
    if (at > 0 && isApostrophe(codePointBefore(text, at)))
        --at;
    return {at, end, Kind::word};
}

Name nameOf(QStringView word)
{
    if (word.isEmpty())
        return Name::none;
    if (EngineCatalogue::isConstantName(word))
        return Name::constant;
    if (EngineCatalogue::isFunctionName(word))
        return Name::function;
    if (EngineCatalogue::isCurrencyWord(word))
        return Name::currency;
    if (EngineCatalogue::unitOf(word))
        return Name::unit;
    if (EngineCatalogue::magnitudeOf(word))
        return Name::magnitude;
    if (EngineCatalogue::arithmeticWordOf(word))
        return Name::arithmetic;
    if (EngineCatalogue::isConversionKeyword(word))
        return Name::conversion;
    return Name::none;
}

bool isLabelDash(QStringView text, qsizetype i, QStringView textBefore)
{
    if (i < 0 || i >= text.size() || !EngineCatalogue::isMinusSign(text[i].unicode()))
        return false;
    const qsizetype before = skipWhiteSpaceBack(text, i);
    const qsizetype after = skipWhiteSpace(text, i + 1);
    if ((before == i && after == i + 1) || joinsAt(text, i))
        return false; // the word's own (Heiz- und), or a minus
    const bool wordBefore = before > 0
        ? !wordEndingAt(text, before).isEmpty()
        : !textBefore.isEmpty() && !wordEndingAt(textBefore, skipWhiteSpaceBack(textBefore, textBefore.size())).isEmpty();
    if (!wordBefore)
        return false;
    const Span next = wordAt(text, after);
    if (next.kind != Kind::word)
        return false;
    const Name name = nameOf(lettersAt(text, after));
    return name != Name::currency && name != Name::constant && name != Name::function;
}

} // namespace EngineWords
