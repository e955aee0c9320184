#pragma once

#include "Scaling.h"
#include "SpinEdit.h"

// The model describes a number box of the panel as a kpx::NumberBox; these
// put one into a box on screen and read one back.

// Bounds as given, the value rounded to the decimals by the box itself.
void ShowBox(TFSpinEdit* edit, const kpx::NumberBox& box);

// What the box holds now, the value as the box shows it.
kpx::NumberBox ShownBox(const TFSpinEdit* edit);
