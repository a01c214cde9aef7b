// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <string>

#include "tools/json_reader.h"
#include "tools/state_file.h"

namespace zarn::state {

// Checks a parsed state file value by value and fills setup; false with the
// first fault in error ("place: what").
bool check_setup(const json::Value &top, Setup &setup, std::string &error);

} // namespace zarn::state
