// rx460k-cli, the built program, against rx460k-sim (the simulated network on
// a pseudo-terminal and over HART-IP): every subcommand's JSON parsed back,
// every exit code.

#include "cli/cli.h"
#include "sim/sim_device.h"
#include "sim/sim_transmitter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <optional>

namespace {

constexpr int kWait = 120000;

struct Finished {
    int exitCode = -1;
    QString out;
    QString err;
};

Finished runCli(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral(RX460K_CLI_PROGRAM), arguments);
    Finished f;
    if (!p.waitForFinished(kWait)) {
        p.kill();
        p.waitForFinished();
        f.err = QStringLiteral("<timed out>");
        return f;
    }
    f.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    f.out = QString::fromUtf8(p.readAllStandardOutput());
    f.err = QString::fromUtf8(p.readAllStandardError());
    return f;
}

QList<QJsonObject> lines(const QString& out) {
    QList<QJsonObject> objects;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
        objects << QJsonDocument::fromJson(line.toUtf8()).object();
    return objects;
}

// rx460k-sim serving the simulated network; its pty path and HART-IP port.
class Simulator {
public:
    Simulator() {
        process_.start(QStringLiteral(RX460K_SIM_PROGRAM),
                       {QStringLiteral("--network"), QStringLiteral("--fast"),
                        QStringLiteral("--hartip"), QStringLiteral("0")});
        QString said;
        const QRegularExpression pty(QStringLiteral(" on (/dev/\\S+)")),
            port(QStringLiteral("127\\.0\\.0\\.1:(\\d+)"));
        for (int i = 0; i < 100 && (pty_.isEmpty() || port_.isEmpty()); ++i) {
            process_.waitForReadyRead(200);
            said += QString::fromUtf8(process_.readAllStandardError() +
                                      process_.readAllStandardOutput());
            if (auto m = pty.match(said); m.hasMatch()) pty_ = m.captured(1);
            if (auto m = port.match(said); m.hasMatch()) port_ = m.captured(1);
        }
    }
    ~Simulator() {
        process_.terminate();
        process_.waitForFinished(10000);
    }
    QString pty() const { return pty_; }
    QString hartIp() const { return QStringLiteral("hartip://127.0.0.1:%1").arg(port_); }

private:
    QProcess process_;
    QString pty_;
    QString port_;
};

} // namespace

class CliTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(!sim_.pty().isEmpty(), "rx460k-sim did not say its pty");
        QVERIFY(dir_.isValid());
    }
    void ports_data();
    void identifyAndRead();
    void identifyAndRead_data() { ports_data(); }
    void scanListsEveryDevice();
    void saveThenCompareEqual();
    void monitorSamples();
    void exitCodes_data();
    void exitCodes();
    void deviceErrorIsExitOne();

private:
    QString port(const QString& kind) const { return kind == "pty" ? sim_.pty() : sim_.hartIp(); }

    Simulator sim_;
    QTemporaryDir dir_;
};

void CliTest::ports_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("pty") << "pty";
    QTest::newRow("HART-IP") << "hartip";
}

void CliTest::identifyAndRead() {
    QFETCH(QString, kind);
    Finished f = runCli({"--port", port(kind), "identify"});
    QCOMPARE(f.exitCode, 0);
    QJsonObject id = lines(f.out).value(0);
    QCOMPARE(id.value("longAddress").toString(), QStringLiteral("26 05 01 02 03"));
    QCOMPARE(id.value("manufacturerName").toString(), QStringLiteral("Rosemount"));
    QCOMPARE(id.value("universalRevision").toInt(), 5);

    f = runCli({"--port", port(kind), "--address", "5", "identify"});
    QCOMPARE(f.exitCode, 0);
    id = lines(f.out).value(0);
    QCOMPARE(id.value("longAddress").toString(), QStringLiteral("11 B7 3A 5C 91"));
    QCOMPARE(id.value("universalRevision").toInt(), 7);

    f = runCli({"--port", port(kind), "read", "pv"});
    QCOMPARE(f.exitCode, 0);
    const QJsonObject pv = lines(f.out).value(0);
    QCOMPARE(pv.value("unitText").toString(), QStringLiteral("degC"));
    QCOMPARE(pv.value("value").toDouble(), 50.0);

    f = runCli({"--port", port(kind), "--long-address", "2605010203", "read", "dynamic"});
    QCOMPARE(f.exitCode, 0);
    const QJsonObject dyn = lines(f.out).value(0);
    QCOMPARE(dyn.value("loopCurrent").toDouble(), 12.0);
    QCOMPARE(dyn.value("sv").toObject().value("value").toDouble(), 23.5);
}

void CliTest::scanListsEveryDevice() {
    const Finished f = runCli({"--port", sim_.pty(), "scan", "0-15"});
    QCOMPARE(f.exitCode, 0);
    const auto found = lines(f.out);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[0].value("pollingAddress").toInt(), 0);
    QCOMPARE(found[0].value("tag").toString(), QStringLiteral("TT100"));
    QCOMPARE(found[1].value("pollingAddress").toInt(), 5);
    QCOMPARE(found[1].value("tag").toString(),
             QString::fromLatin1("FT-205 Speisewasser Durchflu\xDF K2"));
}

void CliTest::saveThenCompareEqual() {
    const QString path = dir_.filePath(QStringLiteral("cli.json"));
    Finished f = runCli({"--port", sim_.hartIp(), "save", path});
    QCOMPARE(f.exitCode, 0);
    QCOMPARE(lines(f.out).value(0).value("saved").toString(), path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(saved.value("format").toString(), QStringLiteral("rx460k-configuration"));

    f = runCli({"--port", sim_.pty(), "compare", path});
    QCOMPARE(f.exitCode, 0);
    const QJsonObject diff = lines(f.out).value(0);
    QCOMPARE(diff.value("differing").toInt(), 0);
    QVERIFY(!diff.value("anotherDevice").toBool());
    QVERIFY(diff.value("settings").toArray().size() > 10);

    f = runCli({"--port", sim_.pty(), "read", "config"});
    QCOMPARE(f.exitCode, 0);
    QCOMPARE(lines(f.out).value(0).value("device").toObject().value("longAddress").toString(),
             QStringLiteral("26 05 01 02 03"));
}

void CliTest::monitorSamples() {
    const Finished f = runCli({"--port", sim_.pty(), "monitor", "--interval", "0.5", "--count", "3"});
    QCOMPARE(f.exitCode, 0);
    const auto samples = lines(f.out);
    QCOMPARE(samples.size(), 3);
    for (const QJsonObject& s : samples) {
        QVERIFY(s.value("time").toString().endsWith(u'Z'));
        QCOMPARE(s.value("pv").toObject().value("unitText").toString(), QStringLiteral("degC"));
    }
}

void CliTest::exitCodes_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorHas");
    const QString bad = dir_.filePath(QStringLiteral("bad.json"));
    QFile f(bad);
    f.open(QIODevice::WriteOnly);
    f.write(R"({"format":"other","version":1})");
    f.close();
    const QString pty = sim_.pty();
    QTest::newRow("no port") << QStringList{"identify"} << 2 << "--port is needed";
    QTest::newRow("unknown command") << QStringList{"--port", pty, "fly"} << 2 << "unknown command";
    QTest::newRow("bad address") << QStringList{"--port", pty, "--address", "99", "identify"} << 2
                                 << "--address must be 0 to 63";
    QTest::newRow("foreign file") << QStringList{"--port", pty, "compare", bad} << 2
                                  << "not an rx460k configuration file";
    QTest::newRow("no such port") << QStringList{"--port", "/dev/rx460k-none", "identify"} << 3
                                  << "Error opening serial port";
    QTest::newRow("nobody at 9") << QStringList{"--port", pty, "--address", "9", "identify"} << 3
                                 << "No device answers at polling address 9";
}

void CliTest::exitCodes() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, errorHas);
    const Finished f = runCli(arguments);
    QCOMPARE(f.exitCode, exitCode);
    QVERIFY2(f.err.contains(errorHas), qPrintable(f.err));
    QVERIFY(f.out.isEmpty());
}

// The device answers, with an error: exit code 1 and the reason. The tool
// is run in this process against a simulated transmitter told to refuse.
void CliTest::deviceErrorIsExitOne() {
    sim::SimTransmitter device;
    device.setResponder([](sim::SimState& s, const sim::SimRequest& req) -> std::optional<sim::Bytes> {
        if (req.command != 1) return std::nullopt;
        return sim::longReplyFrame(s, 1, sim::SimReply{32, 0, {}});
    });
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int code = cli::run({QStringLiteral("rx460k-cli"), QStringLiteral("--port"),
                               QString::fromStdString(device.portPath()), QStringLiteral("read"),
                               QStringLiteral("pv")},
                              out, err);
    QCOMPARE(code, cli::kDeviceError);
    std::rewind(err);
    char text[512] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, err);
    QVERIFY2(QString::fromUtf8(text, static_cast<qsizetype>(n))
                 .contains(QStringLiteral("device busy (response code 32)")),
             text);
    std::fclose(out);
    std::fclose(err);
}

QTEST_MAIN(CliTest)
#include "tst_cli.moc"
