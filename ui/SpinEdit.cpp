#include "SpinEdit.h"

#include "NumberFormat.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>
#include <cmath>

namespace {

constexpr int MaxDecimals = 10;
// Enough for any quantity a register can scale to; more digits are a slip
// of the finger, not a value.
constexpr int MaxWholeDigits = 9;

bool isPoint(QChar c) {
    return c == QLatin1Char('.') || c == QLatin1Char(',') || c == kpx::DecimalSeparator();
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The number in a text of the box's own shape, whichever separator it uses;
// none while the text holds no digit.
std::optional<double> numberIn(QString text) {
    if (std::none_of(text.cbegin(), text.cend(), isDigit))
        return std::nullopt;
    for (QChar& c : text) {
        if (isPoint(c))
            c = QLatin1Char('.');
    }
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

} // namespace

TFSpinEdit::TFSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    connect(lineEdit(), &QLineEdit::textChanged, this, &TFSpinEdit::takeText);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { edited = true; });
    showValue(0);
}

bool TFSpinEdit::valueInBounds() const {
    const std::optional<double> typed = typedNumber();
    return typed && *typed >= low && *typed <= high;
}

void TFSpinEdit::setValue(double value) {
    if (std::isnan(value))
        return;
    showValue(std::clamp(value, low, high));
}

void TFSpinEdit::setMinimum(double minimum) {
    setRange(minimum, std::max(minimum, high));
}

void TFSpinEdit::setMaximum(double maximum) {
    setRange(std::min(low, maximum), maximum);
}

void TFSpinEdit::setRange(double minimum, double maximum) {
    if (std::isnan(minimum) || std::isnan(maximum))
        return;
    low = minimum;
    high = std::max(minimum, maximum);
    setValue(current);
    updateGeometry();
}

void TFSpinEdit::setSingleStep(double singleStep) {
    if (singleStep >= 0)
        step = singleStep;
}

void TFSpinEdit::setDecimals(int decimals) {
    digits = std::clamp(decimals, 0, MaxDecimals);
    setValue(current);
    updateGeometry();
}

void TFSpinEdit::setShortestForm(bool on) {
    shortest = on;
    setValue(current);
    updateGeometry();
}

QString TFSpinEdit::textFromValue(double value) const {
    QString text = QString::number(value, 'f', digits);
    if (shortest && digits > 0) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    // A small negative value rounds to zero; "-0.00" would read as a sign slip.
    if (text.startsWith(QLatin1Char('-')) && numberIn(text) == 0.0)
        text.remove(0, 1);
    return text.replace(QLatin1Char('.'), kpx::DecimalSeparator());
}

void TFSpinEdit::stepBy(int steps) {
    const double lowest = shownInside(low, +1);
    const double highest = shownInside(high, -1);
    if (lowest > highest)
        return;
    const double from = typedNumber().value_or(current);
    showValue(std::clamp(from + steps * step, lowest, highest));
    if (style()->styleHint(QStyle::SH_SpinBox_SelectOnStep, nullptr, this, nullptr))
        selectAll();
}

QValidator::State TFSpinEdit::validate(QString& input, int& pos) const {
    Q_UNUSED(pos)
    int whole = 0;
    int fraction = 0;
    bool point = false;
    for (qsizetype i = 0; i < input.size(); ++i) {
        QChar& c = input[i];
        if (isDigit(c)) {
            ++(point ? fraction : whole);
        } else if (isPoint(c) && !point && digits > 0) {
            // Whichever separator the user's keyboard gives, the box shows its own.
            c = kpx::DecimalSeparator();
            point = true;
        } else if (c != QLatin1Char('-') || i != 0) {
            return QValidator::Invalid;
        }
    }
    if (whole > MaxWholeDigits || fraction > digits)
        return QValidator::Invalid;
    const std::optional<double> number = numberIn(input);
    // Beyond the bounds is Intermediate, not Invalid: the keystroke stays and
    // the value is pulled in only when the focus leaves.
    if (!number || *number < low || *number > high)
        return QValidator::Intermediate;
    return QValidator::Acceptable;
}

QSize TFSpinEdit::sizeHint() const {
    return hintFor(lineEdit()->sizeHint().height());
}

QSize TFSpinEdit::minimumSizeHint() const {
    return hintFor(lineEdit()->minimumSizeHint().height());
}

QAbstractSpinBox::StepEnabled TFSpinEdit::stepEnabled() const {
    const double lowest = shownInside(low, +1);
    const double highest = shownInside(high, -1);
    if (isReadOnly() || lowest > highest)
        return StepNone;
    const double from = typedNumber().value_or(current);
    StepEnabled enabled = StepNone;
    if (from < highest)
        enabled |= StepUpEnabled;
    if (from > lowest)
        enabled |= StepDownEnabled;
    return enabled;
}

void TFSpinEdit::focusOutEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    if (edited && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        settle();
    QAbstractSpinBox::focusOutEvent(event);
}

std::optional<double> TFSpinEdit::typedNumber() const {
    return numberIn(lineEdit()->text());
}

double TFSpinEdit::shownInside(double bound, int direction) const {
    const double scale = std::pow(10.0, digits);
    // Rounding lands at most one step outside the bound; the texts decide,
    // as they are what value() reads back.
    double steps = std::round(bound * scale);
    for (int i = 0; i < 2; ++i) {
        const double candidate = shown(steps / scale);
        if (direction > 0 ? candidate >= bound : candidate <= bound)
            return candidate;
        steps += direction;
    }
    return shown(steps / scale);
}

double TFSpinEdit::shown(double value) const {
    return numberIn(textFromValue(value)).value_or(value);
}

void TFSpinEdit::showValue(double value) {
    edited = false;
    lineEdit()->setText(textFromValue(value));
}

void TFSpinEdit::takeText(const QString& text) {
    const std::optional<double> number = numberIn(text);
    if (!number || *number == current)
        return;
    current = *number;
    emit valueChanged(current);
}

void TFSpinEdit::settle() {
    double value = typedNumber().value_or(current);
    if (value < low)
        value = shownInside(low, +1);
    else if (value > high)
        value = shownInside(high, -1);
    showValue(value);
}

// As QAbstractSpinBox measures its own: the longer of the bounds' texts.
QSize TFSpinEdit::hintFor(int height) const {
    ensurePolished();
    const QFontMetrics metrics(fontMetrics());
    int width = 0;
    for (const double bound : {low, high}) {
        QString text = textFromValue(bound);
        text.truncate(18);
        width = std::max(width, metrics.horizontalAdvance(text + QLatin1Char(' ')));
    }
    width += 2; // room for the blinking cursor
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, QSize(width, height), this);
}
