// SPDX-License-Identifier: BSD-2-Clause

#include "tools/base64.h"

#include <QtEndian>
#include <cstdint>
#include <cstring>

namespace zarn::state {

namespace {

// Base64 by tables: two characters for each 12 bits on the way out, one
// lookup per character on the way in, with a bit that marks a character
// outside the alphabet. The largest setup carries 128 MiB of coefficients.
constexpr std::uint32_t BAD = 0x01000000;

struct Base64Tables {
    char pairs[4096][2];
    std::uint32_t in[4][256];

    Base64Tables() {
        static const char alphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 4096; ++i) {
            pairs[i][0] = alphabet[i >> 6];
            pairs[i][1] = alphabet[i & 63];
        }
        for (auto &table : in)
            std::fill(std::begin(table), std::end(table), BAD);
        for (std::uint32_t v = 0; v < 64; ++v) {
            const auto c = static_cast<unsigned char>(alphabet[v]);
            in[0][c] = v << 18;
            in[1][c] = v << 12;
            in[2][c] = v << 6;
            in[3][c] = v;
        }
    }
};

const Base64Tables &tables() {
    static const Base64Tables t;
    return t;
}

} // namespace

std::size_t base64_size(std::size_t bytes) {
    return (bytes + 2) / 3 * 4;
}

void base64_encode(const unsigned char *in, std::size_t n, char *out) {
    const Base64Tables &t = tables();
    std::size_t i = 0;
    // Six bytes at a time from one 8-byte load: four table lookups.
    for (; i + 8 <= n; i += 6, out += 8) {
        const quint64 v = qFromBigEndian<quint64>(in + i);
        std::memcpy(out, t.pairs[(v >> 52) & 0xfff], 2);
        std::memcpy(out + 2, t.pairs[(v >> 40) & 0xfff], 2);
        std::memcpy(out + 4, t.pairs[(v >> 28) & 0xfff], 2);
        std::memcpy(out + 6, t.pairs[(v >> 16) & 0xfff], 2);
    }
    for (; i + 3 <= n; i += 3, out += 4) {
        const std::uint32_t v =
            (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
        std::memcpy(out, t.pairs[v >> 12], 2);
        std::memcpy(out + 2, t.pairs[v & 0xfff], 2);
    }
    if (i < n) {
        const std::uint32_t v =
            (std::uint32_t{in[i]} << 16) | (i + 1 < n ? std::uint32_t{in[i + 1]} << 8 : 0);
        std::memcpy(out, t.pairs[v >> 12], 2);
        out[2] = i + 1 < n ? t.pairs[v & 0xfff][0] : '=';
        out[3] = '=';
    }
}

// The number of bytes the text stands for, or false when its length or
// padding is not base64's.
bool base64_decoded_size(std::string_view text, std::size_t &size) {
    if (text.size() % 4 != 0)
        return false;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    size = text.size() / 4 * 3 - padding;
    return true;
}

// Decodes exactly size bytes (as base64_decoded_size gave); false on a
// character outside the alphabet.
bool base64_decode(std::string_view text, unsigned char *out, std::size_t size) {
    const Base64Tables &t = tables();
    const auto *in = reinterpret_cast<const unsigned char *>(text.data());
    const auto quad = [&t](const unsigned char *c) {
        return t.in[0][c[0]] | t.in[1][c[1]] | t.in[2][c[2]] | t.in[3][c[3]];
    };
    std::uint32_t bad = 0;
    std::size_t done = 0;
    // Eight characters to six bytes with one 8-byte store, while two bytes
    // of room remain beyond them.
    for (; done + 8 <= size; done += 6, in += 8) {
        const std::uint32_t a = quad(in);
        const std::uint32_t b = quad(in + 4);
        bad |= a | b;
        qToBigEndian<quint64>((quint64{a} << 40) | (quint64{b} << 16), out + done);
    }
    for (; done + 3 <= size; done += 3, in += 4) {
        const std::uint32_t v = quad(in);
        bad |= v;
        out[done] = static_cast<unsigned char>(v >> 16);
        out[done + 1] = static_cast<unsigned char>(v >> 8);
        out[done + 2] = static_cast<unsigned char>(v);
    }
    const std::size_t rest = size - done;
    if (rest > 0) {
        std::uint32_t v = t.in[0][in[0]] | t.in[1][in[1]];
        if (rest == 2)
            v |= t.in[2][in[2]];
        bad |= v;
        out[done] = static_cast<unsigned char>(v >> 16);
        if (rest == 2)
            out[done + 1] = static_cast<unsigned char>(v >> 8);
    }
    return (bad & BAD) == 0;
}

} // namespace zarn::state
