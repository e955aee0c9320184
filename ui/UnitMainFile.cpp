// Saving the exchange log to a file, and the help window.
#include "UnitMain.h"

#include "SafeFile.h"
#include "UnitAbout.h"
#include "ui_UnitMain.h"

#include <QDir>

namespace {

const QString kLogFilter = QStringLiteral("KPX log files (*.kpx)|*.KPX|Any file (*.*)|*.*");
const QString kLogSuffix = QStringLiteral("log");

} // namespace

void TFormMain::ActSaveToFileExecute() {
    const QString path = prompts->saveFileName(kLogFilter, kLogSuffix);
    if (path.isEmpty())
        return;
    const QString failure = WriteFileWhole(path, ExchangeLog);
    if (!failure.isEmpty())
        prompts->error(failure);
}

void TFormMain::SetHelpWindow(TAboutBox* box) {
    AboutBox = box;
}

void TFormMain::ActHelpExecute() {
    if (!AboutBox)
        return;
    // Not modal: the main window stays usable; pressed again, it comes to the front.
    AboutBox->show();
    AboutBox->raise();
    AboutBox->activateWindow();
}
