#pragma once

#include <QAbstractSpinBox>

#include <optional>

// The number box of the detector panel and of the test-gas dialog.
//
// QDoubleSpinBox rounds its bounds to the decimals it shows, so a range box
// of hydrogen in "%об." (lower bound 0.004, two decimals) would take 0.00,
// and it drops any keystroke that would leave the bounds, so "248" typed in
// the address box became "24" without a word. This box keeps its bounds as
// given and never drops a digit for the value it makes:
//
// - While the box has the focus its text is what the user typed, within the
//   bounds or not. Enter leaves it so too: it goes on to the window (or the
//   dialog's default button), whose handler must see the typed value to
//   refuse it.
// - When the focus moves to another control, a typed value beyond the bounds
//   is pulled to the nearest bound. Where the decimals cannot show that bound
//   (0.004 with two decimals) it becomes the nearest value they can show
//   inside the bounds (0.01), so the box never settles on a value a write
//   would refuse. The focus leaving the window (a message box, another
//   program) changes nothing: the user has not finished typing.
// - Text that cannot become a number is refused keystroke by keystroke:
//   letters, a second separator, more decimals than the box shows.
//
// Handlers that send a box's value to the detector (the range write on
// Enter, the current trim, the test-gas dialog) read value() and refuse it
// with "Неверное значение!" unless valueInBounds() holds.
class TFSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
    Q_PROPERTY(double value READ value WRITE setValue NOTIFY valueChanged USER true)
    Q_PROPERTY(double minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(double maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(double singleStep READ singleStep WRITE setSingleStep)
    Q_PROPERTY(int decimals READ decimals WRITE setDecimals)

public:
    // Starts as QDoubleSpinBox does: 0 to 99.99, two decimals, step 1, value 0.
    explicit TFSpinEdit(QWidget* parent = nullptr);

    // The number the box shows, as typed: beyond the bounds until the focus
    // leaves, if the user typed so. While the text is no number yet ("",
    // "-") the last number it held.
    double value() const { return current; }
    // The text is a number within minimum() and maximum().
    bool valueInBounds() const;
    // Pulled into the bounds and rounded to the decimals, as kpx::SetBoxValue
    // computes it; a bound the decimals cannot show is rounded like any value,
    // so the box shows what the detector holds even where a write would be
    // refused. Replaces whatever the user was typing.
    void setValue(double value);

    // The bounds exactly as given, whatever the decimals.
    double minimum() const { return low; }
    double maximum() const { return high; }
    void setMinimum(double minimum);
    void setMaximum(double maximum);
    // A maximum below the minimum is taken as the minimum.
    void setRange(double minimum, double maximum);

    double singleStep() const { return step; }
    // Negative steps are ignored.
    void setSingleStep(double step);

    int decimals() const { return digits; }
    // Limited to 0..10.
    void setDecimals(int decimals);

    // Shows the value in its shortest exact form, with as many of its
    // decimals() as it needs: "2.5" and "5" rather than "2.50" and "5.00".
    // Typing still takes up to decimals(). Off at construction.
    bool shortestForm() const { return shortest; }
    void setShortestForm(bool on);

    // value with the box's decimals and the program's decimal separator.
    QString textFromValue(double value) const;

    // Steps from the number shown, typed or not, and stays within the bounds.
    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueChanged(double value);

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::optional<double> typedNumber() const;
    // The value nearest to bound the decimals can show without leaving the
    // bounds; direction +1 searches upwards from the minimum, -1 downwards
    // from the maximum.
    double shownInside(double bound, int direction) const;
    double shown(double value) const;
    void showValue(double value);
    void takeText(const QString& text);
    void settle();
    QSize hintFor(int height) const;

    double low = 0;
    double high = 99.99;
    double step = 1;
    int digits = 2;
    bool shortest = false;
    double current = 0;
    // The user has typed since the box last showed a value of its own.
    bool edited = false;
};
