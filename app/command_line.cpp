// SPDX-License-Identifier: BSD-2-Clause

#include "app/command_line.h"

#include <string_view>
#include <unistd.h>
#include <vector>

namespace zarn {

const char USAGE[] = "usage: zarnmix_ctl -f /dev/zmix.ctl\n";

namespace {

// glibc's getopt reorders arguments unless told otherwise; parsing must stop
// at the first one that is not an option.
#ifdef __GLIBC__
constexpr const char *OPTIONS = "+f:h?";
#else
constexpr const char *OPTIONS = "f:h?";
#endif

// The options the toolkit removes, by how they are written; the X11 ones
// are removed when the panel runs on X11, and do nothing elsewhere.
constexpr std::string_view WITH_VALUE[] = {"-platform",
                                           "-platformpluginpath",
                                           "-platformtheme",
                                           "-plugin",
                                           "-qwindowgeometry",
                                           "-qwindowicon",
                                           "-qwindowtitle",
                                           "-session",
                                           "-style",
                                           "-stylesheet",
                                           "-qmljsdebugger",
                                           "-display",
                                           "-geometry",
                                           "-title",
                                           "-icon",
                                           "-name",
                                           "-visual"};
constexpr std::string_view FLAGS[] = {"-reverse", "-widgetcount", "-testability", "-nograb",
                                      "-dograb"};
constexpr std::string_view WITH_EQUALS[] = {"-style=", "-stylesheet=", "-qmljsdebugger="};

void restart_getopt() {
#ifdef __GLIBC__
    optind = 0;
#else
    optreset = 1;
    optind = 1;
#endif
}

} // namespace

int toolkit_option_length(const char *argument) {
    std::string_view a(argument);
    if (a.size() > 2 && a.substr(0, 2) == "--")
        a.remove_prefix(1);
    for (std::string_view o : WITH_VALUE)
        if (a == o)
            return 2;
    for (std::string_view o : FLAGS)
        if (a == o)
            return 1;
    for (std::string_view o : WITH_EQUALS)
        if (a.substr(0, o.size()) == o)
            return 1;
    return 0;
}

const char *device_path_from(int argc, char **argv) {
    std::vector<char *> ours;
    if (argc > 0)
        ours.push_back(argv[0]);
    for (int i = 1; i < argc;) {
        const int taken = toolkit_option_length(argv[i]);
        if (taken == 0)
            ours.push_back(argv[i++]);
        else
            i += taken;
    }
    const int count = static_cast<int>(ours.size());
    ours.push_back(nullptr);

    restart_getopt();
    const char *device_path = nullptr;
    int c;
    while ((c = getopt(count, ours.data(), OPTIONS)) == 'f')
        device_path = optarg;
    return c == -1 ? device_path : nullptr;
}

} // namespace zarn
