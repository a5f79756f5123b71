#include "splitting/stages.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <sstream>

#include "common/ending.h"
#include "common/globals.h"
#include "series/shape.h"
#include "splitting/compose.h"
#include "support/process.h"

namespace {

TEST(Stages, TheWholeMapIsTheOneOfAllTermsWithItsBFromTheFiles)
{
    scratch_dir dir;
    std::filesystem::create_directory(dir / "pi");
    int fd = open((dir / "pi").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    fix_run(3000, dir / "pi", fd);
    std::ostringstream console;
    std::streambuf* shown = std::cout.rdbuf(console.rdbuf());
    stage_digests digests;
    unsigned long m = term_count(3000);
    affine A = g(m, &digests);
    std::cout.rdbuf(shown);
    // g leaves stage 1's b; with stage 2's it makes the map of all terms, which
    // may differ from A by a common factor.
    EXPECT_EQ(A.b, stage_b(1, digests));
    affine whole;
    compose_series(whole, 0, m + 1, 4);
    EXPECT_EQ(A.a * whole.c, whole.a * A.c);
    EXPECT_EQ(composed_b(digests) * whole.c, whole.b * A.c);
    // A file changed since the stage wrote it is refused, not multiplied.
    digests[1][1] ^= 1;
    EXPECT_THROW(composed_b(digests), failure);
    EXPECT_THROW(stage_b(2, digests), failure);
    close(fd);
}

} // namespace
