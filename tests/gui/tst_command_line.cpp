// The command line: how the arguments are read, the built program run with
// --help, --version, a bad option and --port on a pseudo-terminal, and the
// port a command line asks for opened in the real window.

#include "support/window_rig.h"

#include "app/command_line.h"
#include "serial/tcomm.h"
#include "sim/pty_peer.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <termios.h>

using rig::WindowRig;

namespace {

const QString kProgram = QStringLiteral(RX460K_PROGRAM);
const QString kVersion = QStringLiteral(RX460K_VERSION);
// Generous: the program starts on a loaded two-core machine.
constexpr int kProcessDeadline = 60000;

struct Finished {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built program to its end; a program still running at the
// deadline is killed and fails the check of its caller.
Finished runProgram(const QStringList& arguments, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(kProgram, arguments);
    if (!p.waitForFinished(kProcessDeadline)) {
        p.kill();
        p.waitForFinished();
        return {.err = QStringLiteral("still running at the deadline")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// No display of any kind: a program that builds its QApplication here
// aborts for want of the platform plugin.
QProcessEnvironment withoutDisplay() {
    auto env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("rx460k-no-such-platform"));
    return env;
}

QProcessEnvironment offscreen() {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// The line settings of the pty's slave side, read through its master: what
// the program set up when it opened the port. A pty keeps 8 bits and drops
// PARENB whatever its user asks, but it keeps the speed and PARODD.
bool lineIs1200Odd(int masterFd) {
    termios t{};
    if (::tcgetattr(masterFd, &t) != 0) return false;
    return cfgetospeed(&t) == B1200 && cfgetispeed(&t) == B1200 && (t.c_cflag & PARODD) != 0 &&
           (t.c_cflag & CSTOPB) == 0;
}

QStringList fileLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void readsArguments_data();
    void readsArguments();
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
    void versionIsTheWindows();
    void badArgumentsFail_data();
    void badArgumentsFail();
    void portOptionOpensPtyAtStart();
    void startOptionsOpenThePort_data();
    void startOptionsOpenThePort();
    void portThatFailsLeavesWindowUsable();
    void readsMonitorOption_data();
    void readsMonitorOption();
    void monitorOptionWritesEverySample();
    void monitorFileThatFailsLeavesWindowUsable();
};

void CommandLineTest::readsArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("beforeApplication");
    QTest::addColumn<bool>("exits");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("outputHas");

    const QString version = QStringLiteral("rx460k %1\n").arg(kVersion);
    const QString usage = QStringLiteral("Usage: rx460k [options]\n");
    // clang-format off
    QTest::newRow("nothing") << QStringList{} << false << false << 0 << "" << "";
    QTest::newRow("--port path") << QStringList{"--port", "/dev/ttyUSB0"} << false << false << 0 << "/dev/ttyUSB0" << "";
    QTest::newRow("--port=COM5") << QStringList{"--port=COM5"} << false << false << 0 << "COM5" << "";
    QTest::newRow("-port, one dash") << QStringList{"-port", "COM2"} << false << false << 0 << "COM2" << "";
    QTest::newRow("--port simulated") << QStringList{"--port", "simulated"} << false << false << 0 << "Simulated transmitter" << "";
    QTest::newRow("--port the entry's text") << QStringList{"--port", "Simulated transmitter"} << false << false << 0 << "Simulated transmitter" << "";
    QTest::newRow("--port blanks dropped") << QStringList{"--port", " /dev/ttyACM0 "} << false << false << 0 << "/dev/ttyACM0" << "";
    QTest::newRow("--port without value") << QStringList{"--port"} << false << true << 2 << "" << "'--port'";
    QTest::newRow("--port empty") << QStringList{"--port", ""} << false << true << 2 << "" << "--port needs a port name";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << false << true << 2 << "" << "'bogus'";
    QTest::newRow("stray argument") << QStringList{"COM3"} << false << true << 2 << "" << "'COM3'";
    QTest::newRow("error points to help") << QStringList{"--bogus"} << false << true << 2 << "" << "Try 'rx460k --help'";
    QTest::newRow("toolkit option left for the toolkit") << QStringList{"-platform", "offscreen"} << true << false << 0 << "" << "";
    QTest::newRow("toolkit option with =") << QStringList{"-style=Fusion", "-reverse"} << true << false << 0 << "" << "";
    QTest::newRow("unknown option before the toolkit") << QStringList{"--bogus"} << true << true << 2 << "" << "'bogus'";
    QTest::newRow("stray argument before the toolkit") << QStringList{"COM3"} << true << true << 2 << "" << "'COM3'";
    QTest::newRow("port waits for the window") << QStringList{"--port", "COM1"} << true << false << 0 << "" << "";
    QTest::newRow("--version") << QStringList{"--version"} << true << true << 0 << "" << version;
    QTest::newRow("-v") << QStringList{"-v"} << true << true << 0 << "" << version;
    QTest::newRow("--version beside toolkit options") << QStringList{"-platform", "xcb", "--version"} << true << true << 0 << "" << version;
    QTest::newRow("--version after the toolkit's turn") << QStringList{"--version"} << false << true << 0 << "" << version;
    QTest::newRow("--help") << QStringList{"--help"} << true << true << 0 << "" << usage;
    QTest::newRow("-h") << QStringList{"-h"} << false << true << 0 << "" << usage;
    QTest::newRow("help names --port") << QStringList{"--help"} << true << true << 0 << "" << "--port <PORT>";
    QTest::newRow("help before version") << QStringList{"--version", "--help"} << true << true << 0 << "" << usage;
    QTest::newRow("help despite a bad option") << QStringList{"--bogus", "--help"} << false << true << 0 << "" << usage;
    // clang-format on
}

void CommandLineTest::readsArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, beforeApplication);
    QFETCH(bool, exits);
    QFETCH(int, exitCode);
    QFETCH(QString, port);
    QFETCH(QString, outputHas);

    arguments.prepend(QStringLiteral("/usr/bin/rx460k"));
    const auto cl =
        app::readCommandLine(arguments, beforeApplication ? app::Stage::BeforeApplication
                                                          : app::Stage::AfterApplication);
    QCOMPARE(cl.exit, exits);
    QCOMPARE(cl.exitCode, exitCode);
    QCOMPARE(cl.start.port, port);
    QVERIFY2(cl.output.contains(outputHas), qPrintable(cl.output));
    if (!exits) QVERIFY(cl.output.isEmpty());
}

void CommandLineTest::answersWithoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outputStart");
    QTest::addColumn<QStringList>("outputHas");

    const QString version = QStringLiteral("rx460k %1\n").arg(kVersion);
    const QStringList helpLines{"-h, --help", "-v, --version", "--port <PORT>",
                                "simulated",  "/dev/ttyUSB0",  "-platform"};
    QTest::newRow("--version") << QStringList{"--version"} << version << QStringList{};
    QTest::newRow("-v") << QStringList{"-v"} << version << QStringList{};
    QTest::newRow("--help") << QStringList{"--help"} << "Usage: rx460k [options]\n" << helpLines;
    QTest::newRow("-h") << QStringList{"-h"} << "Usage: rx460k [options]\n" << helpLines;
}

void CommandLineTest::answersWithoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, outputStart);
    QFETCH(QStringList, outputHas);

    const Finished f = runProgram(arguments, withoutDisplay());
    QVERIFY2(f.err.isEmpty(), qPrintable(f.err));
    QCOMPARE(f.exitCode, 0);
    QVERIFY2(f.out.startsWith(outputStart), qPrintable(f.out));
    if (outputHas.isEmpty()) QCOMPARE(f.out, outputStart); // the version line alone
    for (const QString& s : outputHas)
        QVERIFY2(f.out.contains(s), qPrintable(s));
}

void CommandLineTest::versionIsTheWindows() {
    const Finished f = runProgram({QStringLiteral("--version")}, withoutDisplay());
    QCOMPARE(f.exitCode, 0);
    const QString printed = f.out.trimmed().section(u' ', 1);
    QCOMPARE(printed, kVersion);
    WindowRig r(false);
    const QString label = r.get<QLabel>("Label2")->text();
    QVERIFY2(label.contains(QStringLiteral("Version %1 ").arg(printed)), qPrintable(label));
}

void CommandLineTest::badArgumentsFail_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("errorHas");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "'bogus'";
    QTest::newRow("stray argument") << QStringList{"COM3"} << "'COM3'";
    QTest::newRow("--port without value") << QStringList{"--port"} << "'--port'";
}

void CommandLineTest::badArgumentsFail() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, errorHas);
    // With a display to open, and without one: a usage error needs none.
    for (const auto& env : {offscreen(), withoutDisplay()}) {
        const Finished f = runProgram(arguments, env);
        QCOMPARE(f.exitCode, app::kUsageError);
        QVERIFY(f.out.isEmpty());
        QVERIFY2(f.err.contains(errorHas), qPrintable(f.err));
        QVERIFY2(f.err.contains(QStringLiteral("rx460k --help")), qPrintable(f.err));
    }
}

void CommandLineTest::portOptionOpensPtyAtStart() {
    // The device end of a pseudo-terminal, as a modem would be; the program
    // gets its platform from -platform, which must pass the command line.
    sim::PtyPeer device;
    QVERIFY(!lineIs1200Odd(device.masterFd()));
    auto env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(kProgram, {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QStringLiteral("--port"), QString::fromStdString(device.slavePath())});
    QVERIFY(p.waitForStarted(kProcessDeadline));
    const bool configured = rig::waitFor(
        [&] { return p.state() != QProcess::Running || lineIs1200Odd(device.masterFd()); },
        kProcessDeadline);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    const bool running = p.state() == QProcess::Running;
    p.kill();
    p.waitForFinished(kProcessDeadline);
    QVERIFY2(running, qPrintable(err));
    QVERIFY(configured);
    QVERIFY(lineIs1200Odd(device.masterFd()));
}

void CommandLineTest::startOptionsOpenThePort_data() {
    QTest::addColumn<bool>("simulated");
    QTest::newRow("the device's pty") << false;
    QTest::newRow("simulated") << true;
}

void CommandLineTest::startOptionsOpenThePort() {
    QFETCH(bool, simulated);
    WindowRig r(false);
    const QString path = QString::fromStdString(r.device().portPath());
    const auto cl = app::readCommandLine({QStringLiteral("rx460k"), QStringLiteral("--port"),
                                          simulated ? QStringLiteral("simulated") : path},
                                         app::Stage::AfterApplication);
    QVERIFY(!cl.exit);
    app::applyStartOptions(r.form(), cl.start);

    QVERIFY(r.isOpen());
    auto* list = r.get<QComboBox>("SPREALCOM");
    if (simulated) {
        QCOMPARE(list->currentIndex(), list->findText(QStringLiteral("Simulated transmitter")));
        QVERIFY(r.form().simulator());
        QCOMPARE(r.form().comm().CommName(),
                 QString::fromStdString(r.form().simulator()->portPath()));
    } else {
        QCOMPARE(list->currentText(), path);
        QCOMPARE(r.form().comm().CommName(), path);
        QVERIFY(!r.form().simulator());
    }
    // Whichever device is behind the port answers the address-0 query.
    QVERIFY(r.discover());
}

void CommandLineTest::portThatFailsLeavesWindowUsable() {
    WindowRig r(false);
    app::applyStartOptions(r.form(), {.port = QStringLiteral("/dev/rx460k-no-such-port")});
    const QString box = r.takeErrorBox();
    QCOMPARE(box.section(u'\n', 0, 0), QStringLiteral("Error opening serial port"));
    QVERIFY(!r.isOpen());
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(r.get<QPushButton>("Button1")->isEnabled());
    QVERIFY(!r.get<QPushButton>("Button3")->isEnabled());
    QCOMPARE(r.get<QComboBox>("SPREALCOM")->currentText(),
             QStringLiteral("/dev/rx460k-no-such-port"));
    // The user picks another port and carries on.
    QVERIFY(r.openPort());
    QVERIFY(r.discover());
}

void CommandLineTest::readsMonitorOption_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("monitor");
    QTest::addColumn<QString>("outputHas");
    // clang-format off
    QTest::newRow("--monitor FILE") << QStringList{"--monitor", "run.csv"} << 0 << "run.csv" << "";
    QTest::newRow("--monitor=FILE") << QStringList{"--monitor=/tmp/a b.csv"} << 0 << "/tmp/a b.csv" << "";
    QTest::newRow("beside --port and --trace") << QStringList{"--port", "COM2", "--trace", "t.txt", "--monitor", "m.csv"} << 0 << "m.csv" << "";
    QTest::newRow("without value") << QStringList{"--monitor"} << 2 << "" << "'--monitor'";
    QTest::newRow("empty") << QStringList{"--monitor", ""} << 2 << "" << "--monitor needs a file name";
    QTest::newRow("help names it") << QStringList{"--help"} << 0 << "" << "--monitor <FILE>";
    // clang-format on
}

void CommandLineTest::readsMonitorOption() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, monitor);
    QFETCH(QString, outputHas);
    arguments.prepend(QStringLiteral("rx460k"));
    const auto cl = app::readCommandLine(arguments, app::Stage::AfterApplication);
    QCOMPARE(cl.exitCode, exitCode);
    QCOMPARE(cl.start.monitor, monitor);
    QVERIFY2(cl.output.contains(outputHas), qPrintable(cl.output));
}

// The file gets its header at start, and each sample as it is taken: it
// is read here while the monitor still runs.
void CommandLineTest::monitorOptionWritesEverySample() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    app::applyStartOptions(r.form(), {.monitor = path});
    QCOMPARE(fileLines(path),
             (QStringList{QStringLiteral(
                 "time,long_address,tag,variable,value,unit_code,unit_text,status")}));
    r.get<QPushButton>("MonitorButton")->click();
    r.get<QComboBox>("MonitorSource")->setCurrentIndex(0); // command 2
    r.get<QDoubleSpinBox>("MonitorInterval")->setValue(0.5);
    QVERIFY(r.click("MonitorStart"));
    // Two polls of two values each.
    QVERIFY(rig::waitFor([&] { return fileLines(path).size() >= 5; }, 20000));
    const QStringList lines = fileLines(path);
    const float current = r.device().withState([](sim::SimState& s) { return s.loopCurrent; });
    QVERIFY2(
        lines[1].contains(QStringLiteral(",2605010203,TT100,Loop current,%1,39,mA,").arg(current)),
        qPrintable(lines[1]));
    QVERIFY2(lines[2].contains(QStringLiteral(",2605010203,TT100,Percent of range,")),
             qPrintable(lines[2]));
    QVERIFY(r.click("MonitorStop"));
}

void CommandLineTest::monitorFileThatFailsLeavesWindowUsable() {
    WindowRig r;
    app::applyStartOptions(r.form(), {.monitor = QStringLiteral("/rx460k-no-such-folder/m.csv")});
    const QString box = r.takeErrorBox();
    QCOMPARE(box.section(u'\n', 0, 0), QStringLiteral("The monitor log was not started."));
    QVERIFY2(box.contains(QStringLiteral("/rx460k-no-such-folder/m.csv: ")), qPrintable(box));
    QVERIFY(r.discover());
}

QTEST_MAIN(CommandLineTest)
#include "tst_command_line.moc"
