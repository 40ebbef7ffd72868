// What the program takes from outside and must not be misled by: a settings file with a line
// continuation, and refused values of KINETRA_QUIT_AFTER_MS.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/services.h"
#include "app/vibrel_app.h"
#include "app/vibrel_dlg.h"
#include "app_test_support.h"
#include "settings/qsettings_store.h"
#include "support/stderr_capture.h"

namespace {

using kinetra::settings::WithoutLineContinuations;

void WriteSettingsFile(const QByteArray& text) {
    const QString path = kinetra::test::SettingsFilePath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

TEST(SettingsFileContinuations, AValueEndingInABackslashLosesNothingAndIsReportedOnce) {
    kinetra::test::ClearStoredSettings();
    WriteSettingsFile("[General]\nthreshold1=30\\\nthreshold2=35\nunrelated=kept\ngain=60\n");
    std::string said;
    {
        kinetra::test::StderrCapture err;
        for (int load = 0; load < 2; ++load) {
            const auto key = kinetra::settings::OpenSettingsKey();
            EXPECT_EQ(kinetra::settings::ReadThreshold(*key, "threshold1"), 30);
            EXPECT_EQ(kinetra::settings::ReadThreshold(*key, "threshold2"), 35);
            EXPECT_EQ(key->value("unrelated").toString(), "kept");
            EXPECT_EQ(kinetra::settings::ReadGain(*key, "gain"), 60);
        }
        said = err.Text();
    }
    const std::string line = "ended in a backslash";
    ASSERT_NE(said.find(line), std::string::npos) << said;
    EXPECT_EQ(said.find(line), said.rfind(line)) << "said once: " << said;
    EXPECT_NE(said.find("line 2 of"), std::string::npos) << said;
    kinetra::test::ClearStoredSettings();
}

TEST(SettingsFileContinuations, OnlyAnOddRunOfBackslashesAtALineEndIsOne) {
    const struct {
        QByteArray text, expected;
        std::vector<int> lines;
    } cases[] = {
        {"a=1\\\nb=2\n", "a=1\nb=2\n", {1}},
        {"a=1\\\\\nb=2\n", "a=1\\\\\nb=2\n", {}},  // an escaped backslash
        {"a=1\\\\\\\r\nb=2\r\n", "a=1\\\\\r\nb=2\r\n", {1}},
        {"; note\\\nb=2\n", "; note\\\nb=2\n", {}},  // comments do not continue
        {"[General]\nx=\\\ny=\\", "[General]\nx=\ny=", {2, 3}},
        {"a=\\\rb=2\rc=3\\", "a=\rb=2\rc=3", {1, 3}},  // '\r' alone ends a line too
        {"", "", {}},
    };
    for (const auto& c : cases) {
        std::vector<int> lines;
        EXPECT_EQ(WithoutLineContinuations(c.text, &lines), c.expected) << c.text.constData();
        EXPECT_EQ(lines, c.lines) << c.text.constData();
    }
}

// A serialised Qt value carries its own lengths; a damaged one asked for 30 GB when the file was
// read. Such values are kept as the text they show, wherever they stand on their line.
TEST(SettingsFileVariants, SerialisedValuesAreKeptAsText) {
    const struct {
        QByteArray text, expected;
        std::vector<int> lines;
    } cases[] = {
        {"v=@Variant(\\0)\n", "v=@@Variant(\\0)\n", {1}},
        {"[General]\r\nv = \"@Variant(x)\"\r\nw=1\r\n",
         "[General]\r\nv = \"@@Variant(x)\"\r\nw=1\r\n",
         {2}},
        {"v=@@Variant(x)\nw=@ByteArray(x)\n; c=@Variant(x)\n",
         "v=@@Variant(x)\nw=@ByteArray(x)\n; c=@Variant(x)\n",
         {}},
        {"a=1\nv=@Variant(", "a=1\nv=@@Variant(", {2}},
        {"", "", {}},
    };
    for (const auto& c : cases) {
        std::vector<int> lines;
        EXPECT_EQ(kinetra::settings::WithoutStoredVariants(c.text, &lines), c.expected)
            << c.text.constData();
        EXPECT_EQ(lines, c.lines) << c.text.constData();
    }
    // The file the fuzzer found, through the store's own opening: the values around it are read.
    QTemporaryDir dir;
    const QString path = dir.filePath("v.ini");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromBase64(
            "W0dlbmVyYWxdCnRocmVzaG9sZDE9MzBcCnRocmVzaG9sZDJiLCBjCnY9QFZhcmlhbnQoXDBcMFwwXHQ3Zl"
            "wwXDBcMFx4MThRVmFyaWFudE1hcFwwXDBcMFwwKQo="));
    }
    kinetra::test::StderrCapture err;
    EXPECT_TRUE(kinetra::settings::RepairSettingsFile(path));
    const QSettings key(path, QSettings::IniFormat);
    EXPECT_EQ(kinetra::settings::ReadThreshold(key, "threshold1"), 30);
    EXPECT_TRUE(key.value("v").toString().startsWith("@Variant("));
    EXPECT_NE(err.Text().find("kept as plain text"), std::string::npos) << err.Text();
}

TEST(SettingsFileContinuations, TextWrittenThroughTheStoreNeverEndsInOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("w.ini");
    {
        QSettings key(path, QSettings::IniFormat);
        key.setValue("folder", QStringLiteral("C:\\"));
        key.setValue("list", QStringList{"a\\", "b\\"});
        kinetra::settings::WriteStoredInt(key, "threshold1", 25);
        ASSERT_TRUE(kinetra::settings::SyncSettingsKey(key));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<int> lines;
    WithoutLineContinuations(file.readAll(), &lines);
    EXPECT_TRUE(lines.empty());
    QSettings key(path, QSettings::IniFormat);
    EXPECT_EQ(key.value("folder").toString(), QStringLiteral("C:\\"));
    EXPECT_EQ(kinetra::settings::ReadThreshold(key, "threshold1"), 25);
}

TEST(QuitAfterSetting, RefusedValuesEndTheProgramWithExitTwoAndALine) {
    for (const char* value : {"abc", "", "1e3", "99999999999", "2147483648", "-1", "-2147483549"}) {
        kinetra::test::ScopedEnv quit("KINETRA_QUIT_AFTER_MS", value);
        int ms = 7;
        std::string error;
        EXPECT_FALSE(kinetra::app::ReadQuitAfterMs(&ms, &error)) << value;
        EXPECT_EQ(error.rfind("KINETRA_QUIT_AFTER_MS: ", 0), 0u) << error;
        std::string said;
        int code = 0;
        {
            kinetra::test::StderrCapture err;
            CVibrelApp app;
            code = app.InitInstance();
            said = err.Text();
        }
        EXPECT_EQ(code, 2) << value;
        EXPECT_EQ(said, "kinetra: " + error + "\n");
    }
    const struct {
        const char* value;
        int ms;
    } good[] = {{nullptr, -1}, {"0", 0}, {"1500", 1500}, {"2147483647", 2147483647}};
    for (const auto& g : good) {
        kinetra::test::ScopedEnv quit("KINETRA_QUIT_AFTER_MS", g.value);
        int ms = 7;
        std::string error;
        EXPECT_TRUE(kinetra::app::ReadQuitAfterMs(&ms, &error));
        EXPECT_EQ(ms, g.ms);
    }
}

TEST(ForceDeviceFailures, EveryFailedStartSaysWhyOnStandardError) {
    const QString sound = kinetra::app::FindDataFile("test.wav");
    ASSERT_FALSE(sound.isEmpty());
    kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", sound.toLocal8Bit().constData());
    kinetra::test::ScopedEnv debug("KINETRA_DEBUG", nullptr);
    kinetra::test::ScopedEnv quit("KINETRA_QUIT_AFTER_MS", "2000");  // should one start after all
    const struct {
        const char* device;
        const char* says;
        bool box;
    } cases[] = {
        {"none", "Force device: no force device", true},
        {"virtual,fail=open", "Force device: the virtual device cannot be opened", true},
        {"virtual,effects=0", "Force device: the device refused a new effect", true},
        // Bands 2 to 4 fail without a box, but not without a word.
        {"virtual,effects=2", "Force device: no effect for band 3", false},
    };
    for (const auto& c : cases) {
        kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", c.device);
        kinetra::test::MessageBoxRecorder boxes;
        std::string said;
        int code = 0;
        {
            kinetra::test::StderrCapture err;
            CVibrelDlg dlg;
            code = dlg.DoModal();
            said = err.Text();
        }
        EXPECT_EQ(code, 1) << c.device;
        const std::size_t at = said.find(c.says);
        EXPECT_NE(at, std::string::npos) << c.device << ": " << said;
        EXPECT_EQ(said.find(c.says, at + 1), std::string::npos) << "said twice: " << said;
        ASSERT_EQ(boxes.Boxes().size(), c.box ? 1u : 0u) << c.device;
        if (c.box) {
            // The box says the same reason below its first line.
            const std::string reason = std::string(c.says).substr(std::strlen("Force device: "));
            EXPECT_EQ(boxes.Boxes()[0].detail.toStdString().rfind("Why: " + reason, 0), 0u)
                << boxes.Boxes()[0].detail.toStdString();
        }
    }
    kinetra::test::ClearStoredSettings();
}

}  // namespace
