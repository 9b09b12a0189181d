// Random inputs through the fuzz entry: a bounded, repeatable run in every build.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace pm {
namespace {

TEST(FuzzSmoke, RandomInputsOfEverySizeDecodeWithoutFault) {
    std::mt19937 random(20261208);  // fixed seed: the same run every time
    std::vector<uint8_t> input;
    for (int round = 0; round < 3000; ++round) {
        const size_t size = round < 1700 ? size_t(round) : random() % 24000;
        input.resize(size);
        for (auto& b : input)
            b = uint8_t(random());
        // Half the runs use bytes that decode to extreme doubles and full flags.
        if (round % 2) {
            for (size_t i = 0; i < input.size(); i += 7)
                input[i] = 0xFF;
        }
        ASSERT_EQ(LLVMFuzzerTestOneInput(input.data(), input.size()), 0) << "size " << size;
    }
}

}  // namespace
}  // namespace pm
