// SPDX-License-Identifier: BSD-2-Clause

#include "tools/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zarn::json {

namespace {

bool valid_utf8(std::string_view s, std::size_t &bad) {
    const auto *p = reinterpret_cast<const unsigned char *>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned c = p[i];
        std::size_t length;
        std::uint32_t low;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xc2 && c <= 0xdf) {
            length = 2;
            low = 0x80;
        } else if (c >= 0xe0 && c <= 0xef) {
            length = 3;
            low = 0x800;
        } else if (c >= 0xf0 && c <= 0xf4) {
            length = 4;
            low = 0x10000;
        } else {
            bad = i;
            return false;
        }
        if (n - i < length) {
            bad = i;
            return false;
        }
        std::uint32_t code = c & (0x7fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xc0) != 0x80) {
                bad = i;
                return false;
            }
            code = (code << 6) | (p[i + k] & 0x3fu);
        }
        // Overlong forms, surrogates and values beyond Unicode.
        if (code < low || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff) {
            bad = i;
            return false;
        }
        i += length;
    }
    return true;
}

void append_utf8(std::string &out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xc0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xe0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    }
}

bool hex4(std::string_view s, std::size_t at, std::uint32_t &out) {
    if (s.size() < 4 || at > s.size() - 4)
        return false;
    out = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = s[i];
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
        out = out * 16 + digit;
    }
    return true;
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool document(Value &out) {
        skip_space();
        if (!value(out, 0, std::string()))
            return false;
        skip_space();
        if (at_ != text_.size())
            return fail("text after the end of the document");
        return true;
    }

    std::string error;

private:
    bool fail(const char *what) {
        if (!error.empty())
            return false;
        const std::size_t at = std::min(at_, text_.size());
        const std::string_view before = text_.substr(0, at);
        const std::size_t line =
            static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
        const std::size_t newline = before.rfind('\n');
        const std::size_t column = newline == std::string_view::npos ? at + 1 : at - newline;
        error = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
        return false;
    }

    void skip_space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' ||
                                      text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }

    bool literal(const char *word) {
        const std::size_t n = std::strlen(word);
        if (text_.substr(at_, n) != word)
            return fail("not a JSON value");
        at_ += n;
        return true;
    }

    // place: where the value is, as the state file's messages name it.
    bool value(Value &out, int depth, const std::string &place) {
        if (++values_ > MAX_VALUES)
            return fail("more values than any state file holds");
        if (at_ >= text_.size())
            return fail("the text ends where a value should be");
        const char c = text_[at_];
        if (c == '{' || c == '[') {
            if (depth >= MAX_DEPTH)
                return fail("nested too deeply");
            return c == '{' ? object(out, depth + 1, place) : array(out, depth + 1, place);
        }
        if (c == '"') {
            out.type = Type::string;
            return string(out.raw, out.escaped);
        }
        if (c == 't' || c == 'f') {
            out.type = Type::boolean;
            out.boolean = c == 't';
            return literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out.type = Type::null;
            return literal("null");
        }
        return number(out);
    }

    // Finds the closing quote; the contents are checked when decoded.
    bool string(std::string_view &raw, bool &escaped) {
        const char *begin = text_.data() + at_ + 1;
        const char *end = text_.data() + text_.size();
        const char *p = begin;
        escaped = false;
        for (;;) {
            const auto *quote =
                static_cast<const char *>(std::memchr(p, '"', static_cast<std::size_t>(end - p)));
            if (!quote) {
                at_ = text_.size();
                return fail("a string is not closed");
            }
            const auto *backslash = static_cast<const char *>(
                std::memchr(p, '\\', static_cast<std::size_t>(quote - p)));
            if (!backslash) {
                raw = std::string_view(begin, static_cast<std::size_t>(quote - begin));
                at_ = static_cast<std::size_t>(quote + 1 - text_.data());
                return true;
            }
            escaped = true;
            p = backslash + 2;
            if (p > end) {
                at_ = text_.size();
                return fail("a string is not closed");
            }
        }
    }

    bool number(Value &out) {
        const std::size_t start = at_;
        const auto digits = [this] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                ++at_;
            return at_ > from;
        };
        if (at_ < text_.size() && text_[at_] == '-')
            ++at_;
        if (at_ < text_.size() && text_[at_] == '0')
            ++at_;
        else if (!digits())
            return fail("not a JSON value");
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits())
                return fail("a number has no digits after its point");
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
                ++at_;
            if (!digits())
                return fail("a number has no digits in its exponent");
        }
        out.type = Type::number;
        const char *first = text_.data() + start;
        const char *last = text_.data() + at_;
        const auto result = std::from_chars(first, last, out.number);
        if (result.ec == std::errc::result_out_of_range) {
            // Too large is kept as infinite, so range checks refuse it;
            // too small to tell from zero is zero.
            bool large = false;
            for (const char *p = first; p < last && *p != 'e' && *p != 'E'; ++p)
                large = large || (*p >= '1' && *p <= '9');
            const std::string_view exponent(first, static_cast<std::size_t>(last - first));
            const std::size_t e = exponent.find_first_of("eE");
            const bool negative_exponent =
                e != std::string_view::npos && e + 1 < exponent.size() && exponent[e + 1] == '-';
            const double magnitude = large && !negative_exponent ? HUGE_VAL : 0.0;
            out.number = *first == '-' ? -magnitude : magnitude;
        } else if (result.ec != std::errc() || result.ptr != last) {
            return fail("not a JSON value");
        }
        return true;
    }

    bool array(Value &out, int depth, const std::string &place) {
        out.type = Type::array;
        ++at_;
        skip_space();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            skip_space();
            out.items.emplace_back();
            if (!value(out.items.back(), depth,
                       place + "[" + std::to_string(out.items.size() - 1) + "]"))
                return false;
            skip_space();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                return true;
            }
            return fail("expected , or ] in an array");
        }
    }

    bool object(Value &out, int depth, const std::string &place) {
        out.type = Type::object;
        ++at_;
        skip_space();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            skip_space();
            if (at_ >= text_.size() || text_[at_] != '"')
                return fail("expected a key in quotes");
            const std::size_t key_at = at_;
            Value key;
            key.type = Type::string;
            if (!string(key.raw, key.escaped))
                return false;
            std::string name;
            if (!decode_string(key, name)) {
                at_ = key_at;
                return fail("a key is not a valid string");
            }
            skip_space();
            if (at_ >= text_.size() || text_[at_] != ':')
                return fail("expected : after a key");
            ++at_;
            skip_space();
            const std::string inner = place.empty() ? name : place + "." + name;
            out.members.emplace_back(std::move(name), Value{});
            if (!value(out.members.back().second, depth, inner))
                return false;
            skip_space();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                break;
            }
            return fail("expected , or } in an object");
        }
        // Another reader could take the first of two equal keys, this one
        // the last: a file that means two things is refused.
        std::vector<const std::string *> keys;
        keys.reserve(out.members.size());
        for (const auto &member : out.members)
            keys.push_back(&member.first);
        std::sort(keys.begin(), keys.end(), [](auto *a, auto *b) { return *a < *b; });
        for (std::size_t i = 1; i < keys.size(); ++i) {
            if (*keys[i] == *keys[i - 1]) {
                error = (place.empty() ? *keys[i] : place + "." + *keys[i]) +
                        ": appears twice in one object";
                return false;
            }
        }
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t values_ = 0;
};

} // namespace

const Value *Value::find(std::string_view key) const {
    for (const auto &member : members) {
        if (member.first == key)
            return &member.second;
    }
    return nullptr;
}

bool parse(std::string_view text, Value &out, std::string &error) {
    out = Value{};
    Parser parser(text);
    if (parser.document(out))
        return true;
    error = parser.error;
    out = Value{};
    return false;
}

bool decode_string(const Value &value, std::string &out) {
    out.clear();
    const std::string_view raw = value.raw;
    if (!value.escaped) {
        for (const char c : raw) {
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
        }
        std::size_t bad;
        if (!valid_utf8(raw, bad))
            return false;
        out.assign(raw);
        return true;
    }
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= raw.size())
            return false;
        switch (raw[i]) {
        case '"':
        case '\\':
        case '/':
            out += raw[i];
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            std::uint32_t code;
            if (!hex4(raw, i + 1, code))
                return false;
            i += 4;
            if (code >= 0xdc00 && code <= 0xdfff)
                return false;
            if (code >= 0xd800 && code <= 0xdbff) {
                std::uint32_t low;
                if (i + 2 >= raw.size() || raw[i + 1] != '\\' || raw[i + 2] != 'u' ||
                    !hex4(raw, i + 3, low) || low < 0xdc00 || low > 0xdfff)
                    return false;
                i += 6;
                code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
            }
            append_utf8(out, code);
            break;
        }
        default:
            return false;
        }
    }
    std::size_t bad;
    return valid_utf8(out, bad);
}

std::string printable(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    // A key of some megabytes would make a message of as many.
    constexpr std::size_t most = 256;
    const bool cut = text.size() > most;
    text = text.substr(0, most);
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        std::size_t bad = text.size();
        if (valid_utf8(text, bad))
            bad = text.size();
        for (std::size_t i = 0; i < bad; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x20 || c == 0x7f) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 0xf];
            } else {
                out += text[i];
            }
        }
        if (bad < text.size()) {
            const auto c = static_cast<unsigned char>(text[bad]);
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xf];
            ++bad;
        }
        text.remove_prefix(bad);
    }
    if (cut)
        out += "...";
    return out;
}

} // namespace zarn::json
