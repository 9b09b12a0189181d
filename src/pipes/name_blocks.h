#pragma once
// The two name blocks sent to the print server.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pm {

// 42 bytes: the computer name in UTF-16LE, at most 20 characters, a zero, zeros.
inline constexpr size_t kComputerBlockSize = 42;
using ComputerBlock = std::array<uint8_t, kComputerBlockSize>;
ComputerBlock EncodeComputerBlock(std::wstring_view computer);
std::wstring DecodeComputerBlock(std::span<const uint8_t> block);

// 522 bytes: the user name in UTF-16LE, at most 260 characters, a zero, zeros.
inline constexpr size_t kUserBlockSize = 522;
using UserBlock = std::array<uint8_t, kUserBlockSize>;
UserBlock EncodeUserBlock(std::wstring_view user);
std::wstring DecodeUserBlock(std::span<const uint8_t> block);

}  // namespace pm
