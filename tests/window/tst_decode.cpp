#include "Device.h"
#include "Forms.h"
#include "Icons.h"
#include "NumberFormat.h"
#include "PtyResponder.h"
#include "ScriptedPrompts.h"
#include "UnitMain.h"

#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace kpx;

namespace {

using Regs = QMap<int, int>;

constexpr int Addr = 5;
constexpr uint32_t Serial = 9400000; // kind 0, "КРХ-21"
constexpr int Read = 3;
constexpr int Write = 6;

// A serviceable methane detector at address 5, 19200 baud, odd parity, on
// firmware 6.30, which passes every version gate of kind 0.
const Regs Quiet = {{0, 0x0555}, {3, 1},    {4, 0},    {5, 0},   {6, 0},   {7, 2345},    {8, 220},
                    {9, 200},    {10, 400}, {11, 500}, {12, 50}, {13, 20}, {16, 0x0630}, {18, 400}};

Regs with(Regs regs, const Regs& changes) {
    for (auto it = changes.begin(); it != changes.end(); ++it)
        regs[it.key()] = it.value();
    return regs;
}

RegisterBlock blockOf(const Regs& regs) {
    RegisterBlock block{};
    for (auto it = regs.begin(); it != regs.end(); ++it)
        block[size_t(it.key())] = quint16(it.value());
    return block;
}

// The reply to a block read of registers 0..18 at an address.
QByteArray blockReply(int address, const Regs& regs) {
    QByteArray body;
    body += char(address);
    body += char(3);
    body += char(2 * RegisterCount);
    const RegisterBlock block = blockOf(regs);
    for (int r = 0; r < RegisterCount; ++r) {
        body += char(block[size_t(r)] >> 8);
        body += char(block[size_t(r)] & 0xFF);
    }
    return PtyResponder::withCrc(body);
}

bool showsImage(const QTreeWidgetItem* node, int image) {
    return node->icon(0).pixmap(TreeIconSize).toImage() ==
           TreeIcon(image).pixmap(TreeIconSize).toImage();
}

QStringList entries(const QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

} // namespace

class TstDecode : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void panelValues_data();
    void panelValues();
    void captionAndStatus_data();
    void captionAndStatus();
    void lineAndRelaySettings();
    void addressBoxKeepsWhatIsTyped();
    void currentSetupMode();
    void currentBoxBounds_data();
    void currentBoxBounds();
    void gasAndUnitLists_data();
    void gasAndUnitLists();
    void gasHintKeptWhenNotSelectable();
    void unitChange_data();
    void unitChange();
    void editionPerPass();
    void resultCodes_data();
    void resultCodes();
    void replyOfAnotherDetector();
    void gasCodeAboveCatalogue_data();
    void gasCodeAboveCatalogue();
    void addressMove();
    void addressMoveRefused_data();
    void addressMoveRefused();
    void lineChangeRemovesDetector_data();
    void lineChangeRemovesDetector();
    void removingAnotherDetectorKeepsTheCycle();
    void readThroughTheLine();

private:
    ScriptedPrompts* prompts = nullptr;
    TFormMain* w = nullptr;
    QTreeWidgetItem* node = nullptr; // the detector at Addr, selected
    Ui::TFormMain* f() const { return w->Form(); }
    TDevice& record() const { return *w->Devices[Addr]; }

    QTreeWidgetItem* addDetector(int address, uint32_t serial);
    int decode(int function, const Regs& regs, int first, int last, int address = Addr);
    int read(const Regs& changes = {}) { return decode(Read, with(Quiet, changes), 0, 18); }
    int echo(int reg, int value) { return decode(Write, {{reg, value}}, reg, reg); }
};

void TstDecode::initTestCase() {
    SetDecimalSeparator(QLatin1Char('.'));
}

void TstDecode::init() {
    prompts = new ScriptedPrompts;
    w = new TFormMain(prompts);
    node = addDetector(Addr, Serial);
    w->SelNode = w->DownNode = w->CmdNode = node;
}

void TstDecode::cleanup() {
    delete w;
    delete prompts;
}

QTreeWidgetItem* TstDecode::addDetector(int address, uint32_t serial) {
    w->Searching = true;
    w->DeviceFound(address, serial);
    w->Searching = false;
    QTreeWidgetItem* group = w->KindNode[size_t(w->Devices[size_t(address)]->Kind)];
    return group->child(group->childCount() - 1);
}

// As the exchange calls it: with the change handlers kept quiet, and the
// panel opened by any pass that was not rejected.
int TstDecode::decode(int function, const Regs& regs, int first, int last, int address) {
    w->Updating = true;
    const DecodeResult result = w->DecodeBlock(function, address, blockOf(regs), first, last);
    if (result != DecodeResult::Rejected)
        w->EnableDevPanel();
    w->Updating = false;
    // The tables write the outcome as 0 rejected, 1 shown, 2 ended at an echo.
    return int(result);
}

void TstDecode::panelValues_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QString>("gasCaption");
    QTest::addColumn<QString>("concentration");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("units");
    QTest::addColumn<bool>("unitsEnabled");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("rangeMin");
    QTest::addColumn<double>("rangeMax");
    QTest::addColumn<double>("limit1");
    QTest::addColumn<double>("limitMax");
    QTest::addColumn<double>("magnetMin");

    const QString lel = "%НКПР", vol = "%об.", ppm = "млн-1", mg = "мгм/м3";
    // Registers: 3 gas, 5 unit, 6 concentration, 8 range, 9 threshold 1.
    QTest::newRow("methane, %НКПР")
        << Regs{{3, 1}, {6, 235}, {8, 220}, {9, 200}} << "Измеряемый газ: Метан (CH4)"
        << "23.5" << lel << QStringList{lel, lel} << false << 1 << 0.1 << 50.0 << 0.1 << 100.0
        << 20.0 << 100.0 << 10.0;
    QTest::newRow("oxygen, %об. below full scale")
        << Regs{{3, 23}, {6, 2090}, {8, 2500}, {9, 500}} << "Измеряемый газ: Кислород (O2)"
        << "20.90" << vol << QStringList{vol, vol} << false << 2 << 0.01 << 25.0 << 0.03 << 30.0
        << 15.0 << 30.0 << 3.0;
    QTest::newRow("carbon monoxide, млн-1")
        << Regs{{3, 24}, {6, 17}, {8, 200}, {9, 100}} << "Измеряемый газ: Оксид углерода (CO)"
        << "17" << ppm << QStringList{ppm, mg} << true << 0 << 1.0 << 200.0 << 5.0 << 5000.0 << 20.0
        << 200.0 << 20.0;
    // The lower bounds of the range box are kept as the model gives them,
    // finer than the box's decimals: 5.822 not 6, 0.004 and 0.005 not 0.00.
    QTest::newRow("carbon monoxide, мгм/м3")
        << Regs{{3, 24}, {5, 0x8000}, {6, 17}, {8, 200}, {9, 100}}
        << "Измеряемый газ: Оксид углерода (CO)"
        << "17" << mg << QStringList{ppm, mg} << true << 0 << 1.0 << 200.0 << 5.822 << 5822.0
        << 20.0 << 200.0 << 20.0;
    QTest::newRow("hydrogen, %об.")
        << Regs{{3, 32}, {6, 234}, {8, 200}, {9, 500}} << "Измеряемый газ: Bодород (H2)"
        << "2.34" << vol << QStringList{vol, lel} << true << 2 << 0.01 << 2.0 << 0.004 << 4.0 << 2.0
        << 4.0 << 0.4;
    QTest::newRow("carbon dioxide, %об.")
        << Regs{{3, 3}, {6, 150}, {8, 500}, {9, 200}} << "Измеряемый газ: Диоксид углерода (CO2)"
        << "1.50" << vol << QStringList{vol, vol} << false << 2 << 0.01 << 5.0 << 0.005 << 5.0
        << 1.0 << 5.0 << 0.5;
    QTest::newRow("hydrogen, %НКПР") << Regs{{3, 32}, {5, 0x8000}, {6, 500}, {8, 200}, {9, 100}}
                                     << "Измеряемый газ: Bодород (H2)"
                                     << "50.0" << lel << QStringList{vol, lel} << true << 2 << 0.01
                                     << 50.0 << 0.1 << 100.0 << 10.0 << 100.0 << 10.0;
}

void TstDecode::panelValues() {
    QFETCH(Regs, regs);
    QFETCH(QString, unit);
    QFETCH(QStringList, units);
    QFETCH(bool, unitsEnabled);
    QFETCH(int, decimals);
    QFETCH(double, step);
    QCOMPARE(read(regs), 1);

    QTEST(f()->SecGas->title(), "gasCaption");
    QTEST(f()->EditConc->text(), "concentration");
    QCOMPARE(entries(f()->CBoxUnit), units);
    QCOMPARE(f()->CBoxUnit->currentText(), unit);
    QCOMPARE(int(w->LastUnitIndex), f()->CBoxUnit->currentIndex());
    QCOMPARE(f()->CBoxUnit->isEnabled(), unitsEnabled);
    QCOMPARE(f()->LabelUnit->isEnabled(), unitsEnabled);
    for (const QLabel* label : {f()->LGasUnit, f()->LURVUnit, f()->LMagnetUnit, f()->LLimit1Unit,
                                f()->LLimit2Unit, f()->LHysterUnit, f()->LZeroZoneUnit})
        QCOMPARE(label->text(), unit);

    const TFSpinEdit* range = f()->EditURV;
    QTEST(range->value(), "range");
    QTEST(range->minimum(), "rangeMin");
    QTEST(range->maximum(), "rangeMax");
    QVERIFY(range->isEnabled());
    QCOMPARE(range->toolTip(), QString("<Ввод> для записи в прибор"));
    for (const TFSpinEdit* box : {f()->EditURV, f()->EditLimit1, f()->EditLimit2, f()->EditMagnet,
                                  f()->EditHyster, f()->EditZeroZone}) {
        QCOMPARE(box->decimals(), decimals);
        QCOMPARE(float(box->singleStep()), float(step)); // single precision, as the model holds it
    }
    QTEST(f()->EditLimit1->value(), "limit1");
    QTEST(f()->EditLimit1->maximum(), "limitMax");
    QCOMPARE(f()->EditLimit1->minimum(), 0.0);
    QTEST(f()->EditMagnet->minimum(), "magnetMin");
    QCOMPARE(f()->EditTemp->text(), QString("23.45"));
    QCOMPARE(f()->EditI->text(), QString("4"));
}

void TstDecode::captionAndStatus_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("faulty");
    QTest::addColumn<bool>("setup");
    QTest::newRow("working") << Regs{} << "#5 : 09400000 (v6.30)  -  Рабочий режим" << false
                             << false;
    QTest::newRow("threshold 1, methane")
        << Regs{{4, 0x0002}} << "#5 : 09400000 (v6.30)  -  Превышен порог №1" << false << false;
    QTest::newRow("threshold 1, oxygen")
        << Regs{{3, 23}, {4, 0x0002}} << "#5 : 09400000 (v6.30)  -  Концентрация ниже порога №1"
        << false << false;
    QTest::newRow("setup mode") << Regs{{4, 0x0200}}
                                << "#5 : 09400000 (v6.30)  -  Режим настройки ТВ" << false << true;
    QTest::newRow("fault, bus break") << Regs{{4, 0x0001}, {5, 0x0008}}
                                      << "#5 : 09400000  -  Ошибка  :  Обрыв шины" << true << false;
    QTest::newRow("fault, sensor data before display data")
        << Regs{{4, 0x0203}, {5, 0x0300}} << "#5 : 09400000  -  Ошибка  :  Неверные данные датчика"
        << true << true;
    QTest::newRow("fault, hardware")
        << Regs{{4, 0x0001}, {5, 0}} << "#5 : 09400000  -  Ошибка  :  Аппаратная" << true << false;
}

void TstDecode::captionAndStatus() {
    QFETCH(Regs, regs);
    QFETCH(QString, caption);
    QFETCH(bool, faulty);
    QFETCH(bool, setup);
    QCOMPARE(read(regs), 1);

    QCOMPARE(f()->DevPanelCaption->text(), caption);
    QVERIFY(caption.endsWith("  -  " + record().StatusText));
    QVERIFY(showsImage(node, faulty ? TreeImageFaulty : TreeImageServiceable));
    for (const QWidget* c :
         std::initializer_list<const QWidget*>{f()->Label6, f()->LGasUnit, f()->EditConc})
        QCOMPARE(c->isHidden(), setup);
    for (const QAction* a : {f()->ActZero, f()->ActZero2, f()->ActCalb, f()->ActInit})
        QCOMPARE(a->isEnabled(), !setup);
    QCOMPARE(f()->ChBoxCurrFix->isChecked(), setup);
    for (const QWidget* c : std::initializer_list<const QWidget*>{
             f()->RBt01mA, f()->RBt04mA, f()->RBt20mA, f()->LabelEditCurr, f()->EditCurr,
             f()->Label15, f()->SpBtSetCurr})
        QCOMPARE(c->isEnabled(), setup);

    // The next reading finds the detector well again.
    QCOMPARE(read(), 1);
    QCOMPARE(f()->DevPanelCaption->text(), QString("#5 : 09400000 (v6.30)  -  Рабочий режим"));
    QVERIFY(showsImage(node, TreeImageServiceable));
    QVERIFY(!f()->EditConc->isHidden() && f()->ActCalb->isEnabled());
    QVERIFY(!f()->SpBtSetCurr->isEnabled());
}

void TstDecode::lineAndRelaySettings() {
    QCOMPARE(read({{0, 0xF7A8}, {4, 0x1500}}), 1);
    QCOMPARE(f()->SEditAddr->value(), 247);
    QCOMPARE(f()->CBoxBaud->currentText(), QString("115200"));
    QCOMPARE(f()->CBoxPar->currentText(), QString("Чет"));
    QCOMPARE(f()->CBoxStopBit->currentText(), QString("2"));
    QVERIFY(f()->CBoxBlock->isChecked());
    QCOMPARE(f()->CBoxRelay1->currentText(), QString("Нормально замкнутое"));
    QCOMPARE(f()->CBoxRelay2->currentText(), QString("Нормально разомкнутое"));
    QCOMPARE(f()->CBoxRelayD->currentText(), QString("Нормально замкнутое"));

    // An undefined baud-rate code selects nothing rather than a wrong rate.
    QCOMPARE(read({{0, 0x0550}, {4, 0x0800}}), 1);
    QCOMPARE(f()->SEditAddr->value(), 5);
    QCOMPARE(f()->CBoxBaud->currentIndex(), -1);
    QCOMPARE(f()->CBoxPar->currentText(), QString("Нечет"));
    QCOMPARE(f()->CBoxStopBit->currentText(), QString("1"));
    QVERIFY(!f()->CBoxBlock->isChecked());
    QCOMPARE(f()->CBoxRelay2->currentIndex(), 1);
}

// The address write must see an address past the bus to refuse it; the box
// once dropped the last digit of 248 and offered 24.
void TstDecode::addressBoxKeepsWhatIsTyped() {
    QCOMPARE(read(), 1);
    TFSpinEdit* box = f()->SEditAddr;
    QCOMPARE(box->text(), QString("5"));
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, "248");
    QCOMPARE(box->text(), QString("248"));
    QCOMPARE(box->value(), 248.0);
    QVERIFY(!box->valueInBounds());
}

void TstDecode::currentSetupMode() {
    // A read shows the point the output is fixed at; register 18 has the last word.
    QCOMPARE(read({{4, 0x0200}, {6, 0}, {18, 405}}), 1);
    QVERIFY(f()->RBt04mA->isChecked());
    QCOMPARE(f()->EditCurr->value(), 4.0);
    QCOMPARE(f()->EditCurr->minimum(), 3.7);
    QCOMPARE(f()->EditCurr->maximum(), 4.3);
    QCOMPARE(f()->EditI->text(), QString("4.05"));

    QCOMPARE(read({{4, 0x0210}, {6, 0}}), 1);
    QVERIFY(f()->RBt01mA->isChecked());

    // Echoes of point selections: the record keeps the 1 mA point in bit 4.
    w->Reading = false;
    QCOMPARE(echo(6, 0), 1);
    QVERIFY(f()->RBt04mA->isChecked());
    QCOMPARE(record().Registers[4], quint16(0x0200));
    QCOMPARE(echo(6, 0xF111), 1);
    QVERIFY(f()->RBt01mA->isChecked());
    QCOMPARE(record().Registers[4], quint16(0x0210));
    QCOMPARE(f()->EditCurr->minimum(), 0.7);
    QCOMPARE(f()->EditI->text(), QString("1"));
    QCOMPARE(echo(6, 1000), 1);
    QVERIFY(f()->RBt20mA->isChecked());
    QCOMPARE(record().Registers[4], quint16(0x0200));
    QCOMPARE(f()->EditCurr->value(), 20.0);
    QCOMPARE(f()->EditI->text(), QString("20"));
    QVERIFY(prompts->shown.isEmpty());

    // The echo of a trimming write confirms it.
    QCOMPARE(echo(18, 2005), 1);
    QCOMPARE(prompts->shown, QStringList{"message: Коррекция - Ок"});
    QCOMPARE(f()->EditI->text(), QString("20"));
}

void TstDecode::currentBoxBounds_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    // Setup mode; bit 4 of register 4 fixes the output at 1 mA, else register 6 picks 4 or 20 mA.
    QTest::newRow("1 mA") << Regs{{4, 0x0210}, {6, 0}} << 0.7 << 1.3;
    QTest::newRow("4 mA") << Regs{{4, 0x0200}, {6, 0}} << 3.7 << 4.3;
    QTest::newRow("20 mA") << Regs{{4, 0x0200}, {6, 1000}} << 19.7 << 20.3;
}

// The model holds the point ± 0.3 mA in single precision, 3.7 as 3.7000000477: the
// box must get the decimal the model meant, or the trim would refuse a typed 3.70.
void TstDecode::currentBoxBounds() {
    QFETCH(Regs, regs);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QCOMPARE(read(regs), 1);

    TFSpinEdit* box = f()->EditCurr;
    QVERIFY(box->isEnabled());
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
    const std::pair<double, bool> typings[] = {
        {minimum, true}, {minimum - 0.01, false}, {maximum, true}, {maximum + 0.01, false}};
    for (const auto& [typed, inBounds] : typings) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, box->textFromValue(typed));
        QCOMPARE(box->value(), box->text().toDouble());
        QVERIFY2(box->valueInBounds() == inBounds, qPrintable(box->text()));
    }
}

void TstDecode::gasAndUnitLists_data() {
    QTest::addColumn<int>("serial");
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<bool>("editionA");
    QTest::addColumn<int>("hideMethane");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("gasEnabled");
    QTest::addColumn<bool>("unitEnabled");

    QTest::newRow("propane") << 9400000 << Regs{{3, 2}} << false << 0 << 19 << "Метан"
                             << "Пропан"
                             << "Пропан : C3H8" << true << false;
    QTest::newRow("methane left out by the detector")
        << 9400000 << Regs{{3, 1}, {5, 0x4000}} << false << 1 << 1 << "CH4"
        << "CH4"
        << "" << false << false;
    QTest::newRow("kind 3 is always gated")
        << 9300000 << Regs{{3, 2}} << true << 1 << 17 << "Пропан"
        << "Пропан"
        << "Пропан : C3H8" << false << false;
    QTest::newRow("old firmware, edition A")
        << 9400000 << Regs{{3, 12}, {16, 0x0625}} << true << 1 << 17 << "Пропан"
        << "Метанол"
        << "Метанол : СН3ОН" << true << false;
    QTest::newRow("carbon monoxide is not in the list")
        << 9400000 << Regs{{3, 24}} << false << 0 << 1 << "CO"
        << "CO"
        << "" << false << true;
    QTest::newRow("unit gate locks both units")
        << 9400000 << Regs{{3, 24}, {16, 0x0555}} << true << 1 << 1 << "CO"
        << "CO"
        << "" << false << false;
    QTest::newRow("hydrogen locked to its unit")
        << 9400000 << Regs{{3, 32}, {16, 0x0705}} << false << 0 << 1 << "H2"
        << "H2"
        << "" << false << false;
}

void TstDecode::gasAndUnitLists() {
    QFETCH(int, serial);
    QFETCH(Regs, regs);
    QFETCH(bool, editionA);
    QFETCH(int, hideMethane);
    w->Devices[Addr]->Kind = *KindFromSerial(serial);
    QCOMPARE(read(regs), 1);

    QCOMPARE(w->GasTable, editionA ? GasEditionA() : GasEditionB());
    QCOMPARE(int(w->HideMethane), hideMethane);
    QTEST(f()->CBoxGas->count(), "count");
    QTEST(f()->CBoxGas->itemText(0), "first");
    QTEST(f()->CBoxGas->currentText(), "selected");
    QTEST(f()->CBoxGas->toolTip(), "hint");
    QTEST(f()->CBoxGas->isEnabled(), "gasEnabled");
    QTEST(f()->LabelGas->isEnabled(), "gasEnabled");
    QTEST(f()->CBoxUnit->isEnabled(), "unitEnabled");
    QTEST(f()->LabelUnit->isEnabled(), "unitEnabled");
}

void TstDecode::unitChange_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QString>("conc");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("rangeMax");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("concBack");
    QTest::newRow("carbon monoxide, ppm to mg/m3")
        << Regs{{3, 24}, {6, 17}, {8, 200}} << "20" << 233.0 << double(5000 * 1.1644f) << "мгм/м3"
        << "17";
    QTest::newRow("hydrogen, %об. to %НКПР")
        << Regs{{3, 32}, {6, 50}, {8, 200}, {16, 0x0850}} << "12.5" << 50.0 << 100.0 << "%НКПР"
        << "0.50";
}

// Choosing the other unit converts what the panel shows, bounds first; the
// decoding's own change of the list converts nothing.
void TstDecode::unitChange() {
    QFETCH(Regs, regs);
    QCOMPARE(read(regs), 1);
    QVERIFY(f()->CBoxUnit->isEnabled());
    QCOMPARE(f()->CBoxUnit->currentIndex(), 0);
    const double limit1Max = f()->EditLimit1->maximum();

    f()->CBoxUnit->setCurrentIndex(1);
    QTEST(f()->EditConc->text(), "conc");
    QTEST(f()->EditURV->value(), "range");
    QFETCH(double, rangeMax);
    QCOMPARE(float(f()->EditURV->maximum()), float(rangeMax));
    for (QLabel* label : {f()->LGasUnit, f()->LURVUnit, f()->LMagnetUnit, f()->LLimit1Unit,
                          f()->LLimit2Unit, f()->LHysterUnit, f()->LZeroZoneUnit})
        QTEST(label->text(), "unit");
    QVERIFY(f()->EditLimit1->maximum() > limit1Max);
    QCOMPARE(int(w->LastUnitIndex), 1);

    // Back again: divided, rounded to the shown decimals.
    f()->CBoxUnit->setCurrentIndex(0);
    QTEST(f()->EditConc->text(), "concBack");
    QCOMPARE(int(w->LastUnitIndex), 0);

    // The next reading shows the detector's own unit and values again,
    // without converting anything on the way.
    f()->CBoxUnit->setCurrentIndex(1);
    QCOMPARE(read(regs), 1);
    QCOMPARE(f()->CBoxUnit->currentIndex(), 0);
    QTEST(f()->EditConc->text(), "concBack");
    QCOMPARE(int(w->LastUnitIndex), 0);
}

// Only a gas that can be chosen sets the list's hint; one that cannot leaves it.
void TstDecode::gasHintKeptWhenNotSelectable() {
    QCOMPARE(read({{3, 2}}), 1);
    QCOMPARE(f()->CBoxGas->toolTip(), QString("Пропан : C3H8"));
    QCOMPARE(read({{3, 24}}), 1);
    QCOMPARE(f()->CBoxGas->currentText(), QString("CO"));
    QCOMPARE(f()->CBoxGas->toolTip(), QString("Пропан : C3H8"));
}

void TstDecode::editionPerPass() {
    QCOMPARE(read({{3, 24}, {16, 0x0625}}), 1);
    QCOMPARE(w->GasTable, GasEditionA());
    // Edition A knows carbon monoxide up to 2000.
    QCOMPARE(f()->EditURV->maximum(), 2000.0);

    // A write echo carries no version: edition B until the next read.
    w->Reading = false;
    QCOMPARE(echo(18, 400), 1);
    QCOMPARE(w->GasTable, GasEditionB());
    QCOMPARE(prompts->shown, QStringList{"message: Коррекция - Ок"});
    QCOMPARE(read({{3, 24}, {16, 0x0625}}), 1);
    QCOMPARE(w->GasTable, GasEditionA());

    // So does a read that stops short of the version word.
    QCOMPARE(decode(Read, with(Quiet, {{3, 24}, {16, 0x0625}}), 0, 15), 1);
    QCOMPARE(w->GasTable, GasEditionB());
    QCOMPARE(f()->EditURV->maximum(), 5000.0);
}

void TstDecode::resultCodes_data() {
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<int>("result");
    QTest::newRow("one past the block") << Read << 0 << 19 << false << 0;
    QTest::newRow("first after last") << Read << 5 << 3 << false << 0;
    QTest::newRow("starts past the block") << Write << 99 << 99 << false << 0;
    QTest::newRow("whole block") << Read << 0 << 18 << true << 1;
    QTest::newRow("status echo, no read outstanding") << Write << 4 << 4 << false << 2;
    QTest::newRow("status echo, read outstanding") << Write << 4 << 4 << true << 1;
    QTest::newRow("temperature echo") << Write << 7 << 7 << false << 1;
}

void TstDecode::resultCodes() {
    QFETCH(int, function);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, reading);
    QFETCH(int, result);
    QCOMPARE(read(), 1);
    const TDevice before = record();
    const QString caption = f()->DevPanelCaption->text();

    w->Reading = reading;
    QCOMPARE(decode(function, with(Quiet, {{4, 0x0100}, {7, 100}}), first, last), result);
    if (result == 0) {
        QCOMPARE(record().Registers, before.Registers);
        QCOMPARE(f()->DevPanelCaption->text(), caption);
        QCOMPARE(f()->EditTemp->text(), QString("23.45"));
        QVERIFY(!f()->CBoxBlock->isChecked());
    }
    if (function == Write) {
        // An echo keeps only the status word in the record.
        QCOMPARE(record().Registers[7], quint16(2345));
        QCOMPARE(record().Registers[4], quint16(first == 4 ? 0x0100 : 0));
    }
}

void TstDecode::replyOfAnotherDetector() {
    QTreeWidgetItem* other = addDetector(7, 9500001);
    QCOMPARE(read(), 1);
    const QString caption = f()->DevPanelCaption->text();
    QCOMPARE(decode(Read, with(Quiet, {{3, 24}, {4, 0x0001}}), 0, 18, 7), 0);
    QCOMPARE(w->Devices[7]->Registers, (std::array<uint16_t, RegisterCount>{}));
    QCOMPARE(f()->DevPanelCaption->text(), caption);
    QCOMPARE(f()->SecGas->title(), QString("Измеряемый газ: Метан (CH4)"));
    QVERIFY(showsImage(other, TreeImageDetector));
}

void TstDecode::gasCodeAboveCatalogue_data() {
    QTest::addColumn<int>("code");
    QTest::newRow("64") << 64;
    QTest::newRow("257, methane in the low byte") << 257;
    QTest::newRow("largest") << 0xFFFF;
}

void TstDecode::gasCodeAboveCatalogue() {
    QFETCH(int, code);
    QCOMPARE(read({{3, code}, {4, 0x0002}}), 1);
    QCOMPARE(f()->SecGas->title(), QString("Измеряемый газ: Газ? (%1)").arg("???"));
    QCOMPARE(entries(f()->CBoxGas), QStringList{"???"});
    QVERIFY(!f()->CBoxGas->isEnabled());
    QCOMPARE(entries(f()->CBoxUnit), (QStringList{"%НКПР", "%НКПР"}));
    QVERIFY(!f()->EditURV->isEnabled());
    QCOMPARE(f()->EditURV->toolTip(), QString());
    QCOMPARE(record().StatusText, QString("Превышен порог №1"));
    QCOMPARE(record().Registers[3], quint16(code));
}

void TstDecode::addressMove() {
    QCOMPARE(read(), 1);
    TDevice* moved = w->Devices[Addr].get();
    QCOMPARE(echo(0, 0x0755), 1);

    QCOMPARE(prompts->shown, QStringList{"message: Настройки связи изменены."});
    QVERIFY(!w->Devices[Addr]);
    QCOMPARE(w->Devices[7].get(), moved);
    QCOMPARE(moved->Registers[0], quint16(0x0755));
    QCOMPARE(moved->SerialNumber, int32_t(Serial));
    QCOMPARE(node->text(0), QString("#7 : 09400000"));
    QCOMPARE(w->SelectedAddress(), 7);
    QCOMPARE(f()->SEditAddr->value(), 7);
    QCOMPARE(f()->DevPanelCaption->text(), QString("#7 : 09400000  -  Рабочий режим"));
    QCOMPARE(f()->DevTree->topLevelItemCount(), 1);

    // The detector is read at its new address from now on.
    QCOMPARE(decode(Read, with(Quiet, {{0, 0x0755}, {4, 0x0004}}), 0, 18, 7), 1);
    QCOMPARE(moved->StatusText, QString("Превышен порог №2"));
}

void TstDecode::addressMoveRefused_data() {
    QTest::addColumn<int>("word");
    QTest::addColumn<bool>("occupied");
    QTest::newRow("address of another detector") << 0x0755 << true;
    QTest::newRow("broadcast address") << 0x0055 << false;
    QTest::newRow("past the table") << 0xFA55 << false;
}

void TstDecode::addressMoveRefused() {
    QFETCH(int, word);
    QFETCH(bool, occupied);
    TDevice* other = nullptr;
    if (occupied) {
        addDetector(7, 9400001);
        other = w->Devices[7].get();
    }
    QCOMPARE(read(), 1);
    TDevice* device = w->Devices[Addr].get();
    QCOMPARE(echo(0, word), 1);

    QCOMPARE(prompts->shown,
             (QStringList{"message: Настройки связи изменены.", "message: Критическая ошибка"}));
    QCOMPARE(w->Devices[Addr].get(), device);
    QCOMPARE(w->Devices[7].get(), other);
    QCOMPARE(node->text(0), QString("#5 : 09400000"));
    QCOMPARE(w->SelectedAddress(), Addr);
}

void TstDecode::lineChangeRemovesDetector_data() {
    QTest::addColumn<bool>("lastOfKind");
    QTest::newRow("last of its kind") << true;
    QTest::newRow("one of two") << false;
}

void TstDecode::lineChangeRemovesDetector() {
    QFETCH(bool, lastOfKind);
    if (!lastOfKind)
        addDetector(6, 9400001);
    QTreeWidgetItem* group = w->KindNode[0];
    QCOMPARE(read(), 1);
    // The reading cycle runs on the detector, between two reads.
    w->TimerRead.start();
    f()->BtRead->setDefaultAction(f()->ActReadStop);
    w->Reading = false;

    QCOMPARE(echo(0, 0x0556), 1);
    QCOMPARE(prompts->shown, QStringList{"message: Настройки связи изменены."});
    QVERIFY(!w->Devices[Addr]);
    QVERIFY(!w->SelNode && !w->CmdNode && !w->DownNode);
    QVERIFY(f()->DevPanel->isHidden());
    QVERIFY(!w->TimerRead.isActive());
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
    QVERIFY(f()->ActWriteAddr->isEnabled());
    if (lastOfKind) {
        QCOMPARE(f()->DevTree->topLevelItemCount(), 0);
        QVERIFY(!w->KindNode[0]);
    } else {
        QCOMPARE(w->KindNode[0], group);
        QCOMPARE(group->childCount(), 1);
        QCOMPARE(group->child(0)->text(0), QString("#6 : 09400001"));
        QVERIFY(w->Devices[6]);
    }
    QCOMPARE(read(), 0);
}

void TstDecode::removingAnotherDetectorKeepsTheCycle() {
    QTreeWidgetItem* other = addDetector(6, 9500001);
    w->TimerRead.start();
    w->RemoveDetector(6, other);
    QVERIFY(w->TimerRead.isActive());
    QCOMPARE(w->SelNode, node);
    QVERIFY(!f()->DevPanel->isHidden());
    QVERIFY(!w->KindNode[1] && !w->Devices[6]);

    // An empty slot, or a number no kind has, removes nothing.
    w->RemoveDetector(6, node);
    w->Devices[Addr]->SerialNumber = 9700000;
    w->RemoveDetector(Addr, node);
    QVERIFY(w->Devices[Addr]);
    QCOMPARE(w->SelNode, node);
    QCOMPARE(w->KindNode[0]->childCount(), 1);
}

void TstDecode::readThroughTheLine() {
    PtyResponder pty;
    const Regs regs = with(Quiet, {{0, 0x0155}, {3, 24}, {6, 17}, {8, 200}});
    const QByteArray blockRead = PtyResponder::withCrc(QByteArray::fromHex("010300000013"));
    pty.setScript([&](const QByteArray& req) {
        if (req == PtyResponder::withCrc(QByteArray::fromHex("010300010002")))
            return PtyResponder::withCrc(QByteArray::fromHex("010304008F6EC0")); // 9400000
        return req == blockRead ? blockReply(1, regs) : QByteArray();
    });
    w->show();
    w->PreselectPort(pty.slavePath());
    w->Execute(f()->ActFind);
    w->TimerFind.stop();
    w->TimerFindTimer();
    QTRY_VERIFY(w->Devices[1]);
    w->Execute(f()->ActStop);

    QTreeWidgetItem* detector = w->KindNode[0]->child(0);
    w->DevTreeMouseDown(Qt::LeftButton,
                        f()->DevTree->visualItemRect(detector).topLeft() + QPoint(10, 5));
    w->DevTreeDblClick();
    QTRY_VERIFY(f()->DevPanel->isEnabled());
    QCOMPARE(pty.requests().last(), blockRead);
    QCOMPARE(f()->DevPanelCaption->text(), QString("#1 : 09400000 (v6.30)  -  Рабочий режим"));
    QCOMPARE(f()->SecGas->title(), QString("Измеряемый газ: Оксид углерода (CO)"));
    QCOMPARE(f()->EditConc->text(), QString("17"));
    QCOMPARE(f()->EditURV->value(), 200.0);
    QVERIFY(showsImage(detector, TreeImageServiceable));
    QVERIFY(!w->Updating);
}

QTEST_MAIN(TstDecode)
#include "tst_decode.moc"
