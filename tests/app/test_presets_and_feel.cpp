// Presets and "Feel each band" from the window's menu: a preset sets the six positions and the
// mappers follow as after moving the sliders; a saved preset comes back; "Feel each band" runs on
// the window's own timers and ends with the teardown. (Refused names, unreadable stored presets
// and the sequence step by step: tests/window/test_main_window.cpp.)
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>
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
    static std::vector<bool> Playing() {
        std::vector<bool> playing;
        for (const Effect& e : Effects()) playing.push_back(e.playing);
        return playing;
    }
};

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
