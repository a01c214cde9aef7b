// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>

namespace zarn {

// Where FFTW's wisdom is kept between runs: a file in the user's cache
// folder for this program.
QString wisdom_cache_path();

// Imports the wisdom kept there and keeps it up to date after plans of new
// sizes. A cache folder that cannot be made leaves the designs as they were,
// measured in every new process.
void keep_wisdom_in_cache();

} // namespace zarn
