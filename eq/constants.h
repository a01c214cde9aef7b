// SPDX-License-Identifier: BSD-2-Clause

#pragma once

namespace zarn {

// The one value of pi the filter design and the response plot both use, so
// that the two always agree.
inline constexpr double PI = 3.14159265358979323846;

} // namespace zarn
