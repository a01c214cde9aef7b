// SPDX-License-Identifier: BSD-2-Clause
// zarnmix_sim: a simulated mixer daemon serving the control socket protocol.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <getopt.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "files/safe_writer.h"
#include "sim/engine.h"
#include "sim/server.h"
#include "sim/socket_path.h"
#include "sim/topology.h"

namespace {

constexpr int EXIT_USAGE = 64;
constexpr int MAX_COUNT = 64;

int signal_pipe[2] = {-1, -1};

extern "C" void on_signal(int) {
    const int saved = errno;
    const char byte = 0;
    if (::write(signal_pipe[1], &byte, 1) < 0) {
        // Nothing to do: a byte already waiting wakes the server just as well.
    }
    errno = saved;
}

void usage(FILE *out) {
    std::fprintf(
        out,
        "usage: zarnmix_sim [options]\n"
        "Simulated mixer daemon: serves the control requests on a Unix-domain socket.\n"
        "  --socket PATH           socket to listen on, made with mode 0600\n"
        "                          (default %s)\n"
        "  --devices LIST          channels of each device, comma-separated (default 2,3);\n"
        "                          an empty LIST means no devices\n"
        "  --loops LIST            channels of each loopback (default 2)\n"
        "  --input-monitors N      number of input monitors (default 2)\n"
        "  --output-monitors N     number of output monitors (default 1)\n"
        "  --local-monitors N      number of local monitors (default 1)\n"
        "  --main-outputs N        main output channels (default 2)\n"
        "  --main-inputs N         main input channels (default 2)\n"
        "  --filter-length N       FIR taps per channel and direction, 0 to 65536;\n"
        "                          0 = no filter support (default 2048)\n"
        "  --sample-rate HZ        sample rate (default 48000)\n"
        "  --sample-bits N         width of level values, 8 to 32 (default 24)\n"
        "  --trace FILE            append one line per request: time, code, result,\n"
        "                          request record in hex\n"
        "  --help                  show this text\n"
        "  --version               show the program's version\n"
        "Counts are 0 to %d; device and loopback channels 1 to %d.\n"
        "Without XDG_RUNTIME_DIR the default socket's directory is made with mode\n"
        "0700, or used only if it is this user's own directory with mode 0700.\n\n%s",
        zarn::sim::default_socket_path().c_str(), MAX_COUNT, MAX_COUNT,
        zarn::sim::Engine::options_help());
}

bool parse_number(const char *text, long low, long high, int &value) {
    char *end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool parse_list(const char *text, std::vector<int> &values) {
    values.clear();
    std::string rest = text;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string item = rest.substr(0, comma);
        int value;
        if (!parse_number(item.c_str(), 1, MAX_COUNT, value) ||
            values.size() >= static_cast<std::size_t>(MAX_COUNT)) {
            return false;
        }
        values.push_back(value);
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
        if (comma != std::string::npos && rest.empty()) {
            return false;
        }
    }
    return true;
}

void trace_line(FILE *trace, std::uint32_t code, int result, const unsigned char *record) {
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm utc;
    ::gmtime_r(&now.tv_sec, &utc);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &utc);
    std::fprintf(trace, "%s.%06ldZ 0x%08x %d ", when, now.tv_nsec / 1000, code, result);
    const std::size_t length = zarn::ioc_size(code);
    if (length == 0) {
        std::fputc('-', trace);
    }
    for (std::size_t i = 0; i < length; ++i) {
        std::fprintf(trace, "%02x", record[i]);
    }
    std::fputc('\n', trace);
    std::fflush(trace);
}

} // namespace

namespace {

// The options that set one number of the topology, each with its range.
struct NumberOption {
    const char *name;
    int zarn::sim::Topology::*field;
    long low;
    long high;
};

const NumberOption NUMBER_OPTIONS[] = {
    {"input-monitors", &zarn::sim::Topology::input_monitors, 0, MAX_COUNT},
    {"output-monitors", &zarn::sim::Topology::output_monitors, 0, MAX_COUNT},
    {"local-monitors", &zarn::sim::Topology::local_monitors, 0, MAX_COUNT},
    {"main-outputs", &zarn::sim::Topology::main_output_channels, 0, MAX_COUNT},
    {"main-inputs", &zarn::sim::Topology::main_input_channels, 0, MAX_COUNT},
    {"filter-length", &zarn::sim::Topology::filter_length, 0, zarn::MAX_FILTER_SIZE},
    {"sample-rate", &zarn::sim::Topology::sample_rate, 1, 384000},
    {"sample-bits", &zarn::sim::Topology::sample_bits, 8, 32},
};

} // namespace

int main(int argc, char **argv) {
    enum { OPT_SOCKET = 1, OPT_DEVICES, OPT_LOOPS, OPT_TRACE, OPT_HELP, OPT_VERSION, OPT_NUMBER };
    std::vector<option> options = {
        {"socket", required_argument, nullptr, OPT_SOCKET},
        {"devices", required_argument, nullptr, OPT_DEVICES},
        {"loops", required_argument, nullptr, OPT_LOOPS},
        {"trace", required_argument, nullptr, OPT_TRACE},
        {"help", no_argument, nullptr, OPT_HELP},
        {"version", no_argument, nullptr, OPT_VERSION},
    };
    const int number_count = static_cast<int>(std::size(NUMBER_OPTIONS));
    for (int i = 0; i < number_count; ++i)
        options.push_back({NUMBER_OPTIONS[i].name, required_argument, nullptr, OPT_NUMBER + i});
    options.push_back({nullptr, 0, nullptr, 0});

    zarn::sim::Topology topology;
    std::string socket_path;
    bool socket_given = false;
    std::string trace_path;
    int opt;
    while ((opt = getopt_long(argc, argv, "", options.data(), nullptr)) != -1) {
        bool ok = true;
        switch (opt) {
        case OPT_SOCKET:
            socket_path = optarg;
            socket_given = true;
            break;
        case OPT_DEVICES:
            ok = parse_list(optarg, topology.device_channels);
            break;
        case OPT_LOOPS:
            ok = parse_list(optarg, topology.loop_channels);
            break;
        case OPT_TRACE:
            trace_path = optarg;
            break;
        case OPT_HELP:
            usage(stdout);
            return 0;
        case OPT_VERSION:
            std::puts("zarnmix_sim " ZARN_VERSION);
            return 0;
        default:
            if (opt < OPT_NUMBER || opt >= OPT_NUMBER + number_count) {
                usage(stderr);
                return EXIT_USAGE;
            }
            const NumberOption &number = NUMBER_OPTIONS[opt - OPT_NUMBER];
            ok = parse_number(optarg, number.low, number.high, topology.*number.field);
        }
        if (!ok) {
            const auto named = std::find_if(options.begin(), options.end(),
                                            [opt](const option &o) { return o.val == opt; });
            std::fprintf(stderr, "zarnmix_sim: bad value for --%s: %s\n", named->name, optarg);
            return EXIT_USAGE;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "zarnmix_sim: unexpected argument: %s\n", argv[optind]);
        usage(stderr);
        return EXIT_USAGE;
    }

    // Opened once the socket is ours, so that a simulator that does not
    // start leaves the file alone.
    FILE *trace = nullptr;

    zarn::sim::Engine engine(topology);
    zarn::sim::Server server([&](std::uint32_t code, unsigned char *record,
                                 std::vector<double> &payload, zarn::sim::ReplyFault &) {
        std::vector<unsigned char> received;
        if (trace) {
            received.assign(record, record + zarn::ioc_size(code));
        }
        const int result = engine.handle(code, record, payload);
        if (trace) {
            trace_line(trace, code, result, received.data());
        }
        return result;
    });

    std::string error;
    if (!socket_given) {
        std::string directory;
        socket_path = zarn::sim::default_socket_path(&directory);
        if (!directory.empty() && !zarn::sim::make_private_directory(directory, error)) {
            std::fprintf(stderr, "zarnmix_sim: %s; refusing to listen there\n", error.c_str());
            return 1;
        }
    }
    if (!server.listen(socket_path, error)) {
        std::fprintf(stderr, "zarnmix_sim: %s\n", error.c_str());
        return 1;
    }
    if (!trace_path.empty()) {
        const int fd = zarn::files::open_append(trace_path, error);
        trace = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
        if (!trace) {
            if (fd >= 0) {
                error = trace_path + ": " + std::strerror(errno);
                ::close(fd);
            }
            std::fprintf(stderr, "zarnmix_sim: cannot write the trace: %s\n", error.c_str());
            server.close();
            return 1;
        }
    }
    if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "zarnmix_sim: pipe: %s\n", std::strerror(errno));
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("zarnmix_sim listening on %s\n", socket_path.c_str());
    std::fflush(stdout);
    server.run(signal_pipe[0]);
    server.close();
    if (trace) {
        std::fclose(trace);
    }
    std::printf("zarnmix_sim stopped\n");
    return 0;
}
