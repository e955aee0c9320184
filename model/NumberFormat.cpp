#include "NumberFormat.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace kpx {

namespace {

QChar& separatorSlot() {
    static QChar separator = [] {
        const QString point = QLocale::system().decimalPoint();
        return point.isEmpty() ? QLatin1Char('.') : point.front();
    }();
    return separator;
}

// |x| rounded to a number of significant digits: the digits without the
// point, and the decimal exponent of the first one.
struct Decimal {
    QString digits;
    int exponent;
};

Decimal roundToSignificant(double magnitude, int digits) {
    const QString s = QString::number(magnitude, 'e', digits - 1);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    QString mantissa = s.left(e);
    mantissa.remove(QLatin1Char('.'));
    return Decimal{mantissa, s.mid(e + 1).toInt()};
}

QString withSeparator(QString text) {
    return text.replace(QLatin1Char('.'), DecimalSeparator());
}

QString nonFinite(double x) {
    if (std::isnan(x)) {
        return QStringLiteral("NAN");
    }
    return x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

QString generalDigits(const Decimal& d, bool exponentForm) {
    QString digits = d.digits;
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0'))) {
        digits.chop(1);
    }
    if (exponentForm) {
        const QString fraction = digits.mid(1);
        return digits.left(1) + (fraction.isEmpty() ? QString() : QLatin1Char('.') + fraction) +
               QLatin1Char('E') + QString::number(d.exponent);
    }
    if (d.exponent < 0) {
        return QStringLiteral("0.") + QString(-d.exponent - 1, QLatin1Char('0')) + digits;
    }
    const int whole = d.exponent + 1;
    if (digits.size() <= whole) {
        return digits + QString(whole - digits.size(), QLatin1Char('0'));
    }
    return digits.left(whole) + QLatin1Char('.') + digits.mid(whole);
}

bool allZero(const QString& text) {
    return std::none_of(text.begin(), text.end(),
                        [](QChar c) { return c.isDigit() && c != QLatin1Char('0'); });
}

QString withSign(double x, const QString& magnitude) {
    return x < 0 && !allZero(magnitude) ? QLatin1Char('-') + magnitude : magnitude;
}

constexpr int FixedPrecision = 4;

} // namespace

QChar DecimalSeparator() {
    return separatorSlot();
}

void SetDecimalSeparator(QChar separator) {
    separatorSlot() = separator;
}

QString general(double x, int p) {
    if (!std::isfinite(x)) {
        return nonFinite(x);
    }
    if (x == 0) {
        return QStringLiteral("0");
    }
    const double magnitude = std::fabs(x);
    const Decimal d = roundToSignificant(magnitude, std::max(p, 1));
    const bool exponentForm = d.exponent >= p || magnitude < 0.00001;
    return withSeparator(withSign(x, generalDigits(d, exponentForm)));
}

QString fixed(double x, int d) {
    if (!std::isfinite(x)) {
        return nonFinite(x);
    }
    d = std::max(d, 0);
    const double magnitude = std::fabs(x);
    const int exponent =
        magnitude == 0 ? 0 : roundToSignificant(magnitude, FixedPrecision).exponent;
    if (exponent >= FixedPrecision) {
        return general(x, FixedPrecision);
    }
    const int decimals = std::min(d, FixedPrecision - 1 - exponent);
    QString text = QString::number(magnitude, 'f', decimals);
    if (d > decimals) {
        text += (decimals == 0 ? QStringLiteral(".") : QString()) +
                QString(d - decimals, QLatin1Char('0'));
    }
    return withSeparator(withSign(x, text));
}

} // namespace kpx
