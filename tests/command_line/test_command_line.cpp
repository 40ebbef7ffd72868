// --help and --version before Qt starts, and the private runtime folder of the tools.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line/command_line.h"

namespace {

using kinetra::command_line::AnswerInformationOptions;

struct Answer {
    bool answered = false;
    int exitCode = -1;
    std::string text;
};

Answer Ask(std::vector<std::string> args, bool withHelp = true) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string help = "HELP TEXT\n";
    std::FILE* out = std::tmpfile();
    Answer answer;
    answer.answered = AnswerInformationOptions(static_cast<int>(args.size()), argv.data(), "prog",
                                               withHelp ? &help : nullptr, out, &answer.exitCode);
    std::rewind(out);
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out) != nullptr) answer.text += buffer;
    std::fclose(out);
    return answer;
}

TEST(InformationOptions, VersionIsTheProjectVersion) {
    const Answer a = Ask({"prog", "--version"});
    EXPECT_TRUE(a.answered);
    EXPECT_EQ(a.exitCode, 0);
    EXPECT_EQ(a.text, "prog 0.2.0\n");
}

TEST(InformationOptions, HelpAnywhereBeforeTheEndOfOptions) {
    const Answer late = Ask({"prog", "-platform", "offscreen", "-h"});
    EXPECT_TRUE(late.answered);
    EXPECT_EQ(late.text, "HELP TEXT\n");
    const Answer afterEnd = Ask({"prog", "--", "--help", "--version"});
    EXPECT_FALSE(afterEnd.answered);
    EXPECT_EQ(afterEnd.exitCode, -1);
    EXPECT_EQ(afterEnd.text, "");
}

TEST(InformationOptions, OtherArgumentsAreLeftAlone) {
    EXPECT_FALSE(Ask({"prog"}).answered);
    EXPECT_FALSE(Ask({"prog", "--versions", "-help", "song.wav"}).answered);
    // A caller that answers --help itself gets only --version answered.
    EXPECT_FALSE(Ask({"prog", "--help"}, false).answered);
    EXPECT_TRUE(Ask({"prog", "--help", "--version"}, false).answered);
}

TEST(InformationOptions, KinetraHelpNamesTheOptionsAndTheDeviceVariables) {
    const std::string help = kinetra::command_line::KinetraHelpText();
    for (const char* part : {"--help", "--version", "KINETRA_AUDIO_INPUT", "monitor",
                             "KINETRA_FORCE_DEVICE", "virtual"}) {
        EXPECT_NE(help.find(part), std::string::npos) << part;
    }
}

TEST(RuntimeDirectory, MadePrivateOnlyWhenTheSessionHasNone) {
    ::setenv("XDG_RUNTIME_DIR", "/run/user/somebody", 1);
    EXPECT_EQ(kinetra::command_line::EnsureRuntimeDirectory(), "");
    EXPECT_STREQ(std::getenv("XDG_RUNTIME_DIR"), "/run/user/somebody");

    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string made = kinetra::command_line::EnsureRuntimeDirectory();
    ASSERT_FALSE(made.empty());
    EXPECT_STREQ(std::getenv("XDG_RUNTIME_DIR"), made.c_str());
    struct stat info {};
    ASSERT_EQ(::stat(made.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);  // Qt refuses a runtime folder others can read
}

}  // namespace
