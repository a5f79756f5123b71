#include "common/threads.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(Threads, TheFirstErrorComesBackAfterBothEnded)
{
    // Here's error first when both fail; the other side always ends.
    for (auto [here_fails, there_fails] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        bool there_ended = false;
        std::string caught;
        try {
            both([&] { if (here_fails) throw std::runtime_error("here"); },
                 [&] {
                     there_ended = true;
                     if (there_fails)
                         throw std::runtime_error("there");
                 });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        EXPECT_TRUE(there_ended);
        EXPECT_EQ(caught, here_fails ? "here" : there_fails ? "there" : "");
    }
}

} // namespace
