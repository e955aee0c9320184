#include "NumberFormat.h"
#include "Scaling.h"
#include "SpinEdit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

// The number box is driven as a user drives it: keystrokes into the focused
// box, then the focus moved to another control of the window.
class TstSpinEdit : public QObject {
    Q_OBJECT

    QWidget window;
    QLineEdit* other = nullptr;
    TFSpinEdit* box = nullptr;

    void setUp(double minimum, double maximum, int decimals, double step = 1, double value = 0);
    bool typeAfresh(const QString& text);
    bool leave();

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void boundsKeptAsGiven_data();
    void boundsKeptAsGiven();
    void setValueAsTheModelSetsIt_data();
    void setValueAsTheModelSetsIt();
    void typedValueStaysUntilFocusLeaves_data();
    void typedValueStaysUntilFocusLeaves();
    void enterKeepsTheTypedValue();
    void focusLeavingTheWindowKeepsTheTypedValue();
    void eitherSeparatorIsTaken_data();
    void eitherSeparatorIsTaken();
    void refusedKeystrokesLeaveTheValue_data();
    void refusedKeystrokesLeaveTheValue();
    void stepsStayWithinBounds_data();
    void stepsStayWithinBounds();
    void wheelSteps();
    void shortestForm_data();
    void shortestForm();
    void wideEnoughForItsBounds();
};

void TstSpinEdit::setUp(double minimum, double maximum, int decimals, double step, double value) {
    box->setDecimals(decimals);
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    box->setValue(value);
}

// Replaces the box's text by keystrokes, the box holding the focus.
bool TstSpinEdit::typeAfresh(const QString& text) {
    box->setFocus(Qt::MouseFocusReason);
    if (!box->hasFocus())
        return false;
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
    return box->hasFocus();
}

bool TstSpinEdit::leave() {
    other->setFocus(Qt::MouseFocusReason);
    return other->hasFocus() && !box->hasFocus();
}

void TstSpinEdit::initTestCase() {
    auto* layout = new QVBoxLayout(&window);
    other = new QLineEdit(&window);
    layout->addWidget(other);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

void TstSpinEdit::init() {
    // A failed check may have left another window active.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    kpx::SetDecimalSeparator(QLatin1Char('.'));
    box = new TFSpinEdit(&window);
    window.layout()->addWidget(box);
    box->show();
}

void TstSpinEdit::cleanup() {
    delete box;
    box = nullptr;
    kpx::SetDecimalSeparator(QLatin1Char('.'));
}

void TstSpinEdit::boundsKeptAsGiven_data() {
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("lowestText");
    QTest::addColumn<bool>("lowestInBounds");

    // The range boxes of hydrogen and carbon dioxide in "%об.", of carbon
    // monoxide in "мгм/м3", and the current box at 4 mA shown without decimals.
    QTest::newRow("0.004, two decimals") << 0.004 << 4.0 << 2 << "0.00" << false;
    QTest::newRow("0.005, two decimals") << 0.005 << 5.0 << 2 << "0.01" << true;
    QTest::newRow("5.822, no decimals") << 5.822 << 5822.0 << 0 << "6" << true;
    QTest::newRow("3.7, no decimals") << 3.7 << 4.3 << 0 << "4" << true;
    QTest::newRow("0.004, three decimals") << 0.004 << 4.0 << 3 << "0.004" << true;
}

void TstSpinEdit::boundsKeptAsGiven() {
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, decimals);

    // The decimals set before the range and again after it: neither order
    // may round the bounds.
    box->setDecimals(decimals);
    box->setRange(minimum, maximum);
    box->setDecimals(decimals + 1);
    box->setDecimals(decimals);
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->property("minimum").toDouble(), minimum);
    QCOMPARE(box->property("maximum").toDouble(), maximum);
    QCOMPARE(box->decimals(), decimals);

    // The value set below the range is rounded as shown; whether it may be
    // written is for the bounds to say, not the rounding.
    box->setValue(minimum - 1);
    QTEST(box->text(), "lowestText");
    QCOMPARE(box->value(), box->text().toDouble());
    QTEST(box->valueInBounds(), "lowestInBounds");
}

void TstSpinEdit::setValueAsTheModelSetsIt_data() {
    QTest::addColumn<float>("minimum");
    QTest::addColumn<float>("maximum");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("rounded up") << 0.f << 100.f << 2 << 2.346 << "2.35";
    QTest::newRow("rounded down") << 0.f << 100.f << 1 << 1.24 << "1.2";
    QTest::newRow("whole") << 5.822f << 5822.f << 0 << 5822.4 << "5822";
    QTest::newRow("padded") << 3.7f << 4.3f << 2 << 3.7 << "3.70";
    QTest::newRow("above the maximum") << 0.f << 100.f << 1 << 100.06 << "100.0";
    QTest::newRow("below a bound it cannot show") << 0.004f << 4.f << 2 << 0.0 << "0.00";
    QTest::newRow("below, rounded up") << 5.822f << 5822.f << 0 << 5.0 << "6";
    QTest::newRow("negative rounding to zero") << -1.f << 1.f << 2 << -0.001 << "0.00";
}

// The model's kpx::SetBoxValue tells what the panel will show; the box must
// agree with it.
void TstSpinEdit::setValueAsTheModelSetsIt() {
    QFETCH(float, minimum);
    QFETCH(float, maximum);
    QFETCH(int, decimals);
    QFETCH(double, value);

    setUp(double(minimum), double(maximum), decimals, 1, 50);
    box->setValue(value);
    QTEST(box->text(), "text");
    QCOMPARE(box->value(), box->text().toDouble());

    kpx::NumberBox model;
    model.min = minimum;
    model.max = maximum;
    model.decimals = decimals;
    kpx::SetBoxValue(model, value);
    QCOMPARE(float(box->value()), model.value);
}

void TstSpinEdit::typedValueStaysUntilFocusLeaves_data() {
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("typedValue");
    QTest::addColumn<bool>("inBounds");
    QTest::addColumn<QString>("settledText");

    QTest::newRow("100.1 above 100") << 0.0 << 100.0 << 1 << "100.1" << 100.1 << false << "100.0";
    QTest::newRow("4.5 above the 4 mA point") << 3.7 << 4.3 << 2 << "4.5" << 4.5 << false << "4.30";
    QTest::newRow("248 above the last address")
        << 1.0 << 247.0 << 0 << "248" << 248.0 << false << "247";
    QTest::newRow("0 below the first address") << 1.0 << 247.0 << 0 << "0" << 0.0 << false << "1";
    QTest::newRow("0.00 below 0.004, three decimals")
        << 0.004 << 4.0 << 3 << "0.00" << 0.0 << false << "0.004";
    // Two decimals cannot show 0.004: the box settles on the nearest value
    // they show inside the bounds, never on 0.00.
    QTest::newRow("0.00 below 0.004, two decimals")
        << 0.004 << 4.0 << 2 << "0.00" << 0.0 << false << "0.01";
    QTest::newRow("0 below 5.822") << 5.822 << 5822.0 << 0 << "0" << 0.0 << false << "6";
    QTest::newRow("6000 above 5822") << 5.822 << 5822.0 << 0 << "6000" << 6000.0 << false << "5822";
    QTest::newRow("negative") << 0.0 << 100.0 << 1 << "-5" << -5.0 << false << "0.0";
    QTest::newRow("exactly the bound") << 0.004 << 4.0 << 3 << "0.004" << 0.004 << true << "0.004";
    QTest::newRow("unfinished number") << 0.0 << 100.0 << 2 << "5." << 5.0 << true << "5.00";
}

void TstSpinEdit::typedValueStaysUntilFocusLeaves() {
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, decimals);
    QFETCH(QString, typed);
    QFETCH(double, typedValue);
    QFETCH(QString, settledText);
    setUp(minimum, maximum, decimals, 1, maximum / 2);
    QSignalSpy changed(box, &TFSpinEdit::valueChanged);

    QVERIFY(typeAfresh(typed));
    QCOMPARE(box->text(), typed);
    QCOMPARE(box->value(), typedValue);
    QTEST(box->valueInBounds(), "inBounds");
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toDouble(), typedValue);

    QVERIFY(leave());
    QCOMPARE(box->text(), settledText);
    QCOMPARE(box->value(), settledText.toDouble());
    QVERIFY(box->valueInBounds());
    QCOMPARE(changed.last().at(0).toDouble(), box->value());
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
}

// Enter starts a write whose handler must see, and refuse, what was typed; the
// key itself goes on to the window.
void TstSpinEdit::enterKeepsTheTypedValue() {
    setUp(1, 247, 0, 1, 5);
    QVERIFY(typeAfresh("248"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(box, &enter);
    QVERIFY(!enter.isAccepted());
    QVERIFY(box->hasFocus());
    QCOMPARE(box->text(), QString("248"));
    QCOMPARE(box->value(), 248.0);
    QVERIFY(!box->valueInBounds());

    QVERIFY(leave());
    QCOMPARE(box->text(), QString("247"));
}

// A message box or another program taking the focus does not end the typing.
void TstSpinEdit::focusLeavingTheWindowKeepsTheTypedValue() {
    setUp(0.004, 4, 2, 0.01, 2);
    QVERIFY(typeAfresh("0.00"));

    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    QVERIFY(!box->hasFocus());
    QCOMPARE(box->text(), QString("0.00"));
    QCOMPARE(box->value(), 0.0);

    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_VERIFY_WITH_TIMEOUT(box->hasFocus(), 5000);
    QCOMPARE(box->text(), QString("0.00"));
    QVERIFY(leave());
    QCOMPARE(box->text(), QString("0.01"));
}

void TstSpinEdit::eitherSeparatorIsTaken_data() {
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("settled");

    const QChar point('.'), comma(',');
    QTest::newRow("comma, program shows points") << point << "2,5"
                                                 << "2.5" << 2.5 << "2.50";
    QTest::newRow("point, program shows points") << point << "2.5"
                                                 << "2.5" << 2.5 << "2.50";
    QTest::newRow("point, program shows commas") << comma << "2.5"
                                                 << "2,5" << 2.5 << "2,50";
    QTest::newRow("comma, program shows commas") << comma << "2,5"
                                                 << "2,5" << 2.5 << "2,50";
    QTest::newRow("leading separator") << comma << ".5"
                                       << ",5" << 0.5 << "0,50";
}

void TstSpinEdit::eitherSeparatorIsTaken() {
    QFETCH(QChar, separator);
    QFETCH(QString, typed);
    kpx::SetDecimalSeparator(separator);
    setUp(0, 100, 2, 0.01, 1.25);
    QCOMPARE(box->text(), QString("1") + separator + "25");

    QVERIFY(typeAfresh(typed));
    QTEST(box->text(), "shown");
    QTEST(box->value(), "value");
    QVERIFY(box->valueInBounds());
    QVERIFY(leave());
    QTEST(box->text(), "settled");
    QTEST(box->value(), "value");
}

void TstSpinEdit::refusedKeystrokesLeaveTheValue_data() {
    QTest::addColumn<bool>("afresh");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("value");

    // The box starts at 12.50, two decimals, 0 to 100.
    QTest::newRow("letters after the value") << false << "abc"
                                             << "12.50" << 12.5;
    QTest::newRow("letters only") << true << "abc"
                                  << "" << 12.5;
    QTest::newRow("letters among digits") << true << "1a2"
                                          << "12" << 12.0;
    QTest::newRow("exponent") << true << "1e3"
                              << "13" << 13.0;
    QTest::newRow("second separator") << true << "1.2,3"
                                      << "1.23" << 1.23;
    QTest::newRow("third decimal") << true << "1.234"
                                   << "1.23" << 1.23;
    QTest::newRow("sign inside") << true << "1-2"
                                 << "12" << 12.0;
    QTest::newRow("space") << true << "1 2"
                           << "12" << 12.0;
    QTest::newRow("tenth whole digit") << true << "1234567891"
                                       << "123456789" << 123456789.0;
}

void TstSpinEdit::refusedKeystrokesLeaveTheValue() {
    QFETCH(bool, afresh);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    setUp(0, 100, 2, 1, 12.5);

    if (afresh) {
        QVERIFY(typeAfresh(typed));
    } else {
        box->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClicks(box, typed);
    }
    QCOMPARE(box->text(), shown);
    QTEST(box->value(), "value");

    // Nothing left to read as a number: leaving restores the last one.
    QVERIFY(leave());
    QCOMPARE(box->value(), shown.isEmpty() ? 12.5 : std::min(shown.toDouble(), 100.0));
    QCOMPARE(box->text(), box->textFromValue(box->value()));
}

void TstSpinEdit::stepsStayWithinBounds_data() {
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("shown");

    const int up = Qt::Key_Up, down = Qt::Key_Down;
    QTest::newRow("ten steps of 0.1")
        << 0.0 << 100.0 << 1 << 0.1 << "0" << QList<int>(10, up) << "1.0";
    QTest::newRow("stops at the maximum")
        << 3.7 << 4.3 << 2 << 0.01 << "4.28" << QList<int>(5, up) << "4.30";
    QTest::newRow("stops at the minimum")
        << 3.7 << 4.3 << 2 << 0.01 << "3.72" << QList<int>(5, down) << "3.70";
    QTest::newRow("from a typed address beyond the bounds")
        << 1.0 << 247.0 << 0 << 1.0 << "248" << QList<int>{down} << "247";
    QTest::newRow("up from typed 0.00, bound 0.004")
        << 0.004 << 4.0 << 2 << 0.01 << "0.00" << QList<int>{up} << "0.01";
    QTest::newRow("down stops above 0.004")
        << 0.004 << 4.0 << 2 << 0.01 << "0.03" << QList<int>(5, down) << "0.01";
    // A step longer than the way to the bound stops where the decimals can
    // still show a value inside it.
    QTest::newRow("a long step down to 0.004")
        << 0.004 << 4.0 << 2 << 1.0 << "0.05" << QList<int>{down} << "0.01";
    QTest::newRow("a long step up to 4.306")
        << 0.0 << 4.306 << 2 << 1.0 << "3.9" << QList<int>{up} << "4.30";
    QTest::newRow("page up, ten steps")
        << 0.0 << 100.0 << 1 << 0.1 << "1" << QList<int>{Qt::Key_PageUp} << "2.0";
}

void TstSpinEdit::stepsStayWithinBounds() {
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, decimals);
    QFETCH(double, step);
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    setUp(minimum, maximum, decimals, step, minimum);

    QVERIFY(typeAfresh(typed));
    for (const int key : keys)
        QTest::keyClick(box, Qt::Key(key));
    QTEST(box->text(), "shown");
    QCOMPARE(box->value(), box->text().toDouble());
    QVERIFY(box->valueInBounds());
    QVERIFY(leave());
    QTEST(box->text(), "shown");
}

void TstSpinEdit::wheelSteps() {
    setUp(0, 10, 1, 0.5, 9);
    box->setFocus(Qt::MouseFocusReason);
    const QPointF at(box->width() / 2.0, box->height() / 2.0);
    for (int i = 0; i < 3; ++i) {
        QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
    }
    QCOMPARE(box->text(), QString("10.0"));
    QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &wheel);
    QCOMPARE(box->value(), 9.5);
}

// The layouts size the boxes by their hints: the longest bound must fit.
void TstSpinEdit::shortestForm_data() {
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("stepped");

    const int up = Qt::Key_Up, down = Qt::Key_Down;
    // The test-gas box in "%об." with two decimals, 0.25 to 5.
    QTest::newRow("half") << 2 << 2.5 << "2.5"
                          << "2.50" << QList<int>{up} << "2.51";
    QTest::newRow("whole") << 2 << 5.0 << "5"
                           << "4.99" << QList<int>{up} << "5";
    QTest::newRow("all decimals needed") << 2 << 0.25 << "0.25"
                                         << "0.3" << QList<int>{down} << "0.29";
    QTest::newRow("one decimal") << 1 << 3.0 << "3"
                                 << "2.9" << QList<int>{up} << "3";
    QTest::newRow("below zero") << 2 << -0.001 << "0"
                                << "1.1" << QList<int>{down} << "1.09";
}

// The text follows the value's own decimals; typing takes as many as the box has.
void TstSpinEdit::shortestForm() {
    QFETCH(int, decimals);
    QFETCH(double, value);
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    setUp(-1, 5, decimals, decimals == 2 ? 0.01 : 0.1, 1);
    box->setShortestForm(true);
    box->setValue(value);
    QTEST(box->text(), "text");
    QCOMPARE(box->value(), box->text().toDouble());

    QVERIFY(typeAfresh(typed));
    QCOMPARE(box->text(), typed);
    for (const int key : keys)
        QTest::keyClick(box, Qt::Key(key));
    QTEST(box->text(), "stepped");
    QVERIFY(leave());
    QTEST(box->text(), "stepped");
}

void TstSpinEdit::wideEnoughForItsBounds() {
    setUp(0, 9, 0);
    const int narrow = box->sizeHint().width();
    setUp(5.822, 76282, 0);
    const int wide = box->sizeHint().width();
    QVERIFY(wide > narrow);
    const QString longest = box->textFromValue(76282);
    QVERIFY(wide > box->fontMetrics().horizontalAdvance(longest));
    QVERIFY(box->minimumSizeHint().width() > box->fontMetrics().horizontalAdvance(longest));
}

QTEST_MAIN(TstSpinEdit)
#include "tst_spinedit.moc"
