#include "SessionReport.h"

#include <QTextStream>

// One record a line: a keyword and its values; texts run to the end of the line.
QByteArray SessionReport::serialize() const {
    QByteArray out;
    QTextStream s(&out);
    for (auto it = phases.begin(); it != phases.end(); ++it)
        s << "phase " << it.key() << ' ' << it->begin << ' ' << it->end << '\n';
    for (const qint64 t : handledAt)
        s << "handled " << t << '\n';
    for (const qint64 t : decodedAt)
        s << "decoded " << t << '\n';
    s << "cpu " << cpuNs << '\n';
    s << "memory " << rssBaseKb << ' ' << rssKb << ' ' << hwmKb << '\n';
    s << "noise " << noiseReads << ' ' << noiseReplies << '\n';
    for (const QString& text : prompts)
        s << "prompt " << QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
    if (!error.isEmpty())
        s << "error " << error << '\n';
    s.flush();
    return out;
}

SessionReport SessionReport::parse(const QByteArray& text) {
    SessionReport report;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const QString key = line.section(QLatin1Char(' '), 0, 0);
        const QString rest = line.section(QLatin1Char(' '), 1);
        const QStringList values = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const auto number = [&values](int i) {
            return i < values.size() ? values[i].toLongLong() : 0;
        };
        if (key == QLatin1String("phase") && values.size() == 3)
            report.phases[values[0]] = Phase{values[1].toLongLong(), values[2].toLongLong()};
        else if (key == QLatin1String("handled"))
            report.handledAt << number(0);
        else if (key == QLatin1String("decoded"))
            report.decodedAt << number(0);
        else if (key == QLatin1String("cpu"))
            report.cpuNs = number(0);
        else if (key == QLatin1String("memory")) {
            report.rssBaseKb = number(0);
            report.rssKb = number(1);
            report.hwmKb = number(2);
        } else if (key == QLatin1String("noise")) {
            report.noiseReads = int(number(0));
            report.noiseReplies = int(number(1));
        } else if (key == QLatin1String("prompt"))
            report.prompts << rest;
        else if (key == QLatin1String("error"))
            report.error = rest;
    }
    return report;
}
