// SPDX-License-Identifier: BSD-2-Clause
// Feeds the simulated daemon's engine arbitrary sequences of requests: any
// code of the catalogue (or none), any record bytes, any coefficients.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "sim/engine.h"

namespace {

const std::uint32_t CODES[] = {
    zarn::REQ_PROBE,
    zarn::REQ_DEV_CONFIG_GET,
    zarn::REQ_DEV_CONFIG_SET,
    zarn::REQ_LOOP_CONFIG_GET,
    zarn::REQ_LOOP_CONFIG_SET,
    zarn::REQ_INPUT_MON_GET,
    zarn::REQ_INPUT_MON_SET,
    zarn::REQ_OUTPUT_MON_GET,
    zarn::REQ_OUTPUT_MON_SET,
    zarn::REQ_DEV_PEAK,
    zarn::REQ_LOOP_PEAK,
    zarn::REQ_INPUT_MON_PEAK,
    zarn::REQ_OUTPUT_MON_PEAK,
    zarn::REQ_MAIN_COMP_SET,
    zarn::REQ_MAIN_COMP_GET,
    zarn::REQ_DEV_COMP_SET,
    zarn::REQ_DEV_COMP_GET,
    zarn::REQ_LOOP_COMP_SET,
    zarn::REQ_LOOP_COMP_GET,
    zarn::REQ_MAIN_OUTPUT_PEAK,
    zarn::REQ_MAIN_INPUT_PEAK,
    zarn::REQ_RECORDING_SET,
    zarn::REQ_RECORDING_GET,
    zarn::REQ_DELAY_LOCATOR_SET,
    zarn::REQ_DELAY_LOCATOR_GET,
    zarn::REQ_DELAY_LOCATOR_RESET,
    zarn::REQ_ADD_OPTIONS,
    zarn::REQ_DEV_RX_FILTER_GET,
    zarn::REQ_DEV_RX_FILTER_SET,
    zarn::REQ_DEV_TX_FILTER_GET,
    zarn::REQ_DEV_TX_FILTER_SET,
    zarn::REQ_LOOP_RX_FILTER_GET,
    zarn::REQ_LOOP_RX_FILTER_SET,
    zarn::REQ_LOOP_TX_FILTER_GET,
    zarn::REQ_LOOP_TX_FILTER_SET,
    zarn::REQ_SAMPLE_RATE_GET,
    zarn::REQ_LOCAL_MON_GET,
    zarn::REQ_SYSTEM_INFO,
    zarn::REQ_LOCAL_MON_SET,
    zarn::REQ_LOCAL_MON_PEAK,
};
constexpr std::size_t CODE_COUNT = sizeof CODES / sizeof CODES[0];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    zarn::sim::Topology topology;
    topology.filter_length = 8; // small, so random arrays can match it
    zarn::sim::Engine engine(topology);
    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t selector = data[pos++];
        std::uint32_t code;
        if (selector < CODE_COUNT) {
            code = CODES[selector];
        } else if (size - pos >= 4) {
            std::memcpy(&code, data + pos, 4); // anything at all
            pos += 4;
        } else {
            break;
        }
        std::vector<unsigned char> record(zarn::ioc_size(code), 0);
        const std::size_t take = std::min(record.size(), size - pos);
        if (take > 0) {
            std::memcpy(record.data(), data + pos, take);
        }
        pos += take;

        std::vector<double> payload;
        std::int32_t requested = 0;
        std::uint64_t address = 0;
        if (zarn::is_filter_get(code) || zarn::is_filter_set(code)) {
            std::memcpy(&requested, record.data() + offsetof(zarn::FilterRecord, size), 4);
            std::memcpy(&address, record.data() + offsetof(zarn::FilterRecord, coefficients), 8);
            if (zarn::is_filter_set(code) && address != 0 && requested >= 1 && requested <= 64) {
                payload.assign(static_cast<std::size_t>(requested), 0.5);
            }
        }
        const int result = engine.handle(code, record.data(), payload);
        if (result != 0 && result != -1) {
            std::abort();
        }
        // A filter read that succeeds with an array must have exactly that many taps.
        if (zarn::is_filter_get(code) && result == 0 && address != 0 &&
            payload.size() != static_cast<std::size_t>(requested)) {
            std::abort();
        }
    }
    return 0;
}
