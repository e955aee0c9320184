#include "PanelBox.h"

#include <QString>

namespace {

// The decimal a single-precision number stands for, to the seven digits it
// carries: widened as it is, 0.004f would be 0.0040000002 and a typed 0.004
// would fall below the bound; 100 * 0.03f * 10 would be 30.000002.
double asWritten(float x) {
    return QString::number(double(x), 'g', 7).toDouble();
}

} // namespace

void ShowBox(TFSpinEdit* edit, const kpx::NumberBox& box) {
    edit->setDecimals(box.decimals);
    edit->setRange(asWritten(box.min), asWritten(box.max));
    edit->setSingleStep(asWritten(box.step));
    edit->setValue(asWritten(box.value));
}

kpx::NumberBox ShownBox(const TFSpinEdit* edit) {
    kpx::NumberBox box;
    box.value = float(edit->value());
    box.min = float(edit->minimum());
    box.max = float(edit->maximum());
    box.step = float(edit->singleStep());
    box.decimals = edit->decimals();
    return box;
}
