// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QRect>
#include <QSize>

class ZARNMainWindow;

namespace zarn {

// The size the main window opens at on a screen whose free area is
// available: wide enough for all of its content without a horizontal scroll
// bar, and as tall as the content up to 85% of the free height, with room
// for the vertical scroll bar when the height is cut. Never larger than the
// free area. The bars along its top and bottom take their room outside the
// view.
QSize opening_size(const ZARNMainWindow &window, const QRect &available);

} // namespace zarn
