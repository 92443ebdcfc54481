// The About box: the program's icon, name and version, and an OK button.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // The control with dialog id `id` (1 is the OK button), or null.
    [[nodiscard]] QWidget* GetDlgItem(int id) const;
};
