// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ctl/channel_config.h"
#include "ctl/compressor_settings.h"
#include "ctl/delay_locator_record.h"
#include "ctl/main_compressor_settings.h"
#include "ctl/monitor_config.h"
#include "ctl/system_info.h"
#include "sim/topology.h"

namespace zarn::sim {

// Level source of one control target. Unless pinned, every peak read
// advances the target's own waveform and stores the new reading here; mute
// and gain of the target act on it. Monitors and main channels have one
// direction and answer rx_level as their level.
struct Meter {
    std::uint32_t seed = 0;  // picks this target's waveform
    std::uint32_t steps = 0; // peak reads so far
    bool pinned = false;     // true: answer sample_bits and the levels as they stand
    std::uint32_t sample_bits = 24;
    std::int64_t rx_level = 0;
    std::int64_t tx_level = 0;
    unsigned char reserved0[32] = {}; // TargetPeak bytes 8..39, answered as stored
    unsigned char reserved1[4] = {};  // TargetPeak bytes 44..47
};

// FIR filter of one channel and direction.
struct Filter {
    std::int32_t length = 0;          // answered to the length query; 0 = no filter here
    bool active = false;              // a filter is in force
    std::vector<double> coefficients; // the filter in force, length taps
};

struct ChannelState {
    ChannelConfig config{};
    Meter meter;
    Filter rx_filter;
    Filter tx_filter;
};

// A device or a loopback.
struct Group {
    std::vector<ChannelState> channels;
    CompressorSettings compressor{}; // compressor.gain is refreshed on every read
    double gain = 1.0;               // current compressor gain, smoothed by attack and decay
};

struct MonitorState {
    MonitorConfig config{};
    Meter meter;
};

// The simulated mixer: answers every request of the catalogue from the plain
// state below. Not thread-safe; the server and the test harness serialise it.
class Engine {
public:
    explicit Engine(const Topology &topology = Topology{});

    // Answers one request. record holds ioc_size(code) bytes as received and
    // is left as the reply carries it. For a filter write, payload holds the
    // coefficients that came with it; for a filter read that succeeds it is
    // set to the coefficients to send. Returns the result: 0 or -1.
    int handle(std::uint32_t code, unsigned char *record, std::vector<double> &payload);

    // Measured delay of the locator for the chosen channels, in samples.
    std::int32_t measure_delay() const;

    std::vector<Group> devices;
    std::vector<Group> loops;
    std::vector<MonitorState> input_monitors;
    std::vector<MonitorState> output_monitors;
    std::vector<MonitorState> local_monitors;
    std::vector<Meter> main_outputs;
    std::vector<Meter> main_inputs;
    MainCompressorSettings main_compressor{};
    double main_gain = 1.0;

    std::int32_t sample_rate = 48000; // answered to REQ_SAMPLE_RATE_GET
    std::int32_t probe_count = 0;     // answered to the probe, counts probes

    // Answered as it stands. A write takes the channels (refused past
    // max_channel), output_level (clamped to 0..100) and enabled; while
    // enabled it measures delay_samples anew (measure_delay). Reset clears
    // delay_samples only.
    DelayLocatorRecord delay_locator{};
    std::int32_t recording = 0; // a write stores 0 or 1; answered as it stands
    SystemInfo system_info{};   // answered as it stands

    // Options: the last text received (up to its NUL, at most 1024 bytes).
    // With options_reply set, the engine skips parsing and answers those
    // bytes (at most 1024, no NUL added) with options_result.
    std::string last_options;
    std::optional<std::vector<unsigned char>> options_reply;
    int options_result = 0;

    // The option syntax, for --help and the error texts.
    static const char *options_help();

private:
    // One handler per request family.
    int channel_config(std::uint32_t code, unsigned char *record);
    int monitor_config(std::uint32_t code, unsigned char *record);
    int target_peak(std::uint32_t code, unsigned char *record);
    int monitor_peak(std::uint32_t code, unsigned char *record);
    int compressor(std::uint32_t code, unsigned char *record);
    int main_compressor_request(std::uint32_t code, unsigned char *record);
    int delay_locator_request(std::uint32_t code, unsigned char *record);
    int filter(std::uint32_t code, unsigned char *record, std::vector<double> &payload);

    // A device or loopback is set up and removed only through these two.
    void add_group(std::vector<Group> &groups, int channels);
    void remove_group(std::vector<Group> &groups, std::size_t index);

    int peak(Meter &meter, int amp_rx, int amp_tx, bool mute_rx, bool mute_tx);
    int add_options(unsigned char *record);
    std::int32_t compressor_gain(double &gain, const std::vector<const Meter *> &meters,
                                 std::int32_t enabled, std::int32_t knee, std::int32_t attack,
                                 std::int32_t decay) const;

    // What a new device or loopback is set up with.
    std::int32_t filter_length_;
    std::int32_t delay_limit_;
    std::uint32_t devices_set_up_ = 0; // ever, removed ones included
    std::uint32_t loops_set_up_ = 0;
    std::uint32_t next_seed_ = 0; // of every meter, so that no two share a waveform
};

} // namespace zarn::sim
