#include "Cp1251.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kpx {

namespace {

// The upper half of Windows-1251, byte 0x80 + i to its character; 0x98, unassigned
// in the code page, holds the C1 control U+0098 as Windows and WHATWG map it.
// Kept here rather than asking QStringEncoder: Qt knows this code page only
// when built with ICU, and ICU writes the control byte 0x1A (an end-of-file
// mark to old DOS and Windows tools) for a character it cannot map.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

constexpr char kUnmappable = '?';

using Reverse = std::array<std::pair<char16_t, char>, 128>;

// The upper half sorted by character, for a binary search per character.
const Reverse& reverseTable() {
    static const Reverse table = [] {
        Reverse r{};
        for (size_t i = 0; i < kUpperHalf.size(); ++i)
            r[i] = {kUpperHalf[i], char(0x80 + i)};
        std::sort(r.begin(), r.end());
        return r;
    }();
    return table;
}

char encode(char16_t c) {
    if (c < 0x80)
        return char(c);
    const Reverse& r = reverseTable();
    const auto it =
        std::lower_bound(r.begin(), r.end(), std::pair<char16_t, char>{c, '\0'},
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    return it != r.end() && it->first == c ? it->second : kUnmappable;
}

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\x2028' || c == u'\x2029';
}

void appendLine(QByteArray& out, const QString& line) {
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = line[i].unicode();
        if (isLineBreak(c)) {
            if (c == u'\r' && i + 1 < n && line[i + 1] == u'\n')
                ++i;
            out += "\r\n";
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && line[i + 1].isLowSurrogate()) {
            ++i;
            out += kUnmappable;
        } else {
            out += encode(c);
        }
    }
    out += "\r\n";
}

} // namespace

QByteArray Cp1251Lines(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines)
        appendLine(out, line);
    return out;
}

// Runs per byte over files of any size: a plain loop over the buffers, so
// that even a debug build reads megabytes quickly.
QString FromCp1251(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    const auto* in = reinterpret_cast<const uchar*>(bytes.constData());
    auto* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = in[i] < 0x80 ? char16_t(in[i]) : kUpperHalf[size_t(in[i] - 0x80)];
    return text;
}

} // namespace kpx
