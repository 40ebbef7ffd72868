#include "app/about_dlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"
#include "app/dialog_units.h"

namespace {

constexpr const char kNotice[] = "\u00a9 Ondrel Corporation";

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    using namespace kinetra::app;
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));
    setWindowTitle(QStringLiteral("About Ondrel Kinetra Entertainment"));
    setFont(DialogFont());
    setModal(true);
    const DialogBaseUnits units = BaseUnitsOf(QFontMetrics(font()));
    auto place = [&units](QWidget* widget, int x, int y, int cx, int cy) {
        widget->setGeometry(DluToPixelsX(x, units), DluToPixelsY(y, units), DluToPixelsX(cx, units),
                            DluToPixelsY(cy, units));
    };
    setFixedSize(DluToPixelsX(235, units), DluToPixelsY(50, units));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("IDR_MAINFRAME"));
    place(icon, 11, 15, 20, 20);
    const int iconSide = std::min(icon->width(), icon->height());
    icon->setPixmap(MakeAppIcon().pixmap(iconSide, iconSide));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* version =
        new QLabel(QStringLiteral("Ondrel Kinetra Entertainment Version 0.1beta"), this);
    version->setObjectName(QStringLiteral("version"));
    version->setTextFormat(Qt::PlainText);
    version->setWordWrap(true);
    version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(version, 40, 10, 119, 18);

    auto* notice = new QLabel(QString::fromUtf8(kNotice), this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setTextFormat(Qt::PlainText);
    notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(notice, 40, 34, 119, 8);
    // The version text may grow up to the top of the box.
    FitLabel(version, 0);
    FitLabel(notice, 0);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setProperty("controlId", 1);
    ok->setDefault(true);
    place(ok, 178, 7, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
}
