// Runs every input of one harness's corpus through the harness; the harness aborts on a
// broken check, and the sanitizer builds catch the rest.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// One test per harness, named after it.
#define MUB_REPLAY_TEST(harness) TEST(FuzzCorpus, harness)

MUB_REPLAY_TEST(MUB_FUZZ_HARNESS)
{
    const std::filesystem::path dir = MUB_FUZZ_CORPUS;
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}
