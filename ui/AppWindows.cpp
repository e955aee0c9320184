#include "AppWindows.h"

AppWindows::AppWindows() {
    for (QWidget* w : {static_cast<QWidget*>(&formDlg), static_cast<QWidget*>(&aboutBox),
                       static_cast<QWidget*>(&formLog)}) {
        w->setWindowFlag(Qt::Window);
        // Closing the main window ends the program whatever else is open.
        w->setAttribute(Qt::WA_QuitOnClose, false);
    }
    formMain.SetHelpWindow(&aboutBox);
    formMain.SetGasDialog(&formDlg);
    formMain.SetLogWindow(&formLog);
}
