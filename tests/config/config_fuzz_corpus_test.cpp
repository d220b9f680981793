// The configuration reader's fuzz corpus, run as an ordinary test: every seed
// goes through the fuzz target's own entry point (included below), which
// applies it to a small scene and checks that written files read back as
// themselves. A crash or a failed check ends the test binary.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/config_reader_fuzz.cpp"
#include "process.h"

TEST(ConfigFuzzCorpus, EverySeedRuns)
{
    const std::filesystem::path corpus =
        std::filesystem::path(QIV_SOURCE_DIR) / "fuzz" / "corpus" / "config_reader";
    error_report_capture quiet;
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::string bytes = read_file(entry.path().string());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
        ++seeds;
    }
    EXPECT_GE(seeds, 10);
}
