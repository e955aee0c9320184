#pragma once

#include "FakeDetectors.h"
#include "Forms.h"
#include "NumberFormat.h"
#include "ScriptedPrompts.h"
#include "UnitDlg.h"
#include "UnitMain.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

// Prompts that let a test look at the window the moment a question is asked.
class WatchedPrompts : public ScriptedPrompts {
public:
    std::function<void()> onConfirm;
    bool confirm(const QString& text) override {
        if (onConfirm)
            onConfirm();
        return ScriptedPrompts::confirm(text);
    }
};

namespace cmd {

using Regs = FakeDetectors::Regs;

constexpr uint32_t Kind0 = 9400000; // "КРХ-21"
constexpr uint32_t Kind1 = 9500000; // "КРХ-22"
constexpr uint32_t Kind3 = 2301045; // "КРХ-20", older than every firmware limit

// A serviceable methane detector in %НКПР, range 440 (100 %НКПР), reading
// 23.5 %НКПР, on firmware 8.40.
inline const Regs Methane = {{0, 0x0155}, {3, 1},   {4, 0},       {5, 0},    {6, 235},
                             {7, 2200},   {8, 440}, {9, 200},     {10, 400}, {11, 500},
                             {12, 50},    {13, 20}, {16, 0x0840}, {18, 400}};

inline Regs with(Regs regs, const Regs& changes) {
    for (auto it = changes.begin(); it != changes.end(); ++it)
        regs[it.key()] = it.value();
    return regs;
}

} // namespace cmd

// The main window and its test-gas dialog over detectors on a pseudo-terminal:
// the commands go out as real frames, the detectors answer at once unless told
// otherwise. Timers the tests would wait for are driven by hand.
class CommandWindow {
public:
    FakeDetectors line;
    WatchedPrompts prompts;
    TFormMain* w = nullptr;
    TFormDlg* dlg = nullptr;

    CommandWindow() {
        kpx::SetDecimalSeparator(QLatin1Char('.'));
        w = new TFormMain(&prompts);
        dlg = new TFormDlg(w);
        w->SetGasDialog(dlg);
        w->show();
        w->PreselectPort(line.portPath());
    }
    ~CommandWindow() { delete w; } // the dialog with it

    Ui::TFormMain* f() const { return w->Form(); }
    Ui::TFormDlg* d() const { return dlg->Form(); }

    // Scans addresses 1 to last, all of which must answer.
    bool scan(int last) {
        w->Execute(f()->ActFind);
        if (!w->Searching)
            return false;
        w->TimerFind.stop();
        for (int a = 1; a <= last; ++a) {
            const int replies = w->RxCount;
            w->TimerFindTimer();
            if (!QTest::qWaitFor([&] { return w->RxCount > replies; }, 5000))
                return false;
        }
        w->ScanAddr = 247;
        w->TimerFindTimer();
        return !w->Searching;
    }

    QTreeWidgetItem* nodeOf(int address) const {
        for (QTreeWidgetItem* group : w->KindNode) {
            for (int c = 0; group && c < group->childCount(); ++c) {
                if (group->child(c)->data(0, Qt::UserRole).toInt() == address)
                    return group->child(c);
            }
        }
        return nullptr;
    }

    bool select(int address) {
        QTreeWidgetItem* node = nodeOf(address);
        if (!node)
            return false;
        w->DevTreeMouseDown(Qt::LeftButton,
                            f()->DevTree->visualItemRect(node).topLeft() + QPoint(10, 5));
        return w->SelectedAddress() == address;
    }

    // One block read of the selected detector, as a double click sends it.
    bool readOnce() {
        const int replies = w->RxCount;
        w->DownNode = w->SelNode;
        w->DevTreeDblClick();
        return QTest::qWaitFor([&] { return w->RxCount > replies; }, 5000) &&
               f()->DevPanel->isEnabled();
    }

    // The detectors found and the first one read.
    bool ready(int detectors = 1) { return scan(detectors) && select(1) && readOnce(); }

    bool startCycle() {
        w->Execute(f()->ActRenew);
        return w->TimerRead.isActive() && QTest::qWaitFor([&] { return !w->Reading; }, 5000);
    }

    // Types into a number box as a user does, the focus staying in it.
    static void type(TFSpinEdit* box, const QString& text) {
        box->findChild<QLineEdit*>()->setText(text);
    }

    QList<FakeDetectors::Write> writes() const { return line.writes(); }

    // The delays on Timer5sec end at once; their lengths are noted, and
    // atWait, when set, runs instead at the start of each.
    QList<int> waits;
    std::function<void(int interval)> atWait;
    void hurryWaits() {
        watcher.setInterval(5);
        QObject::connect(&watcher, &QTimer::timeout, [this] {
            if (!w->Timer5sec.isActive() || w->Timer5sec.interval() > 10000) {
                inWait = false;
                return;
            }
            if (inWait)
                return;
            inWait = true;
            waits << w->Timer5sec.interval();
            if (atWait)
                atWait(waits.last());
            else
                w->Timer5sec.stop();
        });
        watcher.start();
    }

private:
    QTimer watcher;
    bool inWait = false;
};

inline char* toString(const FakeDetectors::Write& wr) {
    return QTest::toString(
        QStringLiteral("%1: %2 = %3").arg(wr.address).arg(wr.reg).arg(wr.value, 0, 16));
}
