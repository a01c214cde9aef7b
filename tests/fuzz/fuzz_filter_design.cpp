// SPDX-License-Identifier: BSD-2-Clause
// Filter texts, lengths and rates from the fuzzer, through the parser, the
// design and the response arithmetic; raw bytes as daemon coefficients.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "eq/filter_design.h"
#include "eq/freq_response.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

const double RATES[] = {48000.0, 44100.0, 8000.0, 96000.0, 16000.0, 1.0,
                        3.0,     0.001,   1e300,  1e305,   0.0,     -48000.0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t shape = data[0];
    const double rate = RATES[data[1] % (sizeof RATES / sizeof RATES[0])];
    const std::string text(reinterpret_cast<const char *>(data + 2), size - 2);

    const std::string trimmed = zarn::trim_white_space(text);
    check(trimmed.size() <= text.size());
    check(text.find(trimmed) != std::string::npos);

    // The parser alone, on exactly the bins it may write.
    {
        const std::uint64_t n =
            shape & 0x80 ? 1 + (static_cast<std::uint64_t>(shape & 0x7f) << 4) : 1 + (shape & 0x7f);
        std::vector<double> spectrum(n / 2 + 1);
        zarn::FilterDesign design{};
        design.sample_rate = rate;
        design.size = n;
        design.spectrum = spectrum.data();
        zarn::parse_filter_spec(&design, trimmed.c_str());
    }

    // The whole design at a short length, with its measured plan.
    const std::uint64_t n = 1 + (shape & 0x3f);
    std::vector<double> taps(n);
    if (!zarn::design_coefficients(rate, n, trimmed.c_str(), taps.data())) {
        for (double t : taps)
            check(std::isfinite(t));
        for (std::uint64_t j = 1; j < n; ++j)
            check(taps[j] == taps[n % 2 ? n - 1 - j : n - j]);
        if (n <= 8) {
            double freq[zarn::RESPONSE_COLUMNS], mag[zarn::RESPONSE_COLUMNS];
            int heights[zarn::RESPONSE_COLUMNS];
            zarn::response_columns(rate, taps.data(), static_cast<int>(n), freq, mag, heights);
            for (int h : heights)
                check(h >= 0 && h < zarn::RESPONSE_HEIGHT);
        }
    }

    // The same bytes as coefficients from the daemon: any bit pattern. The
    // response costs 512 sines and cosines per coefficient, so only a few.
    const std::size_t count = std::min<std::size_t>((size - 2) / sizeof(double), 4);
    if (count > 0) {
        std::vector<double> c(count);
        std::memcpy(c.data(), data + 2, count * sizeof(double));
        double freq[zarn::RESPONSE_COLUMNS], mag[zarn::RESPONSE_COLUMNS];
        int heights[zarn::RESPONSE_COLUMNS];
        zarn::response_columns(rate, c.data(), static_cast<int>(count), freq, mag, heights);
        for (int x = 0; x < zarn::RESPONSE_COLUMNS; ++x) {
            check(heights[x] >= 0 && heights[x] < zarn::RESPONSE_HEIGHT);
            zarn::frequency_label(freq[x]);
        }
    }
    return 0;
}
