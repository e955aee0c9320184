#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace kpx {

// Event-log files: one line per grid row, fields separated by ';'.

// Writes the rows as UTF-8 with a byte-order mark, every line ending in
// CR LF. An empty cell becomes "" (two double quotes). A cell holding ';',
// a double quote, CR or LF, or beginning with a blank is enclosed in double
// quotes with its own double quotes doubled, so CsvRead gives back every
// cell unchanged; other cells are written bare.
QByteArray CsvWrite(const QVector<QStringList>& rows);

struct CsvReadResult {
    bool ok = false;           // rows holds the file's lines
    QVector<QStringList> rows; // one entry per line, each with at least one field
    QString error;             // when !ok: the message to show, empty to say nothing
};

// Reads a file's bytes. Text with a byte-order mark is UTF-8 or UTF-16
// (either byte order), text without one is Windows-1251. Lines end in CR LF,
// LF or CR; a double quote toggles quoting, and a line break or ';' inside
// quotes belongs to the field. Blanks in front of a field are dropped, and a
// field enclosed in double quotes loses them and has doubled quotes undone.
// Undecodable bytes become U+FFFD; nothing is dropped.
// No bytes: !ok and no message. Bytes but no line (a bare byte-order mark):
// !ok with "File is empty".
CsvReadResult CsvRead(const QByteArray& bytes);

// Lays the lines read from a file over the grid's cells the way loading a
// file into the grid works: line i fills row i from column 0, a short line
// leaves the rest of its row as it was, a long line widens every row with
// empty cells, and the result has exactly one row per line.
QVector<QStringList> CsvOverlay(const QVector<QStringList>& cells,
                                const QVector<QStringList>& lines);

} // namespace kpx
