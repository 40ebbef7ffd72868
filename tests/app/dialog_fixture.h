// A main window brought up on the virtual force device with a scripted audio input.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTest>
#include <cmath>
#include <memory>

#include "analysis/band_mapper.h"
#include "app/vibrel_dlg.h"
#include "app_test_support.h"
#include "force/virtual_device.h"
#include "settings/qsettings_store.h"
#include "support/scripted_capture.h"

namespace kinetra::test {

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override { ClearStoredSettings(); }
    void TearDown() override {
        if (m_dlg) m_dlg->OnDestroy();
        m_dlg.reset();
        ClearStoredSettings();
    }

    // Creates the window and runs its start-up; shows it when start-up succeeded.
    bool Start(const char* forceDevice = "virtual") {
        m_device.reset();
        m_device = std::make_unique<ScopedEnv>("KINETRA_FORCE_DEVICE", forceDevice);
        m_dlg = std::make_unique<CVibrelDlg>();
        auto script = m_script;
        m_dlg->CaptureForSetup().SetDeviceOpener(
            [script](const std::string& id, std::unique_ptr<kinetra::capture::ICaptureDevice>* d) {
                return script->Open(id, d);
            });
        m_dlg->CaptureForSetup().SetDeviceEnumerator([] {
            return std::vector<kinetra::capture::CaptureDeviceInfo>{{"", "scripted input"}};
        });
        const bool started = m_dlg->OnInitDialog();
        if (started) {
            m_dlg->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
        }
        return started;
    }

    // Captures one silent block and waits until every effect has been updated from it.
    void FeedOneBlock() {
        const std::vector<std::int16_t> silence(1024, 0);
        const auto updatesBefore = kinetra::force::GetVirtualDeviceSnapshot().updates;
        m_script->Append(silence.data(), static_cast<std::uint32_t>(silence.size()));
        int effects = 0;
        for (int band = 1; band <= 5; ++band) effects += m_dlg->Mapper(band) != nullptr ? 1 : 0;
        EXPECT_TRUE(WaitUntil([&] {
            return kinetra::force::GetVirtualDeviceSnapshot().updates >=
                   updatesBefore + static_cast<std::uint64_t>(effects);
        }));
    }

    // Stores positions as a previous run would have.
    static void Store(const char* name, int value) {
        auto key = kinetra::settings::OpenSettingsKey();
        kinetra::settings::WriteStoredInt(*key, name, value);
        kinetra::settings::SyncSettingsKey(*key);
    }
    static int Stored(const char* name) {
        auto key = kinetra::settings::OpenSettingsKey();
        return kinetra::settings::ReadStoredInt(*key, name, -12345);
    }

    // e^(position / 5), integer division, in long double.
    static double ExpectedThreshold(int position) {
        return static_cast<double>(std::exp(static_cast<long double>(position / 5)));
    }
    void ExpectThreshold(int band, int position) {
        ASSERT_NE(m_dlg->Mapper(band), nullptr);
        EXPECT_NEAR(m_dlg->Mapper(band)->Threshold(), ExpectedThreshold(position),
                    ExpectedThreshold(position) * 1e-12)
            << "band " << band << " position " << position;
    }
    int Pos(int band) const { return m_dlg->LevelSlider(band)->value(); }

    void Key(int band, Qt::Key key, int times = 1) {
        CSliderCtrl* slider = m_dlg->LevelSlider(band);
        slider->setFocus();
        for (int i = 0; i < times; ++i) QTest::keyClick(slider, key);
    }
    void Click(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, box->rect().center());
    }

    std::shared_ptr<kinetra::capture::ScriptedCapture> m_script =
        kinetra::capture::ScriptedCapture::Create();
    std::unique_ptr<ScopedEnv> m_device;
    MessageBoxRecorder m_boxes;
    UrlRecorder m_urls;
    std::unique_ptr<CVibrelDlg> m_dlg;
};

}  // namespace kinetra::test
