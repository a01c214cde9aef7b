// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <string_view>

// The base64 codec of the state files' coefficients.
namespace zarn::state {

// The length of the text that n bytes encode to.
std::size_t base64_size(std::size_t bytes);
// Writes base64_size(n) characters to out.
void base64_encode(const unsigned char *in, std::size_t n, char *out);
// The number of bytes the text stands for, or false when its length or
// padding is not base64's.
bool base64_decoded_size(std::string_view text, std::size_t &size);
// Decodes exactly size bytes (as base64_decoded_size gave); false on a
// character outside the alphabet.
bool base64_decode(std::string_view text, unsigned char *out, std::size_t size);

} // namespace zarn::state
