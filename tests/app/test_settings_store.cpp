// The settings store: reading stored positions (good, missing and bad values), writing them, and
// a store that cannot be read or written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "app_test_support.h"
#include "settings/qsettings_store.h"

namespace {

using kinetra::settings::ReadGain;
using kinetra::settings::ReadStoredInt;
using kinetra::settings::ReadThreshold;

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { kinetra::test::ClearStoredSettings(); }
    void TearDown() override { kinetra::test::ClearStoredSettings(); }

    // An INI file of its own for each test, so that nothing is read from a cache.
    std::unique_ptr<QSettings> IniWith(const QByteArray& text) {
        const QString path = m_dir.filePath(QString("store-%1.ini").arg(m_files++));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

TEST_F(SettingsStore, WholeNumbersInThirtyTwoBitsAreRead) {
    auto key = IniWith(
        "[General]\nthreshold1=0\nthreshold2=100\nthreshold3=-5\nthreshold4=2147483647\n"
        "threshold5=-2147483648\ngain=250\n");
    EXPECT_EQ(ReadThreshold(*key, "threshold1"), 0);
    EXPECT_EQ(ReadThreshold(*key, "threshold2"), 100);
    EXPECT_EQ(ReadThreshold(*key, "threshold3"), -5);
    EXPECT_EQ(ReadThreshold(*key, "threshold4"), 2147483647);
    EXPECT_EQ(ReadThreshold(*key, "threshold5"), -2147483647 - 1);
    EXPECT_EQ(ReadGain(*key, "gain"), 250);  // out of the sliders' range: they limit it later
}

TEST_F(SettingsStore, MissingValuesTakeTheirDefaults) {
    auto key = IniWith("[General]\nthreshold2=33\n");
    EXPECT_EQ(ReadThreshold(*key, "threshold1"), 20);
    EXPECT_EQ(ReadThreshold(*key, "threshold2"), 33);
    EXPECT_EQ(ReadGain(*key, "gain"), 100);
}

TEST_F(SettingsStore, ModeIsClassicUnlessStoredAsHits) {
    EXPECT_EQ(kinetra::settings::ReadMode(*IniWith("[General]\nmode=1\n")), 1);
    for (const char* text : {"[General]\n", "[General]\nmode=0\n", "[General]\nmode=2\n",
                             "[General]\nmode=hits\n", "[General]\nmode=-1\n"}) {
        EXPECT_EQ(kinetra::settings::ReadMode(*IniWith(text)), 0) << text;
    }
}

TEST_F(SettingsStore, BadValuesTakeTheirDefaultsAndLeaveTheOthers) {
    auto key = IniWith(
        "[General]\n"
        "threshold1=99999999999\n"  // does not fit in 32 bits (toInt would wrap it)
        "threshold2=2147483648\n"   // one past the largest
        "threshold3=abc\n"
        "threshold4=12abc\n"
        "threshold5=20.5\n"
        "gain=0x10\n"
        "a=\n"
        "b=1,2\n"
        "c=-2147483649\n"
        "d=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x18QVariantMap\\0\\0\\0\\0)\n"
        "e=77\n");
    for (const char* name : {"threshold1", "threshold2", "threshold3", "threshold4", "threshold5",
                             "a", "b", "c", "d"}) {
        EXPECT_EQ(ReadThreshold(*key, name), 20) << name;
    }
    EXPECT_EQ(ReadGain(*key, "gain"), 100);
    EXPECT_EQ(ReadStoredInt(*key, "e", -1), 77);
}

TEST_F(SettingsStore, ValuesWrittenAreReadBackInTheNextSession) {
    {
        auto key = kinetra::settings::OpenSettingsKey();
        for (int band = 1; band <= 5; ++band) {
            kinetra::settings::WriteStoredInt(*key, kinetra::settings::ThresholdValueName(band),
                                              band * 11);
        }
        kinetra::settings::WriteStoredInt(*key, kinetra::settings::kGainValueName, 42);
        EXPECT_TRUE(kinetra::settings::SyncSettingsKey(*key));
    }
    QFile file(kinetra::test::SettingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("threshold1=11")) << text.constData();
    EXPECT_TRUE(text.contains("threshold5=55")) << text.constData();
    EXPECT_TRUE(text.contains("gain=42")) << text.constData();

    auto key = kinetra::settings::OpenSettingsKey();
    for (int band = 1; band <= 5; ++band) {
        EXPECT_EQ(ReadThreshold(*key, kinetra::settings::ThresholdValueName(band)), band * 11);
    }
    EXPECT_EQ(ReadGain(*key, "gain"), 42);
}

TEST_F(SettingsStore, StoredGainIsTheStrengthFromTheTop) {
    using kinetra::settings::StoredGainForStrengthPosition;
    using kinetra::settings::StrengthPositionForStoredGain;
    EXPECT_EQ(StrengthPositionForStoredGain(100), 0);  // full strength: slider at the top
    EXPECT_EQ(StrengthPositionForStoredGain(0), 100);
    EXPECT_EQ(StrengthPositionForStoredGain(37), 63);
    EXPECT_EQ(StrengthPositionForStoredGain(150), -1);  // beyond the top: the slider limits it
    EXPECT_EQ(StrengthPositionForStoredGain(-2147483647 - 1), 101);
    EXPECT_EQ(StrengthPositionForStoredGain(2147483647), -1);
    EXPECT_EQ(StoredGainForStrengthPosition(0), 100);
    EXPECT_EQ(StoredGainForStrengthPosition(100), 0);
    EXPECT_EQ(StoredGainForStrengthPosition(63), 37);
}

TEST_F(SettingsStore, ValueNamesAreNumberedFromOne) {
    EXPECT_STREQ(kinetra::settings::ThresholdValueName(1), "threshold1");
    EXPECT_STREQ(kinetra::settings::ThresholdValueName(5), "threshold5");
    EXPECT_STREQ(kinetra::settings::ThresholdValueName(0), "");
    EXPECT_STREQ(kinetra::settings::ThresholdValueName(6), "");
    EXPECT_STREQ(kinetra::settings::kGainValueName, "gain");
}

TEST_F(SettingsStore, AStoreThatIsAFolderGivesDefaultsAndRefusesToSave) {
    // A folder where the file should be: it can be neither read nor written.
    const QString path = m_dir.filePath("folder.ini");
    ASSERT_TRUE(QDir().mkpath(path));
    QSettings key(path, QSettings::IniFormat);
    EXPECT_EQ(ReadThreshold(key, "threshold1"), 20);
    EXPECT_EQ(ReadGain(key, "gain"), 100);
    kinetra::settings::WriteStoredInt(key, "threshold1", 5);
    EXPECT_FALSE(kinetra::settings::SyncSettingsKey(key));
    EXPECT_TRUE(QFileInfo(path).isDir());
}

}  // namespace
