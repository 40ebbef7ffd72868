#include "app/vibrel_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "app/desktop_check.h"
#include "app/dialog_units.h"
#include "app/hyperlink.h"
#include "app/services.h"
#include "app/tray_icon.h"
#include "platform/debug_output.h"
#include "window/band_texts.h"

const char* const CVibrelDlg::kWebAddress = "https://ondrel.example/";
const char* const CVibrelDlg::kWebHost = "ondrel.example";

namespace {

constexpr const char kCaption[] = "Ondrel Kinetra Entertainment 0.2beta";
constexpr const char kAboutMenuText[] = "&About Orlix Entertainment...";
// Height of one line of the status below the documented area, in dialog units.
constexpr int kStatusLineHeight = 9;
// The band captions' row, between the Disable boxes and the help text.
constexpr int kCaptionY = 108;

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
    DescribeControls();
    MakeBehaviour(m_timers, m_boxes, m_store, m_documents, *this);
    // Not drawn until shown.
    m_window->SetShown(false);
    qApp->installEventFilter(this);
}

CVibrelDlg::~CVibrelDlg() {
    qApp->removeEventFilter(this);
    // The teardown, while the controls it reads are still there.
    m_window.reset();
}

void CVibrelDlg::BuildControls() {
    using namespace kinetra::app;
    const DialogBaseUnits units = BaseUnitsOf(QFontMetrics(font()));
    auto place = [&units](QWidget* widget, int x, int y, int cx, int cy) {
        widget->setGeometry(DluToPixelsX(x, units), DluToPixelsY(y, units), DluToPixelsX(cx, units),
                            DluToPixelsY(cy, units));
    };
    // The documented 320 × 146 area, and the status lines below it (FitStatus).

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
        m_levelSlider[k]->SetRange(0, 100);
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
    m_strengthSlider->SetRange(0, 100);
    m_strengthSlider->SetTicFreq(10);
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

    // Each band's caption under its Disable box, its edges in the tooltip.
    static const int kCaptionX[kBands] = {86, 132, 178, 224, 270};
    for (int k = 0; k < kBands; ++k) {
        auto* caption =
            new QLabel(QString::fromStdString(kinetra::window::BandCaption(k + 1)), this);
        caption->setObjectName(QStringLiteral("bandCaption%1").arg(k + 1));
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        caption->setToolTip(QString::fromStdString(kinetra::window::BandCaptionLabel(k + 1)));
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
        place(caption, kCaptionX[k], kCaptionY, 44, 8);
    }

    m_status = new StatusLine(this);
    connect(m_status, &StatusLine::Changed, this, [this] { FitStatus(); });
    FitStatus();

    for (QPushButton* button : {m_testButton, m_helpButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    for (QLabel* label : {strengthLabel, levelsLabel, helpText}) {
        label->setTextFormat(Qt::PlainText);
        // The help text may grow up to just below the Disable boxes.
        FitLabel(label, DluToPixelsY(108, units));
    }

    // Signals to the handlers (the behaviour is made after the controls).
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
    connect(m_strengthSlider, &CSliderCtrl::ReleasedCapture, this,
            [this] { OnReleasedStrength(); });
    connect(m_strengthSlider, &QAbstractSlider::actionTriggered, this, [this](int action) {
        OnVScroll(kinetra::app::ScrollCodeForAction(action), m_strengthSlider);
    });
    connect(m_lockedBox, &QCheckBox::clicked, this, [this] { OnLocked(); });
    connect(m_testButton, &QPushButton::clicked, this, [this] { OnTest(); });
    connect(m_helpButton, &QPushButton::clicked, this, [this] { OnHelpButton(); });

    // F1 opens the help's table of contents, as the framework's help command does.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { m_window->OnHelpContents(); });
}

void CVibrelDlg::FitStatus() {
    using namespace kinetra::app;
    const DialogBaseUnits units = BaseUnitsOf(QFontMetrics(font()));
    const int lines = m_status->LineCount();
    if (lines == m_statusLines) return;
    m_statusLines = lines;
    // Below the documented 320 x 146 area, as many lines as the status needs.
    const int height = lines * kStatusLineHeight;
    m_status->setGeometry(DluToPixelsX(7, units), DluToPixelsY(145, units),
                          DluToPixelsX(306, units), DluToPixelsY(height, units));
    setFixedSize(DluToPixelsX(320, units), DluToPixelsY(146 + 3 + height, units));
}

void CVibrelDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_window->SetShown(!isMinimized());
}

void CVibrelDlg::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    m_window->SetShown(false);
}

void CVibrelDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        m_window->SetShown(isVisible() && !isMinimized());
    }
}

void CVibrelDlg::SetProblem(const std::string& text, const std::string& detail) {
    m_status->SetProblem(QString::fromStdString(text), QString::fromStdString(detail));
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
// Start-up and the modal loop

bool CVibrelDlg::OnInitDialog() {
    // Icons of the window (the About command lives in the context menu).
    setWindowIcon(m_hIcon);
    m_webLink->SetURL(QString::fromLatin1(kWebAddress));
    return m_window->OnInitDialog();
}

int CVibrelDlg::DoModal() {
    if (!m_window->Started()) OnInitDialog();
    if (!QuitRequested()) {
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
    return QuitRequested() ? QuitCode() : 0;
}

// An unattended run (kinetra::app::CurrentAutomation) saves a picture of the window and closes it
// after its time: for demonstrations and pictures of the window.
void CVibrelDlg::ArmAutomation() {
    const kinetra::app::Automation& automation = kinetra::app::CurrentAutomation();
    const bool haveQuit = automation.quit;
    const int quitAfter = automation.quitAfterMs;
    const QString screenshot = automation.screenshot;
    if (automation.minimised) {
        QTimer::singleShot(0, this, [this] { showMinimized(); });
    }
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
    kinetra::app::AddMenuItems(&menu, m_window->ContextMenu());
    menu.addSeparator();
    QAction* about = menu.addAction(QString::fromLatin1(kAboutMenuText));
    about->setData(IDM_ABOUTBOX);
    // The command runs after the menu has closed.
    const QAction* chosen = menu.exec(event->globalPos());
    event->accept();
    if (chosen == about) {
        OnSysCommand(about->data().toUInt());
    } else {
        m_window->RunMenuCommand(kinetra::app::MenuCommand(chosen));
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

void CVibrelDlg::OnVScroll(int scrollCode, CSliderCtrl* source) {
    for (int slider = 0; slider <= kBands; ++slider) {
        if (source != nullptr && source == SliderCtrl(slider)) {
            m_window->OnVScroll(scrollCode, slider);
        }
    }
}

CSliderCtrl* CVibrelDlg::SliderCtrl(int slider) const {
    return slider == kinetra::window::MainWindow::kStrength ? m_strengthSlider
                                                            : m_levelSlider[slider - 1];
}

int CVibrelDlg::SliderPosition(int slider) const {
    return SliderCtrl(slider)->GetPos();
}

void CVibrelDlg::SetSliderPosition(int slider, int position) {
    SliderCtrl(slider)->SetPos(position);
}

void CVibrelDlg::SetLevelEnabled(int band, bool enabled) {
    m_levelSlider[band - 1]->setEnabled(enabled);
}

void CVibrelDlg::SetLevelTicks(int band, bool shown) {
    if (shown) {
        m_levelSlider[band - 1]->SetTicFreq(10);
    } else {
        m_levelSlider[band - 1]->ClearTics();
    }
}

bool CVibrelDlg::DisableChecked(int band) const {
    return m_disableBox[band - 1]->isChecked();
}

bool CVibrelDlg::LockedChecked() const {
    return m_lockedBox->isChecked();
}

void CVibrelDlg::SetLockedChecked(bool checked) {
    m_lockedBox->setChecked(checked);
}

void CVibrelDlg::CloseLater() {
    if (isVisible()) QMetaObject::invokeMethod(this, &QDialog::close, Qt::QueuedConnection);
}

void CVibrelDlg::SetStatusText(StatusPart part, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    switch (part) {
        case kInputPart:
            m_status->SetInputText(shown);
            break;
        case kDevicePart:
            m_status->SetDeviceText(shown);
            break;
        case kHintPart:
            m_status->SetHintText(shown);
            break;
    }
}

void CVibrelDlg::SetSliderMeter(int slider, const kinetra::window::SliderMeter& meter) {
    SliderCtrl(slider)->SetMeter(meter);
}

void CVibrelDlg::PlayTestSound() {
    m_testSound.Play(kinetra::app::FindDataFile(QStringLiteral("test.wav")));
}

void CVibrelDlg::StopTestSound() {
    m_testSound.Stop();
}

void CVibrelDlg::CheckDesktopProgram() {
    kinetra::app::CheckDesktopProgram(OwnerInstance(), this);
}

void* CVibrelDlg::OwnerInstance() {
    return qApp;
}

void* CVibrelDlg::OwnerWindow() {
    return this;
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

// Tooltips, and names for screen readers that say which band a control is for.
void CVibrelDlg::DescribeControls() {
    using namespace kinetra::window;
    for (int k = 0; k < kBands; ++k) {
        const QString label = QString::fromStdString(BandLabel(k + 1));
        m_levelSlider[k]->setAccessibleName(QString::fromStdString(LevelSliderName(k + 1)));
        m_levelSlider[k]->setToolTip(
            QStringLiteral("How easily %1 makes the device vibrate: most at the top").arg(label));
        m_disableBox[k]->setAccessibleName(QString::fromStdString(DisableBoxName(k + 1)));
        m_disableBox[k]->setToolTip(QStringLiteral("Switches the vibration of %1 off").arg(label));
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
