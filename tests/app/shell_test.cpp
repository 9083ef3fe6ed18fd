// The shell: power-of-two sizes, extension matching, the clamp-mode choice, the names of OpenGL
// errors and the command line of the real program.
#include "app/app_local.h"
#include "render/gl.h"
#include "support/support.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

TEST(NextPowerOfTwo, RoundsUpWithinTheTable)
{
    EXPECT_EQ(nextPowerOfTwo(1), 0);
    EXPECT_EQ(nextPowerOfTwo(2), 2);
    EXPECT_EQ(nextPowerOfTwo(256), 256);
    EXPECT_EQ(nextPowerOfTwo(300), 512);
    EXPECT_EQ(nextPowerOfTwo(512), 512);
    EXPECT_EQ(nextPowerOfTwo(65536), 65536);
    EXPECT_EQ(nextPowerOfTwo(70000), 0);
}

TEST(HasExtension, MatchesWholeWordsOnly)
{
    const char* list = "GL_ARB_multitexture GL_ARB_texture_env_combine GL_EXT_last";
    EXPECT_EQ(hasExtensionIn(list, "GL_ARB_multitexture"), 1);
    EXPECT_EQ(hasExtensionIn(list, "GL_ARB_texture_env"), 0);   // a prefix is not a match
    EXPECT_EQ(hasExtensionIn(list, "GL_EXT_last"), 1);          // no trailing space
    EXPECT_EQ(hasExtensionIn(list, "GL_EXT_las"), 0);
    EXPECT_EQ(hasExtensionIn(list, "multitexture"), 0);
    EXPECT_EQ(hasExtensionIn(nullptr, "GL_EXT_last"), 0);
    EXPECT_EQ(hasExtensionIn(list, nullptr), 0);
    EXPECT_EQ(hasExtensionIn("", "GL_EXT_last"), 0);
    EXPECT_EQ(hasExtensionIn("A  B ", "B"), 1);
}

TEST(ClampMode, FollowsTheGLVersion)
{
    EXPECT_EQ(clampModeForVersion("1.1.0 Vendor"), (uint32_t)GL_CLAMP);
    EXPECT_EQ(clampModeForVersion("1.2.1"), (uint32_t)GL_CLAMP_TO_EDGE);
    EXPECT_EQ(clampModeForVersion("2.0"), (uint32_t)GL_CLAMP_TO_EDGE);
    EXPECT_EQ(clampModeForVersion("garbage"), (uint32_t)GL_CLAMP);
    EXPECT_EQ(clampModeForVersion(nullptr), (uint32_t)GL_CLAMP);
}

TEST(CommandLine, HelpListsEveryOptionAndVersionIsOneLine)
{
    ProcessResult help = runOrvanti({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--help", "--version", "--no-setup", "--mode", "--windowed", "--fullscreen", "--loop",
          "--vsync", "--no-vsync", "--data", "--start", "--mute", "--capture", "--fps", "--from",
          "--to", "--contact-sheet", "--benchmark", "--overwrite"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    ProcessResult version = runOrvanti({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("orvanti ", 0), 0u);
    EXPECT_EQ(version.out.find('\n'), version.out.size() - 1);
}

// Every malformed value ends the program with status 2 and one line that names it, before any
// window or precalculation.
TEST(CommandLine, UsageErrorsExitWithStatus2AndNameTheValue)
{
    struct Case {
        std::vector<std::string> args;
        const char* named;
    } cases[] = {
        {{"--no-such-option"}, "--no-such-option"},
        {{"--mode", "320x200"}, "320x200"},
        {{"--mode", "640by480"}, "640by480"},
        {{"--mode", "511x256"}, "511x256"},
        {{"--mode", "512x255"}, "512x255"},
        {{"--mode", "x480"}, "x480"},
        {{"--mode", "640x"}, "640x"},
        {{"--mode", "640x480x2"}, "640x480x2"},
        {{"--mode", "-640x480"}, "-640x480"},
        {{"--mode", "99999999999x480"}, "99999999999x480"},
        {{"--fps", "fast"}, "fast"},
        {{"--fps", "0"}, "0"},
        {{"--fps", "-30"}, "-30"},
        {{"--fps", "nan"}, "nan"},
        {{"--fps", "1e999"}, "1e999"},
        {{"--fps", ""}, "--fps"},
        {{"--start", "1.2.3"}, "1.2.3"},
        {{"--start", "inf"}, "inf"},
        {{"--start", "-1e40"}, "-1e40"},
        {{"--from", "abc"}, "abc"},
        {{"--from", "-20000"}, "-20000"},
        {{"--to", "1,5"}, "1,5"},
        {{"--to", "1e300"}, "1e300"},
        {{"--from", "20", "--to", "10"}, "--from"},
        {{"--data"}, "--data"},
        {{"--windowed=1"}, "--windowed=1"},
        {{"-h"}, "-h"},
        {{"--capture", ""}, "--capture"},
    };
    for (const Case& c : cases) {
        ProcessResult r = runOrvanti(c.args, 20);
        EXPECT_EQ(r.status, 2) << c.named;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
}

TEST(CommandLine, MissingDataEndsWithStatus1AndNamesTheFile)
{
    ProcessResult r =
        runOrvanti({"--no-setup", "--windowed", "--mute", "--data", "/nonexistent"}, 60);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("/nonexistent/"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not found"), std::string::npos) << r.err;
}

TEST(CommandLine, WithoutADisplayForTheDialogTheShowGoesOn)
{
    // No dialog can open, so start-up carries on with the defaults as far as the first data
    // file, rather than ending as Exit would.
    ProcessResult r = runOrvanti({"--mute", "--data", "/nonexistent"}, 60, {"DISPLAY="});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("/nonexistent/"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not found"), std::string::npos) << r.err;
}

TEST(CheckGLError, NamesThePendingErrorAndEndsWithStatus1)
{
    // Each case opens its own context in a fresh process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ensureGLContext();
    checkGLError();   // nothing pending: goes on
    struct Case {
        void (*provoke)();
        const char* name;
    } cases[] = {
        {[] { glEnable(0x7fff); }, "GL_INVALID_ENUM"},
        {[] { glViewport(0, 0, -1, -1); }, "GL_INVALID_VALUE"},
        {[] { glEnd(); }, "GL_INVALID_OPERATION"},
        {[] { glPopMatrix(); }, "GL_STACK_UNDERFLOW"},
        {[] {
             for (int i = 0; i < 256; i++)
                 glPushMatrix();
         },
         "GL_STACK_OVERFLOW"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(
            {
                ensureGLContext();
                glMatrixMode(GL_MODELVIEW);
                c.provoke();
                checkGLError();
            },
            testing::ExitedWithCode(1), std::string("error: ") + c.name + "\n")
            << c.name;
}
