// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <string>

class QSettings;
#include <vector>

#include "eq/filter_texts.h"
#include "tools/state_file.h"

namespace zarn::state {

// Gives each of the target's filters in force the text the user's settings
// keep for it, where that text produced these very coefficients.
void fill_texts(TargetState &state, const FilterTexts &texts);

// The user's name for the target's channel, where the settings keep one.
void fill_channel_name(TargetState &state, QSettings *settings, const std::string &device_path);

// Puts the texts of the restored targets' filters back into the settings,
// and the names of the channels the file names.
void keep_texts(const Setup &setup, const std::vector<Target> &restored,
                const std::string &device_path);

} // namespace zarn::state
