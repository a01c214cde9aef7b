// SPDX-License-Identifier: BSD-2-Clause

#include "bridge/bridge.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/socket_path.h"

namespace zarn::bridge {

Bridge::Bridge(std::string device, bool read_only, Log log)
    : device_path_(std::move(device)), read_only_(read_only), log_(std::move(log)) {}

Bridge::~Bridge() {
    if (fd_ >= 0) {
        ctl_close(fd_);
    }
}

void Bridge::note_refusal(std::uint32_t code, Refusal refusal) {
    ++refused_;
    const auto now = Clock::now();
    if (last_logged_ != Clock::time_point{} && now - last_logged_ < LOG_INTERVAL) {
        ++unlogged_;
        return;
    }
    flush_refusals();
    char line[96];
    std::snprintf(line, sizeof line, "refused 0x%08x (%s)", static_cast<unsigned>(code),
                  refusal_words(refusal));
    log_(line);
    last_logged_ = now;
}

void Bridge::flush_refusals() {
    if (unlogged_ > 0) {
        log_(std::to_string(unlogged_) + " more refused");
        unlogged_ = 0;
    }
}

int Bridge::device() {
    if (fd_ < 0 && Clock::now() >= next_open_) {
        fd_ = ctl_open(device_path_.c_str());
        if (fd_ < 0) {
            next_open_ = Clock::now() + std::chrono::seconds(1);
        }
    }
    return fd_;
}

void Bridge::abandon(const char *why) {
    ctl_close(fd_);
    fd_ = -1;
    next_open_ = Clock::now() + backoff_;
    backoff_ = std::min<Clock::duration>(
        backoff_ == Clock::duration{} ? std::chrono::seconds(1) : 2 * backoff_, MAX_BACKOFF);
    log_(std::string(why) + "; the device is opened again for a later request");
}

int Bridge::handle(std::uint32_t code, unsigned char *record, std::vector<double> &payload) {
    const Refusal refusal = check_request(code, record, read_only_);
    if (refusal != Refusal::none) {
        note_refusal(code, refusal);
        return -1;
    }
    const int fd = device();
    if (fd < 0) {
        return -1;
    }
    ++passed_;
    // The client's array address means nothing here: the device works on
    // the bridge's own array, and the client gets its address back.
    const bool filter = is_filter_get(code) || is_filter_set(code);
    std::uint64_t client_address = 0;
    unsigned char *address_field = record + offsetof(FilterRecord, coefficients);
    if (filter) {
        std::memcpy(&client_address, address_field, sizeof client_address);
        std::int32_t size;
        std::memcpy(&size, record + offsetof(FilterRecord, size), sizeof size);
        payload.resize(static_cast<std::size_t>(size)); // checked: 0..MAX_FILTER_SIZE
        const std::uint64_t own =
            size > 0 ? static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(payload.data()))
                     : 0;
        std::memcpy(address_field, &own, sizeof own);
    }
    const unsigned long timeouts = ctl_timeouts();
    const int result = ctl_request(fd, code, record);
    if (filter) {
        std::memcpy(address_field, &client_address, sizeof client_address);
    }
    judge(timeouts, result != 0 && code == REQ_PROBE, result == 0);
    return result;
}

void Bridge::judge(unsigned long timeouts_before, bool probe_failed, bool any_succeeded) {
    if (ctl_timeouts() != timeouts_before) {
        abandon("the device did not answer within 1 s");
    } else if (probe_failed) {
        abandon("the device failed a probe");
    } else if (any_succeeded) {
        backoff_ = Clock::duration{};
    }
}

void Bridge::handle_run(std::vector<sim::PendingRequest> &run) {
    batch_.clear();
    outcomes_.assign(run.size(), -1);
    for (std::size_t i = 0; i < run.size(); ++i) {
        *run[i].result = -1;
        const Refusal refusal = check_request(run[i].code, run[i].record, read_only_);
        if (refusal != Refusal::none) {
            note_refusal(run[i].code, refusal);
        } else {
            batch_.push_back({run[i].code, run[i].record, &outcomes_[i]});
        }
    }
    if (batch_.empty() || device() < 0) {
        return;
    }
    passed_ += batch_.size();
    const unsigned long timeouts = ctl_timeouts();
    const int failed = ctl_request_batch(fd_, batch_.data(), static_cast<int>(batch_.size()));
    bool probe_failed = false;
    for (std::size_t i = 0; i < run.size(); ++i) {
        *run[i].result = outcomes_[i];
        probe_failed = probe_failed || (run[i].code == REQ_PROBE && outcomes_[i] != 0);
    }
    judge(timeouts, probe_failed, failed < static_cast<int>(batch_.size()));
}

bool make_socket_directory(const std::string &directory, gid_t group, std::string &error) {
    if (!sim::make_private_directory(directory, error, 0750)) {
        return false;
    }
    if (group != static_cast<gid_t>(-1) &&
        ::lchown(directory.c_str(), static_cast<uid_t>(-1), group) != 0) {
        error = directory + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace zarn::bridge
