// The audio-input choice: its parser, the default read from the environment, what the engine
// opens when a choice is set, and the backend table that selection walks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/capture_engine.h"
#include "capture/memory_source.h"
#include "engine_fixture.h"
#include "support/debug_capture.h"
#include "support/scoped_env.h"
#include "support/stderr_capture.h"

namespace cap = kinetra::capture;
using cap::AudioBackendChoice;
using cap::AudioInputKind;

namespace {

using Variable = kinetra::test::ScopedEnv;

std::unique_ptr<cap::MemorySource> Source(const char* name) {
    std::string error;
    auto source = cap::MemorySource::Create(name, &error);
    EXPECT_NE(source, nullptr) << error;
    return source;
}

cap::AudioInputChoice Parsed(const char* input, const char* backend) {
    cap::AudioInputChoice choice;
    std::string error;
    EXPECT_TRUE(cap::ParseAudioInputChoice(input, backend, &choice, &error)) << error;
    return choice;
}

}  // namespace

TEST(AudioInputChoice, ParsesEveryInputAndBackendForm) {
    struct Case {
        const char* input;
        const char* backend;
        AudioInputKind kind;
        const char* value;
        bool sdlOnly;
        AudioBackendChoice chosenBackend;
        const char* binary = "";
    };
    using K = AudioInputKind;
    using B = AudioBackendChoice;
    const Case cases[] = {
        {"", "", K::kDefault, "", false, B::kAuto},
        {"default", "pulse", K::kDefault, "", false, B::kPulse},
        {"monitor", "sdl", K::kMonitor, "", false, B::kSdl},
        {"sdl:Mic 2", "pulse", K::kNamed, "Mic 2", true, B::kPulse},
        {"sdl:", "", K::kDefault, "", true, B::kAuto},
        {"file:/a b.wav", "", K::kFile, "/a b.wav", false, B::kAuto},
        {"take.flac", "sdl", K::kFile, "take.flac", false, B::kSdl},
        {"memory:trace-1", "", K::kMemory, "trace-1", false, B::kAuto},
        // The prefix decides before the file endings do.
        {"memory:song.wav", "pulse", K::kMemory, "song.wav", false, B::kPulse},
        {"Built-in Audio", "", K::kNamed, "Built-in Audio", false, B::kAuto},
        // A sound server's source whose name alone would read as another input.
        {"pulse:monitor", "", K::kNamed, "monitor", false, B::kAuto},
        {"pulse:out/1.wav", "pulse", K::kNamed, "out/1.wav", false, B::kPulse},
        {"pulse:", "", K::kDefault, "", false, B::kAuto},
        // One application, by its name; a binary after the last '|' breaks ties.
        {"app:Firefox", "", K::kApplication, "Firefox", false, B::kAuto},
        {"app:Game/1.wav|game", "sdl", K::kApplication, "Game/1.wav", false, B::kSdl, "game"},
        {"app:A|B|", "", K::kApplication, "A|B", false, B::kAuto},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " / " + c.backend);
        cap::AudioInputChoice choice;
        std::string error;
        ASSERT_TRUE(cap::ParseAudioInputChoice(c.input, c.backend, &choice, &error)) << error;
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_EQ(choice.value, c.value);
        EXPECT_EQ(choice.sdlOnly, c.sdlOnly);
        EXPECT_EQ(choice.backend, c.chosenBackend);
        EXPECT_EQ(choice.binary, c.binary);
    }
}

TEST(AudioInputChoice, RejectsMalformedTextsAndLeavesTheDefault) {
    struct Case {
        const char* input;
        const char* backend;
        const char* named;  // what the message quotes
    };
    const Case cases[] = {
        {"default", "alsa", "\"alsa\""}, {"file:/a.wav", "PULSE", "\"PULSE\""},
        {"monitor", " sdl", "\" sdl\""}, {"monitor", "auto", "\"auto\""},
        {"memory:", "", "memory:"},      {"memory:", "sdl", "memory:"},
        {"app:|game", "", "app:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " / " + c.backend);
        cap::AudioInputChoice choice;
        choice.kind = AudioInputKind::kFile;
        choice.value = "left over";
        std::string error;
        EXPECT_FALSE(cap::ParseAudioInputChoice(c.input, c.backend, &choice, &error));
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_EQ(choice.kind, AudioInputKind::kDefault);
        EXPECT_EQ(choice.value, "");
        EXPECT_EQ(choice.backend, AudioBackendChoice::kAuto);
    }
}

TEST(AudioInputChoice, TheDefaultReadsBothVariables) {
    cap::AudioInputChoice choice;
    std::string error;
    {
        Variable input("KINETRA_AUDIO_INPUT", nullptr);
        Variable backend("KINETRA_AUDIO_BACKEND", nullptr);
        ASSERT_TRUE(cap::DefaultAudioInputChoice(&choice, &error));
        EXPECT_EQ(choice.kind, AudioInputKind::kDefault);
        EXPECT_EQ(choice.backend, AudioBackendChoice::kAuto);
    }
    {
        Variable input("KINETRA_AUDIO_INPUT", "sdl:Line In");
        Variable backend("KINETRA_AUDIO_BACKEND", "pulse");
        ASSERT_TRUE(cap::DefaultAudioInputChoice(&choice, &error));
        EXPECT_EQ(choice.kind, AudioInputKind::kNamed);
        EXPECT_EQ(choice.value, "Line In");
        EXPECT_TRUE(choice.sdlOnly);
        EXPECT_EQ(choice.backend, AudioBackendChoice::kPulse);
    }
    {
        Variable input("KINETRA_AUDIO_INPUT", "monitor");
        Variable backend("KINETRA_AUDIO_BACKEND", "jack");
        EXPECT_FALSE(cap::DefaultAudioInputChoice(&choice, &error));
        EXPECT_EQ(error, "KINETRA_AUDIO_BACKEND must be pulse or sdl, not \"jack\"");
    }
    {
        // "default" is a choice of its own (the system's default capture device); unset and
        // empty leave the choice to the program.
        Variable backend("KINETRA_AUDIO_BACKEND", nullptr);
        for (const char* value : {"default", "", static_cast<const char*>(nullptr)}) {
            Variable input("KINETRA_AUDIO_INPUT", value);
            SCOPED_TRACE(value != nullptr ? value : "(unset)");
            ASSERT_TRUE(cap::DefaultAudioInputChoice(&choice, &error));
            EXPECT_EQ(choice.kind, AudioInputKind::kDefault);
            EXPECT_EQ(cap::AudioInputChosenByEnvironment(), value != nullptr && *value != '\0');
        }
    }
    Variable input("KINETRA_AUDIO_INPUT", "memory:");
    Variable backend("KINETRA_AUDIO_BACKEND", nullptr);
    EXPECT_FALSE(cap::DefaultAudioInputChoice(&choice, &error));
    EXPECT_EQ(error.rfind("KINETRA_AUDIO_INPUT=\"memory:\" is not valid: ", 0), 0u) << error;
}

// Which source the engine opens: an id set by SetDeviceGuid, else the choice set by
// SetAudioInput, else the default from the environment.
TEST(AudioInputChoice, TheEngineOpensTheSetChoiceBeforeTheDefault) {
    auto fromVariable = Source("from-variable");
    auto fromChoice = Source("from-choice");
    Variable input("KINETRA_AUDIO_INPUT", "memory:from-variable");
    {
        CCaptureEngine engine;
        engine.Init(nullptr);
        ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
        EXPECT_TRUE(fromVariable->IsCapturing());
        EXPECT_FALSE(fromChoice->IsCapturing());
        engine.Shutdown();
    }
    {
        CCaptureEngine engine;
        engine.SetAudioInput(Parsed("memory:from-choice", ""));
        engine.Init(nullptr);
        ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
        EXPECT_FALSE(fromVariable->IsCapturing());
        EXPECT_TRUE(fromChoice->IsCapturing());
        engine.Shutdown();
    }
    CCaptureEngine engine;
    engine.SetAudioInput(Parsed("memory:from-choice", ""));
    engine.SetDeviceGuid("memory:from-variable");
    engine.Init(nullptr);
    ASSERT_EQ(engine.OpenCaptureBuffer(13), cap::kOk);
    EXPECT_TRUE(fromVariable->IsCapturing());
    EXPECT_FALSE(fromChoice->IsCapturing());
    engine.Shutdown();
    EXPECT_FALSE(fromVariable->IsCapturing());
}

TEST(AudioInputChoice, AMalformedDefaultFailsInitWithItsReason) {
    Variable input("KINETRA_AUDIO_INPUT", "memory:anything");
    Variable backend("KINETRA_AUDIO_BACKEND", "alsa");
    kinetra::test::DebugCapture debug;
    kinetra::test::RecordingReporter reporter;
    {
        kinetra::test::StderrCapture quiet;
        CCaptureEngine engine;
        engine.Init(&reporter);
        engine.Shutdown();
    }
    ASSERT_EQ(reporter.texts.size(), 1u);
    EXPECT_EQ(reporter.texts[0], "Could not initialize DirectSound.");
    EXPECT_EQ(debug.Count("Audio input: KINETRA_AUDIO_BACKEND must be pulse or sdl, not "
                          "\"alsa\"\n"),
              1);

    // A choice set by the program does not look at the variables at all.
    auto source = Source("anything");
    CCaptureEngine engine;
    engine.SetAudioInput(source->Choice());
    kinetra::test::RecordingReporter none;
    engine.Init(&none);
    EXPECT_TRUE(none.texts.empty());
    engine.Shutdown();
}

TEST(CaptureBackendTable, RowsServeTheirOwnChoicesInOrder) {
    std::set<std::string> names;
    for (const cap::CaptureBackend* row : cap::CaptureBackends()) {
        EXPECT_TRUE(names.insert(row->name).second) << row->name;
        EXPECT_EQ(cap::FindCaptureBackend(row->name), row);
    }
    EXPECT_EQ(names, (std::set<std::string>{"file", "memory", "pulse", "sdl"}));
    EXPECT_EQ(cap::FindCaptureBackend("alsa"), nullptr);

    // The rows that serve each choice, in the order selection tries them.
    struct Case {
        const char* input;
        const char* backend;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"", "", {"pulse", "sdl"}},
        {"monitor", "pulse", {"pulse"}},
        {"Mic", "sdl", {"sdl"}},
        {"sdl:Mic", "", {"sdl"}},
        {"sdl:Mic", "pulse", {"sdl"}},  // SDL's own names are SDL's whatever the backend
        {"file:/a.wav", "pulse", {"file"}},
        {"memory:m", "sdl", {"memory"}},
        {"app:Game", "sdl", {"pulse"}},  // PulseAudio alone hears one application, or says why
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " / " + c.backend);
        const cap::AudioInputChoice choice = Parsed(c.input, c.backend);
        std::vector<std::string> serving;
        for (const cap::CaptureBackend* row : cap::CaptureBackends()) {
            if (row->serves(choice)) serving.emplace_back(row->name);
        }
        EXPECT_EQ(serving, c.rows);
    }
}

TEST(CaptureBackendTable, EveryRowOpensOrRefusesCleanly) {
    // No sound server and SDL's silent driver: nothing here may reach real hardware.
    Variable server("PULSE_SERVER", "unix:/nonexistent/kinetra-test-socket");
    Variable driver("SDL_AUDIODRIVER", "dummy");
    auto source = Source("table");
    kinetra::test::DebugCapture debug;
    kinetra::test::StderrCapture quiet;
    for (const cap::CaptureBackend* row : cap::CaptureBackends()) {
        SCOPED_TRACE(row->name);
        const std::string name = row->name;
        const char* input = name == "file"     ? "file:/nonexistent/kinetra.wav"
                            : name == "memory" ? "memory:no-such-source"
                                               : "";
        const cap::AudioInputChoice choice = Parsed(input, name == "sdl" ? "sdl" : "");
        ASSERT_TRUE(row->serves(choice));
        std::unique_ptr<cap::ICaptureDevice> device;
        const cap::Result result = row->open(choice, false, &device);
        if (result == cap::kOk) {
            EXPECT_NE(device, nullptr);
        } else {
            EXPECT_EQ(device, nullptr);
        }
        if (name == "file" || name == "memory" || name == "pulse") {
            EXPECT_EQ(result, cap::kNoDriver);  // none of them exists here
        }
        if (row->list != nullptr) row->list();  // lists without failing
    }
    std::unique_ptr<cap::ICaptureDevice> device;
    EXPECT_EQ(cap::FindCaptureBackend("memory")->open(source->Choice(), false, &device), cap::kOk);
    EXPECT_NE(device, nullptr);
    // Each refusal said why.
    int reasons = 0;
    for (const std::string& line : debug.Lines()) reasons += line.rfind("Audio input: ", 0) == 0;
    EXPECT_GE(reasons, 3);
}
