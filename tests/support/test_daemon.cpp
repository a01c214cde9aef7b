// SPDX-License-Identifier: BSD-2-Clause

#include "support/test_daemon.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "ctl/requests.h"

namespace zarn::sim {

namespace {

[[noreturn]] void die(const std::string &message) {
    std::fprintf(stderr, "TestDaemon: %s\n", message.c_str());
    std::abort();
}

// Settings the programs under test keep (the panel's filter texts) go to a
// fresh folder of each test process, never into the user's own, and no run
// sees what an earlier one kept. Set before main, so before any QSettings.
struct PrivateSettings {
    PrivateSettings() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zarnconfig-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            die("cannot make a settings folder");
        folder = pattern;
        ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }
    ~PrivateSettings() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
};
const PrivateSettings private_settings;

} // namespace

TestDaemon::TestDaemon(const Topology &topology)
    : engine_(topology),
      server_([this](std::uint32_t code, unsigned char *record, std::vector<double> &payload,
                     ReplyFault &fault) { return handle(code, record, payload, fault); }) {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zarnsim-XXXXXX";
    // sun_path is short; fall back to /tmp when TMPDIR is deep.
    if (pattern.size() + 10 > 100) {
        pattern = "/tmp/zarnsim-XXXXXX";
    }
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        die("cannot create a private directory");
    }
    directory_ = buffer.data();
    path_ = directory_ + "/zmix.ctl";
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        die("cannot create the wake-up pipe");
    }
    start();
}

TestDaemon::~TestDaemon() {
    stop();
    ::close(wake_[0]);
    ::close(wake_[1]);
    ::rmdir(directory_.c_str());
}

void TestDaemon::start() {
    if (thread_.joinable()) {
        return;
    }
    std::string error;
    if (!server_.listen(path_, error)) {
        die(error);
    }
    thread_ = std::thread([this] { server_.run(wake_[0]); });
}

void TestDaemon::stop() {
    if (!thread_.joinable()) {
        return;
    }
    const char byte = 0;
    while (::write(wake_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    char drain[16];
    while (::read(wake_[0], drain, sizeof drain) > 0) {
    }
    server_.close();
}

std::vector<ReceivedRequest> TestDaemon::requests() const {
    std::lock_guard<std::mutex> lock(log_mutex_);
    return log_;
}

void TestDaemon::clear_requests() {
    std::lock_guard<std::mutex> lock(log_mutex_);
    log_.clear();
}

std::size_t TestDaemon::count(std::uint32_t code) const {
    std::lock_guard<std::mutex> lock(log_mutex_);
    std::size_t n = 0;
    for (const ReceivedRequest &request : log_) {
        n += request.code == code;
    }
    return n;
}

void TestDaemon::set_hook(Hook hook) {
    std::lock_guard<std::mutex> lock(hook_mutex_);
    hook_ = std::move(hook);
}

void TestDaemon::silence_next_reply() {
    next_fault_ = static_cast<int>(ReplyFault::silent);
}

void TestDaemon::cut_next_reply() {
    next_fault_ = static_cast<int>(ReplyFault::cut);
}

int TestDaemon::handle(std::uint32_t code, unsigned char *record, std::vector<double> &payload,
                       ReplyFault &fault) {
    ReceivedRequest entry;
    entry.code = code;
    entry.record.assign(record, record + ioc_size(code));
    if (is_filter_set(code)) {
        entry.payload = payload; // a read's array is only room for the answer
    }

    Hook hook;
    {
        std::lock_guard<std::mutex> lock(hook_mutex_);
        hook = hook_;
    }
    std::optional<int> result;
    if (hook) {
        result = hook(code, record, payload);
    }
    if (!result) {
        std::lock_guard<std::recursive_mutex> lock(engine_mutex_);
        result = engine_.handle(code, record, payload);
    }

    fault = static_cast<ReplyFault>(next_fault_.exchange(static_cast<int>(ReplyFault::none)));
    entry.result = *result;
    entry.answered = fault != ReplyFault::silent;
    {
        std::lock_guard<std::mutex> lock(log_mutex_);
        log_.push_back(std::move(entry));
    }
    return *result;
}

} // namespace zarn::sim
