#include "Services/PrintExpressionParts.h"

#include "Engine/ExpressionText.h"
#include "Models/CalculationBlock.h"
#include "Models/Link.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cstdlib>
#include <locale.h>

namespace {

// The user-perceived characters of a text, as views into it.
QList<QStringView> graphemes(const QString& text)
{
    QList<QStringView> list;
    if (text.isEmpty())
        return list;
    list.reserve(text.size());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        list.append(QStringView(text).mid(start, end - start));
        start = end;
    }
    return list;
}

char32_t firstScalar(QStringView character)
{
    if (character.isEmpty())
        return 0;
    if (character.size() > 1 && character[0].isHighSurrogate() && character[1].isLowSurrogate())
        return QChar::surrogateToUcs4(character[0], character[1]);
    return character[0].unicode();
}

bool isOperator(QStringView c)
{
    static const QString operators = QStringLiteral("+-×÷*/^x:");
    return c.size() == 1 && operators.contains(c[0]);
}

// As the engine reads them: a hyphen between letters is part of the word
// (E-Bike), and so is an "x" that touches a letter (Tax, Box).
bool joinsWord(const QList<QStringView>& chars, qsizetype i)
{
    const bool letterBefore = i > 0 && ExpressionText::isWordChar(firstScalar(chars[i - 1]));
    const bool letterAfter = i + 1 < chars.size() && ExpressionText::isWordChar(firstScalar(chars[i + 1]));
    if (chars[i] == u"-")
        return letterBefore && letterAfter;
    if (chars[i] == u"x")
        return letterBefore || letterAfter;
    return false;
}

// Spaces and tabs only: other white space stays part of a name.
QString trimSpacesAndTabs(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(text[start]))
        ++start;
    while (end > start && blank(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

locale_t posixLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

} // namespace

namespace PrintExpression {

bool isFloatingPointLiteral(const QString& text)
{
    if (text.isEmpty() || text[0].isSpace())
        return false;
    const QByteArray bytes = text.toUtf8();
    const char* begin = bytes.constData();
    char* end = nullptr;
    strtod_l(begin, &end, posixLocale());
    // A NUL inside the text stops the conversion early, so it never passes.
    return end != begin && end == begin + bytes.size();
}

// A run is a number when it stands in one of the row's number parts (the
// editor's); the part's place in that list is its number. So a label or a
// colour sits on the same number on screen and on paper.
// Print splits some parts further (7^8 is one part on screen): the first
// run with a digit in a part carries its number, the rest are text.
void addPart(ExportExpressionParts& parts, QString& run, qsizetype runStart,
             const QList<std::pair<qsizetype, qsizetype>>& numberSpans, qsizetype& usedSpans)
{
    if (run.isEmpty())
        return;
    int index = -1;
    for (qsizetype k = usedSpans; k < numberSpans.size() && numberSpans[k].first <= runStart; ++k) {
        if (runStart < numberSpans[k].second) {
            index = int(k);
            break;
        }
    }
    const bool numeric = index >= 0 && std::any_of(run.cbegin(), run.cend(), [](QChar c) { return c.isDigit(); });
    if (numeric)
        usedSpans = index + 1;
    if (numeric)
        parts.append(ExportExpressionPart::number(run, index));
    else
        parts.append(ExportExpressionPart::text_(run));
    run.clear();
}

ExportExpressionParts parseExpressionParts(const QString& expression, const QString& rowColorHex)
{
    ExportExpressionParts parts;
    if (expression.isEmpty())
        return parts;
    const QList<QStringView> chars = graphemes(expression);
    const QList<std::pair<qsizetype, qsizetype>> numberSpans = ExpressionText::numberPartSpans(expression);
    QString run;
    qsizetype runStart = 0;
    qsizetype usedSpans = 0;
    // Where each character starts in the expression.
    auto positionOf = [&](const QStringView c) { return qsizetype(c.data() - expression.constData()); };
    // The text from i up to, not including, the next `close` (or the end);
    // i moves onto the closing character.
    auto collectUntil = [&](qsizetype& i, QStringView close) {
        QString collected;
        qsizetype j = i + 1;
        for (; j < chars.size() && chars[j] != close; ++j)
            collected += chars[j];
        i = j;
        return collected;
    };

    for (qsizetype i = 0; i < chars.size(); ++i) {
        const QStringView c = chars[i];
        if (c == u"\"") {
            addPart(parts, run, runStart, numberSpans, usedSpans);
            const QString quoted = collectUntil(i, u"\"");
            if (!quoted.isEmpty())
                parts.append(ExportExpressionPart::text_(quoted));
        } else if (c == u"{") {
            addPart(parts, run, runStart, numberSpans, usedSpans);
            const QString inner = collectUntil(i, u"}");
            if (inner.isEmpty())
                continue;
            const qsizetype colon = inner.indexOf(QLatin1Char(':'));
            QStringList pieces = colon < 0 ? QStringList{inner} : QStringList{inner.left(colon), inner.mid(colon + 1)};
            pieces.removeAll(QString());
            const QString name = trimSpacesAndTabs(pieces.value(0));
            const QString color = pieces.size() == 2 ? pieces[1] : rowColorHex;
            parts.append(ExportExpressionPart::linkedValue(name, color));
        } else if (c == u"(" || c == u")") {
            addPart(parts, run, runStart, numberSpans, usedSpans);
            parts.append(ExportExpressionPart::parenthesis(c.toString()));
        } else if (isOperator(c) && !joinsWord(chars, i)) {
            addPart(parts, run, runStart, numberSpans, usedSpans);
            parts.append(ExportExpressionPart::operator_(c.toString()));
        } else if (c == u"%") {
            addPart(parts, run, runStart, numberSpans, usedSpans);
            parts.append(ExportExpressionPart::percent());
        } else if (QChar::isSpace(firstScalar(c))) {
            addPart(parts, run, runStart, numberSpans, usedSpans);
        } else {
            if (run.isEmpty())
                runStart = positionOf(c);
            run += c;
        }
    }
    addPart(parts, run, runStart, numberSpans, usedSpans);
    return parts;
}

ExportExpressionParts parseExpressionParts(const QString& expression, const CalculationBlock& block)
{
    return parseExpressionParts(expression, block.colorHex());
}

BlockPtr findSourceBlock(const QString& placeholder, const CalculationBlock& block)
{
    const QString name = trimSpacesAndTabs(placeholder).normalized(QString::NormalizationForm_C);
    for (const LinkPtr& link : block.incomingLinks()) {
        if (trimSpacesAndTabs(link->placeholderName()).normalized(QString::NormalizationForm_C) == name)
            return link->sourceBlock();
    }
    return nullptr;
}

} // namespace PrintExpression
