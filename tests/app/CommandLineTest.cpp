// The program's command line: what it reads, and the real program asked
// for help, its version or with a wrong argument, with no display at all.
#include "app/CommandLine.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::Quote;
using testing_support::Run;

namespace {

using Action = CommandLine::Action;

// The real program with every way to a display removed.
testing_support::CommandResult Lumora(const std::string& arguments) {
    return Run("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quote(LUMORA_PROGRAM) +
               " " + arguments);
}

} // namespace

TEST(CommandLine, ReadsOneFileHelpVersionAndRefusesTheRest) {
    EXPECT_EQ(parseCommandLine({}).action, Action::Run);
    EXPECT_TRUE(parseCommandLine({}).file.isEmpty());
    const CommandLine photo = parseCommandLine({"photo.jpg"});
    EXPECT_EQ(photo.action, Action::Run);
    EXPECT_EQ(photo.file, "photo.jpg");
    // "--" lets a file name start with a dash; a lone "-" is a name too.
    EXPECT_EQ(parseCommandLine({"--", "-odd.jpg"}).file, "-odd.jpg");
    EXPECT_EQ(parseCommandLine({"-"}).file, "-");

    for (const char* help : {"-h", "--help"})
        EXPECT_EQ(parseCommandLine({help}).action, Action::Help) << help;
    for (const char* version : {"-v", "--version"})
        EXPECT_EQ(parseCommandLine({"photo.jpg", version}).action, Action::Version) << version;
    EXPECT_EQ(parseCommandLine({"--help", "--version"}).action, Action::Help);

    const CommandLine unknown = parseCommandLine({"--frobnicate"});
    EXPECT_EQ(unknown.action, Action::UsageError);
    EXPECT_TRUE(unknown.error.contains("--frobnicate"));
    EXPECT_EQ(parseCommandLine({"a.jpg", "b.jpg"}).action, Action::UsageError);
}

TEST(CommandLine, TheProgramPrintsHelpAndVersionWithoutADisplayAndExitsTwoOnMisuse) {
    const auto help = Lumora("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output.rfind("Usage: lumora [OPTION]... [FILE]\n", 0), 0u) << help.output;
    EXPECT_NE(help.output.find("--version"), std::string::npos);

    const auto version = Lumora("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "Lumora " LUMORA_VERSION "\n");

    const auto misuse = Lumora("--frobnicate");
    EXPECT_EQ(misuse.exitCode, 2);
    EXPECT_TRUE(misuse.output.empty()) << "messages go to standard error";
    EXPECT_EQ(Lumora("a.jpg b.jpg").exitCode, 2);
    // A file but no display: the one-line refusal, not Qt's abort.
    EXPECT_EQ(Lumora("photo.jpg").exitCode, 1);
}
