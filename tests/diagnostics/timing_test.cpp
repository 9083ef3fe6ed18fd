// Timed sections: nesting and the line format.
#include "diagnostics/diagnostics_local.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

TEST(TimedSections, NestedSectionsPrintInnerFirstAndRestoreTheTop)
{
    testing::internal::CaptureStderr();
    TimedSection* outer = beginTimedSection("outer");
    TimedSection* inner = beginTimedSection("inner");
    EXPECT_EQ(timedSectionTop, inner);
    EXPECT_EQ(inner->outer, outer);
    endTimedSection(inner);
    EXPECT_EQ(timedSectionTop, outer);
    endTimedSection(outer);
    EXPECT_EQ(timedSectionTop, nullptr);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(
        log, std::regex("inner in [0-9]+\\.[0-9]{4}s\nouter in [0-9]+\\.[0-9]{4}s\n")))
        << log;
}

TEST(TimedSections, ReportsElapsedSecondsToTheMillisecond)
{
    testing::internal::CaptureStderr();
    TimedSection* s = beginTimedSection("precalc");
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    endTimedSection(s);
    std::string log = testing::internal::GetCapturedStderr();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(log, m, std::regex("precalc in ([0-9]+\\.[0-9]{4})s\n"))) << log;
    double seconds = std::stod(m[1]);
    EXPECT_GE(seconds, 0.119);
    EXPECT_LT(seconds, 0.5);
    // The clock counts whole milliseconds: the fourth decimal is always 0.
    EXPECT_EQ(m[1].str().back(), '0');
}
