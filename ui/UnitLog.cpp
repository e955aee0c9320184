#include "UnitLog.h"

#include "ui_UnitLog.h"

TFormLog::TFormLog(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TFormLog>()) {
    ui->setupUi(this);
}

TFormLog::~TFormLog() = default;

void TFormLog::ShowRawLog(const QString& nodeText, const QByteArray& rawLog) {
    lastNodeText = nodeText;
    lastRawLog = rawLog;
    show();
}
