#include "Csv.h"
#include "LogDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kpx;

// Any raw log must decode, and the decoded grid must survive a save and a
// reopen cell for cell.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QVector<LogRow> rows = FillLog(raw);
    if (rows.size() < LogMinRowCount) {
        std::abort();
    }
    QVector<QStringList> grid;
    for (const LogRow& row : rows) {
        grid.append(QStringList(row.cells.cbegin(), row.cells.cend()));
    }
    if (CsvRead(CsvWrite(grid)).rows != grid) {
        std::abort();
    }
    return 0;
}
