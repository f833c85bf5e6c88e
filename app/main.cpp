#include "app/command_line.h"
#include "app/main_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    // --help and --version need no display; answer them before QApplication,
    // which does.
    if (const auto early =
            app::readCommandLine(app::rawArguments(argc, argv), app::Stage::BeforeApplication);
        early.exit)
        return app::finish(early);

    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rx460k"));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.rx460k.rx460k"));
    const auto commandLine =
        app::readCommandLine(QCoreApplication::arguments(), app::Stage::AfterApplication);
    if (commandLine.exit) return app::finish(commandLine);

    TForm1 window;
    window.show();
    app::applyStartOptions(window, commandLine.start);
    return application.exec();
}
