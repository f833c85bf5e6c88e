// A device's configuration as a file: saved, compared, restored and reported
// from the "Configuration" page, against the simulated transmitter on a real
// pseudo-terminal; and the file format's own rules without a device.

#include "ops/configuration.h"
#include "support/window_rig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;
namespace config = ops::config;

namespace {

constexpr int kDeadline = 60000;

QObject* filesOf(WindowRig& r) {
    return r.form().findChild<QObject*>(QStringLiteral("ConfigurationFiles"));
}

// Runs an action of the page by its invokable name and waits for its end;
// the status line's text then.
QString run(WindowRig& r, const char* action, const QString& path) {
    QObject* files = filesOf(r);
    QSignalSpy finished(files, SIGNAL(finished(QString)));
    bool started = false;
    QMetaObject::invokeMethod(files, action, Q_RETURN_ARG(bool, started), Q_ARG(QString, path));
    if (!started) return QStringLiteral("<not started>");
    if (!finished.wait(kDeadline) && finished.isEmpty()) return QStringLiteral("<not finished>");
    return finished.first().first().toString();
}

// The rows of ConfigDiffTable that differ: "Setting" column.
QStringList differing(WindowRig& r) {
    auto* table = r.get<QTableWidget>("ConfigDiffTable");
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row)
        if (!table->item(row, 3)->text().isEmpty()) out << table->item(row, 0)->text();
    return out;
}

QJsonObject settingIn(const QJsonObject& file, const QString& key) {
    for (const QJsonValue& v : file.value(QStringLiteral("settings")).toArray())
        if (v.toObject().value(QStringLiteral("key")).toString() == key) return v.toObject();
    return {};
}

QByteArray read(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class ConfigurationTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void savedFileRecordsBytesTextAndRefusals();
    void savedFileComparesEqual();
    void compareMarksExactlyWhatChanged();
    void restoreSendsExactlyTheDifferingWrites();
    void badFilesSendNothing_data();
    void badFilesSendNothing();
    void fileOfAnotherDeviceAsksFirst();
    void reportIsAPdfWithTagAndRange();
    void plannedWritesCarryEverySettingOfTheirCommand();

private:
    std::unique_ptr<WindowRig> r_;
    QTemporaryDir dir_;
    QString saved_; // the transmitter as found
};

void ConfigurationTest::initTestCase() {
    QVERIFY(dir_.isValid());
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    QVERIFY(r_->discover());
    saved_ = dir_.filePath(QStringLiteral("found.json"));
    const QString said = run(*r_, "save", saved_);
    QVERIFY2(said.startsWith(QStringLiteral("Configuration saved to")), qPrintable(said));
}

void ConfigurationTest::savedFileRecordsBytesTextAndRefusals() {
    const QJsonObject file = QJsonDocument::fromJson(read(saved_)).object();
    QCOMPARE(file.value(QStringLiteral("format")).toString(), QStringLiteral("rx460k-configuration"));
    QCOMPARE(file.value(QStringLiteral("version")).toInt(), 1);
    QVERIFY(file.value(QStringLiteral("tool")).toString().startsWith(QStringLiteral("rx460k ")));
    const QJsonObject device = file.value(QStringLiteral("device")).toObject();
    QCOMPARE(device.value(QStringLiteral("longAddress")).toString(), QStringLiteral("26 05 01 02 03"));
    QCOMPARE(device.value(QStringLiteral("manufacturerName")).toString(), QStringLiteral("Rosemount"));

    // The transmitter's own values, as bytes and as text.
    const QJsonObject damping = settingIn(file, QStringLiteral("damping"));
    QCOMPARE(damping.value(QStringLiteral("bytes")).toString(), QStringLiteral("3F 00 00 00")); // 0.5
    QCOMPARE(damping.value(QStringLiteral("text")).toString(), QStringLiteral("0.5 s"));
    QCOMPARE(settingIn(file, QStringLiteral("tag")).value(QStringLiteral("text")).toString(),
             QStringLiteral("TT100"));
    QCOMPARE(settingIn(file, QStringLiteral("upperRange")).value(QStringLiteral("text")).toString(),
             QStringLiteral("100 degC"));
    // A HART 5 device has no long tag: recorded as refused, with its code.
    const QJsonObject longTag = settingIn(file, QStringLiteral("longTag"));
    QVERIFY(!longTag.contains(QStringLiteral("bytes")));
    QCOMPARE(longTag.value(QStringLiteral("responseCode")).toInt(), 64);
    QCOMPARE(longTag.value(QStringLiteral("refused")).toString(),
             QStringLiteral("command not implemented"));
}

void ConfigurationTest::savedFileComparesEqual() {
    QCOMPARE(run(*r_, "compare", saved_),
             QStringLiteral("The device holds what %1 holds.").arg(saved_));
    QCOMPARE(differing(*r_), QStringList());
}

void ConfigurationTest::compareMarksExactlyWhatChanged() {
    r_->device().withState([](sim::SimState& s) {
        s.damping = 2.0f;
        s.descriptor = "NEW PUMP";
    });
    const QString said = run(*r_, "compare", saved_);
    QVERIFY2(said.startsWith(QStringLiteral("2 of ")), qPrintable(said));
    QCOMPARE(differing(*r_), (QStringList{"Descriptor", "Damping"}));
}

// Damping (command 34) and the descriptor (command 18, which carries tag and
// date too) differ: exactly those two writes go out, with the file's bytes,
// and the device holds the file's values again.
void ConfigurationTest::restoreSendsExactlyTheDifferingWrites() {
    r_->device().withState([](sim::SimState& s) {
        s.damping = 2.0f;
        s.descriptor = "NEW PUMP";
    });
    const QJsonObject file = QJsonDocument::fromJson(read(saved_)).object();
    const auto bytesOf = [&](const char* key) {
        return hex(settingIn(file, QString::fromLatin1(key))
                       .value(QStringLiteral("bytes"))
                       .toString()
                       .toLatin1()
                       .constData());
    };
    r_->forgetReceived();
    QObject* files = filesOf(*r_);
    QSignalSpy finished(files, SIGNAL(finished(QString)));
    bool started = false;
    QMetaObject::invokeMethod(files, "restore", Q_RETURN_ARG(bool, started),
                              Q_ARG(QString, saved_));
    QVERIFY(started);
    QVERIFY(r_->answer("RestoreQuestion", QStringLiteral("Write"), kDeadline));
    QVERIFY(finished.wait(kDeadline) || !finished.isEmpty());
    QCOMPARE(finished.first().first().toString(), QStringLiteral("Restore: 2 of 2 writes took."));

    std::vector<Bytes> writes;
    for (const Bytes& f : r_->device().takeFrames())
        if (f.at(6) == 34 || f.at(6) == 18) writes.push_back(f);
    QCOMPARE(writes.size(), std::size_t{2});
    QCOMPARE(int(writes[0].at(6)), 34);
    QCOMPARE(Bytes(writes[0].begin() + 8, writes[0].end() - 1), bytesOf("damping"));
    QCOMPARE(int(writes[1].at(6)), 18);
    Bytes tagged = bytesOf("tag");
    tagged = rig::concat(rig::concat(tagged, bytesOf("descriptor")), bytesOf("date"));
    QCOMPARE(Bytes(writes[1].begin() + 8, writes[1].end() - 1), tagged);

    const auto state = r_->device().withState([](sim::SimState& s) { return s; });
    QCOMPARE(state.damping, 0.5f);
    QCOMPARE(QString::fromStdString(state.descriptor).trimmed(), QStringLiteral("LOOP SIMULATOR"));
    QCOMPARE(differing(*r_), QStringList()); // read back: all took
}

void ConfigurationTest::badFilesSendNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("says");
    QTest::newRow("not JSON") << QByteArray("{ damaged") << "not a configuration file";
    QTest::newRow("another format") << QByteArray(R"({"format":"other","version":1})")
                                    << "its format is \"other\"";
    QTest::newRow("a later version")
        << QByteArray(R"({"format":"rx460k-configuration","version":2})")
        << "has version 2; this program reads version 1 only";
    QTest::newRow("bytes of the wrong length")
        << QByteArray(R"({"format":"rx460k-configuration","version":1,"device":)"
                      R"({"longAddress":"26 05 01 02 03","identity":""},)"
                      R"("settings":[{"key":"damping","bytes":"3F 00"}]})")
        << "setting \"damping\" does not hold 4 bytes";
}

void ConfigurationTest::badFilesSendNothing() {
    QFETCH(QByteArray, content);
    QFETCH(QString, says);
    const QString path = dir_.filePath(QStringLiteral("bad.json"));
    write(path, content);
    r_->forgetReceived();
    QObject* files = filesOf(*r_);
    bool started = true;
    QMetaObject::invokeMethod(files, "restore", Q_RETURN_ARG(bool, started), Q_ARG(QString, path));
    QVERIFY(!started);
    const QString box = r_->takeErrorBox();
    QVERIFY2(box.contains(says), qPrintable(box));
    QVERIFY2(box.contains(QStringLiteral("Nothing was sent")), qPrintable(box));
    QVERIFY(r_->device().takeFrames().empty());
}

void ConfigurationTest::fileOfAnotherDeviceAsksFirst() {
    QJsonObject file = QJsonDocument::fromJson(read(saved_)).object();
    QJsonObject device = file.value(QStringLiteral("device")).toObject();
    device[QStringLiteral("longAddress")] = QStringLiteral("26 05 0A 0B 0C");
    file[QStringLiteral("device")] = device;
    const QString path = dir_.filePath(QStringLiteral("other.json"));
    write(path, QJsonDocument(file).toJson());
    r_->device().withState([](sim::SimState& s) { s.damping = 3.0f; });

    bool started = false;
    QMetaObject::invokeMethod(filesOf(*r_), "restore", Q_RETURN_ARG(bool, started),
                              Q_ARG(QString, path));
    QVERIFY(started);
    QVERIFY(r_->answer("ForeignFileQuestion", QStringLiteral("Cancel"), kDeadline));
    QVERIFY(r_->settle());
    // Read, but nothing written.
    for (const Bytes& f : r_->device().takeFrames())
        QVERIFY2(f.at(6) != 34 && f.at(6) != 18, qPrintable(rig::hexText(f)));
    QCOMPARE(r_->device().withState([](sim::SimState& s) { return s.damping; }), 3.0f);
    r_->device().withState([](sim::SimState& s) { s.damping = 0.5f; });
}

void ConfigurationTest::reportIsAPdfWithTagAndRange() {
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty()) QFAIL("pdftotext (poppler-utils) is needed to read the report");
    const QString path = dir_.filePath(QStringLiteral("report.pdf"));
    const QString said = run(*r_, "printReport", path);
    QCOMPARE(said, QStringLiteral("Configuration report written to %1").arg(path));
    QVERIFY(read(path).startsWith("%PDF"));
    QProcess p;
    p.start(pdftotext, {path, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* expected : {"Configuration report", "TT100", "Upper range value", "100 degC",
                                 "Lower range value", "Signature"})
        QVERIFY2(text.contains(QLatin1String(expected)), expected);
}

// Without a device: a write carries every setting of its command as the
// file has it, and the polling address goes last.
void ConfigurationTest::plannedWritesCarryEverySettingOfTheirCommand() {
    auto parsed = config::fromFile(read(saved_));
    QVERIFY(std::holds_alternative<config::Configuration>(parsed));
    const auto file = std::get<config::Configuration>(parsed);
    config::Configuration device = file;
    for (auto& s : device.settings) {
        if (s.key == QLatin1String("upperRange")) (*s.bytes)[3] ^= 0x01; // one bit of a float
        if (s.key == QLatin1String("tag")) (*s.bytes)[0] ^= 0x04;
    }
    const auto plan = config::restorePlan(file, device);
    QCOMPARE(plan.size(), std::size_t{2});
    QCOMPARE(int(plan[0].command), 35);
    QCOMPARE(plan[0].keys, (QStringList{"pvUnit", "upperRange", "lowerRange"}));
    QCOMPARE(plan[0].data.size(), std::size_t{9});
    QCOMPARE(int(plan[1].command), 18);
    QCOMPARE(plan[1].data.size(), std::size_t{21});
    QVERIFY(config::restorePlan(file, file).empty());
}

QTEST_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
