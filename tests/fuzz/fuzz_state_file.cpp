// SPDX-License-Identifier: BSD-2-Clause
// Arbitrary bytes as a state file. Whatever the reader accepts must be
// written again to a file that it reads back to the same text.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/state_file_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    zarn::state::Setup setup;
    std::string error;
    if (!zarn::state::decode_setup(text, setup, error)) {
        // A message prints whole: no control character from the file.
        for (const char c : error) {
            if (static_cast<unsigned char>(c) < 0x20)
                std::abort();
        }
        return 0;
    }
    const QByteArray again = zarn::state::encode_setup(setup);
    zarn::state::Setup back;
    if (!zarn::state::decode_setup(again, back, error) || zarn::state::encode_setup(back) != again)
        std::abort();
    return 0;
}
