#include "Csv.h"

#include "Cp1251.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>

namespace kpx {

namespace {

constexpr char16_t Quote = u'"';
constexpr char16_t Separator = u';';
constexpr char16_t Blank = u' ';

const QByteArray Utf8Bom = QByteArray::fromHex("efbbbf");

bool needsQuotes(const QString& cell) {
    if (cell.startsWith(Blank)) {
        return true;
    }
    return std::any_of(cell.cbegin(), cell.cend(), [](QChar c) {
        return c == Separator || c == Quote || c == u'\r' || c == u'\n';
    });
}

QString csvField(const QString& cell) {
    if (cell.isEmpty()) {
        return QStringLiteral("\"\"");
    }
    if (needsQuotes(cell)) {
        return QChar(Quote) + QString(cell).replace(Quote, QStringLiteral("\"\"")) + Quote;
    }
    return cell;
}

// UTF-16 input may hold unpaired surrogates; they could not be written back
// as UTF-8, so the grid gets the replacement character instead.
void replaceLoneSurrogates(QString& text) {
    auto* chars = reinterpret_cast<char16_t*>(text.data());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (QChar::isHighSurrogate(chars[i]) && i + 1 < size &&
            QChar::isLowSurrogate(chars[i + 1])) {
            ++i;
        } else if (QChar::isSurrogate(chars[i])) {
            chars[i] = QChar::ReplacementCharacter;
        }
    }
}

struct ByteOrderMark {
    QByteArray bytes;
    QStringConverter::Encoding encoding;
};

QString decodeText(const QByteArray& bytes) {
    static const ByteOrderMark marks[] = {
        {Utf8Bom, QStringConverter::Utf8},
        {QByteArray::fromHex("fffe"), QStringConverter::Utf16LE},
        {QByteArray::fromHex("feff"), QStringConverter::Utf16BE},
    };
    for (const ByteOrderMark& mark : marks) {
        if (bytes.startsWith(mark.bytes)) {
            // The mark is stripped here; a second one belongs to the first
            // cell. Stateless turns a truncated last character into U+FFFD.
            QStringDecoder decoder(mark.encoding, QStringConverter::Flag::Stateless |
                                                      QStringConverter::Flag::ConvertInitialBom);
            QString text = decoder.decode(QByteArrayView(bytes).sliced(mark.bytes.size()));
            replaceLoneSurrogates(text);
            return text;
        }
    }
    return FromCp1251(bytes);
}

QString fieldText(QStringView raw) {
    while (raw.startsWith(Blank)) {
        raw = raw.sliced(1);
    }
    if (raw.size() >= 2 && raw.startsWith(Quote) && raw.endsWith(Quote)) {
        return raw.sliced(1, raw.size() - 2)
            .toString()
            .replace(QStringLiteral("\"\""), QChar(Quote));
    }
    return raw.toString();
}

bool isLineBreak(char16_t c) {
    return c == u'\r' || c == u'\n';
}

// A double quote anywhere toggles quoting, as the grid counts them: a line
// with an odd number of them goes on past its line break.
QVector<QStringList> splitLines(QStringView text) {
    QVector<QStringList> lines;
    QStringList fields;
    bool quoted = false;
    qsizetype fieldStart = 0;
    const char16_t* chars = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i];
        if (c == Quote) {
            quoted = !quoted;
        } else if (!quoted && (c == Separator || isLineBreak(c))) {
            fields.append(fieldText(text.sliced(fieldStart, i - fieldStart)));
            if (isLineBreak(c)) {
                if (c == u'\r' && i + 1 < size && chars[i + 1] == u'\n') {
                    ++i;
                }
                lines.append(fields);
                fields.clear();
            }
            fieldStart = i + 1;
        }
    }
    if (fieldStart < size || !fields.isEmpty()) {
        fields.append(fieldText(text.sliced(fieldStart)));
        lines.append(fields);
    }
    return lines;
}

} // namespace

QByteArray CsvWrite(const QVector<QStringList>& rows) {
    QString text;
    for (const QStringList& row : rows) {
        QStringList fields;
        fields.reserve(row.size());
        std::transform(row.cbegin(), row.cend(), std::back_inserter(fields), csvField);
        text += fields.join(Separator) + QStringLiteral("\r\n");
    }
    return Utf8Bom + text.toUtf8();
}

CsvReadResult CsvRead(const QByteArray& bytes) {
    CsvReadResult result;
    if (bytes.isEmpty()) {
        return result;
    }
    result.rows = splitLines(decodeText(bytes));
    result.ok = !result.rows.isEmpty();
    if (!result.ok) {
        result.error = QStringLiteral("File is empty");
    }
    return result;
}

QVector<QStringList> CsvOverlay(const QVector<QStringList>& cells,
                                const QVector<QStringList>& lines) {
    qsizetype columns = 0;
    for (const QStringList& row : cells + lines) {
        columns = std::max(columns, row.size());
    }
    QVector<QStringList> grid;
    grid.reserve(lines.size());
    for (qsizetype r = 0; r < lines.size(); ++r) {
        QStringList row = r < cells.size() ? cells[r] : QStringList();
        while (row.size() < columns) {
            row.append(QString());
        }
        std::copy(lines[r].cbegin(), lines[r].cend(), row.begin());
        grid.append(row);
    }
    return grid;
}

} // namespace kpx
