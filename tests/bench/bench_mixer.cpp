// SPDX-License-Identifier: BSD-2-Clause
// zarnmix_mixer as a key binding runs it: one process, start to exit, that
// sets one control on a stereo device of a zarnmix_sim process. Beside it a
// bare process start (/bin/true), the floor any command pays, and the full
// listing. The requests of one set are counted from the daemon's trace.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "timing.h"

extern char **environ;

namespace {

pid_t spawn(const std::vector<std::string> &args, bool quiet) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int run(const std::vector<std::string> &args) {
    const pid_t pid = spawn(args, true);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> trace_lines(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The code and result of a trace line: time, code, result, record.
void parse_line(const std::string &line, std::uint32_t &code, int &result) {
    char when[64];
    unsigned int c = 0;
    result = -1;
    std::sscanf(line.c_str(), "%63s 0x%x %d", when, &c, &result);
    code = c;
}

} // namespace

int main() {
    char dir_template[] = "/tmp/bench_mixer.XXXXXX";
    const char *dir = mkdtemp(dir_template);
    if (!dir)
        return 1;
    const std::string socket = std::string(dir) + "/zmix.ctl";
    const std::string trace = std::string(dir) + "/trace";
    const pid_t sim = spawn({ZARNMIX_SIM, "--socket", socket, "--trace", trace}, true);
    struct stat st;
    for (int i = 0; i < 500 && stat(socket.c_str(), &st) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (sim < 0 || stat(socket.c_str(), &st) != 0) {
        std::fprintf(stderr, "bench_mixer: zarnmix_sim did not start\n");
        return 1;
    }

    constexpr int RUNS = 20;
    const auto bare = bench::time_runs(RUNS, [] { run({"/bin/true"}); });
    int failures = 0;
    int turn = 0;
    const auto set = bench::time_runs(RUNS, [&] {
        failures += run({ZARNMIX_MIXER, "-f", socket,
                         turn++ % 2 ? "dsp0.tx.gain+=1" : "dsp0.tx.gain-=1"}) != 0;
    });
    const auto listing = bench::time_runs(RUNS, [&] {
        failures += run({ZARNMIX_MIXER, "-f", socket, "-o"}) != 0;
    });

    const std::size_t before = trace_lines(trace).size();
    failures += run({ZARNMIX_MIXER, "-f", socket, "dsp0.tx.gain-=1"}) != 0;
    const std::vector<std::string> lines = trace_lines(trace);
    int requests = 0;
    int writes = 0;
    int failed = 0;
    for (std::size_t i = before; i < lines.size(); ++i) {
        std::uint32_t code;
        int result;
        parse_line(lines[i], code, result);
        ++requests;
        writes += code == zarn::REQ_DEV_CONFIG_SET;
        failed += result != 0;
    }

    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    std::remove(trace.c_str());
    rmdir(dir);

    std::printf("zarnmix_mixer against zarnmix_sim, median (worst) of %d runs, start to exit\n",
                RUNS);
    std::printf("  bare process start (/bin/true)   %7.2f ms (%.2f)\n", bench::median(bare),
                bench::worst(bare));
    std::printf("  dsp0.tx.gain-=1, stereo device   %7.2f ms (%.2f)   target 20 ms\n",
                bench::median(set), bench::worst(set));
    std::printf("  -o, every target and control     %7.2f ms (%.2f)\n", bench::median(listing),
                bench::worst(listing));
    std::printf("requests of one dsp0.tx.gain-=1: %d (%d reads, of them %d failed; %d writes)\n",
                requests, requests - writes, failed, writes);
    if (failures != 0)
        std::printf("%d runs failed\n", failures);
    return failures == 0 ? 0 : 1;
}
