#include "Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kpx {

namespace {

const char* const kCodePage = "windows-1251";
constexpr char kUnmappable = '?';
// What ICU writes for a character the code page lacks: the control byte that
// old DOS and Windows tools take for the end of a file. The file gets '?'.
constexpr char kIcuSubstitute = '\x1a';

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\x2028' || c == u'\x2029';
}

// The line with its inner breaks as CR LF and every character the code page
// cannot hold (a surrogate pair counting as one) as '?', so that each
// character of the result is exactly one byte of the file.
QString fileLine(const QString& line) {
    QString out;
    out.reserve(line.size() + 2);
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = line[i].unicode();
        if (isLineBreak(c)) {
            if (c == u'\r' && i + 1 < n && line[i + 1] == u'\n')
                ++i;
            out += QLatin1String("\r\n");
        } else if (QChar::isSurrogate(c)) {
            if (QChar::isHighSurrogate(c) && i + 1 < n && line[i + 1].isLowSurrogate())
                ++i;
            out += QLatin1Char(kUnmappable);
        } else {
            out += QChar(c);
        }
    }
    out += QLatin1String("\r\n");
    return out;
}

QByteArray encode(const QString& text) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLatin1(); // a Qt without ICU: keep the ASCII at least
    QByteArray bytes = encoder.encode(text);
    if (bytes.size() != text.size()) {
        // Not one byte per character after all: encode them one by one.
        bytes.clear();
        for (const QChar& c : text) {
            const QByteArray one = encoder.encode(QStringView(&c, 1));
            bytes += one.size() == 1 ? one[0] : kIcuSubstitute;
        }
    }
    // Where ICU substituted, put the '?'; a character that really is U+001A
    // keeps its byte.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == kIcuSubstitute && text[i] != QChar(kIcuSubstitute))
            bytes[i] = kUnmappable;
    }
    return bytes;
}

} // namespace

QByteArray Cp1251Lines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += fileLine(line);
    return encode(text);
}

QString FromCp1251(const QByteArray& bytes) {
    QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

} // namespace kpx
