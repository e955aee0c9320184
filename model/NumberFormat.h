#pragma once

#include <QChar>
#include <QString>

namespace kpx {

// Every number the panel shows goes through these two formats, with the
// decimal separator of the user's locale. Exponents are written as in
// "1.235E4" and "1E-6".

// x rounded to at most 4 significant digits and at most d decimals, then
// written with exactly d decimals; a number needing more than 4 digits
// before the point falls back to general(x, 4).
QString fixed(double x, int d);

// The shortest text for x with at most p significant digits, no trailing
// zeros; exponent form when x needs more than p digits before the point or
// is nonzero and below 0.00001 in magnitude.
QString general(double x, int p);

// The separator both formats use. It starts as the system locale's; tests
// and the application may set it.
QChar DecimalSeparator();
void SetDecimalSeparator(QChar separator);

} // namespace kpx
