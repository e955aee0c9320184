#include "UnitAbout.h"
#include "UnitDlg.h"
#include "UnitLog.h"
#include "UnitMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KPX Tool"));
    QApplication::setApplicationVersion(QStringLiteral("2.1.3"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Service tool for gas detectors on a Modbus RTU line"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("Preselect the serial port (a name or a path)."),
        QStringLiteral("NAME"));
    parser.addOption(portOption);
    parser.process(app);

    try {
        // The first window created is the main window; the others stay hidden
        // until asked for.
        TFormMain formMain;
        TFormDlg formDlg(&formMain);
        TAboutBox aboutBox(&formMain);
        TFormLog formLog(&formMain);
        for (QWidget* w : {static_cast<QWidget*>(&formDlg), static_cast<QWidget*>(&aboutBox),
                           static_cast<QWidget*>(&formLog)}) {
            w->setWindowFlag(Qt::Window);
            // Closing the main window ends the program whatever else is open.
            w->setAttribute(Qt::WA_QuitOnClose, false);
        }
        formMain.SetHelpWindow(&aboutBox);
        if (parser.isSet(portOption))
            formMain.PreselectPort(parser.value(portOption));
        formMain.show();
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString());
    }
    return 1;
}
