// The About box's controls, laid out in dialog units.
#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/app_images.h"
#include "app/dialog_units.h"

namespace {

constexpr int kIdOk = 1;
// An icon control takes the size of the system's large icon, whatever the resource says.
constexpr int kLargeIconPixels = 32;

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setFont(DialogFont());
    const DialogUnits units(font());
    setWindowTitle(QString::fromUtf8("关于 Docsalve"));
    setFixedSize(units.X(170), units.Y(62));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIconPixmap(kLargeIconPixels));
    icon->setGeometry(units.X(14), units.Y(14), kLargeIconPixels, kLargeIconPixels);
    icon->setProperty(kControlIdProperty, -1);

    auto* version = new QLabel(QString::fromUtf8("Docsalve，1.0 版"), this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(units.Rect(42, 14, 114, 8));
    version->setProperty(kControlIdProperty, -1);

    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    ok->setGeometry(units.Rect(113, 41, 50, 14));
    ok->setDefault(true);
    ok->setProperty(kControlIdProperty, kIdOk);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

QWidget* CAboutDlg::GetDlgItem(int id) const {
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->property(kControlIdProperty).toInt() == id) {
            return child;
        }
    }
    return nullptr;
}
