// Presets and "Feel each band" from the window's menu: a preset sets the six positions and the
// mappers follow as after moving the sliders; a saved preset comes back; each band's effect
// plays alone in turn on the virtual device, and the effects are as before afterwards.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>
#include <functional>

#include "app/services.h"
#include "dialog_fixture.h"
#include "window/feel_bands.h"
#include "window/presets.h"

namespace kinetra::test {
namespace {

using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::window::PresetPositions;

class Presets : public DialogFixture {
protected:
    void TearDown() override {
        kinetra::app::SetTextAsker(nullptr);
        DialogFixture::TearDown();
    }

    // Chooses the item with text path (a submenu's title, then its item) from the window's
    // right-click menu.
    bool ChooseFromMenu(const QStringList& path) {
        int depth = 0;
        bool done = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr || done) return;
            for (QAction* action : menu->actions()) {
                if (action->text() != path[depth]) continue;
                menu->setActiveAction(action);
                if (action->menu() != nullptr) {
                    QTest::keyClick(menu, Qt::Key_Right);
                    ++depth;
                } else {
                    QTest::keyClick(menu, Qt::Key_Return);
                    done = true;
                }
                return;
            }
        });
        driver.start(20);
        QApplication::postEvent(m_dlg.get(),
                                new QContextMenuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                                      m_dlg->mapToGlobal(QPoint(5, 5))));
        const bool chosen =
            WaitUntil([&] { return done && QApplication::activePopupWidget() == nullptr; });
        driver.stop();
        return chosen;
    }

    // The six positions on the sliders, and the mappers and effects set from them: thresholds
    // e^(position / 5) (integer division) and every effect's gain (100 - Strength) × 100.
    void ExpectApplied(const PresetPositions& p) {
        for (int band = 1; band <= 5; ++band) {
            EXPECT_EQ(Pos(band), p.level[band - 1]) << band;
            ExpectThreshold(band, p.level[band - 1]);
        }
        EXPECT_EQ(m_dlg->StrengthSlider()->value(), p.strength);
        const auto shown = GetVirtualDeviceSnapshot();
        for (int slot = 0; slot < 5; ++slot) {
            EXPECT_EQ(shown.effects[slot].gain, static_cast<std::uint32_t>(100 - p.strength) * 100)
                << slot;
        }
    }
};

TEST_F(Presets, EachBuiltInPresetSetsTheSixPositionsAndTheMappersFollow) {
    ASSERT_TRUE(Start());
    // The positions the help's "Tuning for music", "films" and "games" give, copied by hand.
    const struct {
        const char* name;
        PresetPositions positions;
    } expected[] = {
        {"Music", {{10, 15, 25, 40, 50}, 10}},
        {"Films", {{5, 20, 45, 30, 40}, 40}},
        {"Games", {{30, 30, 10, 10, 35}, 20}},
    };
    ASSERT_EQ(kinetra::window::BuiltInPresets().size(), 3u);
    for (const auto& e : expected) {
        ASSERT_TRUE(ChooseFromMenu({"&Presets", e.name})) << e.name;
        ExpectApplied(e.positions);
    }
    // Locked stays, and slider 1 moves the followers on from the preset's positions.
    EXPECT_TRUE(m_dlg->LockedBox()->isChecked());
    Key(1, Qt::Key_Down, 2);
    EXPECT_EQ(Pos(1), 32);
    EXPECT_EQ(Pos(3), 12);
    EXPECT_EQ(Pos(5), 37);
    ExpectThreshold(5, 37);
}

TEST_F(Presets, TheHelpGivesTheSamePositions) {
    QFile help(kinetra::app::FindDataFile("help/index.html"));
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(help.readAll());
    const char* const sections[] = {"music", "films", "games"};
    const auto presets = kinetra::window::BuiltInPresets();
    for (int i = 0; i < 3; ++i) {
        const qsizetype at = text.indexOf(QStringLiteral("<h2 id=\"%1\">").arg(sections[i]));
        ASSERT_GE(at, 0) << sections[i];
        const qsizetype row = text.indexOf("<tr><td>Position</td>", at);
        const qsizetype next = text.indexOf("<h2", at + 1);
        ASSERT_TRUE(row > at && row < next) << sections[i];
        const QString cells = text.mid(row, text.indexOf("</tr>", row) - row);
        static const QRegularExpression number("<td>(\\d+)");
        QList<int> numbers;
        for (const auto& match : number.globalMatch(cells)) numbers << match.captured(1).toInt();
        const PresetPositions& p = presets[i].positions;
        EXPECT_EQ(numbers, (QList<int>{p.level[0], p.level[1], p.level[2], p.level[3], p.level[4],
                                       p.strength}))
            << sections[i];
    }
}

TEST_F(Presets, ASavedPresetComesBackFromTheSettingsFile) {
    ASSERT_TRUE(Start());
    const PresetPositions mine{{3, 33, 66, 99, 100}, 45};
    m_dlg->ApplyPreset(mine);
    QString asked;
    kinetra::app::SetTextAsker(
        [&asked](QWidget*, const QString&, const QString& label, QString* text) {
            asked = label;
            *text = QStringLiteral("  Late / night \\ 50%  ");
            return true;
        });
    ASSERT_TRUE(ChooseFromMenu({"&Presets", "&Save current as\u2026"}));
    EXPECT_FALSE(asked.isEmpty());
    EXPECT_TRUE(m_boxes.Boxes().empty());

    // Another run reads it back; it is offered after the built-in ones.
    {
        auto key = kinetra::settings::OpenSettingsKey();
        const auto saved =
            kinetra::window::ReadSavedPresets(*kinetra::settings::QSettingsStore().Open());
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(saved[0].name, "Late / night \\ 50%");
        EXPECT_EQ(saved[0].positions, mine);
        // Beside the six values, in a group of its own, with the same value names.
        EXPECT_EQ(key->value("presets/Late %2F night %5C 50%25/threshold4").toInt(), 99);
        EXPECT_EQ(key->value("presets/Late %2F night %5C 50%25/gain").toInt(), 55);
    }
    ASSERT_TRUE(ChooseFromMenu({"&Presets", "Games"}));
    ASSERT_TRUE(ChooseFromMenu({"&Presets", "Late / night \\ 50%"}));
    ExpectApplied(mine);
    // The settings of the run itself are untouched until it ends.
    EXPECT_EQ(Stored("threshold1"), -12345);
}

TEST_F(Presets, NamesThatCannotBeUsedAreRefusedWithAReason) {
    ASSERT_TRUE(Start());
    for (const char* name :
         {"   ", "music", "GAMES", "12345678901234567890123456789012345678901"}) {
        kinetra::app::SetTextAsker([name](QWidget*, const QString&, const QString&, QString* t) {
            *t = QString::fromUtf8(name);
            return true;
        });
        m_dlg->OnSavePreset();
    }
    kinetra::app::SetTextAsker([](QWidget*, const QString&, const QString&, QString* t) {
        *t = QStringLiteral("cancelled");
        return false;
    });
    m_dlg->OnSavePreset();
    ASSERT_EQ(m_boxes.Boxes().size(), 4u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "A preset needs a name.");
    EXPECT_EQ(m_boxes.Boxes()[1].text,
              "\"Music\" is a preset that comes with Kinetra; choose another name.");
    EXPECT_EQ(m_boxes.Boxes()[3].text, "A preset's name may have 40 characters at most.");
    EXPECT_TRUE(
        kinetra::window::ReadSavedPresets(*kinetra::settings::QSettingsStore().Open()).empty());
}

TEST_F(Presets, StoredValuesThatCannotBeReadTakeDefaultsAndStayInRange) {
    Store("presets/odd/threshold1", 250);
    Store("presets/odd/threshold2", -3);
    Store("presets/odd/gain", 130);
    {
        auto key = kinetra::settings::OpenSettingsKey();
        key->setValue("presets/odd/threshold3", "loud");
        key->sync();
    }
    const auto saved =
        kinetra::window::ReadSavedPresets(*kinetra::settings::QSettingsStore().Open());
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].positions, (PresetPositions{{100, 0, 20, 20, 20}, 0}));
}

// ---------------------------------------------------------------------------------------------

class FeelEachBand : public DialogFixture {
protected:
    struct Effect {
        bool playing;
        std::uint32_t magnitude;
    };
    static std::vector<Effect> Effects() {
        const auto shown = GetVirtualDeviceSnapshot();
        std::vector<Effect> effects;
        for (int slot = 0; slot < 5; ++slot) {
            effects.push_back({shown.effects[slot].playing, shown.effects[slot].magnitude});
        }
        return effects;
    }
    // Band playing alone at the sequence's magnitude (0: none playing).
    static void ExpectAlone(int band) {
        const auto effects = Effects();
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(effects[k].playing, k + 1 == band) << "band " << k + 1 << " during " << band;
            if (k + 1 == band) {
                EXPECT_EQ(effects[k].magnitude, 8000u);
            }
        }
    }
    static std::vector<bool> Playing() {
        std::vector<bool> playing;
        for (const Effect& e : Effects()) playing.push_back(e.playing);
        return playing;
    }
};

TEST_F(FeelEachBand, EachBandPlaysAloneInTurnAndTheStateComesBack) {
    ASSERT_TRUE(Start());
    FeedOneBlock();
    Click(m_dlg->DisableBox(2));  // a disabled band plays too, and stays disabled afterwards
    const std::vector<bool> before = Playing();
    ASSERT_EQ(before, (std::vector<bool>{true, false, true, true, true}));

    kinetra::window::FeelBands* feel = m_dlg->FeelSequence();
    m_dlg->OnFeelBands();
    ASSERT_TRUE(feel->Running());
    EXPECT_FALSE(feel->Start());  // one at a time
    ExpectAlone(0);
    EXPECT_EQ(feel->PendingStepMs(), 200);
    for (int band = 1; band <= 5; ++band) {
        feel->Step();
        EXPECT_EQ(feel->PlayingBand(), band);
        EXPECT_EQ(feel->PendingStepMs(), 300) << band;
        ExpectAlone(band);
        // A Disable box clicked meanwhile only changes what comes back. (No event loop runs
        // here, so the sequence's own timer does not step it.)
        if (band == 2) m_dlg->DisableBox(4)->click();
        feel->Step();
        if (band < 5) ExpectAlone(0);
        EXPECT_EQ(feel->PendingStepMs(), band < 5 ? 200 : -1);
    }
    EXPECT_FALSE(feel->Running());
    EXPECT_EQ(Playing(), (std::vector<bool>{true, false, true, false, true}));
    // The sound drives the bands again: a loud 86 Hz tone after silence fires band 1.
    std::vector<std::int16_t> tone(1024);
    for (std::size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<std::int16_t>(20000 * std::sin(2 * M_PI * 86.0 * i / 44100.0));
    }
    m_script->Append(tone.data(), static_cast<std::uint32_t>(tone.size()));
    EXPECT_TRUE(WaitUntil([] { return Effects()[0].magnitude != 0; }));
    EXPECT_EQ(Playing(), (std::vector<bool>{true, false, true, false, true}));
}

TEST_F(FeelEachBand, RunsOnItsTimersAndEndsWithTheTeardownWhenClosedMeanwhile) {
    ASSERT_TRUE(Start());
    m_dlg->PauseEffects(true);  // from the tray
    kinetra::window::FeelBands* feel = m_dlg->FeelSequence();
    std::vector<int> order;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const int band = feel->PlayingBand();
        if (band != 0 && (order.empty() || order.back() != band)) order.push_back(band);
    });
    watch.start(10);
    ASSERT_TRUE(feel->Start());
    EXPECT_TRUE(WaitUntil([&] { return !feel->Running(); }, 10000));
    watch.stop();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Playing(), std::vector<bool>(5, false));  // still paused
    m_dlg->PauseEffects(false);
    EXPECT_EQ(Playing(), std::vector<bool>(5, true));

    // The window closing while a band plays silences it before the teardown.
    ASSERT_TRUE(feel->Start());
    feel->Step();
    ASSERT_EQ(feel->PlayingBand(), 1);
    m_dlg->OnDestroy();
    EXPECT_FALSE(feel->Running());
    EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 0);
}

}  // namespace
}  // namespace kinetra::test
