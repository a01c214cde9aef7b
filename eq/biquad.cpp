// SPDX-License-Identifier: BSD-2-Clause

// The arithmetic of the biquads a parametric file describes.

#include <algorithm>
#include <cmath>

#include "eq/constants.h"
#include "eq/filter_import.h"

namespace zarn {

Biquad cookbook_biquad(const ParametricFilter &f, double sample_rate) {
    const double a = std::pow(10.0, f.gain_db / 40.0);
    const double w0 = 2.0 * PI * f.fc / sample_rate;
    const double c = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * f.q);
    const double root = 2.0 * std::sqrt(a) * alpha;
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a0 = 1.0, a1 = 0.0, a2 = 0.0;
    switch (f.type) {
    case BiquadType::peaking:
        b0 = 1.0 + alpha * a;
        b1 = -2.0 * c;
        b2 = 1.0 - alpha * a;
        a0 = 1.0 + alpha / a;
        a1 = -2.0 * c;
        a2 = 1.0 - alpha / a;
        break;
    case BiquadType::low_shelf:
        b0 = a * ((a + 1.0) - (a - 1.0) * c + root);
        b1 = 2.0 * a * ((a - 1.0) - (a + 1.0) * c);
        b2 = a * ((a + 1.0) - (a - 1.0) * c - root);
        a0 = (a + 1.0) + (a - 1.0) * c + root;
        a1 = -2.0 * ((a - 1.0) + (a + 1.0) * c);
        a2 = (a + 1.0) + (a - 1.0) * c - root;
        break;
    case BiquadType::high_shelf:
        b0 = a * ((a + 1.0) + (a - 1.0) * c + root);
        b1 = -2.0 * a * ((a - 1.0) + (a + 1.0) * c);
        b2 = a * ((a + 1.0) + (a - 1.0) * c - root);
        a0 = (a + 1.0) - (a - 1.0) * c + root;
        a1 = 2.0 * ((a - 1.0) - (a + 1.0) * c);
        a2 = (a + 1.0) - (a - 1.0) * c - root;
        break;
    case BiquadType::low_pass:
    case BiquadType::high_pass:
    case BiquadType::notch:
    case BiquadType::band_pass:
        a0 = 1.0 + alpha;
        a1 = -2.0 * c;
        a2 = 1.0 - alpha;
        if (f.type == BiquadType::low_pass) {
            b0 = b2 = (1.0 - c) / 2.0;
            b1 = 1.0 - c;
        } else if (f.type == BiquadType::high_pass) {
            b0 = b2 = (1.0 + c) / 2.0;
            b1 = -(1.0 + c);
        } else if (f.type == BiquadType::notch) {
            b0 = b2 = 1.0;
            b1 = -2.0 * c;
        } else {
            b0 = alpha;
            b2 = -alpha;
        }
        break;
    }
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

double biquad_magnitude(const Biquad &q, double omega) {
    // The cookbook's form in phi = sin^2(w / 2): summing the coefficients
    // first keeps the precision at low frequencies, where 1 - cos(w) would
    // cancel. Rounding may still take a power a hair below 0 at a notch.
    const double sine = std::sin(omega / 2.0);
    const double phi = sine * sine;
    const auto power = [phi](double x0, double x1, double x2) {
        const double sum = x0 + x1 + x2;
        return std::max(0.0, sum * sum - 4.0 * (x0 * x1 + 4.0 * x0 * x2 + x1 * x2) * phi +
                                 16.0 * x0 * x2 * phi * phi);
    };
    return std::sqrt(power(q.b0, q.b1, q.b2) / power(1.0, q.a1, q.a2));
}

} // namespace zarn
