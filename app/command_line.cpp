#include "app/command_line.h"

#include "app/main_window.h"
#include "host/traffic_log.h"
#include "ops/monitor_log.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>

namespace app {
namespace {

const QString kProgram = QStringLiteral("rx460k");
const QString kSimulatedWord = QStringLiteral("simulated");

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the program's version and exit.")};
    QCommandLineOption port{
        QStringLiteral("port"),
        QStringLiteral("Open PORT at start: COM1 ... COM9 (/dev/ttyS0 ... /dev/ttyS8), a device "
                       "path such as /dev/ttyUSB0 or /dev/serial/by-id/..., a HART-IP server as "
                       "hartip://HOST[:PORT] (TCP) or hartip+udp://HOST[:PORT] (UDP), a secure "
                       "(version 2) one as hartips://HOST[:PORT] (TLS) or "
                       "hartips+udp://HOST[:PORT] (DTLS), port 5094 when none is given; or "
                       "\"%1\" for the simulated transmitter.")
            .arg(kSimulatedWord),
        QStringLiteral("PORT")};
    QCommandLineOption trace{
        QStringLiteral("trace"),
        QStringLiteral("Record every frame and port event of the run into FILE as it happens, "
                       "as text (FILE.txt) or as a capture Wireshark reads (FILE.pcapng)."),
        QStringLiteral("FILE")};
    QCommandLineOption monitor{
        QStringLiteral("monitor"),
        QStringLiteral("Write every sample the monitor takes into FILE as it is taken, one CSV "
                       "row each (time, long address, tag, variable, value, unit code and text, "
                       "status)."),
        QStringLiteral("FILE")};
};

// The options QGuiApplication and QApplication take out of the command line
// themselves, and whether each takes a value. Known before the application
// object exists, they let a mistyped option fail at once, without a display.
struct ToolkitOption {
    const char* name;
    bool takesValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true},    {"platformpluginpath", true}, {"platformtheme", true},
    {"plugin", true},      {"qmljsdebugger", true},      {"qwindowgeometry", true},
    {"qwindowicon", true}, {"qwindowtitle", true},       {"reverse", false},
    {"session", true},     {"style", true},              {"stylesheet", true},
    {"widgetcount", false}, {"display", true},           {"geometry", true},
    {"title", true},       {"name", true},               {"visual", true},
    {"ncols", true},       {"cmap", false},              {"nograb", false},
    {"dograb", false},     {"sync", false},              {"fn", true},
    {"font", true},        {"bg", true},                 {"background", true},
    {"fg", true},          {"foreground", true},         {"btn", true},
    {"button", true},      {"im", true},                 {"inputstyle", true},
    {"graphicssystem", true}, {"testability", false},
};

void addToolkitOptions(QCommandLineParser& parser) {
    for (const ToolkitOption& t : kToolkitOptions) {
        QCommandLineOption option(QString::fromLatin1(t.name));
        if (t.takesValue) option.setValueName(QStringLiteral("VALUE"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void addOptions(QCommandLineParser& parser, const Options& o) {
    parser.setApplicationDescription(
        QStringLiteral("Configuration tool for HART field instruments on a HART modem.\n"
                       "The toolkit's own options (-platform, -style, ...) are accepted too."));
    // The toolkit's options are single-dash words (-platform); read them as
    // words, not as bundles of one-letter options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(o.help);
    parser.addOption(o.version);
    parser.addOption(o.port);
    parser.addOption(o.trace);
    parser.addOption(o.monitor);
}

// Without an application object the parser cannot know the program's name
// and writes a placeholder into the usage line; ours is always rx460k.
QString helpText(const QCommandLineParser& parser) {
    const QString text = parser.helpText();
    return QStringLiteral("Usage: %1 [options]").arg(kProgram) + text.mid(text.indexOf(u'\n'));
}

CommandLine usageError(const QString& what) {
    return {
        .exit = true,
        .exitCode = kUsageError,
        .output =
            QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(kProgram, what)};
}

} // namespace

QString versionText() {
    return QStringLiteral("%1 %2").arg(kProgram, QStringLiteral(PROJECT_VERSION));
}

QString portListText(const QString& portOption) {
    return portOption == kSimulatedWord ? TForm1::simulatedPortName() : portOption;
}

QStringList rawArguments(int argc, const char* const* argv) {
    QStringList out;
    for (int i = 0; i < argc; ++i)
        out << QString::fromLocal8Bit(argv[i]);
    return out;
}

CommandLine readCommandLine(const QStringList& arguments, Stage stage) {
    const Options o;
    QCommandLineParser parser;
    addOptions(parser, o);
    // Before the application object exists the toolkit's options are still
    // there: known as such, anything else can be judged already.
    if (stage == Stage::BeforeApplication) addToolkitOptions(parser);
    const bool parsed = parser.parse(arguments);

    // Help first, then version, whatever else stands beside them: someone
    // who asks for help with a mistyped option should still get the help.
    if (parser.isSet(o.help)) return {.exit = true, .output = helpText(parser)};
    if (parser.isSet(o.version)) return {.exit = true, .output = versionText() + u'\n'};

    if (!parsed) return usageError(parser.errorText());
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.").arg(extra.first()));

    if (stage == Stage::BeforeApplication) return {}; // the rest waits for the window

    CommandLine out;
    if (parser.isSet(o.port)) {
        const QString port = parser.value(o.port).trimmed();
        if (port.isEmpty()) return usageError(QStringLiteral("--port needs a port name."));
        out.start.port = portListText(port);
    }
    if (parser.isSet(o.trace)) {
        const QString file = parser.value(o.trace);
        if (file.isEmpty()) return usageError(QStringLiteral("--trace needs a file name."));
        if (!host::TrafficLog::formatOf(file))
            return usageError(
                QStringLiteral("--trace %1: the name must end in .txt or .pcapng.").arg(file));
        out.start.trace = file;
    }
    if (parser.isSet(o.monitor)) {
        const QString file = parser.value(o.monitor);
        if (file.isEmpty()) return usageError(QStringLiteral("--monitor needs a file name."));
        out.start.monitor = file;
    }
    return out;
}

int finish(const CommandLine& commandLine) {
    std::FILE* stream = commandLine.exitCode == 0 ? stdout : stderr;
    std::fputs(commandLine.output.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return commandLine.exitCode;
}

void applyStartOptions(TForm1& window, const StartOptions& options) {
    // The trace first, so that it holds the port's opening too.
    if (!options.trace.isEmpty() && !window.trafficLog().startTrace(options.trace))
        window.showError(QStringLiteral("The traffic trace was not started.\n%1")
                             .arg(window.trafficLog().errorString()));
    if (!options.monitor.isEmpty()) {
        auto* log = window.findChild<ops::MonitorLog*>(QStringLiteral("MonitorLog"));
        if (log && !log->startFile(options.monitor))
            window.showError(QStringLiteral("The monitor log was not started.\n%1")
                                 .arg(log->errorString()));
    }
    if (!options.port.isEmpty()) window.openAtStart(options.port);
}

} // namespace app
