// SPDX-License-Identifier: BSD-2-Clause
// The bridge's check of a client's request: a code and its record as sent,
// read-only or not. What passes must be a request of the catalogue that the
// device can serve.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bridge/request_check.h"
#include "ctl/catalogue.h"
#include "ctl/filter_record.h"
#include "ctl/requests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    const bool read_only = (data[0] & 1) != 0;
    std::uint32_t code;
    std::memcpy(&code, data + 1, sizeof code);
    // The record exactly as long as the code says, as the server hands it over.
    std::vector<unsigned char> record(zarn::ioc_size(code));
    const std::size_t given = std::min(record.size(), size - 5);
    if (given > 0) {
        std::memcpy(record.data(), data + 5, given);
    }
    const zarn::bridge::Refusal refusal =
        zarn::bridge::check_request(code, record.data(), read_only);
    if (refusal != zarn::bridge::Refusal::none) {
        return 0;
    }
    const zarn::RequestEntry *entry = zarn::request_entry(code);
    if (entry == nullptr || (read_only && entry->changes)) {
        std::abort();
    }
    if (zarn::is_filter_get(code) || zarn::is_filter_set(code)) {
        std::int32_t length;
        std::memcpy(&length, record.data() + offsetof(zarn::FilterRecord, size), sizeof length);
        if (length < 0 || length > zarn::MAX_FILTER_SIZE ||
            (length > 0 && zarn::carried_doubles(record.data()) == 0)) {
            std::abort();
        }
    }
    return 0;
}
