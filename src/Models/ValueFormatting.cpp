#include "Models/ValueFormatting.h"

#include <QLocale>

#include <cmath>

namespace {

// Decimal digits of |value| with the position of the decimal point, from the
// shortest text that reads back as the same double.
struct DecimalDigits {
    QString integer;
    QString fraction;
};

DecimalDigits shortestDigits(double magnitude)
{
    // "d.dddde±x": Qt's own conversion, independent of the C locale.
    const QString text = QString::number(magnitude, 'e', QLocale::FloatingPointShortest);
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    QString digits = text.left(e);
    digits.remove(QLatin1Char('.'));
    int exponent = 0;
    bool negativeExponent = false;
    for (qsizetype i = e + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('-'))
            negativeExponent = true;
        else if (c.isDigit())
            exponent = exponent * 10 + c.digitValue();
    }
    if (negativeExponent)
        exponent = -exponent;
    // The first digit stands for 10^exponent.
    const int pointAfter = exponent + 1;
    DecimalDigits result;
    if (pointAfter <= 0) {
        result.integer = QStringLiteral("0");
        result.fraction = QString(-pointAfter, QLatin1Char('0')) + digits;
    } else if (pointAfter >= digits.size()) {
        result.integer = digits + QString(pointAfter - digits.size(), QLatin1Char('0'));
    } else {
        result.integer = digits.left(pointAfter);
        result.fraction = digits.mid(pointAfter);
    }
    return result;
}

// Adds one unit in the last place of a digit string.
QString incremented(QString digits)
{
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] == QLatin1Char('9')) {
            digits[i] = QLatin1Char('0');
        } else {
            digits[i] = QChar(digits[i].unicode() + 1);
            return digits;
        }
    }
    return QLatin1Char('1') + digits;
}

} // namespace

QString formatDecimalCommaValue(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-∞") : QStringLiteral("∞");

    DecimalDigits digits = shortestDigits(std::fabs(value));
    QString integer = digits.integer;
    QString fraction = digits.fraction;
    if (fraction.size() > 2) {
        const QString rest = fraction.mid(2);
        fraction = fraction.left(2);
        bool up = false;
        if (rest[0] > QLatin1Char('5')) {
            up = true;
        } else if (rest[0] == QLatin1Char('5')) {
            const bool exactHalf = rest.mid(1).count(QLatin1Char('0')) == rest.size() - 1;
            // Ties go to the even neighbour.
            up = !exactHalf || ((integer + fraction).back().digitValue() % 2 == 1);
        }
        if (up) {
            const QString joined = incremented(integer + fraction);
            integer = joined.left(joined.size() - 2);
            fraction = joined.right(2);
        }
    }
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    while (integer.size() > 1 && integer.startsWith(QLatin1Char('0')))
        integer.remove(0, 1);
    QString text = integer;
    if (!fraction.isEmpty())
        text += QLatin1Char(',') + fraction;
    const bool isZero = integer == QLatin1String("0") && fraction.isEmpty();
    if (value < 0 && !isZero)
        text.prepend(QLatin1Char('-'));
    return text;
}
