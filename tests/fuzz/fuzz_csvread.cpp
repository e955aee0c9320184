#include "Csv.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kpx;

// Any file must read without failing, and what was read must come back
// unchanged after saving it and opening the saved file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const CsvReadResult read = CsvRead(bytes);
    if (!read.ok) {
        return 0;
    }
    const CsvReadResult again = CsvRead(CsvWrite(read.rows));
    if (!again.ok || again.rows != read.rows) {
        std::abort();
    }
    if (CsvOverlay(read.rows, read.rows).size() != read.rows.size()) {
        std::abort();
    }
    return 0;
}
