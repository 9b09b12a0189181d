#include "pipes/name_blocks.h"

#include "support/bytes.h"

namespace pm {
namespace {

// A block that is one text field: at most N/2 - 1 code units, a zero, zeros.
template <size_t N>
std::array<uint8_t, N> EncodeNameBlock(std::wstring_view name) {
    std::array<uint8_t, N> block{};
    bytes::PutText(block, 0, N / 2, name);
    return block;
}

template <size_t N>
std::wstring DecodeNameBlock(std::span<const uint8_t> input) {
    return bytes::GetText(bytes::ZeroFilled<N>(input), 0, N / 2);
}

}  // namespace

ComputerBlock EncodeComputerBlock(std::wstring_view computer) {
    return EncodeNameBlock<kComputerBlockSize>(computer);
}

std::wstring DecodeComputerBlock(std::span<const uint8_t> block) {
    return DecodeNameBlock<kComputerBlockSize>(block);
}

UserBlock EncodeUserBlock(std::wstring_view user) {
    return EncodeNameBlock<kUserBlockSize>(user);
}

std::wstring DecodeUserBlock(std::span<const uint8_t> block) {
    return DecodeNameBlock<kUserBlockSize>(block);
}

}  // namespace pm
