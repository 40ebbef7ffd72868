// The window's own behaviour and services: Enter and Escape, the About box from the context
// menu, Help with and without its file, the Test sound, and the web link.
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <string>

#include "app/about_dlg.h"
#include "app/hyperlink.h"
#include "app/services.h"
#include "app/test_sound.h"
#include "dialog_fixture.h"
#include "support/reference_dft.h"

namespace {

using kinetra::test::DialogFixture;

class WindowServices : public DialogFixture {
protected:
    void TearDown() override {
        kinetra::app::SetDataDirectories({});
        DialogFixture::TearDown();
    }
};

TEST_F(WindowServices, EnterAndEscapeNeverCloseTheWindow) {
    ASSERT_TRUE(Start());
    auto* test = qobject_cast<QPushButton*>(m_dlg->GetDlgItem(IDC_TEST));
    for (QWidget* focus : {static_cast<QWidget*>(m_dlg.get()), m_dlg->GetDlgItem(IDC_LEVEL1),
                           m_dlg->GetDlgItem(IDC_LOCKED), static_cast<QWidget*>(test)}) {
        focus->setFocus();
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(focus, key);
            QApplication::processEvents();
            EXPECT_TRUE(m_dlg->isVisible()) << focus->objectName().toStdString();
        }
    }
    EXPECT_EQ(Pos(1), 20);
    EXPECT_TRUE(m_dlg->LockedBox()->isChecked());
    EXPECT_EQ(m_dlg->TestSound().QueuedBytes(), 0u);  // Enter did not press Test
    EXPECT_FALSE(m_dlg->QuitRequested());
    // The close box still closes it.
    m_dlg->close();
    EXPECT_FALSE(m_dlg->isVisible());
}

TEST_F(WindowServices, ContextMenuOffersTheAboutBox) {
    ASSERT_TRUE(Start());
    QStringList menuItems;
    QString aboutTitle;
    QStringList aboutTexts;
    bool aboutWasModal = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) menuItems << action->text();
            for (QAction* action : menu->actions()) {
                if (action->text() == "&About Orlix Entertainment...") {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            }
            menu->close();
        } else if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            aboutTitle = about->windowTitle();
            aboutWasModal = about->isModal();
            for (QLabel* label : about->findChildren<QLabel*>()) {
                if (!label->text().isEmpty()) aboutTexts << label->text();
            }
            auto* ok = about->findChild<QPushButton*>("IDOK");
            if (ok != nullptr) QTest::mouseClick(ok, Qt::LeftButton);
        }
    });
    driver.start(20);
    // What the platform sends on a right click (or the menu key) over the window.
    QApplication::postEvent(m_dlg.get(),
                            new QContextMenuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                                  m_dlg->mapToGlobal(QPoint(5, 5))));
    EXPECT_TRUE(kinetra::test::WaitUntil([&] { return !aboutTitle.isEmpty(); }));
    driver.stop();
    EXPECT_EQ(menuItems,
              (QStringList{"&Input", "&Force device", "", "&Classic response", "&Hits response", "",
                           "&Presets", "&Feel each band", "", "&About Orlix Entertainment..."}));
    EXPECT_EQ(aboutTitle, "About Ondrel Kinetra Entertainment");
    EXPECT_TRUE(aboutWasModal);
    EXPECT_TRUE(aboutTexts.contains("Ondrel Kinetra Entertainment Version 0.1beta"));
    EXPECT_TRUE(m_dlg->isVisible());
}

TEST_F(WindowServices, ContextMenuChoosesTheResponseMode) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(m_dlg->ResponseMode(), MapperMode::kClassic);
    for (const char* choice : {"&Hits response", "&Classic response"}) {
        bool chosen = false;
        bool wasChecked = true;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) return;
            for (QAction* action : menu->actions()) {
                if (action->text() == choice) {
                    wasChecked = action->isChecked();
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    chosen = true;
                    return;
                }
            }
            menu->close();
        });
        driver.start(20);
        QApplication::postEvent(m_dlg.get(),
                                new QContextMenuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                                      m_dlg->mapToGlobal(QPoint(5, 5))));
        const MapperMode expected =
            std::string(choice) == "&Hits response" ? MapperMode::kHits : MapperMode::kClassic;
        EXPECT_TRUE(
            kinetra::test::WaitUntil([&] { return chosen && m_dlg->ResponseMode() == expected; }));
        driver.stop();
        EXPECT_FALSE(wasChecked) << choice;  // the other mode was the checked one
        for (int band = 1; band <= 5; ++band) {
            ASSERT_NE(m_dlg->Mapper(band), nullptr);
            EXPECT_EQ(m_dlg->Mapper(band)->Mode(), expected) << band;
        }
    }
}

TEST_F(WindowServices, AboutBoxEndsWithEnterOrEscape) {
    // Over the main window, whose own Enter and Escape do nothing, the About box still ends
    // with either key.
    ASSERT_TRUE(Start());
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        CAboutDlg about(m_dlg.get());
        QTimer::singleShot(50, &about, [&about, key] {
            QWidget* focus = about.focusWidget() != nullptr ? about.focusWidget() : &about;
            QTest::keyClick(focus, key);
        });
        QTimer::singleShot(3000, &about, [&about] { about.done(99); });  // never hang
        const int result = about.DoModal();
        EXPECT_EQ(result, key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
    }
    EXPECT_TRUE(m_dlg->isVisible());
}

TEST_F(WindowServices, HelpOpensTopic1006OfTheBundledHelp) {
    ASSERT_TRUE(Start());
    QTest::mouseClick(m_dlg->GetDlgItem(IDC_HELP_BUTTON), Qt::LeftButton);
    ASSERT_EQ(m_urls.Urls().size(), 1u);
    // Openers drop a file's fragment: the browser gets a page that goes on to the topic.
    const QUrl url = m_urls.Urls()[0];
    ASSERT_TRUE(url.isLocalFile());
    QFile opened(url.toLocalFile());
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_TRUE(opened.readAll().contains("help/index.html#topic-1006"));
    QFile page(kinetra::app::FindDataFile(QStringLiteral("help/index.html")));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("id=\"topic-1006\""));
}

TEST_F(WindowServices, HelpWithoutItsFileLeavesTheWindowAsItWas) {
    ASSERT_TRUE(Start());
    QTemporaryDir empty;
    kinetra::app::SetDataDirectories({empty.path()});
    Key(1, Qt::Key_Down, 2);
    QTest::mouseClick(m_dlg->GetDlgItem(IDC_HELP_BUTTON), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(m_urls.Urls().empty());
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(Pos(1), 22);
    EXPECT_EQ(Pos(2), 22);
    EXPECT_TRUE(m_dlg->Capture().IsThreadRunning());
}

TEST_F(WindowServices, TestPlaysTheBundledSoundAndASecondPressRestartsIt) {
    ASSERT_TRUE(Start());
    std::vector<std::int16_t> bundled;
    ASSERT_TRUE(kinetra::app::LoadSoundFile(kinetra::app::FindDataFile("test.wav"), &bundled));
    const std::uint32_t fullBytes = static_cast<std::uint32_t>(bundled.size() * 2);
    QWidget* test = m_dlg->GetDlgItem(IDC_TEST);
    QTest::mouseClick(test, Qt::LeftButton);
    EXPECT_FALSE(m_dlg->TestSound().LastWasBuiltIn());
    const std::uint32_t first = m_dlg->TestSound().QueuedBytes();
    EXPECT_GT(first, fullBytes / 2);
    EXPECT_LE(first, fullBytes);
    QTest::qWait(300);  // it plays on without the window waiting
    const std::uint32_t later = m_dlg->TestSound().QueuedBytes();
    EXPECT_LT(later, first);
    QTest::mouseClick(test, Qt::LeftButton);
    EXPECT_GT(m_dlg->TestSound().QueuedBytes(), later);  // from the beginning again
    EXPECT_TRUE(m_dlg->isVisible());
}

TEST_F(WindowServices, TestWithoutItsFilePlaysTheBuiltInSound) {
    ASSERT_TRUE(Start());
    QTemporaryDir empty;
    kinetra::app::SetDataDirectories({empty.path()});
    QTest::mouseClick(m_dlg->GetDlgItem(IDC_TEST), Qt::LeftButton);
    EXPECT_TRUE(m_dlg->TestSound().LastWasBuiltIn());
    EXPECT_GT(m_dlg->TestSound().QueuedBytes(), 0u);
}

TEST_F(WindowServices, WebLinkOpensTheMakersAddress) {
    ASSERT_TRUE(Start());
    auto* link = qobject_cast<CZCommon_HyperLink*>(m_dlg->GetDlgItem(IDC_WEB_LINK));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), CVibrelDlg::kWebHost);
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_EQ(m_urls.Urls().size(), 1u);
    EXPECT_EQ(m_urls.Urls()[0], QUrl(CVibrelDlg::kWebAddress));
    EXPECT_EQ(m_urls.Urls()[0].host(), QString(CVibrelDlg::kWebHost));
    // From the keyboard: Space on the focused link.
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Space);
    EXPECT_EQ(m_urls.Urls().size(), 2u);
    // Without an address it opens nothing.
    CZCommon_HyperLink bare;
    EXPECT_FALSE(bare.Follow());
    EXPECT_EQ(m_urls.Urls().size(), 2u);
}

}  // namespace

// Loading sound files for the Test button: what is read, cut and refused.
namespace {

TEST(TestSoundFiles, BundledSoundHitsEachBandInTurn) {
    std::vector<std::int16_t> samples;
    ASSERT_TRUE(kinetra::app::LoadSoundFile(kinetra::app::FindDataFile("test.wav"), &samples));
    EXPECT_GT(samples.size(), 44100u * 3);
    EXPECT_LT(samples.size(), 44100u * 10);
    // The sound opens with one hit per band, low to high, every half second from 0.25 s. Just
    // after each onset, that band's loudest bin is the loudest of all five bands.
    const double lowHz[5] = {0, 220, 484, 2030, 10040};
    const double highHz[5] = {177, 440, 2000, 10000, 23000};
    for (int hit = 0; hit < 5; ++hit) {
        const std::size_t start = static_cast<std::size_t>((0.25 + 0.5 * hit + 0.01) * 44100);
        ASSERT_LE(start + 1024, samples.size());
        const std::vector<double> block(
            samples.begin() + static_cast<std::ptrdiff_t>(start),
            samples.begin() + static_cast<std::ptrdiff_t>(start) + 1024);
        const auto spectrum = kinetra::test::ReferenceDft(block);
        long double bandPeak[5] = {};
        for (std::size_t k = 1; k < spectrum.size(); ++k) {
            const double hz = k * 44100.0 / 1024.0;
            for (int b = 0; b < 5; ++b) {
                if (hz >= lowHz[b] && hz <= highHz[b]) {
                    bandPeak[b] = std::max(bandPeak[b], std::norm(spectrum[k]));
                }
            }
        }
        const int loudest = static_cast<int>(std::max_element(bandPeak, bandPeak + 5) - bandPeak);
        EXPECT_EQ(loudest, hit) << "hit " << hit;
    }
}

TEST(TestSoundFiles, BrokenAndMissingFilesAreRefused) {
    QTemporaryDir dir;
    std::vector<std::int16_t> samples{1, 2, 3};
    EXPECT_FALSE(kinetra::app::LoadSoundFile(dir.filePath("missing.wav"), &samples));
    QFile junk(dir.filePath("junk.wav"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("RIFF\x10\0\0\0WAVEfmt garbage that is not a wave file", 44);
    junk.close();
    EXPECT_FALSE(kinetra::app::LoadSoundFile(junk.fileName(), &samples));
    EXPECT_EQ(samples, (std::vector<std::int16_t>{1, 2, 3}));         // untouched
    EXPECT_FALSE(kinetra::app::LoadSoundFile(dir.path(), &samples));  // a folder
}

// A PCM WAV file of frames × channels samples of 8 or 16 bits, all at one value.
QString WriteWav(const QString& path, int rate, int channels, int bits, int frames) {
    QByteArray data;
    const int bytesPerSample = bits / 8;
    const auto put = [&data](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) data.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames) * channels * bytesPerSample;
    data.append("RIFF");
    put(36 + dataBytes, 4);
    data.append("WAVEfmt ");
    put(16, 4);
    put(1, 2);
    put(static_cast<std::uint32_t>(channels), 2);
    put(static_cast<std::uint32_t>(rate), 4);
    put(static_cast<std::uint32_t>(rate * channels * bytesPerSample), 4);
    put(static_cast<std::uint32_t>(channels * bytesPerSample), 2);
    put(static_cast<std::uint32_t>(bits), 2);
    data.append("data");
    put(dataBytes, 4);
    data.append(QByteArray(static_cast<int>(dataBytes), bits == 8 ? '\x90' : '\x10'));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return path;
}

TEST(TestSoundFiles, OtherFormatsAreConvertedToMonoAt44100) {
    QTemporaryDir dir;
    std::vector<std::int16_t> samples;
    // One second of 22050 Hz stereo becomes about 44100 mono samples.
    ASSERT_TRUE(kinetra::app::LoadSoundFile(WriteWav(dir.filePath("a.wav"), 22050, 2, 16, 22050),
                                            &samples));
    EXPECT_NEAR(static_cast<double>(samples.size()), 44100.0, 441.0);
    // Half a second of 8000 Hz 8-bit mono: about 22050 samples.
    ASSERT_TRUE(
        kinetra::app::LoadSoundFile(WriteWav(dir.filePath("b.wav"), 8000, 1, 8, 4000), &samples));
    EXPECT_NEAR(static_cast<double>(samples.size()), 22050.0, 221.0);
}

TEST(TestSoundFiles, LongFilesAreCutAtThirtySeconds) {
    QTemporaryDir dir;
    std::vector<std::int16_t> samples;
    ASSERT_TRUE(kinetra::app::LoadSoundFile(
        WriteWav(dir.filePath("long.wav"), 8000, 1, 8, 8000 * 45), &samples));
    EXPECT_LE(samples.size(), 44100u * 30);
    EXPECT_GE(samples.size(), 44100u * 30 - 441);
}

TEST(TestSoundFiles, BuiltInSoundIsAQuarterSecondAndNotSilent) {
    const auto samples = kinetra::app::BuiltInSound();
    EXPECT_EQ(samples.size(), 44100u / 4);
    int loudest = 0;
    for (std::int16_t s : samples) loudest = std::max(loudest, std::abs(static_cast<int>(s)));
    EXPECT_GT(loudest, 5000);
}

}  // namespace

// Where the program looks for its files: the variable, beside it in the build tree, installed.
namespace {

TEST(DataFiles, SearchOrderIsVariableThenBuildTreeThenInstalled) {
    QTemporaryDir mine;
    kinetra::test::ScopedEnv dir("KINETRA_DATA_DIR", mine.path().toLocal8Bit().constData());
    const QStringList folders = kinetra::app::DataDirectories();
    const QDir exe(QCoreApplication::applicationDirPath());
    ASSERT_GE(folders.size(), 3);
    EXPECT_EQ(folders[0], mine.path());
    EXPECT_EQ(folders[1], exe.filePath("data"));
    EXPECT_EQ(folders[2], QDir::cleanPath(exe.filePath("../share/kinetra")));

    // A file in the first folder wins over the bundled one.
    QFile own(mine.filePath("test.wav"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("x");
    own.close();
    EXPECT_EQ(kinetra::app::FindDataFile("test.wav"), QFileInfo(own).absoluteFilePath());
    EXPECT_TRUE(kinetra::app::FindDataFile("no-such-file").isEmpty());
    EXPECT_TRUE(kinetra::app::FindDataFile("help/index.html").endsWith("help/index.html"));
}

}  // namespace
