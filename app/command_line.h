// SPDX-License-Identifier: BSD-2-Clause

#pragma once

namespace zarn {

// Written to stderr, with exit status 64, for any command line but a valid
// one.
extern const char USAGE[];

// How many arguments argument takes up if it is one of the toolkit's options,
// which the application object removes from the command line itself: 1 for
// a flag or an option=value, 2 for an option and its value, 0 for anything
// else. Both one and two leading dashes count, as they do for the toolkit.
int toolkit_option_length(const char *argument);

// The device path given with -f, or null when the usage text is due. The
// toolkit's options are passed over wherever they stand, as the application
// object would remove them; parsing then stops at the first argument that is
// not an option, and the last -f wins. Needs no application object, so a
// wrong command line is answered where no display can be opened. The path
// points into argv.
const char *device_path_from(int argc, char **argv);

} // namespace zarn
