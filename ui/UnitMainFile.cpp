// Saving the exchange log to a file, and the help window.
#include "UnitMain.h"

#include "UnitAbout.h"
#include "ui_UnitMain.h"

#include <QDir>
#include <QSaveFile>

namespace {

const QString kLogFilter = QStringLiteral("KPX log files (*.kpx)|*.KPX|Any file (*.*)|*.*");
const QString kLogSuffix = QStringLiteral("log");

// Unbuffered, a short write is seen at once and asked again, so the error
// that stopped it (a full disk) is the one reported; QSaveFile of Qt 6.4
// loses a failed flush of its buffer and commits a truncated file.
bool writeAll(QSaveFile& file, const QByteArray& bytes) {
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The file is replaced only once all of it is on disk, so a failed save
// leaves whatever the file held before. Returns the failure, empty if none.
QString writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return QStringLiteral("Cannot create file \"%1\". %2").arg(shownPath, file.errorString());
    if (!writeAll(file, bytes) || !file.commit())
        return QStringLiteral("Cannot write file \"%1\". %2").arg(shownPath, file.errorString());
    return QString();
}

} // namespace

void TFormMain::ActSaveToFileExecute() {
    const QString path = prompts->saveFileName(kLogFilter, kLogSuffix);
    if (path.isEmpty())
        return;
    const QString failure = writeFile(path, ExchangeLog);
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
