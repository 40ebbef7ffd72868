#include "app/vibrel_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "app/band_meter.h"
#include "app/band_texts.h"
#include "app/desktop_check.h"
#include "app/dialog_units.h"
#include "app/error_details.h"
#include "app/feel_bands.h"
#include "app/hyperlink.h"
#include "app/services.h"
#include "app/settings_store.h"
#include "app/tray_icon.h"
#include "capture/audio_input.h"
#include "force/force_devices.h"
#include "force/ond_library.h"
#include "pipeline/slider_rules.h"
#include "platform/debug_output.h"
#include "platform/priority.h"

using kinetra::app::MessageIcon;

const char* const CVibrelDlg::kWebAddress = "https://ondrel.example/";
const char* const CVibrelDlg::kWebHost = "ondrel.example";

namespace {

constexpr const char kCaption[] = "Ondrel Kinetra Entertainment 0.2beta";
constexpr const char kAboutMenuText[] = "&About Orlix Entertainment...";
constexpr const char kClassicMenuText[] = "&Classic response";
constexpr const char kHitsMenuText[] = "&Hits response";
constexpr const char kPresetsMenuText[] = "&Presets";
constexpr const char kSavePresetMenuText[] = "&Save current as\u2026";
constexpr const char kFeelBandsMenuText[] = "&Feel each band";
constexpr const char kNoDevice[] = "Could not find an Ondrel Pulsenic device.";
constexpr const char kNoCaptureBuffer[] = "Error creating sound capture buffer.";
constexpr const char kNoCaptureThread[] = "Could not start the sound capture thread.";
// Height of the status line's strip below the documented area, in dialog units.
constexpr int kStatusHeight = 12;
// The topic the Help button opens.
constexpr int kHelpTopic = 1006;

void MarkControl(QWidget* widget, int id, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty("controlId", id);
}

}  // namespace

CVibrelDlg::CVibrelDlg(QWidget* parent) : QDialog(parent), m_hIcon(kinetra::app::MakeAppIcon()) {
    setObjectName(QStringLiteral("IDD_MAIN"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(kinetra::app::DialogFont());
    BuildControls();
    m_choices =
        new kinetra::app::WindowChoices(this, m_status,
                                        [this](const kinetra::capture::AudioInputChoice& input,
                                               const kinetra::force::ForceDeviceChoice& device) {
                                            return RestartPipeline(input, device);
                                        });
    // The meters follow the pipeline from its start to its teardown.
    m_meters = new kinetra::app::LiveMeters(this);
    DescribeControls();
    m_feel = new kinetra::app::FeelBands([this] { return &m_pipeline; }, this);
    qApp->installEventFilter(this);
}

CVibrelDlg::~CVibrelDlg() {
    qApp->removeEventFilter(this);
    if (m_bStarted) OnDestroy();
    // Before the pipeline it plays on goes.
    delete m_feel;
    m_feel = nullptr;
}

void CVibrelDlg::BuildControls() {
    using namespace kinetra::app;
    const DialogBaseUnits units = BaseUnitsOf(QFontMetrics(font()));
    auto place = [&units](QWidget* widget, int x, int y, int cx, int cy) {
        widget->setGeometry(DluToPixelsX(x, units), DluToPixelsY(y, units), DluToPixelsX(cx, units),
                            DluToPixelsY(cy, units));
    };
    // The documented 320 × 146 area, and the status line below it.
    setFixedSize(DluToPixelsX(320, units), DluToPixelsY(146 + kStatusHeight, units));

    // In tab order: link, level sliders, Disable boxes, Strength, Locked, Test, Help.
    m_webLink = new CZCommon_HyperLink(this);
    m_webLink->setText(QString::fromLatin1(kWebHost));
    MarkControl(m_webLink, IDC_WEB_LINK, "IDC_WEB_LINK");
    place(m_webLink, 7, 131, 64, 8);

    static const int kLevelX[kBands] = {95, 141, 188, 234, 280};
    static const int kDisableX[kBands] = {90, 136, 182, 228, 274};
    static const char* const kLevelNames[kBands] = {"IDC_LEVEL1", "IDC_LEVEL2", "IDC_LEVEL3",
                                                    "IDC_LEVEL4", "IDC_LEVEL5"};
    static const char* const kDisableNames[kBands] = {
        "IDC_DISABLE1", "IDC_DISABLE2", "IDC_DISABLE3", "IDC_DISABLE4", "IDC_DISABLE5"};
    for (int k = 0; k < kBands; ++k) {
        m_levelSlider[k] = new CSliderCtrl(this);
        MarkControl(m_levelSlider[k], IDC_LEVEL1 + k, kLevelNames[k]);
        m_levelSlider[k]->setAccessibleName(QStringLiteral("Response level %1").arg(k + 1));
        place(m_levelSlider[k], kLevelX[k], 22, 27, 73);
    }
    for (int k = 0; k < kBands; ++k) {
        m_disableBox[k] = new QCheckBox(QStringLiteral("Disable"), this);
        MarkControl(m_disableBox[k], IDC_DISABLE1 + k, kDisableNames[k]);
        place(m_disableBox[k], kDisableX[k], 97, 39, 10);
    }
    m_strengthSlider = new CSliderCtrl(this);
    MarkControl(m_strengthSlider, IDC_STRENGTH, "IDC_STRENGTH");
    m_strengthSlider->setAccessibleName(QStringLiteral("Strength"));
    place(m_strengthSlider, 28, 22, 28, 73);

    auto* strengthLabel = new QLabel(QStringLiteral("Strength"), this);
    strengthLabel->setObjectName(QStringLiteral("strengthLabel"));
    place(strengthLabel, 28, 14, 28, 8);

    m_lockedBox = new QCheckBox(QStringLiteral("Locked"), this);
    MarkControl(m_lockedBox, IDC_LOCKED, "IDC_LOCKED");
    place(m_lockedBox, 273, 13, 40, 10);

    auto* levelsLabel = new QLabel(QStringLiteral("Response Levels"), this);
    levelsLabel->setObjectName(QStringLiteral("levelsLabel"));
    place(levelsLabel, 173, 14, 56, 8);

    m_testButton = new QPushButton(QStringLiteral("Test"), this);
    MarkControl(m_testButton, IDC_TEST, "IDC_TEST");
    place(m_testButton, 205, 125, 50, 14);

    auto* helpText = new QLabel(
        QStringLiteral("For help optimizing your settings, please read the Help file."), this);
    helpText->setObjectName(QStringLiteral("helpText"));
    helpText->setWordWrap(true);
    helpText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(helpText, 90, 123, 108, 16);

    m_helpButton = new QPushButton(QStringLiteral("Help"), this);
    MarkControl(m_helpButton, IDC_HELP_BUTTON, "IDC_HELP_BUTTON");
    place(m_helpButton, 263, 125, 50, 14);

    m_status = new StatusLine(this);
    place(m_status, 7, 145, 306, kStatusHeight - 3);

    for (QPushButton* button : {m_testButton, m_helpButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    for (QLabel* label : {strengthLabel, levelsLabel, helpText}) {
        label->setTextFormat(Qt::PlainText);
        // The help text may grow up to just below the Disable boxes.
        FitLabel(label, DluToPixelsY(108, units));
    }

    // Signals to the handlers.
    for (int k = 0; k < kBands; ++k) {
        const int band = k + 1;
        connect(m_disableBox[k], &QCheckBox::clicked, this, [this, band] { OnDisable(band); });
        connect(m_levelSlider[k], &CSliderCtrl::ReleasedCapture, this,
                [this, band] { OnReleasedLevel(band); });
        CSliderCtrl* slider = m_levelSlider[k];
        connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider](int action) {
            OnVScroll(kinetra::app::ScrollCodeForAction(action), slider);
        });
    }
    connect(m_strengthSlider, &CSliderCtrl::ReleasedCapture, this, &CVibrelDlg::OnReleasedStrength);
    connect(m_strengthSlider, &QAbstractSlider::actionTriggered, this, [this](int action) {
        OnVScroll(kinetra::app::ScrollCodeForAction(action), m_strengthSlider);
    });
    connect(m_lockedBox, &QCheckBox::clicked, this, &CVibrelDlg::OnLocked);
    connect(m_testButton, &QPushButton::clicked, this, &CVibrelDlg::OnTest);
    connect(m_helpButton, &QPushButton::clicked, this, &CVibrelDlg::OnHelpButton);

    // F1 opens the help's table of contents, as the framework's help command does.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [] {
        const QString path = kinetra::app::FindDataFile(QStringLiteral("help/index.html"));
        if (!path.isEmpty()) kinetra::app::OpenUrl(QUrl::fromLocalFile(path));
    });
}

QWidget* CVibrelDlg::GetDlgItem(int id) const {
    const QList<QWidget*> children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        const QVariant value = child->property("controlId");
        if (value.isValid() && value.toInt() == id) return child;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Start-up and teardown

void CVibrelDlg::SetUpSliders() {
    for (CSliderCtrl* slider : m_levelSlider) slider->SetRange(0, 100);
    m_levelSlider[0]->SetTicFreq(10);
    for (int k = 1; k < kBands; ++k) {
        m_levelSlider[k]->setEnabled(false);
        m_levelSlider[k]->ClearTics();
    }
}

void CVibrelDlg::LoadSettings() {
    using namespace kinetra::app;
    const std::unique_ptr<QSettings> key = OpenSettingsKey();
    m_levelSlider[0]->SetPos(ReadThreshold(*key, ThresholdValueName(1)));
    m_lastLevel1 = m_levelSlider[0]->GetPos();
    for (int k = 1; k < kBands; ++k) {
        m_levelSlider[k]->SetPos(ReadThreshold(*key, ThresholdValueName(k + 1)));
    }
    m_strengthSlider->SetRange(0, 100);
    m_strengthSlider->SetTicFreq(10);
    m_strengthSlider->SetPos(StrengthPositionForStoredGain(ReadGain(*key, kGainValueName)));
    m_mode = ReadMode(*key) == kHitsModeValue ? MapperMode::kHits : MapperMode::kClassic;
}

void CVibrelDlg::SaveSettings() {
    using namespace kinetra::app;
    const std::unique_ptr<QSettings> key = OpenSettingsKey();
    if (!key->isWritable()) {
        kinetra::DebugOutput("SETTINGS: the settings file cannot be written\n");
        return;
    }
    for (int k = 0; k < kBands; ++k) {
        WriteStoredInt(*key, ThresholdValueName(k + 1), m_levelSlider[k]->value());
    }
    WriteStoredInt(*key, kGainValueName, StoredGainForStrengthPosition(m_strengthSlider->value()));
    WriteStoredInt(*key, kModeValueName,
                   m_mode == MapperMode::kHits ? kHitsModeValue : kClassicModeValue);
    if (!SyncSettingsKey(*key)) {
        kinetra::DebugOutput("SETTINGS: the settings could not be saved\n");
    }
}

void CVibrelDlg::ErrorBox(const char* text, const QString& detail) {
    // Once quitting has been asked for, the loop that would show a box ends at once.
    if (m_bQuitRequested) return;
    kinetra::app::ShowMessageBox(this, QString::fromLatin1(text),
                                 QString::fromLatin1(kinetra::app::kErrorCaption),
                                 MessageIcon::Error, detail);
}

void CVibrelDlg::Fail() {
    PostQuitMessage(1);
    // A failed start-up ends with 1, also when a quit signal came while its box was open.
    if (m_nQuitCode == 0) m_nQuitCode = 1;
}

void CVibrelDlg::PostQuitMessage(int exitCode) {
    if (!m_bQuitRequested) {
        m_bQuitRequested = true;
        m_nQuitCode = exitCode;
    }
    if (isVisible()) QMetaObject::invokeMethod(this, &QDialog::close, Qt::QueuedConnection);
}

void CVibrelDlg::ReportFatalError(const char* text, const char* /*caption*/, int exitCode) {
    // The input has said why on standard error already.
    if (!m_bQuitRequested) {
        ErrorBox(text, kinetra::app::AudioInputDetail(kinetra::capture::RecentAudioInputProblems(),
                                                      m_pipeline.Engine().ListDevices()));
    }
    PostQuitMessage(exitCode);
}

bool CVibrelDlg::OnInitDialog() {
    m_bStarted = true;

    // Icons of the window (the About command lives in the context menu).
    setWindowIcon(m_hIcon);
    m_webLink->SetURL(QString::fromLatin1(kWebAddress));

    if (!kinetra::SetProcessPriorityClass(kinetra::PriorityClass::kHigh)) {
        kinetra::DebugOutput("SetPriorityClass failed\n");
    }

    SetUpSliders();
    LoadSettings();
    m_lockedBox->setChecked(true);

    void* const instance = qApp;
    kinetra::app::CheckDesktopProgram(instance, this);

    kinetra::pipeline::PipelineSettings settings;
    for (int k = 0; k < kBands; ++k) settings.level[k] = m_levelSlider[k]->GetPos();
    settings.strength = m_strengthSlider->GetPos();
    kinetra::pipeline::StartOptions options;
    options.ownerInstance = instance;
    options.ownerWindow = this;
    kinetra::capture::ClearAudioInputProblems();
    m_choices->StartingOptions(&options);
    kinetra::pipeline::StartResult started = m_pipeline.Start(settings, this, options);
    // A stored device that is gone must not keep the program from starting: the default is tried.
    if (started == kinetra::pipeline::StartResult::kNoDevice && !m_bQuitRequested &&
        m_choices->DropStoredDevice(&options)) {
        started = m_pipeline.Restart(settings, this, options);
    }
    switch (started) {
        case kinetra::pipeline::StartResult::kRunning:
            SetResponseMode(m_mode);
            m_choices->Started();
            return true;
        case kinetra::pipeline::StartResult::kNoDevice: {
            // Every failed start says why on standard error (a device that did not open, the
            // library has said already); bands 2 to 4 show no box.
            std::string reason = kinetra::force::LastForceDeviceProblem();
            if (reason.empty()) {
                reason = kinetra::force::LastForceProblem();
                kinetra::force::ReportForceProblem(reason);
            }
            if (!m_bQuitRequested) {
                ErrorBox(kNoDevice, kinetra::app::NoForceDeviceDetail(
                                        reason, kinetra::force::ListForceDevices()));
            }
            break;
        }
        case kinetra::pipeline::StartResult::kBandMissing: {
            int band = 2;
            while (band < kBands - 1 && m_pipeline.Mapper(band) != nullptr) ++band;
            kinetra::force::ReportForceProblem("no effect for band " + std::to_string(band) + " (" +
                                               kinetra::force::LastForceProblem() +
                                               "); bands 1 to 4 need one each");
            break;
        }
        case kinetra::pipeline::StartResult::kNoCaptureBuffer:
            ErrorBox(kNoCaptureBuffer, kinetra::app::CaptureBufferDetail(
                                           kinetra::capture::RecentAudioInputProblems()));
            break;
        case kinetra::pipeline::StartResult::kNoCaptureThread:
            ErrorBox(kNoCaptureThread, kinetra::app::CaptureThreadDetail());
            break;
    }
    Fail();
    return false;
}

kinetra::app::RestartOutcome CVibrelDlg::RestartPipeline(
    const kinetra::capture::AudioInputChoice& input,
    const kinetra::force::ForceDeviceChoice& device) {
    // A feel-each-band sequence plays on the pipeline being replaced: it ends first.
    m_feel->Cancel();
    kinetra::pipeline::PipelineSettings settings;
    for (int k = 0; k < kBands; ++k) {
        settings.level[k] = m_levelSlider[k]->GetPos();
        settings.disabled[k] = m_disableBox[k]->isChecked();
    }
    settings.strength = m_strengthSlider->GetPos();
    kinetra::pipeline::StartOptions options;
    options.ownerInstance = qApp;
    options.ownerWindow = this;
    options.input = input;
    options.device = device;
    kinetra::app::RecordingErrorReporter reporter;
    kinetra::app::RestartOutcome outcome;
    outcome.result = m_pipeline.Restart(settings, &reporter, options);
    outcome.inputError = reporter.Text();
    SetResponseMode(m_mode);
    if (m_bPaused) PauseEffects(true);
    return outcome;
}

void CVibrelDlg::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    // Saved once: not again when logging out saved these very values.
    if (!m_committed || *m_committed != std::make_pair(CurrentPositions(), m_mode)) SaveSettings();
    m_feel->Cancel();
    m_testSound.Stop();
    m_pipeline.Stop();
}

int CVibrelDlg::DoModal() {
    if (!m_bStarted) OnInitDialog();
    if (!m_bQuitRequested) {
        ArmAutomation();
        // Where the desktop has a tray, the window may start hidden and be hidden and shown
        // again from it; hiding ends exec(), so the loop goes on while the tray holds it.
        kinetra::app::TrayIcon tray(
            this, [this](bool paused) { PauseEffects(paused); },
            QSystemTrayIcon::isSystemTrayAvailable());
        m_tray = &tray;
        if (tray.StartsHidden()) tray.HideWindow();
        if (!tray.HiddenToTray() || tray.RunWhileHidden()) {
            do {
                exec();
            } while (tray.RunWhileHidden());
        }
        m_tray = nullptr;
    }
    OnDestroy();
    return m_bQuitRequested ? m_nQuitCode : 0;
}

// An unattended run (kinetra::app::CurrentAutomation) saves a picture of the window and closes it
// after its time: for demonstrations and pictures of the window.
void CVibrelDlg::ArmAutomation() {
    const kinetra::app::Automation& automation = kinetra::app::CurrentAutomation();
    const bool haveQuit = automation.quit;
    const int quitAfter = automation.quitAfterMs;
    const QString screenshot = automation.screenshot;
    if (screenshot.isEmpty() && !haveQuit) return;
    // One precise timer takes the picture and then closes: Qt makes single shots of 2 s or more
    // coarse (5 %), so two timers could fire in either order.
    QTimer::singleShot(haveQuit ? quitAfter : 2000, Qt::PreciseTimer, this,
                       [this, screenshot, haveQuit] {
                           if (!screenshot.isEmpty() && !grab().save(screenshot, "PNG")) {
                               kinetra::DebugOutput("SCREENSHOT: could not save the picture\n");
                           }
                           if (haveQuit) close();
                       });
}

// ---------------------------------------------------------------------------------------------
// Window behaviour

bool CVibrelDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter and Escape never close the window, whichever of its controls has the focus.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == this || isAncestorOf(widget)) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CVibrelDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("systemMenu"));
    // The input and force device, each a submenu, then the response modes, one of them checked.
    if (m_bStarted && !m_bDestroyed) {
        m_choices->AddMenus(&menu);
        menu.addSeparator();
    }
    QAction* classic = menu.addAction(QString::fromLatin1(kClassicMenuText));
    QAction* hits = menu.addAction(QString::fromLatin1(kHitsMenuText));
    classic->setObjectName(QStringLiteral("classicMode"));
    hits->setObjectName(QStringLiteral("hitsMode"));
    classic->setCheckable(true);
    hits->setCheckable(true);
    classic->setChecked(m_mode == MapperMode::kClassic);
    hits->setChecked(m_mode == MapperMode::kHits);
    menu.addSeparator();
    // Presets: those that come with the program, the saved ones, and saving the current one.
    QMenu* presets = menu.addMenu(QString::fromLatin1(kPresetsMenuText));
    presets->setObjectName(QStringLiteral("presetsMenu"));
    std::vector<kinetra::app::Preset> choices = kinetra::app::BuiltInPresets();
    const std::size_t builtIn = choices.size();
    {
        const std::unique_ptr<QSettings> key = kinetra::app::OpenSettingsKey();
        for (kinetra::app::Preset& saved : kinetra::app::ReadSavedPresets(*key)) {
            choices.push_back(std::move(saved));
        }
    }
    std::vector<QAction*> presetActions;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i == builtIn) presets->addSeparator();
        QAction* action = presets->addAction(choices[i].name);
        presetActions.push_back(action);
    }
    presets->addSeparator();
    QAction* savePreset = presets->addAction(QString::fromUtf8(kSavePresetMenuText));
    QAction* feel = menu.addAction(QString::fromLatin1(kFeelBandsMenuText));
    feel->setObjectName(QStringLiteral("feelBands"));
    feel->setEnabled(!m_feel->Running() && m_pipeline.Mapper(1) != nullptr);
    menu.addSeparator();
    QAction* about = menu.addAction(QString::fromLatin1(kAboutMenuText));
    about->setData(IDM_ABOUTBOX);
    // The command runs after the menu has closed.
    const QAction* chosen = menu.exec(event->globalPos());
    event->accept();
    if (m_choices->RunMenuChoice(chosen)) {
        return;  // an input or a device
    }
    for (std::size_t i = 0; i < presetActions.size(); ++i) {
        if (chosen == presetActions[i]) {
            ApplyPreset(choices[i].positions);
            return;
        }
    }
    if (chosen == savePreset) {
        OnSavePreset();
    } else if (chosen == feel) {
        OnFeelBands();
    } else if (chosen == classic) {
        SetResponseMode(MapperMode::kClassic);
    } else if (chosen == hits) {
        SetResponseMode(MapperMode::kHits);
    } else if (chosen != nullptr) {
        OnSysCommand(chosen->data().toUInt());
    }
}

void CVibrelDlg::SetResponseMode(MapperMode mode) {
    m_mode = mode;
    for (int band = 1; band <= kBands; ++band) {
        if (CBandMapper* mapper = m_pipeline.Mapper(band)) mapper->SetMode(mode);
    }
}

void CVibrelDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
    }
}

// ---------------------------------------------------------------------------------------------
// Controls

void CVibrelDlg::OnDisable(int band) {
    if (band < 1 || band > kBands) return;
    const int k = band - 1;
    const int on = m_disableBox[k]->isChecked() ? 0 : 1;
    const bool locked = m_lockedBox->isChecked();
    if (k == 0) {
        if (on != 0) {
            m_levelSlider[0]->setEnabled(true);
        } else if (!locked) {
            m_levelSlider[0]->setEnabled(false);
        }
    } else if (!locked) {
        m_levelSlider[k]->setEnabled(on != 0);
    }
    if (!m_bPaused) m_pipeline.EnableBand(band, on != 0);
}

void CVibrelDlg::PauseEffects(bool paused) {
    m_bPaused = paused;
    for (int k = 0; k < kBands; ++k) {
        m_pipeline.EnableBand(k + 1, !paused && !m_disableBox[k]->isChecked());
    }
}

void CVibrelDlg::OnReleasedLevel(int band) {
    if (band < 1 || band > kBands) return;
    const int k = band - 1;
    const int position = m_levelSlider[k]->GetPos();
    m_pipeline.SetLevel(band, position);
    if (k == 0) m_lastLevel1 = position;
}

void CVibrelDlg::OnReleasedStrength() {
    m_pipeline.SetStrength(m_strengthSlider->GetPos());
}

void CVibrelDlg::OnVScroll(int scrollCode, CSliderCtrl* source) {
    using namespace kinetra::app;
    const bool actedOn = scrollCode == TB_LINEUP || scrollCode == TB_LINEDOWN ||
                         scrollCode == TB_PAGEUP || scrollCode == TB_PAGEDOWN ||
                         scrollCode == TB_THUMBTRACK;
    if (!actedOn || source == nullptr) return;
    if (source == m_strengthSlider) {
        m_pipeline.SetStrength(m_strengthSlider->GetPos());
        return;
    }
    bool isLevel = false;
    for (CSliderCtrl* slider : m_levelSlider) isLevel = isLevel || slider == source;
    if (!isLevel) return;

    int delta = 0;
    if (m_lockedBox->isChecked()) {
        delta = m_levelSlider[0]->GetPos() - m_lastLevel1;
        m_lastLevel1 = m_levelSlider[0]->GetPos();
    }
    m_pipeline.SetLevel(1, m_levelSlider[0]->GetPos());
    for (int k = 1; k < kBands; ++k) {
        const int position = m_levelSlider[k]->GetPos();
        m_levelSlider[k]->SetPos(kinetra::pipeline::FollowLockedLevel(position, delta));
        m_pipeline.SetLevel(k + 1, m_levelSlider[k]->GetPos());
    }
}

void CVibrelDlg::OnLocked() {
    if (m_lockedBox->isChecked()) {
        for (int k = 1; k < kBands; ++k) {
            m_levelSlider[k]->setEnabled(false);
            m_levelSlider[k]->ClearTics();
        }
        m_levelSlider[0]->setEnabled(true);
    } else {
        if (m_disableBox[0]->isChecked()) m_levelSlider[0]->setEnabled(false);
        for (int k = 1; k < kBands; ++k) {
            if (!m_disableBox[k]->isChecked()) m_levelSlider[k]->setEnabled(true);
        }
        for (int k = 1; k < kBands; ++k) m_levelSlider[k]->SetTicFreq(10);
    }
}

// ---------------------------------------------------------------------------------------------
// Test and Help

void CVibrelDlg::OnTest() {
    m_testSound.Play(kinetra::app::FindDataFile(QStringLiteral("test.wav")));
}

void CVibrelDlg::OnHelpButton() {
    const QString path = kinetra::app::FindDataFile(QStringLiteral("help/index.html"));
    if (path.isEmpty()) {
        kinetra::DebugOutput("HELP: the help file is missing\n");
        return;
    }
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(QStringLiteral("topic-%1").arg(kHelpTopic));
    kinetra::app::OpenUrl(url);
}

// ---------------------------------------------------------------------------------------------
// Presets, "Feel each band", and ending from outside

kinetra::app::PresetPositions CVibrelDlg::CurrentPositions() const {
    kinetra::app::PresetPositions positions;
    for (int k = 0; k < kBands; ++k) positions.level[k] = m_levelSlider[k]->GetPos();
    positions.strength = m_strengthSlider->GetPos();
    return positions;
}

void CVibrelDlg::ApplyPreset(const kinetra::app::PresetPositions& positions) {
    for (int k = 0; k < kBands; ++k) {
        m_levelSlider[k]->SetPos(positions.level[k]);
        m_pipeline.SetLevel(k + 1, m_levelSlider[k]->GetPos());
    }
    // Followers move on from here while Locked.
    m_lastLevel1 = m_levelSlider[0]->GetPos();
    m_strengthSlider->SetPos(positions.strength);
    m_pipeline.SetStrength(m_strengthSlider->GetPos());
}

void CVibrelDlg::OnSavePreset() {
    QString name;
    if (!kinetra::app::AskText(this, QStringLiteral("Save Preset"),
                               QStringLiteral("Name of the preset:"), &name)) {
        return;
    }
    QString why;
    const QString clean = kinetra::app::CleanPresetName(name, &why);
    const QString caption = QString::fromLatin1(kinetra::app::kErrorCaption);
    if (clean.isEmpty()) {
        kinetra::app::ShowMessageBox(this, why, caption, MessageIcon::Exclamation);
        return;
    }
    const std::unique_ptr<QSettings> key = kinetra::app::OpenSettingsKey();
    kinetra::app::WriteSavedPreset(*key, clean, CurrentPositions());
    if (!kinetra::app::SyncSettingsKey(*key)) {
        kinetra::app::ShowMessageBox(
            this, QStringLiteral("The preset could not be saved."), caption,
            MessageIcon::Exclamation,
            QStringLiteral("Why: the settings file cannot be written: ") + key->fileName());
    }
}

void CVibrelDlg::OnFeelBands() {
    m_feel->Start();
}

void CVibrelDlg::EndRun() {
    // What is open over the window closes first: its own loop ends, then the window's.
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == this) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        if (QApplication::activeModalWidget() == modal) break;  // it would not close
    }
    if (m_tray != nullptr) m_tray->Quit();
    PostQuitMessage(0);
}

void CVibrelDlg::CommitSettings() {
    SaveSettings();
    m_committed = std::make_pair(CurrentPositions(), m_mode);
}

// Tooltips, and names for screen readers that say which band a control is for.
void CVibrelDlg::DescribeControls() {
    using namespace kinetra::app;
    for (int k = 0; k < kBands; ++k) {
        m_levelSlider[k]->setAccessibleName(LevelSliderName(k + 1));
        m_levelSlider[k]->setToolTip(
            QStringLiteral("How easily %1 makes the device vibrate: most at the top")
                .arg(BandLabel(k + 1)));
        m_disableBox[k]->setAccessibleName(DisableBoxName(k + 1));
        m_disableBox[k]->setToolTip(
            QStringLiteral("Switches the vibration of %1 off").arg(BandLabel(k + 1)));
    }
    m_strengthSlider->setToolTip(
        QStringLiteral("How strongly every band vibrates: full strength at the top"));
    m_lockedBox->setToolTip(QStringLiteral("Sliders 2 to 5 follow slider 1"));
    m_testButton->setToolTip(
        QStringLiteral("Plays a test sound: a hit in each band, then a beat that uses all five"));
    m_helpButton->setToolTip(QStringLiteral("Opens the help at \"Optimizing your settings\""));
    m_status->setToolTip(
        QStringLiteral("What Kinetra listens to, the device it drives, and the sound it hears"));
}
