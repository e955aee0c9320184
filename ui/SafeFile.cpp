#include "SafeFile.h"

#include <QDir>
#include <QSaveFile>

namespace {

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

} // namespace

QString WriteFileWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return QStringLiteral("Cannot create file \"%1\". %2").arg(shownPath, file.errorString());
    if (!writeAll(file, bytes) || !file.commit())
        return QStringLiteral("Cannot write file \"%1\". %2").arg(shownPath, file.errorString());
    return QString();
}
