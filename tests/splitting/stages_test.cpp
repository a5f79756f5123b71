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
#include "support/process.h"

namespace {

TEST(Stages, TheStagesBIsFormedAgainFromTheirFiles)
{
    scratch_dir dir;
    std::filesystem::create_directory(dir / "pi");
    int fd = open((dir / "pi").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    fix_run(3000, dir / "pi", fd);
    std::ostringstream console;
    std::streambuf* shown = std::cout.rdbuf(console.rdbuf());
    stage_digests digests;
    affine A = g(term_count(3000), &digests);
    std::cout.rdbuf(shown);
    EXPECT_EQ(composed_b(digests), A.b);
    // A file changed since the stage wrote it is refused, not multiplied.
    digests[1][1] ^= 1;
    EXPECT_THROW(composed_b(digests), failure);
    close(fd);
}

} // namespace
