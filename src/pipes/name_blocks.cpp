#include "pipes/name_blocks.h"

#include <algorithm>

#include "support/bytes.h"

namespace pm {

ComputerBlock EncodeComputerBlock(std::wstring_view computer) {
    ComputerBlock block{};
    bytes::PutText(block, 0, kComputerBlockSize / 2, computer);
    return block;
}

std::wstring DecodeComputerBlock(std::span<const uint8_t> block) {
    ComputerBlock full{};
    std::copy_n(block.begin(), std::min(block.size(), full.size()), full.begin());
    return bytes::GetText(full, 0, kComputerBlockSize / 2);
}

UserBlock EncodeUserBlock(std::wstring_view user) {
    UserBlock block{};
    bytes::PutText(block, 0, kUserBlockSize / 2, user);
    return block;
}

std::wstring DecodeUserBlock(std::span<const uint8_t> block) {
    UserBlock full{};
    std::copy_n(block.begin(), std::min(block.size(), full.size()), full.begin());
    return bytes::GetText(full, 0, kUserBlockSize / 2);
}

}  // namespace pm
