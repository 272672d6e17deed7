#include "Services/PrintExpressionParts.h"

#include "Engine/ExpressionParts.h"
#include "Models/CalculationBlock.h"
#include "Engine/LinkToken.h"
#include "Models/Link.h"

#include <cstdlib>
#include <locale.h>

namespace {

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

ExportExpressionParts parseExpressionParts(const QString& expression, const QString& rowColorHex, DecimalStyle style)
{
    ExportExpressionParts parts;
    int numberIndex = 0;
    ExpressionParts::forEachPart(expression, style, [&](const ExpressionParts::Part& part) {
        const QString text = expression.mid(part.start, part.end - part.start);
        switch (part.kind) {
        case ExpressionParts::Kind::number: parts.append(ExportExpressionPart::number(text, numberIndex++)); break;
        case ExpressionParts::Kind::text: parts.append(ExportExpressionPart::text_(text)); break;
        case ExpressionParts::Kind::quoted:
            if (text.size() > 2)
                parts.append(ExportExpressionPart::text_(text.mid(1, text.size() - 2)));
            break;
        case ExpressionParts::Kind::link: {
            const QString inner = text.mid(1, text.size() - 2);
            if (inner.isEmpty())
                break;
            const qsizetype colon = inner.indexOf(QLatin1Char(':'));
            QStringList pieces = colon < 0 ? QStringList{inner} : QStringList{inner.left(colon), inner.mid(colon + 1)};
            pieces.removeAll(QString());
            const QString name = trimSpacesAndTabs(pieces.value(0));
            const QString color = pieces.size() == 2 ? pieces[1] : rowColorHex;
            parts.append(ExportExpressionPart::linkedValue(name, color));
            break;
        }
        case ExpressionParts::Kind::operatorSign: parts.append(ExportExpressionPart::operator_(text)); break;
        case ExpressionParts::Kind::parenthesis: parts.append(ExportExpressionPart::parenthesis(text)); break;
        case ExpressionParts::Kind::percent: parts.append(ExportExpressionPart::percent()); break;
        }
        return true;
    });
    return parts;
}

ExportExpressionParts parseExpressionParts(const QString& expression, const CalculationBlock& block)
{
    const DecimalStyle style = CalcSettings::shared().decimalStyle();
    ExportExpressionParts parts = parseExpressionParts(expression, block.colorHex(), style);
    // A row labelled under the older count keeps its labels and colours
    // under the indices of that count.
    if (!ExpressionParts::keysNumbersAsShown(block) && expression == block.expression()) {
        const QList<int> stored = ExpressionParts::storedNumberIndices(block, style);
        for (ExportExpressionPart& part : parts) {
            if (part.kind == ExportExpressionPart::Kind::number)
                part.numberIndex = stored.value(part.numberIndex, -1);
        }
    }
    return parts;
}

BlockPtr findSourceBlock(const QString& placeholder, const CalculationBlock& block)
{
    return LinkToken::sourceFor(block, placeholder);
}

} // namespace PrintExpression
