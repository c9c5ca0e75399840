// The Tarvo Configuration Updater: one window, one button.
#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvo Configuration Updater"));
    platform::QtPlatform platform;
    int rc = 0;
    {
        tarvo::window::MainWindow window(platform);
        window.updater().load();
        window.show();
        rc = app.exec();
        // The window is released here; process end follows.
        window.updater().startUninstallerIfPresent();
    }
    return rc;
}
