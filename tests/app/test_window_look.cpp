// How the window looks and speaks: its font follows the desktop's size (8 points at least) and
// the layout grows with it, every control has a tooltip and each band's controls a name of their
// own, and the error boxes carry the reason and what to try, centred where the user looks.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "app/about_dlg.h"
#include "app/dialog_units.h"
#include "app/services.h"
#include "dialog_fixture.h"

namespace kinetra::test {
namespace {

// Sets the application's (the desktop's) font size for the life of the object.
class DesktopFontSize {
public:
    explicit DesktopFontSize(double points) : m_before(QApplication::font()) {
        QFont font = m_before;
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    ~DesktopFontSize() { QApplication::setFont(m_before); }

private:
    QFont m_before;
};

struct Look {
    double points;
    kinetra::app::DialogBaseUnits units;
    QSize window;
    QSize about;
};

Look LookAt(double desktopPoints) {
    DesktopFontSize size(desktopPoints);
    CVibrelDlg window;
    CAboutDlg about;
    return {window.font().pointSizeF(), kinetra::app::BaseUnitsOf(QFontMetrics(window.font())),
            window.size(), about.size()};
}

TEST(WindowLook, TheFontFollowsTheDesktopWithEightPointsAtLeast) {
    const Look eight = LookAt(8);
    const Look twelve = LookAt(12);
    const Look six = LookAt(6);
    EXPECT_EQ(eight.points, 8.0);
    EXPECT_EQ(twelve.points, 12.0);
    EXPECT_EQ(six.points, 8.0);
    EXPECT_EQ(six.window, eight.window);
    EXPECT_EQ(six.about, eight.about);
    // The window and the About box grow by the ratio of the base units (to a pixel's rounding
    // of 320 × 158 and 235 × 50 dialog units).
    ASSERT_GT(twelve.units.cx, eight.units.cx);
    ASSERT_GT(twelve.units.cy, eight.units.cy);
    const double across = static_cast<double>(twelve.units.cx) / eight.units.cx;
    const double down = static_cast<double>(twelve.units.cy) / eight.units.cy;
    EXPECT_NEAR(twelve.window.width(), eight.window.width() * across, across);
    EXPECT_NEAR(twelve.window.height(), eight.window.height() * down, down);
    EXPECT_NEAR(twelve.about.width(), eight.about.width() * across, across);
    EXPECT_NEAR(twelve.about.height(), eight.about.height() * down, down);
}

TEST(WindowLook, EveryTextFitsItsPlaceAtEachSize) {
    for (const double points : {8.0, 9.0, 10.0, 11.0, 12.0, 16.0}) {
        DesktopFontSize size(points);
        CVibrelDlg window;
        CAboutDlg about;
        for (QWidget* dialog : {static_cast<QWidget*>(&window), static_cast<QWidget*>(&about)}) {
            for (QLabel* label : dialog->findChildren<QLabel*>()) {
                if (label->text().isEmpty() || !label->isVisibleTo(dialog)) continue;
                // A line's height is the font's, which the dialog units give exactly.
                const QSize needed =
                    label->wordWrap()
                        ? QSize(label->width(), label->heightForWidth(label->width()))
                        : QSize(label->sizeHint().width(), label->fontMetrics().height());
                EXPECT_LE(needed.width(), label->width())
                    << points << " pt: " << label->text().toStdString();
                EXPECT_LE(needed.height(), label->height())
                    << points << " pt: " << label->text().toStdString();
                EXPECT_TRUE(dialog->rect().contains(label->geometry()))
                    << points << " pt: " << label->text().toStdString();
            }
        }
    }
}

class WindowTexts : public DialogFixture {};

TEST_F(WindowTexts, EveryControlHasATooltipAndEachBandItsName) {
    ASSERT_TRUE(Start());
    for (QWidget* child : m_dlg->findChildren<QWidget*>()) {
        if (!child->property("controlId").isValid()) continue;
        EXPECT_FALSE(child->toolTip().isEmpty()) << child->objectName().toStdString();
    }
    EXPECT_FALSE(m_dlg->Status()->toolTip().isEmpty());
    const char* const disable[5] = {
        "Disable band 1 (bass, 0\u2013177 Hz)", "Disable band 2 (low mid, 220\u2013440 Hz)",
        "Disable band 3 (mid, 484\u20132000 Hz)", "Disable band 4 (high mid, 2030\u201310000 Hz)",
        "Disable band 5 (treble, 10040\u201323000 Hz)"};
    for (int band = 1; band <= 5; ++band) {
        EXPECT_EQ(m_dlg->DisableBox(band)->accessibleName(), QString::fromUtf8(disable[band - 1]));
        EXPECT_EQ(m_dlg->DisableBox(band)->text(), "Disable");
        EXPECT_TRUE(m_dlg->LevelSlider(band)->toolTip().contains(
            QString::fromUtf8(disable[band - 1]).mid(8)))
            << band;
    }
    EXPECT_EQ(m_dlg->LevelSlider(3)->accessibleName(),
              QString::fromUtf8("Response level of band 3 (mid, 484\u20132000 Hz)"));
}

TEST_F(WindowTexts, TheDevicesErrorBoxSaysWhyAndWhatToTryBelowItsDocumentedLine) {
    EXPECT_FALSE(Start("virtual,fail=open"));
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    const RecordedBox& box = m_boxes.Boxes()[0];
    EXPECT_EQ(box.text, "Could not find an Ondrel Pulsenic device.");
    EXPECT_TRUE(box.detail.startsWith("Why: the virtual device cannot be opened"))
        << box.detail.toStdString();
    EXPECT_TRUE(box.detail.contains("KINETRA_FORCE_DEVICE=virtual"));
    EXPECT_TRUE(box.detail.contains("\nDevices found: "));
}

TEST_F(WindowTexts, TheAudioInputsErrorBoxNamesTheInputAndWhatToTry) {
    m_script->SetOpenResult(kinetra::capture::kNoDriver);
    Start();
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Could not initialize DirectSound.");
    // The input named as the engine lists it, then why and what to try.
    EXPECT_TRUE(m_boxes.Boxes()[0].detail.startsWith("scripted input\nWhy: "))
        << m_boxes.Boxes()[0].detail.toStdString();
    EXPECT_TRUE(m_boxes.Boxes()[0].detail.contains("KINETRA_AUDIO_INPUT=file:"));
}

// The real box, caught while it is open: where it is and what it says below its first line.
struct ShownBox {
    QRect geometry;
    QString text;
    QString informative;
};
ShownBox ShowAndCatch(QWidget* owner) {
    ShownBox shown;
    QTimer catcher;
    QObject::connect(&catcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        shown = {box->geometry(), box->text(), box->informativeText()};
        box->accept();
    });
    catcher.start(20);
    kinetra::app::ShowMessageBox(owner, "First line.", "Caption", kinetra::app::MessageIcon::Error,
                                 "Why: <a reason> & more\nWhat to try: this.");
    return shown;
}

TEST(RealErrorBox, IsCentredOnItsShownOwnerOrElseOnTheScreen) {
    QWidget owner;
    owner.setGeometry(100, 100, 700, 400);
    const ShownBox early = ShowAndCatch(&owner);  // before the owner shows
    EXPECT_EQ(early.text, "First line.");
    EXPECT_EQ(early.informative, "Why: <a reason> & more\nWhat to try: this.");
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((early.geometry.center() - screenCentre).manhattanLength(), 8);

    owner.move(40, 60);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    const ShownBox late = ShowAndCatch(&owner);
    EXPECT_LE((late.geometry.center() - owner.frameGeometry().center()).manhattanLength(), 8);
}

}  // namespace
}  // namespace kinetra::test
