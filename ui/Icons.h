#pragma once

#include <QIcon>

// Image indexes of the device tree: a detector not read yet, one group image per detector
// kind (kind + 1), and a detector the last reading found serviceable or faulty.
enum TreeImage : int {
    TreeImageDetector = 0,
    TreeImageKindFirst = 1,
    TreeImageKindLast = 4,
    TreeImageServiceable = 7,
    TreeImageFaulty = 8,
};

constexpr int TreeIconSize = 24;

// Drawn in code so the program carries no image files; a null icon for an index with no image.
QIcon TreeIcon(int index);
