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
#include <QCommandLineParser>
#include <QCoreApplication>
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

const QString kApplicationName = QStringLiteral("SiteHarvest");
const QString kVersion = QStringLiteral(SH_VERSION);

// The window's own options. Single-dash words are long options, so that Qt's "-reverse"
// or "-platform" is never read as a cluster of letters that holds -v or -h.
struct InformationOptions {
    QCommandLineParser parser;
    QCommandLineOption help;
    QCommandLineOption version;

    InformationOptions()
        : help({QStringLiteral("h"), QStringLiteral("help")},
               QStringLiteral("Show this help and exit.")),
          version({QStringLiteral("v"), QStringLiteral("version")},
                  QStringLiteral("Show the version and exit.")) {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setApplicationDescription(
            QStringLiteral("Collect the site addresses and titles that Baidu's mobile search\n"
                           "lists for a keyword, in a window.\n\n"
                           "The exclusion file 排除网址.txt is read from, and the saved lists\n"
                           "已采集网址N.txt and 已采集标题+网址N.txt are written to:\n  ") +
            QString::fromStdString(sh::programDirectory().string()) +
            QStringLiteral("\n\nQt's own options (-platform, -style, ...) are taken as well.\n"
                           "See siteharvest(1), and siteharvest-cli(1) for the command line."));
        parser.addOption(help);
        parser.addOption(version);
    }
};

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

std::optional<int> answerInformationOptions(int argc, char** argv) {
    InformationOptions options;
    // Unknown options may be Qt's own, which QApplication takes later: ignored here.
    options.parser.parse(argumentList(argc, argv));
    const bool help = options.parser.isSet(options.help);
    if (!help && !options.parser.isSet(options.version))
        return std::nullopt;
    // A core application needs no display; the parser takes the program's name from it.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kApplicationName);
    QCoreApplication::setApplicationVersion(kVersion);
    const QByteArray text =
        (help ? options.parser.helpText()
              : kApplicationName + QLatin1Char(' ') + kVersion + QLatin1Char('\n'))
            .toLocal8Bit();
    const bool written =
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size()) &&
        std::fflush(stdout) == 0;
    return written ? 0 : 1;
}

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
    if (const std::optional<int> answered = answerInformationOptions(argc, argv))
        return *answered;
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
    QApplication::setApplicationName(kApplicationName);
    QApplication::setApplicationVersion(kVersion);
    QApplication::setQuitOnLastWindowClosed(true);
    // Ties the window to its desktop entry, for its icon and name on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("siteharvest"));

    // What is left once Qt has taken its own options: the window takes no arguments.
    {
        InformationOptions options;
        if (!options.parser.parse(QApplication::arguments()) ||
            !options.parser.positionalArguments().isEmpty()) {
            const QString problem = options.parser.errorText().isEmpty()
                                        ? QStringLiteral("unexpected argument '%1'")
                                              .arg(options.parser.positionalArguments().first())
                                        : options.parser.errorText();
            std::fprintf(stderr, "siteharvest: %s\nTry 'siteharvest --help'.\n",
                         problem.toLocal8Bit().constData());
            return 2;
        }
    }

    // 2. The program's directory becomes the current one: its files live there. Installed,
    // that is the user's data folder, made on the first start.
    if (const std::string problem = sh::makeProgramDirectory(); !problem.empty())
        std::fprintf(stderr, "siteharvest: cannot create %s: %s\n", sh::programDirectory().c_str(),
                     problem.c_str());
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
