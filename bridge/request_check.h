// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>

namespace zarn::bridge {

// Why a request may not reach the device.
enum class Refusal {
    none,
    unknown_code,  // no request of the catalogue, or one with another record size
    filter_length, // a filter length the daemon does not take, or one without an array
    read_only,     // a request that changes the daemon, under -r
};

const char *refusal_words(Refusal refusal);

// Checks one request as it came from a client: record holds ioc_size(code)
// bytes. Only what passes here is handed to the device.
Refusal check_request(std::uint32_t code, const unsigned char *record, bool read_only);

} // namespace zarn::bridge
