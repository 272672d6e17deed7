#pragma once

#include <QString>

// The text of a result wherever one is shown (table, picker, print): at most
// two fraction digits rounded half to even on the value's shortest decimal
// form, no grouping, always a decimal comma, never "-0". NaN and infinities
// read "NaN", "∞" and "-∞". Independent of every locale setting.
QString formatDecimalCommaValue(double value);
