// "Measurement Range And Unit" and "Signal Status": sensor limits (command
// 14), output information (15), and the writes of unit (44), range (35),
// damping (34) and transfer function (47), through the real window on a pty.
#include "support/window_rig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <memory>

class TestRangeUnit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestFrames_data();
    void requestFrames();
    void unitWriteStoresUnitBeforeReply();
    void writesChangeWhatTheDeviceReadsBack();

    void sensorLimitsDisplay_data();
    void sensorLimitsDisplay();
    void outputInfoDisplay_data();
    void outputInfoDisplay();
    void queryReplyNotFound();

    void writeResult_data();
    void writeResult();
    void unconvertibleValueSendsNothing_data();
    void unconvertibleValueSendsNothing();
    void writeWithoutChoiceSendsNothing_data();
    void writeWithoutChoiceSendsNothing();
    void silentDeviceTimesOut();

private:
    QLineEdit* edit(const char* name) { return rig_->get<QLineEdit>(name); }
    QComboBox* combo(const char* name) { return rig_->get<QComboBox>(name); }
    QString label51() { return rig_->get<QLabel>("Label51")->text(); }
    // Nothing reached the device and no reply is awaited.
    void verifyNothingSent(int sentBefore);

    std::unique_ptr<rig::WindowRig> rig_;
};

namespace {
constexpr const char* kEdits[] = {"Edit11", "Edit12", "Edit14", "Edit15", "Edit16"};
constexpr int kPsi = 5, kDegC = 12, kPpm = 80, kPh = 81;
} // namespace

void TestRangeUnit::initTestCase() {
    rig_ = std::make_unique<rig::WindowRig>();
    QVERIFY(rig_->isOpen());
    rig_->select("ComboBox8", 0);
    QVERIFY(rig_->discover());
}

void TestRangeUnit::init() {
    QVERIFY(rig_->settle());
}

void TestRangeUnit::verifyNothingSent(int sentBefore) {
    QCOMPARE(rig_->cycle().bytesSent(), sentBefore);
    QCOMPARE(rig_->cycle().replyCode(), 0);
    QVERIFY(!rig_->get<QTimer>("Timer3")->isActive());
    QVERIFY(!rig_->nextFrame(500));
}

void TestRangeUnit::requestFrames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("unit");      // ComboBox1 position
    QTest::addColumn<QString>("upper"); // Edit14
    QTest::addColumn<QString>("lower"); // Edit15
    QTest::addColumn<QString>("damping");
    QTest::addColumn<int>("transfer"); // ComboBox2 position
    QTest::addColumn<QString>("sendStatus");
    QTest::addColumn<QString>("replyStatus");
    QTest::addColumn<QString>("frame");

    const QString up = "Uploading...", down = "Downloading...";
    const QString read = "Upload successful!", written = "Write successful!";
    QTest::newRow("82 A6 05 01 02 03 0E 00 2F")
        << "Button5" << kPsi << "1"
        << "2"
        << "3" << 0 << up << read << "82 A6 05 01 02 03 0E 00 2F";
    QTest::newRow("82 A6 05 01 02 03 0F 00 2E")
        << "Button13" << -1 << ""
        << ""
        << "" << -1 << up << read << "82 A6 05 01 02 03 0F 00 2E";
    QTest::newRow("82 A6 05 01 02 03 2C 01 20 2C")
        << "Button8" << kDegC << ""
        << ""
        << "" << -1 << down << written << "82 A6 05 01 02 03 2C 01 20 2C";
    QTest::newRow("82 A6 05 01 02 03 2C 01 06 0A")
        << "Button8" << kPsi << "x"
        << "y"
        << "z" << 1 << down << written << "82 A6 05 01 02 03 2C 01 06 0A";
    // Unit, then the upper range value, then the lower one.
    QTest::newRow("82 A6 05 01 02 03 23 09 06 42 C8 00 00 00 00 00 00 87")
        << "Button12" << kPsi << "100"
        << "0"
        << "" << -1 << down << written << "82 A6 05 01 02 03 23 09 06 42 C8 00 00 00 00 00 00 87";
    QTest::newRow("82 A6 05 01 02 03 23 09 20 C1 20 00 00 44 7A 00 00 F4")
        << "Button12" << kDegC << "-10"
        << "1000"
        << "" << -1 << down << written << "82 A6 05 01 02 03 23 09 20 C1 20 00 00 44 7A 00 00 F4";
    QTest::newRow("82 A6 05 01 02 03 22 04 40 00 00 00 47")
        << "Button10" << -1 << ""
        << ""
        << "2" << -1 << down << written << "82 A6 05 01 02 03 22 04 40 00 00 00 47";
    QTest::newRow("82 A6 05 01 02 03 2F 01 01 0E")
        << "Button14" << -1 << ""
        << ""
        << "" << 1 << down << written << "82 A6 05 01 02 03 2F 01 01 0E";
    QTest::newRow("82 A6 05 01 02 03 2F 01 00 0F")
        << "Button14" << -1 << ""
        << ""
        << "" << 0 << down << written << "82 A6 05 01 02 03 2F 01 00 0F";
}

void TestRangeUnit::requestFrames() {
    QFETCH(QString, button);
    QFETCH(int, unit);
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    QFETCH(QString, damping);
    QFETCH(int, transfer);
    QFETCH(QString, sendStatus);
    QFETCH(QString, replyStatus);
    QFETCH(QString, frame);

    rig_->select("ComboBox1", unit);
    rig_->setText("Edit14", upper);
    rig_->setText("Edit15", lower);
    rig_->setText("Edit16", damping);
    rig_->select("ComboBox2", transfer);
    rig_->setText("Edit11", "11");
    rig_->setText("Edit12", "12");

    QVERIFY(rig_->click(button.toLatin1().constData()));
    QCOMPARE(rig_->status(), sendStatus);
    auto sent = rig_->nextFrame();
    QVERIFY(sent);
    QCOMPARE(rig::hexText(*sent), frame + ' ');
    QVERIFY(rig::waitFor([this] { return rig_->cycle().replyCode() == 0; }));
    QCOMPARE(rig_->status(), replyStatus);
    if (replyStatus == QStringLiteral("Write successful!")) {
        // Neither sending a write nor its reply touches the page.
        QCOMPARE(edit("Edit14")->text(), upper);
        QCOMPARE(edit("Edit15")->text(), lower);
        QCOMPARE(edit("Edit16")->text(), damping);
        QCOMPARE(edit("Edit11")->text(), QStringLiteral("11"));
        QCOMPARE(combo("ComboBox1")->currentIndex(), unit);
        QCOMPARE(combo("ComboBox2")->currentIndex(), transfer);
    }
}

void TestRangeUnit::unitWriteStoresUnitBeforeReply() {
    auto& b = rig_->cycle().buffer();
    b[hart::lb::kPvUnit] = 0;
    rig_->select("ComboBox1", kDegC);
    QVERIFY(rig_->click("Button8"));
    // The reply is a queued event: nothing has handled it yet.
    QCOMPARE(int(b[hart::lb::kPvUnit]), 32);
    QCOMPARE(rig_->cycle().replyCode(), 144);
    QCOMPARE(rig_->cycle().timeoutClass().value(), host::TimeoutClass::Read);
    QVERIFY(rig::waitFor([this] { return rig_->cycle().replyCode() == 0; }));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    QCOMPARE(int(b[hart::lb::kPvUnit]), 32);

    // The range write sends the unit but leaves the learned one alone.
    rig_->select("ComboBox1", kPsi);
    rig_->setText("Edit14", "1");
    rig_->setText("Edit15", "0");
    QVERIFY(rig_->request("Button12"));
    QCOMPARE(int(b[hart::lb::kPvUnit]), 32);
}

void TestRangeUnit::writesChangeWhatTheDeviceReadsBack() {
    rig_->device().withState([](sim::SimState& s) { s.writeProtect = 0; });
    rig_->select("ComboBox1", kPsi);
    QVERIFY(rig_->request("Button8"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    rig_->setText("Edit14", "200");
    rig_->setText("Edit15", "-50");
    QVERIFY(rig_->request("Button12"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    rig_->setText("Edit16", "1.5");
    QVERIFY(rig_->request("Button10"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    rig_->select("ComboBox2", 1);
    QVERIFY(rig_->request("Button14"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));

    rig_->select("ComboBox1", 0);
    rig_->select("ComboBox2", 0);
    for (const char* e : {"Edit14", "Edit15", "Edit16"})
        rig_->setText(e, QString());
    rig_->cycle().buffer()[hart::lb::kPvUnit] = 0;
    QVERIFY(rig_->request("Button13"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(combo("ComboBox1")->currentText(), QStringLiteral("psi"));
    QCOMPARE(edit("Edit14")->text(), QStringLiteral("200"));
    QCOMPARE(edit("Edit15")->text(), QStringLiteral("-50"));
    QCOMPARE(edit("Edit16")->text(), QStringLiteral("1.5"));
    QCOMPARE(combo("ComboBox2")->currentText(), QStringLiteral("prescribing"));
    QCOMPARE(label51(), QStringLiteral("Rosemount"));
    QCOMPARE(int(rig_->cycle().buffer()[hart::lb::kPvUnit]), 6);
}

void TestRangeUnit::sensorLimitsDisplay_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("pvUnit");
    // Serial number, unit, upper, lower, minimum span. Whole texts: no cut,
    // no 0x7F marker.
    QTest::newRow("00 30 39 20 44 54 80 00 C3 48 00 00 41 20 00 00")
        << "00 30 39 20 44 54 80 00 C3 48 00 00 41 20 00 00"
        << "850"
        << "-200"
        << "degc" << 32;
    QTest::newRow("00 00 01 3D 40 83 33 33 3D CC CC CD 00 00 00 00")
        << "00 00 01 3D 40 83 33 33 3D CC CC CD 00 00 00 00"
        << "4.09999990463257"
        << "0.100000001490116"
        << "kg" << 61;
    QTest::newRow("00 00 01 27 7F C0 00 00 3A 03 12 6F 00 00 00 00")
        << "00 00 01 27 7F C0 00 00 3A 03 12 6F 00 00 00 00"
        << "NAN"
        << "0.000500000023748726"
        << "mA" << 39;
}

void TestRangeUnit::sensorLimitsDisplay() {
    QFETCH(QString, data);
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    QFETCH(QString, unit);
    QFETCH(int, pvUnit);
    rig_->respondWith(rig_->longReply(14, rig::hex(data.toLatin1().constData())));
    QVERIFY(rig_->request("Button5"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(edit("Edit11")->text(), upper);
    QCOMPARE(edit("Edit12")->text(), lower);
    QCOMPARE(combo("ComboBox10")->currentText(), unit);
    QCOMPARE(int(rig_->cycle().buffer()[hart::lb::kPvUnit]), pvUnit);
}

void TestRangeUnit::outputInfoDisplay_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("responseCode");
    QTest::addColumn<int>("transfer"); // ComboBox2 position
    QTest::addColumn<QString>("transferText");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("values"); // Edit14, Edit15, Edit16
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<int>("pvUnit");
    // Alarm, transfer function, unit, upper, lower, damping, write protect,
    // manufacturer.
    QTest::newRow("00 01 06 40 83 33 33 00 00 00 00 3F 00 00 00 00 26")
        << "00 01 06 40 83 33 33 00 00 00 00 3F 00 00 00 00 26" << 0 << 1 << "prescribing"
        << "psi" << QStringList{"4.09999990463257", "0", "0.5"} << "Rosemount" << 6;
    QTest::newRow("00 02 20 42 C8 00 00 C1 20 00 00 40 00 00 00 00 2C")
        << "00 02 20 42 C8 00 00 C1 20 00 00 40 00 00 00 00 2C" << 0 << -1 << ""
        << "degc" << QStringList{"100", "-10", "2"} << "unknown" << 32;
    QTest::newRow("00 00 08 44 7A 00 00 00 00 00 00 00 00 00 00 00 C8")
        << "00 00 08 44 7A 00 00 00 00 00 00 00 00 00 00 00 C8" << 0 << 0 << "linear"
        << "mbar" << QStringList{"1000", "0", "0"} << "unknown" << 8;
    // A read decoder does not look at the response code.
    QTest::newRow("rc 07: 00 00 06 3F C0 00 00 00 00 00 00 3F 00 00 00 01 05")
        << "00 00 06 3F C0 00 00 00 00 00 00 3F 00 00 00 01 05" << 7 << 0 << "linear"
        << "psi" << QStringList{"1.5", "0", "0.5"} << "Bailey" << 6;
}

void TestRangeUnit::outputInfoDisplay() {
    QFETCH(QString, data);
    QFETCH(int, responseCode);
    QFETCH(int, transfer);
    QFETCH(QString, transferText);
    QFETCH(QString, unit);
    QFETCH(QStringList, values);
    QFETCH(QString, manufacturer);
    QFETCH(int, pvUnit);
    rig_->select("ComboBox2", 0);
    rig_->respondWith(rig_->longReply(15, rig::hex(data.toLatin1().constData()),
                                      static_cast<std::uint8_t>(responseCode)));
    QVERIFY(rig_->request("Button13"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(combo("ComboBox2")->currentIndex(), transfer);
    QCOMPARE(combo("ComboBox2")->currentText(), transferText);
    QCOMPARE(combo("ComboBox1")->currentText(), unit);
    QCOMPARE(edit("Edit14")->text(), values[0]);
    QCOMPARE(edit("Edit15")->text(), values[1]);
    QCOMPARE(edit("Edit16")->text(), values[2]);
    QCOMPARE(label51(), manufacturer);
    QCOMPARE(int(rig_->cycle().buffer()[hart::lb::kPvUnit]), pvUnit);
}

void TestRangeUnit::queryReplyNotFound() {
    // A short-frame reply carries no 0xFF 0x86 pair.
    rig_->respondWith(rig::hex("FF FF FF 06 80 0E 02 00 00 11 22 33 44 55 66 77 88"));
    for (const char* e : kEdits)
        rig_->setText(e, "stale");
    rig_->select("ComboBox10", kPsi);
    rig_->select("ComboBox1", kPsi);
    rig_->select("ComboBox2", 1);
    rig_->get<QLabel>("Label51")->setText("Rosemount");

    // Sensor limits: the two limits are emptied, the unit stays.
    QVERIFY(rig_->request("Button5"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload failed!"));
    QCOMPARE(edit("Edit11")->text(), QString());
    QCOMPARE(edit("Edit12")->text(), QString());
    QCOMPARE(combo("ComboBox10")->currentIndex(), kPsi);
    QCOMPARE(edit("Edit14")->text(), QStringLiteral("stale"));

    // Output information: lists lose their selection, values are emptied,
    // the manufacturer name stays.
    rig_->cycle().setStatus(QString());
    QVERIFY(rig_->request("Button13"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload failed!"));
    QCOMPARE(combo("ComboBox1")->currentIndex(), -1);
    QCOMPARE(combo("ComboBox1")->currentText(), QString());
    QCOMPARE(combo("ComboBox2")->currentIndex(), -1);
    QCOMPARE(combo("ComboBox2")->currentText(), QString());
    for (const char* e : {"Edit14", "Edit15", "Edit16"})
        QCOMPARE(edit(e)->text(), QString());
    QCOMPARE(label51(), QStringLiteral("Rosemount"));
    QCOMPARE(combo("ComboBox10")->currentIndex(), kPsi);
}

void TestRangeUnit::writeResult_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("status");
    QTest::newRow("Button8: ... 2C 03 07 00 01") << "Button8"
                                                 << "rc 07"
                                                 << "Write failed!Write protected!";
    QTest::newRow("Button12: ... 23 02 04 00") << "Button12"
                                               << "rc 04"
                                               << "Write failed!The parameter is too small!";
    QTest::newRow("Button10: ... 22 02 80 00") << "Button10"
                                               << "rc 80"
                                               << "Write failed!The channel is restricted!";
    QTest::newRow("Button14: ... 2F 02 05 00") << "Button14"
                                               << "rc 05"
                                               << "Write failed!Too little data received!";
    QTest::newRow("Button10: 00 11 22 33 44 55 66") << "Button10"
                                                    << "00 11 22 33 44 55 66"
                                                    << "Write failed!";
}

void TestRangeUnit::writeResult() {
    QFETCH(QString, button);
    QFETCH(QString, reply);
    QFETCH(QString, status);
    rig_->select("ComboBox1", kPsi);
    rig_->setText("Edit14", "10");
    rig_->setText("Edit15", "0");
    rig_->setText("Edit16", "2");
    rig_->select("ComboBox2", 0);
    if (reply.startsWith("rc "))
        rig_->device().setFaults(
            {.responseCode = static_cast<std::uint8_t>(reply.mid(3).toInt(nullptr, 16))});
    else
        rig_->respondWith(rig::hex(reply.toLatin1().constData()));
    QVERIFY(rig_->request(button.toLatin1().constData()));
    QCOMPARE(rig_->status(), status);
    QCOMPARE(edit("Edit16")->text(), QStringLiteral("2"));
    QCOMPARE(combo("ComboBox1")->currentIndex(), kPsi);
}

void TestRangeUnit::unconvertibleValueSendsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("damping");
    QTest::addColumn<QString>("message");
    QTest::newRow("Button10 empty") << "Button10"
                                    << "1"
                                    << "0"
                                    << ""
                                    << "'' is not a valid floating point value.";
    QTest::newRow("Button10 abc") << "Button10"
                                  << "1"
                                  << "0"
                                  << "abc"
                                  << "'abc' is not a valid floating point value.";
    QTest::newRow("Button12 upper 1.2.3") << "Button12"
                                          << "1.2.3"
                                          << "0"
                                          << "1"
                                          << "'1.2.3' is not a valid floating point value.";
    QTest::newRow("Button12 lower -") << "Button12"
                                      << "100"
                                      << "-"
                                      << "1"
                                      << "'-' is not a valid floating point value.";
}

void TestRangeUnit::unconvertibleValueSendsNothing() {
    QFETCH(QString, button);
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    QFETCH(QString, damping);
    QFETCH(QString, message);
    rig_->select("ComboBox1", kPsi);
    rig_->setText("Edit14", upper);
    rig_->setText("Edit15", lower);
    rig_->setText("Edit16", damping);
    const int sent = rig_->cycle().bytesSent();
    QVERIFY(rig_->click(button.toLatin1().constData()));
    QCOMPARE(rig_->takeErrorBox(), message);
    QCOMPARE(rig_->status(), QStringLiteral("Downloading..."));
    verifyNothingSent(sent);
}

void TestRangeUnit::writeWithoutChoiceSendsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("transfer");
    QTest::addColumn<QString>("status");
    QTest::newRow("Button8, no unit") << "Button8" << -1 << 0 << "Nothing sent: select a unit first.";
    QTest::newRow("Button8, ppm") << "Button8" << kPpm << 0
                                  << "Nothing sent: the unit \"ppm\" has no code to write; select another.";
    QTest::newRow("Button12, no unit") << "Button12" << -1 << 0 << "Nothing sent: select a unit first.";
    QTest::newRow("Button12, PH") << "Button12" << kPh << 0
                                  << "Nothing sent: the unit \"PH\" has no code to write; select another.";
    QTest::newRow("Button14, no choice")
        << "Button14" << kPsi << -1 << "Nothing sent: select linear or prescribing first.";
}

void TestRangeUnit::writeWithoutChoiceSendsNothing() {
    QFETCH(QString, button);
    QFETCH(int, unit);
    QFETCH(int, transfer);
    QFETCH(QString, status);
    rig_->select("ComboBox1", unit);
    rig_->select("ComboBox2", transfer);
    rig_->setText("Edit14", "100");
    rig_->setText("Edit15", "0");
    auto& b = rig_->cycle().buffer();
    b[hart::lb::kPvUnit] = 77;
    const int sent = rig_->cycle().bytesSent();
    QVERIFY(rig_->click(button.toLatin1().constData()));
    QCOMPARE(rig_->status(), status);
    verifyNothingSent(sent);
    QCOMPARE(int(b[hart::lb::kPvUnit]), 77);
}

void TestRangeUnit::silentDeviceTimesOut() {
    for (const char* e : kEdits)
        rig_->setText(e, "kept");
    rig_->select("ComboBox1", kPsi);
    rig_->device().setFaults({.silent = true});
    QVERIFY(rig_->click("Button13"));
    QVERIFY(rig_->waitStatus(QStringLiteral("Upload data timeout!")));
    for (const char* e : kEdits)
        QCOMPARE(edit(e)->text(), QStringLiteral("kept"));
    QCOMPARE(combo("ComboBox1")->currentIndex(), kPsi);
}

QTEST_MAIN(TestRangeUnit)
#include "tst_range_unit.moc"
