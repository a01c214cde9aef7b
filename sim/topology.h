// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <utility>
#include <vector>

namespace zarn::sim {

// Shape of the simulated mixer: what exists and with how many channels.
struct Topology {
    std::vector<int> device_channels{2, 3}; // channels of device 0, 1, ...
    std::vector<int> loop_channels{2};      // channels of loopback 0, 1, ...
    int input_monitors = 2;
    int output_monitors = 1;
    int local_monitors = 1;
    int main_output_channels = 2;
    int main_input_channels = 2;
    int filter_length = 2048; // taps per channel and direction; 0 = no filter support
    int sample_rate = 48000;
    int sample_bits = 24;
};

// A mixer of exactly these parts; filter length, rate and width keep their
// defaults.
inline Topology mixer(std::vector<int> device_channels, std::vector<int> loop_channels,
                      int input_monitors, int output_monitors, int local_monitors,
                      int main_output_channels, int main_input_channels) {
    Topology t;
    t.device_channels = std::move(device_channels);
    t.loop_channels = std::move(loop_channels);
    t.input_monitors = input_monitors;
    t.output_monitors = output_monitors;
    t.local_monitors = local_monitors;
    t.main_output_channels = main_output_channels;
    t.main_input_channels = main_input_channels;
    return t;
}

// A mixer of devices with the given channel counts and nothing else.
inline Topology devices_only(std::vector<int> device_channels) {
    return mixer(std::move(device_channels), {}, 0, 0, 0, 0, 0);
}

} // namespace zarn::sim
