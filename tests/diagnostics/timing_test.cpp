// Timed sections: nesting and the line format.
#include "diagnostics/diagnostics_local.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

// Nested sections print the inner first and restore the top; each line gives the elapsed seconds
// to the millisecond.
TEST(TimedSections, NestInnerFirstAndReportElapsedMilliseconds)
{
    testing::internal::CaptureStderr();
    TimedSection* outer = beginTimedSection("outer");
    TimedSection* inner = beginTimedSection("inner");
    EXPECT_EQ(timedSectionTop, inner);
    EXPECT_EQ(inner->outer, outer);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    endTimedSection(inner);
    EXPECT_EQ(timedSectionTop, outer);
    endTimedSection(outer);
    EXPECT_EQ(timedSectionTop, nullptr);
    std::string log = testing::internal::GetCapturedStderr();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        log, m, std::regex("inner in ([0-9]+\\.[0-9]{4})s\nouter in [0-9]+\\.[0-9]{4}s\n")))
        << log;
    double seconds = std::stod(m[1]);
    EXPECT_GE(seconds, 0.119);
    EXPECT_LT(seconds, 0.5);
    EXPECT_EQ(m[1].str().back(), '0');   // whole milliseconds: the fourth decimal is 0

    // --quiet: still nested, but nothing written.
    setTimingLog(false);
    testing::internal::CaptureStderr();
    endTimedSection(beginTimedSection("quiet"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(timedSectionTop, nullptr);
    setTimingLog(true);
}
