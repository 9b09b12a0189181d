#pragma once
// Little-endian packing at explicit offsets, and UTF-16LE text fields of a fixed
// number of code units. The same bytes on every platform and architecture.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace pm::bytes {

inline uint16_t Get16(std::span<const uint8_t> b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

inline uint32_t Get32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

inline void Put16(std::span<uint8_t> b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

inline void Put32(std::span<uint8_t> b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

inline double GetDouble(std::span<const uint8_t> b, size_t at) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= uint64_t(b[at + i]) << (8 * i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void PutDouble(std::span<uint8_t> b, size_t at, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i)
        b[at + i] = uint8_t(bits >> (8 * i));
}

// The first N bytes of `input` in a zero-filled block: a shorter input leaves the rest
// zero, a longer one is cut.
template <size_t N>
std::array<uint8_t, N> ZeroFilled(std::span<const uint8_t> input) {
    std::array<uint8_t, N> block{};
    std::copy_n(input.begin(), std::min(input.size(), N), block.begin());
    return block;
}

// The code units up to the first zero, at most `units` of them.
inline std::wstring GetText(std::span<const uint8_t> b, size_t at, size_t units) {
    std::wstring text;
    for (size_t i = 0; i < units; ++i) {
        const wchar_t c = wchar_t(Get16(b, at + 2 * i));
        if (c == 0) break;
        text += c;
    }
    return text;
}

// Writes at most units - 1 code units, a zero, and zeros up to the end of the field.
inline void PutText(std::span<uint8_t> b, size_t at, size_t units, std::wstring_view text) {
    const size_t n = text.size() < units - 1 ? text.size() : units - 1;
    for (size_t i = 0; i < units; ++i)
        Put16(b, at + 2 * i, i < n ? uint16_t(text[i]) : uint16_t(0));
}

}  // namespace pm::bytes
