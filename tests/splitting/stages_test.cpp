#include "splitting/stages.h"

#include <gtest/gtest.h>

#include "series/shape.h"
#include "splitting/compose.h"
#include "splitting/primitive.h"
#include "support/process.h"

namespace {

// x as mpz_out_raw writes it.
std::string raw(const mpz_class& x)
{
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    mpz_out_raw(out, x.get_mpz_t());
    std::fclose(out);
    std::string r(text, size);
    std::free(text);
    return r;
}

TEST(Stages, CheckpointFilesHoldTheStageMapsOfThePlainPath)
{
    // m = 2, 3, 5, 52; stage 1 is term 0 alone below m = 4.
    scratch_dir dir;
    for (unsigned long n : {0ul, 567ul, 1000ul, 10000ul}) {
        ASSERT_EQ(run_pidecimals(dir.path, {std::to_string(n)}).status, 0);
        for (int k : {1, 2}) {
            term_range r = stage_range(k, term_count(n));
            affine stage;
            compose(stage, f, r.lo, r.hi, 4);
            std::string prefix = dir / ("pi/etape" + std::to_string(k) + "_" + std::to_string(n) + "_");
            EXPECT_EQ(read_file(prefix + "a"), raw(stage.a)) << n;
            EXPECT_EQ(read_file(prefix + "b"), raw(stage.b)) << n;
            EXPECT_EQ(read_file(prefix + "c"), raw(stage.c)) << n;
        }
    }
}

} // namespace
