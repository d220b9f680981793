// Tests of the support library: zlib wrapper, allocation, text buffer, number
// conversion, random generator, atomic files and the error report.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <zlib.h>

#include "process.h"
#include "support/atomic_file.h"
#include "support/error.h"
#include "support/mem.h"
#include "support/numparse.h"
#include "support/random.h"
#include "support/zpack.h"

TEST(Zpack, SizesResultCodesAndRoundTrip)
{
    ZSETLEVEL(9);
    std::string data(1000, 'a');
    ZPACK pack{};
    ASSERT_EQ(ZCOMPRESS(data.data(), 1000, pack), Z_OK);
    EXPECT_EQ(pack.BSIZE, 1013);  // 1000 * 1.001 truncated, plus 12
    EXPECT_GT(pack.CSIZE, 0);
    EXPECT_LT(pack.CSIZE, 100);

    uint8_t* out = nullptr;
    int32_t len = 1000;
    ASSERT_EQ(ZUNCOMPRESS(out, len, pack.BUFFER, pack.CSIZE), Z_OK);
    EXPECT_EQ(len, 1000);
    EXPECT_EQ(std::memcmp(out, data.data(), 1000), 0);
    mem_release(out);

    // Expected length too small: buffer error, the whole block filled.
    len = 10;
    EXPECT_EQ(ZUNCOMPRESS(out, len, pack.BUFFER, pack.CSIZE), Z_BUF_ERROR);
    EXPECT_EQ(len, 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 10), std::string(10, 'a'));
    mem_release(out);

    // Corrupt input: data error.
    std::string junk = "this is no zlib stream";
    len = 100;
    EXPECT_EQ(ZUNCOMPRESS(out, len, junk.data(), static_cast<int32_t>(junk.size())), Z_DATA_ERROR);
    mem_release(out);
    mem_release(pack.BUFFER);
}

TEST(Zpack, EmptyInputLevelZeroAndBadLevel)
{
    ZPACK pack{};
    ASSERT_EQ(ZCOMPRESS("", 0, pack), Z_OK);
    EXPECT_EQ(pack.BSIZE, 12);
    EXPECT_GT(pack.CSIZE, 0);
    mem_release(pack.BUFFER);

    ZSETLEVEL(0);  // stored blocks: output larger than input
    std::string data(500, 'x');
    ASSERT_EQ(ZCOMPRESS(data.data(), 500, pack), Z_OK);
    EXPECT_GT(pack.CSIZE, 500);
    mem_release(pack.BUFFER);

    ZSETLEVEL(42);
    EXPECT_EQ(ZCOMPRESS(data.data(), 500, pack), Z_STREAM_ERROR);
    mem_release(pack.BUFFER);
    ZSETLEVEL(9);
}

TEST(Mem, FreeClearsReferenceAndFailuresAreFatal)
{
    void* block = MEM_GET(16, "test block");
    ASSERT_NE(block, nullptr);
    MEM_FREE(block);
    EXPECT_EQ(block, nullptr);
    MEM_FREE(block);  // a second free passes nullptr to the heap: harmless
    EXPECT_EQ(block, nullptr);

    EXPECT_THROW(MEM_GET(-1, "negative"), fatal_error);
    int32_t* cleared = mem_array<int32_t>(1000, "cleared");
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(cleared[i], 0);
    mem_free_array(cleared);
    EXPECT_EQ(cleared, nullptr);
    EXPECT_THROW(mem_array<double>(-5, "negative count"), fatal_error);
    EXPECT_THROW(mem_array<double>(INT64_MAX / 2, "huge"), fatal_error);
    try {
        mem_array<double>(INT64_MAX / 4, "vertex vectors");
        FAIL();
    } catch (const fatal_error& e) {
        EXPECT_NE(std::string(e.what()).find("vertex vectors"), std::string::npos);
    }
}

TEST(Passtr, SharedBufferWithZeroByte)
{
    char* a = PASSTR("");
    EXPECT_EQ(a[0], 0);
    char* first = PASSTR("first");
    char* second = PASSTR("second");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "second");
    EXPECT_EQ(PASSTR(std::string(513, 'x')), nullptr);
    char* full = PASSTR(std::string(512, 'y'));  // cut so the zero byte stays inside
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(std::strlen(full), 511u);
}

TEST(Numparse, IntegersWithPrefixesAndFloats)
{
    int32_t v = 0;
    EXPECT_TRUE(numparse_int("42", v)); EXPECT_EQ(v, 42);
    EXPECT_TRUE(numparse_int("-42", v)); EXPECT_EQ(v, -42);
    EXPECT_TRUE(numparse_int("+7", v)); EXPECT_EQ(v, 7);
    EXPECT_TRUE(numparse_int("$1F", v)); EXPECT_EQ(v, 31);
    EXPECT_TRUE(numparse_int("0x10", v)); EXPECT_EQ(v, 16);
    EXPECT_TRUE(numparse_int("%101", v)); EXPECT_EQ(v, 5);
    EXPECT_TRUE(numparse_int("&17", v)); EXPECT_EQ(v, 15);
    EXPECT_TRUE(numparse_int(" \t12", v)); EXPECT_EQ(v, 12);
    EXPECT_TRUE(numparse_int("$FFFFFFFF", v)); EXPECT_EQ(v, -1);
    EXPECT_TRUE(numparse_int("-2147483648", v)); EXPECT_EQ(v, INT32_MIN);
    for (const char* bad : {"", "12 ", "1.5", "x", "2147483648", "$", "0x", "%2", "&8", "--1", "12a"})
        EXPECT_FALSE(numparse_int(bad, v)) << bad;

    float f = 0;
    EXPECT_TRUE(numparse_float("45", f)); EXPECT_EQ(f, 45.0f);
    EXPECT_TRUE(numparse_float("-1.25", f)); EXPECT_EQ(f, -1.25f);
    EXPECT_TRUE(numparse_float("1e3", f)); EXPECT_EQ(f, 1000.0f);
    EXPECT_TRUE(numparse_float("2.5E-1", f)); EXPECT_EQ(f, 0.25f);
    EXPECT_TRUE(numparse_float(" 0.5", f)); EXPECT_EQ(f, 0.5f);
    EXPECT_TRUE(numparse_float(".5", f)); EXPECT_EQ(f, 0.5f);
    for (const char* bad : {"", "45.5xyz", "1 ", "e5", "1e", "nan", "inf", "-", "."})
        EXPECT_FALSE(numparse_float(bad, f)) << bad;
    EXPECT_EQ(numparse_float_or_zero("45.5xyz"), 0.0f);
    EXPECT_EQ(numparse_int_or_zero("x"), 0);
}

TEST(Random, RangeAndReproducibility)
{
    random_seed(1234);
    std::vector<uint32_t> first;
    for (int i = 0; i < 100; ++i)
        first.push_back(random_int(50));
    random_seed(1234);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(random_int(50), first[i]);
    EXPECT_EQ(random_int(0), 0u);
    bool seen_low = false, seen_high = false;
    for (int i = 0; i < 10000; ++i) {
        uint32_t r = random_int(10);
        ASSERT_LT(r, 10u);
        seen_low |= r == 0;
        seen_high |= r == 9;
    }
    EXPECT_TRUE(seen_low && seen_high);
    // A saved state put back gives the same draws again, across a ring wrap
    // (312 words) and a jump-ahead.
    random_seed(77);
    random_skip(100);
    random_saved saved = random_save();
    std::vector<uint32_t> draws;
    for (int i = 0; i < 1000; ++i)
        draws.push_back(random_int(1u << 31));
    random_jump(5000000);
    random_restore(saved);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(random_int(1u << 31), draws[static_cast<size_t>(i)]) << i;
}

// random_int(2^32) gives the top 32 bits of the engine's next output.
static uint32_t random_top32()
{
    return random_int(0xFFFFFFFFu) ;
}

TEST(Random, SequenceOfMt19937_64AndSkipsLikeDraws)
{
    // The same sequence as the standard engine, the 10000th output included.
    for (uint64_t seed : {1ull, 5489ull, 0x123456789abcdefull}) {
        std::mt19937_64 ref(seed);
        random_seed(seed);
        for (int i = 0; i < 2000; ++i) {
            uint64_t r = ref() >> 32;
            ASSERT_EQ(random_int(1000003), static_cast<uint32_t>((r * 1000003) >> 32)) << seed << " " << i;
        }
    }
    random_seed(5489);
    for (int i = 0; i < 9999; ++i)
        random_int(7);
    std::mt19937_64 check;
    check.discard(9999);
    EXPECT_EQ(check(), 9981545732273789042ull);
    EXPECT_EQ(random_top32(), static_cast<uint32_t>(((9981545732273789042ull >> 32) * 0xFFFFFFFFull) >> 32));

    // Skipping n draws, by the plain loop or the jump ahead, leaves the
    // generator where n draws leave it, across the 312-word ring's edges.
    for (uint64_t n : {0ull, 1ull, 311ull, 312ull, 313ull, 1000ull, 77777ull, 5000000ull}) {
        std::mt19937_64 ref(99);
        ref.discard(n + 5);  // five draws before the skip
        for (int path = 0; path < 2; ++path) {
            random_seed(99);
            for (int i = 0; i < 5; ++i)
                random_int(3);
            if (path == 0)
                random_skip(n);
            else
                random_jump(n);
            std::mt19937_64 after = ref;
            for (int i = 0; i < 700; ++i)
                ASSERT_EQ(random_top32(), static_cast<uint32_t>(((after() >> 32) * 0xFFFFFFFFull) >> 32))
                    << n << " path " << path << " draw " << i;
        }
    }
}

TEST(AtomicFile, CommitReplacesAndFailureKeepsOldFile)
{
    std::string dir = test_temp_dir("atomic");
    std::string path = dir + "/out.txt";
    write_file(path, "old");
    {
        atomic_file f(path);
        f.write("new content");
        // not committed: the old file stays
    }
    EXPECT_EQ(read_file(path), "old");
    {
        atomic_file f(path);
        f.write("new content");
        f.commit();
    }
    EXPECT_EQ(read_file(path), "new content");
    size_t entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir))
        (void)e, ++entries;
    EXPECT_EQ(entries, 1u);  // no temporary left behind
    EXPECT_THROW(atomic_file(dir + "/no/such/folder/file"), fatal_error);

    // Names of 246 to 255 bytes, the longest a folder entry can have: the
    // temporary name must not grow them past the limit.
    for (size_t len : {246u, 250u, 255u}) {
        std::string name = dir + "/" + std::string(len, 'n');
        atomic_file f(name);
        f.write("long");
        f.commit();
        EXPECT_EQ(read_file(name), "long") << len;
    }
    // A name without a folder lands in the working folder.
    std::string here = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    {
        atomic_file f(std::string(255, 'h'));
        f.write("here");
        f.commit();
    }
    std::filesystem::current_path(here);
    EXPECT_EQ(read_file(dir + "/" + std::string(255, 'h')), "here");
}

TEST(ErrorReport, CapturedAndCutTo255)
{
    error_report_capture capture;
    ERROR_REPORT("Chunk size corruption !");
    ERROR_REPORT(std::string(300, 'z'));
    ASSERT_EQ(capture.messages().size(), 2u);
    EXPECT_TRUE(capture.contains("Chunk size corruption !"));
    EXPECT_EQ(capture.messages()[1].size(), 255u);
}

TEST(ErrorReport, DefaultGoesToStderrAsOneLine)
{
    testing::internal::CaptureStderr();
    ERROR_REPORT("File (x.kst) not found.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kestrel: File (x.kst) not found.\n");
}
