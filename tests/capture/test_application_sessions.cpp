// Hearing one application on Windows, the rules apart from the system: an audio session's
// process and executable as an application, and which process a choice hears as sessions come
// and go (the application restarted, a second session of the same name, a pause).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/windows/application_sessions.h"

namespace cap = kinetra::capture;

TEST(ApplicationSessions, ASessionIsNamedByItsDisplayNameElseItsExecutable) {
    struct Case {
        const char* displayName;
        const char* imagePath;
        bool active;
        const char* name;
        const char* binary;
    };
    const Case cases[] = {
        {"", "C:\\Program Files\\Game\\Game.EXE", true, "Game", "Game.EXE"},
        {"Music Player", "C:\\Apps\\player.exe", false, "Music Player", "player.exe"},
        // An unresolved resource reference is no name for people.
        {"@%SystemRoot%\\System32\\AudioSrv.Dll,-202", "C:\\Windows\\explorer.exe", true,
         "explorer", "explorer.exe"},
        {"", "D:\\tools\\playexe", true, "playexe", "playexe"},
        {"", "", true, "process 4242", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.imagePath);
        const cap::AudioApplicationInfo app =
            cap::ApplicationOfSession(4242, c.displayName, c.imagePath, c.active);
        EXPECT_EQ(app.name, c.name);
        EXPECT_EQ(app.binary, c.binary);
        EXPECT_EQ(app.sinkInput, 4242u);
        EXPECT_EQ(app.corked, !c.active);
    }
}

TEST(ApplicationSessions, TheChoiceFollowsTheApplicationFromProcessToProcess) {
    const cap::AudioApplicationInfo other = cap::ApplicationOfSession(200, "", "C:\\v.exe", true);
    const cap::AudioApplicationInfo first =
        cap::ApplicationOfSession(300, "", "C:\\game.exe", true);
    const cap::AudioApplicationInfo second =
        cap::ApplicationOfSession(400, "", "C:\\game.exe", true);
    cap::AudioApplicationInfo firstPaused = first;
    firstPaused.corked = true;
    struct Case {
        const char* what;
        std::vector<cap::AudioApplicationInfo> sessions;
        std::uint32_t heard;
        std::uint32_t processId;
        bool waiting;
    };
    const Case cases[] = {
        {"restarted", {other, second}, 300, 400, false},
        {"second session", {first, second}, 300, 300, false},
        {"heard one paused", {firstPaused, second}, 300, 400, false},
        {"only paused", {other, firstPaused}, cap::kNoSinkInput, 300, true},
        {"gone", {other}, 300, cap::kNoSinkInput, true},
    };
    const cap::AudioInputChoice choice = cap::ParseAudioInput("app:game|game.exe");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const cap::ApplicationTarget target =
            cap::NextApplicationTarget(choice, c.sessions, c.heard);
        EXPECT_EQ(target.processId, c.processId);
        EXPECT_EQ(target.name, "game");
        EXPECT_EQ(target.waiting, c.waiting);
    }
}
