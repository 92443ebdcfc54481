// The About box: its controls and how it closes.
#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/dialog_units.h"

namespace {

QLabel* LabelWithText(const CAboutDlg& about, const QString& text) {
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

TEST(AboutDlg, ControlsHaveTheirTextsAndPlaces) {
    CAboutDlg about;
    const DialogUnits units(about.font());
    EXPECT_EQ(about.font().pointSize(), 9);
    EXPECT_EQ(about.windowTitle().toStdString(), "关于 Docsalve");
    EXPECT_EQ(about.size(), QSize(units.X(170), units.Y(62)));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());

    QLabel* version = LabelWithText(about, QString::fromUtf8("Docsalve，1.0 版"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->geometry(), units.Rect(42, 14, 114, 8));
    EXPECT_EQ(version->textFormat(), Qt::PlainText);

    auto* ok = qobject_cast<QPushButton*>(about.GetDlgItem(1));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text().toStdString(), "确定");
    EXPECT_EQ(ok->geometry(), units.Rect(113, 41, 50, 14));
    EXPECT_TRUE(ok->isDefault());

    // The icon control takes the large icon's size at its place.
    bool iconSeen = false;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull()) {
            iconSeen = true;
            EXPECT_EQ(label->geometry().topLeft(), QPoint(units.X(14), units.Y(14)));
            EXPECT_EQ(label->pixmap().size(), QSize(32, 32));
        }
    }
    EXPECT_TRUE(iconSeen);
}

TEST(AboutDlg, ClosesWithOkEnterAndEscape) {
    struct Case {
        const char* name;
        int key; // 0: click OK
        int result;
    };
    const Case cases[] = {{"OK", 0, QDialog::Accepted},
                          {"Enter", Qt::Key_Return, QDialog::Accepted},
                          {"Escape", Qt::Key_Escape, QDialog::Rejected}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAboutDlg about;
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        auto* ok = qobject_cast<QPushButton*>(about.GetDlgItem(1));
        if (c.key == 0) {
            ok->click();
        } else {
            ok->setFocus();
            QTest::keyClick(ok, static_cast<Qt::Key>(c.key));
        }
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.result(), c.result);
    }
}

} // namespace
