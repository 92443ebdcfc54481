// docsalve: the desktop program. Its one window is the main dialog; the program ends when the
// dialog closes. It takes no arguments of its own.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <exception>

#include "app/app_images.h"
#include "app/docsalve_dlg.h"

int main(int argc, char** argv) {
    try {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("docsalve"));
        QApplication::setApplicationVersion(QStringLiteral("1.0.0.6"));
        // Lets the desktop match the window with docsalve.desktop and its icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("docsalve"));
        QApplication::setWindowIcon(AppIcon());

        CDocsalveDlg dialog;
        // Once the window is up, so that the box has it as its owner.
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.CheckDeviceAccess(); });
        dialog.exec();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "docsalve: %s\n", error.what());
        return 1;
    }
}
