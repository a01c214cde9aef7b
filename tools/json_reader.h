// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A JSON reader for files from outside: bounded in depth and in the number of
// values, it refuses an object that names a key twice, and it leaves string
// contents in the text until they are asked for, so that a string of some
// hundred kilobytes of base64 is only looked at by its own decoder.
namespace zarn::json {

// Far more than a state file holds (a few dozen values per target), far
// fewer than a large hostile file would make the reader allocate.
constexpr std::size_t MAX_VALUES = 1 << 16;
constexpr int MAX_DEPTH = 32;

enum class Type { null, boolean, number, string, array, object };

struct Value {
    Type type = Type::null;
    bool boolean = false;
    double number = 0; // out-of-range literals are ±HUGE_VAL, never NaN
    // A string between its quotes, as written; escaped when it holds a
    // backslash, so only then does its text need decoding.
    std::string_view raw;
    bool escaped = false;
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members; // keys decoded

    // The member of an object with that key, or nullptr.
    const Value *find(std::string_view key) const;
};

// Parses a whole text; the values keep views into it. On a fault returns
// false with its place, as in "line 3, column 7: ...".
bool parse(std::string_view text, Value &out, std::string &error);

// The text of a string value with its escapes decoded; false when the
// string holds a raw control character, a bad escape or is not UTF-8.
bool decode_string(const Value &value, std::string &out);

// The text with control characters, DEL and bytes that are not UTF-8
// written as \xNN, so that a message carrying text from a file prints whole.
std::string printable(std::string_view text);

} // namespace zarn::json
