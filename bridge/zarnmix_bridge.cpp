// SPDX-License-Identifier: BSD-2-Clause
// zarnmix_bridge: serves the control device over the socket protocol on a
// Unix socket, passing only the catalogue's requests, so that a panel on
// another host reaches the daemon through an SSH-forwarded socket.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <string>
#include <unistd.h>

#include "bridge/bridge.h"
#include "sim/server.h"

namespace {

constexpr int EXIT_USAGE = 64;
constexpr std::size_t MAX_CLIENTS = 16;
const char *const USAGE = "usage: zarnmix_bridge [-f /dev/zmix.ctl] [-s socket] [-r] [-g group]\n";

int signal_pipe[2] = {-1, -1};

void on_signal(int) {
    const char byte = 0;
    const ssize_t ignored = ::write(signal_pipe[1], &byte, 1);
    (void)ignored;
}

void log_line(const std::string &line) {
    std::fprintf(stderr, "zarnmix_bridge: %s\n", line.c_str());
}

const char *event_words(zarn::sim::ConnectionEvent event) {
    using zarn::sim::ConnectionEvent;
    switch (event) {
    case ConnectionEvent::opened:
        return "connection opened";
    case ConnectionEvent::closed:
        return "connection closed";
    case ConnectionEvent::not_request:
        return "connection dropped: not the protocol";
    case ConnectionEvent::stalled:
        return "connection dropped: it stopped reading or sending";
    case ConnectionEvent::full:
        return "connection refused: all places taken";
    }
    return "?";
}

bool find_group(const char *name, gid_t &gid) {
    if (const group *entry = ::getgrnam(name)) {
        gid = entry->gr_gid;
        return true;
    }
    char *end = nullptr;
    errno = 0;
    const unsigned long number = std::strtoul(name, &end, 10);
    if (*name == '\0' || *end != '\0' || errno != 0 || number >= static_cast<gid_t>(-1)) {
        return false;
    }
    gid = static_cast<gid_t>(number);
    return true;
}

bool default_socket(gid_t group, std::string &path, std::string &error) {
    std::string directory;
    if (::geteuid() == 0) {
        directory = "/var/run/zarnmix";
    } else {
        const char *runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') {
            error = "XDG_RUNTIME_DIR is not set; give the socket with -s";
            return false;
        }
        directory = std::string(runtime) + "/zarnmix";
    }
    if (!zarn::bridge::make_socket_directory(directory, group, error)) {
        return false;
    }
    path = directory + "/ctl.sock";
    return true;
}

} // namespace

int main(int argc, char **argv) {
    std::string device = "/dev/zmix.ctl";
    std::string socket_path;
    bool read_only = false;
    gid_t group = static_cast<gid_t>(-1);
    int opt;
    while ((opt = ::getopt(argc, argv, "f:s:rg:")) != -1) {
        switch (opt) {
        case 'f':
            device = optarg;
            break;
        case 's':
            socket_path = optarg;
            break;
        case 'r':
            read_only = true;
            break;
        case 'g':
            if (!find_group(optarg, group)) {
                std::fprintf(stderr, "zarnmix_bridge: no such group: %s\n", optarg);
                return EXIT_USAGE;
            }
            break;
        default:
            std::fputs(USAGE, stderr);
            return EXIT_USAGE;
        }
    }
    if (optind < argc || device.empty()) {
        std::fputs(USAGE, stderr);
        return EXIT_USAGE;
    }

    std::string error;
    if (socket_path.empty() && !default_socket(group, socket_path, error)) {
        std::fprintf(stderr, "zarnmix_bridge: %s; refusing to listen there\n", error.c_str());
        return 1;
    }

    zarn::bridge::Bridge bridge(device, read_only, log_line);
    zarn::sim::ServerLimits limits;
    limits.max_connections = MAX_CLIENTS;
    limits.any_code = true; // every code is answered, a refused one with -1
    if (group != static_cast<gid_t>(-1)) {
        limits.group = group;
        limits.socket_mode = 0660;
    }
    limits.batch = [&bridge](std::vector<zarn::sim::PendingRequest> &run) {
        bridge.handle_run(run);
    };
    limits.observer = [&bridge](int fd, zarn::sim::ConnectionEvent event) {
        if (event != zarn::sim::ConnectionEvent::opened) {
            bridge.flush_refusals();
        }
        log_line(std::string(event_words(event)) + " (" + std::to_string(fd) + ")");
    };
    zarn::sim::Server server(
        [&bridge](std::uint32_t code, unsigned char *record, std::vector<double> &payload,
                  zarn::sim::ReplyFault &) { return bridge.handle(code, record, payload); },
        limits);
    if (!server.listen(socket_path, error)) {
        std::fprintf(stderr, "zarnmix_bridge: %s\n", error.c_str());
        return 1;
    }
    if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "zarnmix_bridge: pipe: %s\n", std::strerror(errno));
        server.close();
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    log_line("serving " + device + " on " + socket_path + (read_only ? " (read-only)" : ""));
    server.run(signal_pipe[0]);
    server.close();
    log_line("stopped");
    return 0;
}
