// SPDX-License-Identifier: BSD-2-Clause

#pragma once

// What the three parts of the control transport share: transport.cpp (the
// public calls and the table of what each descriptor is), socket_framing.cpp
// (the socket protocol and its batches) and device_thread.cpp (a character
// device's requests on a helper thread, and the open that may hang).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ctl/filter_record.h"
#include "ctl/transport.h"

namespace zarn::transport {

using Clock = std::chrono::steady_clock;

// The whole exchange, request and reply, must finish within this time.
constexpr auto REPLY_LIMIT = std::chrono::seconds(1);

// A call may block on the socket's own timeouts (which equal REPLY_LIMIT)
// only this early in an exchange, so that no exchange overruns its limit by
// more than this.
constexpr auto BLOCKING_SLACK = std::chrono::milliseconds(20);

// What a descriptor is, and so how its requests go.
enum Medium : unsigned char {
    UNKNOWN = 0,
    OTHER,            // any other file, and a device ctl_open did not open: plain ioctl
    CHARACTER_DEVICE, // from ctl_open: ioctl on the descriptor's helper thread
    SOCKET_TIMED,     // blocking, with send and receive timeouts of REPLY_LIMIT
    SOCKET_POLLED,    // every transfer waits with poll
};

// Counted for ctl_timeouts and ctl_round_trips.
extern unsigned long timeouts;
extern unsigned long round_trips;

// The address of the doubles a filter record names.
inline double *coefficient_address(const unsigned char *record) {
    std::uint64_t address;
    std::memcpy(&address, record + offsetof(FilterRecord, coefficients), sizeof address);
    return reinterpret_cast<double *>(static_cast<std::uintptr_t>(address));
}

// Socket framing.
int socket_request(int fd, Medium medium, std::uint32_t code, void *record);
int socket_batch(int fd, Medium medium, const BatchedRequest *requests, int count);
// Lets every blocking send and receive on a socket give up after
// REPLY_LIMIT by itself, so that a request needs no poll.
bool set_timeouts(int fd);

// The device thread.
int open_device(const char *path);
// Starts the helper thread of a character device that ctl_open opened.
bool start_helper(int fd);
bool has_helper(int fd);
// Forgets the descriptor's helper. False when its ioctl still runs: the
// helper then closes the descriptor once the ioctl returns.
bool let_go_of_helper(int fd);
// Requests on a descriptor that has no socket protocol.
int device_batch(int fd, Medium medium, const BatchedRequest *requests, int count);

} // namespace zarn::transport
