// The registry store (Windows): what it writes is read back in the next opening, the six values
// of a previous version are REG_DWORD and read as such, a value of another type or a missing
// one is no number, and a removed group or value is gone.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "settings/registry_store.h"

namespace {

using kinetra::settings::RegistryStore;

// A key of its own under HKEY_CURRENT_USER, removed before and after.
class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSubkey); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSubkey); }
    static DWORD TypeOf(const char* value) {
        DWORD type = REG_NONE;
        RegGetValueA(HKEY_CURRENT_USER, kSubkey, value, RRF_RT_ANY, &type, nullptr, nullptr);
        return type;
    }
    static constexpr const char* kSubkey = "Software\\Ondrel Corporation\\Kinetra Test Store";
    RegistryStore m_store{kSubkey};
};

TEST_F(RegistryStoreTest, WhatIsWrittenIsReadBackInTheNextOpening) {
    {
        auto key = m_store.Open();
        ASSERT_TRUE(key->Writable());
        for (const char* name :
             {"threshold1", "threshold2", "threshold3", "threshold4", "threshold5", "gain"}) {
            key->WriteInt(name, name[0] == 'g' ? 37 : -2147483647 - 1);
        }
        key->WriteText("input", "file:C:/M\u00fcsik/beat.wav");
        key->WriteInt("presets/Late \u266a %2F/gain", 55);
        EXPECT_TRUE(key->Commit());
    }
    auto key = m_store.Open();
    EXPECT_EQ(key->ReadInt("threshold5"), -2147483647 - 1);
    EXPECT_EQ(key->ReadInt("gain"), 37);
    for (const char* name : {"threshold1", "gain"}) EXPECT_EQ(TypeOf(name), DWORD{REG_DWORD});
    EXPECT_EQ(key->ReadText("input"), "file:C:/M\u00fcsik/beat.wav");
    EXPECT_EQ(key->Groups("presets"), std::vector<std::string>{"Late \u266a %2F"});
    EXPECT_EQ(key->ReadInt("presets/Late \u266a %2F/gain"), 55);
    EXPECT_EQ(key->ReadInt("mode"), std::nullopt);
    EXPECT_TRUE(key->Groups("none").empty());
}

// A preset's removal takes its whole subkey, and only it; a value goes alone.
TEST_F(RegistryStoreTest, RemoveTakesAGroupWithAllItHoldsOrOneValue) {
    {
        auto key = m_store.Open();
        key->WriteInt("presets/Late/gain", 55);
        key->WriteInt("presets/Late/deeper/threshold1", 1);
        key->WriteInt("presets/Early/gain", 44);
        key->WriteInt("threshold1", 30);
        key->WriteInt("threshold2", 31);
        ASSERT_TRUE(key->Commit());
    }
    {
        auto key = m_store.Open();
        EXPECT_TRUE(key->Remove("presets/Late"));
        EXPECT_TRUE(key->Remove("threshold1"));
        EXPECT_TRUE(key->Remove("presets/Gone"));
        EXPECT_TRUE(key->Commit());
    }
    auto key = m_store.Open();
    EXPECT_EQ(key->Groups("presets"), std::vector<std::string>{"Early"});
    EXPECT_EQ(key->ReadInt("presets/Early/gain"), 44);
    EXPECT_EQ(key->ReadInt("threshold1"), std::nullopt);
    EXPECT_EQ(key->ReadInt("threshold2"), 31);
}

TEST_F(RegistryStoreTest, AValueOfAnotherTypeIsNoNumber) {
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSubkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    const DWORD earlier = 250;  // as an earlier version wrote it
    RegSetValueExA(raw, "threshold1", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&earlier), 4);
    RegSetValueExA(raw, "threshold2", 0, REG_SZ, reinterpret_cast<const BYTE*>("30"), 3);
    RegCloseKey(raw);
    auto key = m_store.Open();
    EXPECT_EQ(kinetra::settings::ReadThreshold(*key, "threshold1"), 250);
    EXPECT_EQ(kinetra::settings::ReadThreshold(*key, "threshold2"), 20);
    EXPECT_EQ(key->ReadText("threshold1"), std::nullopt);
}

}  // namespace
