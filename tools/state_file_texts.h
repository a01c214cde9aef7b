// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <string>
#include <vector>

#include "tools/state_file.h"

namespace zarn::state {

// Gives each filter in force the text the user's settings keep for it on
// this device, where that text produced these very coefficients.
void fill_texts(Setup &setup, const std::string &device_path);

// Puts the texts of the restored targets' filters back into the settings.
void keep_texts(const Setup &setup, const std::vector<Target> &restored,
                const std::string &device_path);

} // namespace zarn::state
