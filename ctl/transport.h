// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>

namespace zarn {

// The panel's only way to the daemon, shaped like open/ioctl/close.
// A character device is driven with ioctl itself, on a helper thread of its
// descriptor; a Unix-domain socket with the framed request/reply protocol
// that the simulated daemon speaks. Either way a request that gets no answer
// within a second fails, and so does every later one on that descriptor.

// Opens the control device read-write; -1 on failure. The transport
// remembers what the descriptor is, so requests need not ask the system.
int ctl_open(const char *path);

// Whether ctl_open would speak the socket protocol on the file at path: a
// socket may lead to another machine's daemon, a device never does.
bool ctl_names_socket(const char *path);

// Issues one request; 0 on success, anything else is a failure. The record
// must hold at least ioc_size(code) bytes; a failed request leaves it
// untouched. A filter fetch that fails once the daemon has accepted it (the
// reply cut short) may have filled part of the coefficient array on a
// socket: keep the array only when the request succeeds. On a character
// device the ioctl fills a private array, which reaches the caller's only
// when the request succeeds in time; a device fills the whole array then.
int ctl_request(int fd, std::uint32_t code, void *record);

// One request of a batch, and where its outcome goes: 0 on success,
// anything else a failure.
struct BatchedRequest {
    std::uint32_t code;
    void *record;
    int *result;
};

// Issues the requests in order, each exactly as ctl_request would. On the
// socket they go out together and their replies come back together, so that
// a batch costs about one round trip instead of one each; filter writes that
// carry coefficients go alone. On a character device the whole batch is one hand-off to the
// helper thread, within one time limit. Returns how many failed.
int ctl_request_batch(int fd, const BatchedRequest *requests, int count);

// Closes a descriptor returned by ctl_open, and forgets what it was: close
// it with nothing else, or a descriptor that reuses its number could be
// taken for it. Never blocks: a character device whose ioctl still hangs is
// closed by its helper thread once the ioctl returns, so its number is not
// handed out again while the thread still uses it. A descriptor from
// elsewhere is examined on every request; a device among them is driven
// with a plain ioctl, without the time limit, since the transport could not
// close it when it hangs.
int ctl_close(int fd);

// How many requests have run out of time since the process started; the
// watchdog backs off from a daemon that accepts requests but never answers.
unsigned long ctl_timeouts();

// How many exchanges with a daemon on a socket have been started since the
// process started: one a request, one a batch of up to 16 KiB of requests.
unsigned long ctl_round_trips();

} // namespace zarn
