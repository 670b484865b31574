#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace slotscope::fuzz {

// Turns fuzzer bytes into texts. A NUL byte ends one part and starts the next. Within a part a
// byte is the character of the same number (so markers like "<table id=" come out of plain
// ASCII), and the byte 0xFF takes the next two bytes as one UTF-16 code unit of any value, lone
// surrogates included.
inline std::vector<std::u16string> Parts(const std::uint8_t* data, std::size_t size,
                                         std::size_t count) {
    std::vector<std::u16string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        if (byte == 0 && parts.size() < count) {
            parts.emplace_back();
        } else if (byte == 0xFF && i + 2 < size) {
            parts.back() += static_cast<char16_t>(data[i + 1] << 8 | data[i + 2]);
            i += 2;
        } else {
            parts.back() += static_cast<char16_t>(byte);
        }
    }
    parts.resize(count);
    return parts;
}

// Whether `text` holds a high surrogate without its low one or a low one without its high one.
inline bool HasLoneSurrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return true;
            }
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

}  // namespace slotscope::fuzz

// A broken property ends the run the way a sanitizer report does, so the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "property failed at %s:%d: %s\n", __FILE__, __LINE__, \
                         #condition);                                                  \
            __builtin_trap();                                                          \
        }                                                                              \
    } while (false)
