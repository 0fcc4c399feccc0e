// SPDX-License-Identifier: GPL-3.0-or-later
// The predefined orientations of a case, computed from its jaws and mid-sagittal
// plane: 4 (and 0, 1) front, 2 right side, 3 left side, 5 back, 6 upper occlusal,
// 7 lower occlusal. The frame's X and Y axes are the screen's X and Y.
#pragma once

#include "core/geometry/QvFrame.h"

class QvModel;

// False, with out untouched, without a model, without an upper jaw or for an
// orientation outside 0 to 7. horizontal takes the up direction from the jaw
// reference's view plane when it has one.
[[nodiscard]] bool QvGetViewFrame(const QvModel* model, int orientation, bool horizontal, QvFrame& out);
