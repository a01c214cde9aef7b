// SPDX-License-Identifier: BSD-2-Clause

#include "bridge/request_check.h"

#include <cstring>

#include "ctl/catalogue.h"
#include "ctl/filter_record.h"
#include "ctl/requests.h"

namespace zarn::bridge {

const char *refusal_words(Refusal refusal) {
    switch (refusal) {
    case Refusal::none:
        return "passed";
    case Refusal::unknown_code:
        return "unknown request";
    case Refusal::filter_length:
        return "filter length out of bounds";
    case Refusal::read_only:
        return "change under -r";
    }
    return "?";
}

Refusal check_request(std::uint32_t code, const unsigned char *record, bool read_only) {
    const RequestEntry *entry = request_entry(code);
    if (entry == nullptr) {
        return Refusal::unknown_code;
    }
    if (read_only && entry->changes) {
        return Refusal::read_only;
    }
    if (is_filter_get(code) || is_filter_set(code)) {
        std::int32_t size;
        std::uint64_t address;
        std::memcpy(&size, record + offsetof(FilterRecord, size), sizeof size);
        std::memcpy(&address, record + offsetof(FilterRecord, coefficients), sizeof address);
        // A length with no array would have the daemon read or fill
        // nothing the bridge holds.
        if (size < 0 || size > MAX_FILTER_SIZE || (size > 0 && address == 0)) {
            return Refusal::filter_length;
        }
    }
    return Refusal::none;
}

} // namespace zarn::bridge
