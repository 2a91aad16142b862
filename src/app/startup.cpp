#include "app/startup.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <QApplication>
#include <QTimer>

#include "app/main_window.h"
#include "app/qt_event_pump.h"
#include "text/event_pump.h"
#include "text/program_directory.h"

namespace sh::app {

void prepareWebEngine() {
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

namespace {

// Whether a local X display (":N" or ":N.S") accepts connections, on its abstract or its
// file socket. Other forms (host:N, launchd paths) are taken on trust.
bool localXDisplayAnswers(const QByteArray& display) {
    if (!display.startsWith(':'))
        return true;
    bool isNumber = false;
    const int number = display.mid(1).split('.').first().toInt(&isNumber);
    if (!isNumber)
        return true;
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    for (bool abstract : {true, false}) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return true;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const size_t offset = abstract ? 1 : 0;  // abstract names begin with a NUL byte
        std::memcpy(address.sun_path + offset, path.data(), path.size());
        const auto length =
            socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
        const bool answered = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
        close(fd);
        if (answered)
            return true;
    }
    return false;
}

}  // namespace

bool displayAvailable(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") && localXDisplayAnswers(qgetenv("DISPLAY"));
}

int runProgram(int argc, char** argv, const std::function<void(MainWindow&)>& afterShown) {
    if (!displayAvailable(argc, argv)) {
        std::fputs(
            "siteharvest: no display found (DISPLAY is empty or does not answer, and there\n"
            "is no WAYLAND_DISPLAY).\n"
            "Start it on a desktop session, under xvfb-run, or with QT_QPA_PLATFORM=offscreen.\n",
            stderr);
        return 1;
    }

    // 1. The browser view's own set-up, which needs to happen before the application.
    prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SiteHarvest"));
    QApplication::setQuitOnLastWindowClosed(true);

    // 2. The program's directory becomes the current one: its files live there.
    std::error_code ignored;
    std::filesystem::current_path(sh::programDirectory(), ignored);

    // Waits on this thread run a nested event loop from here on.
    QtEventPump pump;
    sh::ScopedPump installed(pump);

    // 3., 4. The window, with its events held back until every control is built.
    MainWindow window;
    QObject::connect(&window, &MainWindow::closing, &pump, &QtEventPump::requestClose);

    // 5. Shown centred.
    window.centreOnPrimaryScreen();
    window.show();
    if (afterShown)
        QTimer::singleShot(0, &window, [&] { afterShown(window); });

    // 6. Until the window is closed. The window outlives the loop, so a handler that is
    // still unwinding after the close never meets a destroyed control.
    return app.exec();
}

}  // namespace sh::app
