#include "AppWindows.h"

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
        AppWindows windows;
        TFormMain& formMain = windows.formMain;
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
