#pragma once

#include <QByteArray>
#include <QStringList>

namespace kpx {

// The exchange-log file is read on Windows PCs with the Cyrillic 8-bit code
// page, so it is written in Windows-1251 with CR LF line ends and no byte
// order mark.

// The bytes of a text file holding lines, each one ended by CR LF. A line
// break inside a line (LF, CR LF, a lone CR, U+2028, U+2029) becomes CR LF
// as well. A character Windows-1251 lacks becomes one '?', a surrogate pair
// included, so everything around it keeps its bytes.
QByteArray Cp1251Lines(const QStringList& lines);

// Text from Windows-1251 bytes; every byte maps to one character (Qt reads
// the code page through ICU, as Debian builds it).
QString FromCp1251(const QByteArray& bytes);

} // namespace kpx
