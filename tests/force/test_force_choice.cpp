// Which device an open uses: the choice set by the program, else KINETRA_FORCE_DEVICE; and the
// backend table every open walks.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "force/backends/backend_table.h"
#include "force/device_choice.h"
#include "force/ond_library.h"
#include "force/virtual_device.h"
#include "force_env.h"
#include "support/stderr_capture.h"

using kinetra::force::ClearForceDeviceChoice;
using kinetra::force::CurrentForceDeviceChoice;
using kinetra::force::DefaultForceDeviceChoice;
using kinetra::force::ForceDeviceChoice;
using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::force::ParseForceDeviceChoice;
using kinetra::force::SetForceDeviceChoice;
using kinetra::test::ForceDeviceVariable;

namespace {

ForceDeviceChoice Virtual(const char* text) {
    ForceDeviceChoice choice;
    std::string error;
    EXPECT_TRUE(ParseForceDeviceChoice(text, &choice, &error)) << error;
    return choice;
}

// The product name of a device opened now, or "" when the open fails.
std::string OpenedName() {
    COndMouse device;
    if (device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true) != 1) return {};
    char name[256] = {};
    device.GetProductName(name, sizeof name);
    return name;
}

// Leaves no choice set behind, whatever a test did.
class ForceChoiceTest : public ::testing::Test {
protected:
    void TearDown() override { ClearForceDeviceChoice(); }
};

}  // namespace

TEST_F(ForceChoiceTest, TheSetChoiceWinsOverTheVariableUntilCleared) {
    ForceDeviceVariable variable("virtual:From The Variable");
    EXPECT_EQ(OpenedName(), "From The Variable");

    SetForceDeviceChoice(Virtual("virtual:Set By The Program"));
    EXPECT_EQ(OpenedName(), "Set By The Program");
    ForceDeviceChoice current;
    std::string error;
    ASSERT_TRUE(CurrentForceDeviceChoice(&current, &error));
    EXPECT_EQ(current.virtualName, "Set By The Program");
    // The default stays what the variable says.
    ASSERT_TRUE(DefaultForceDeviceChoice(&current, &error));
    EXPECT_EQ(current.virtualName, "From The Variable");

    ClearForceDeviceChoice();
    EXPECT_EQ(OpenedName(), "From The Variable");
}

TEST_F(ForceChoiceTest, ASetChoiceOpensEvenWhenTheVariableIsMalformedOrNone) {
    {
        ForceDeviceVariable variable("none");
        EXPECT_EQ(OpenedName(), "");
        SetForceDeviceChoice(Virtual("virtual"));
        EXPECT_EQ(OpenedName(), "Kinetra Virtual Mouse");
        ClearForceDeviceChoice();
    }
    ForceDeviceVariable variable("virtual,effects=many");
    SetForceDeviceChoice(Virtual("virtual:Chosen"));
    kinetra::test::StderrCapture err;
    EXPECT_EQ(OpenedName(), "Chosen");
    EXPECT_EQ(err.Text(), "");  // the variable was not even looked at
}

TEST_F(ForceChoiceTest, SettingNoneMeansNoDevice) {
    ForceDeviceVariable variable("virtual");
    SetForceDeviceChoice(Virtual("none"));
    EXPECT_EQ(OpenedName(), "");
    EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 0);
}

TEST_F(ForceChoiceTest, TheDefaultReadsTheVariable) {
    ForceDeviceChoice choice;
    std::string error;
    {
        ForceDeviceVariable unset(nullptr);
        ASSERT_TRUE(DefaultForceDeviceChoice(&choice, &error));
        EXPECT_EQ(choice.kind, ForceDeviceChoice::Kind::Sdl);
        EXPECT_EQ(choice.sdlIndex, -1);
    }
    {
        ForceDeviceVariable set("sdl:3");
        ASSERT_TRUE(DefaultForceDeviceChoice(&choice, &error));
        EXPECT_EQ(choice.sdlIndex, 3);
    }
    ForceDeviceVariable bad("virtual,effects=17");
    EXPECT_FALSE(DefaultForceDeviceChoice(&choice, &error));
    EXPECT_EQ(error.rfind("KINETRA_FORCE_DEVICE=\"virtual,effects=17\" is not valid: ", 0), 0u)
        << error;
    EXPECT_EQ(choice.effectLimit, 16);  // reset, not half parsed
}

TEST(ForceDeviceText, OnlyTheViewedCharactersAreRead) {
    // A view into a longer text: what follows it must not be parsed.
    const std::string text = "virtual:Short,effects=2xyz";
    ForceDeviceChoice choice;
    std::string error;
    ASSERT_TRUE(ParseForceDeviceChoice(std::string_view(text).substr(0, 23), &choice, &error))
        << error;
    EXPECT_EQ(choice.virtualName, "Short");
    EXPECT_EQ(choice.effectLimit, 2);
    EXPECT_FALSE(ParseForceDeviceChoice(std::string_view(text).substr(0, 24), &choice, &error));
    ASSERT_TRUE(ParseForceDeviceChoice(std::string_view("sdl:12", 5), &choice, &error));
    EXPECT_EQ(choice.sdlIndex, 1);
}

TEST(ForceBackendTable, EveryRowIsFoundByNameAndOpensOrRefusesCleanly) {
    using kinetra::force::FindForceBackend;
    using kinetra::force::ForceBackends;
    std::set<std::string> names;
    std::set<ForceDeviceChoice::Kind> kinds;
    for (const kinetra::force::ForceBackend* row : ForceBackends()) {
        SCOPED_TRACE(row->name);
        EXPECT_TRUE(names.insert(row->name).second) << "two rows share a name";
        EXPECT_TRUE(kinds.insert(row->kind).second) << "two rows share a kind";
        EXPECT_EQ(FindForceBackend(row->name), row);
        // The row's own device text selects it.
        ForceDeviceChoice choice;
        std::string error;
        ASSERT_TRUE(ParseForceDeviceChoice(row->name, &choice, &error)) << error;
        EXPECT_EQ(choice.kind, row->kind);
        const auto backend = kinetra::force::OpenForceBackend(choice, true, &error);
        if (backend == nullptr) {
            EXPECT_FALSE(error.empty());
        } else {
            EXPECT_NE(backend->ProductName(), nullptr);
            EXPECT_GT(backend->MaxLevel(), 0);
        }
    }
    EXPECT_TRUE(names.contains("virtual"));  // beside each system's own (sdl on Linux)
    EXPECT_EQ(FindForceBackend("none"), nullptr);
    EXPECT_EQ(FindForceBackend("Virtual"), nullptr);

    // The virtual device always opens; no row serves "none".
    std::string error;
    EXPECT_NE(kinetra::force::OpenForceBackend(Virtual("virtual"), true, &error), nullptr);
    EXPECT_EQ(kinetra::force::OpenForceBackend(Virtual("none"), true, &error), nullptr);
    EXPECT_EQ(error, "no force device (KINETRA_FORCE_DEVICE=none)");
}
