#include "GasCatalogue.h"

#include <array>

namespace {
// Filled in with the real catalogue rows.
std::array<stGas, GasRowCount> makeEmpty() {
    std::array<stGas, GasRowCount> rows{};
    return rows;
}
} // namespace

const stGas* GasEditionA() {
    static const auto rows = makeEmpty();
    return rows.data();
}

const stGas* GasEditionB() {
    static const auto rows = makeEmpty();
    return rows.data();
}
