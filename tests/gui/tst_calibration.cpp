// "I/O Calibration": fixed current (command 40), current trims (46, 45),
// range points (37, 36), zero (43) and display adjustment (131, 130),
// through the real window on a pty.
#include "support/window_rig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <memory>

class TestCalibration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestFrames_data();
    void requestFrames();
    void displayAdjustSendsLearnedUnit();
    void fixedCurrentDrivesLoopCurrent();
    void deviceTakesTrimsAndRangePoints();

    void writeResult_data();
    void writeResult();
    void unconvertibleValueSendsNothing_data();
    void unconvertibleValueSendsNothing();

    void keyFilterAndGate_data();
    void keyFilterAndGate();
    void gatedButtonsFollowKeysAndPort();
    void silentDeviceTimesOut();

private:
    QLineEdit* edit(const char* name) { return rig_->get<QLineEdit>(name); }
    QPushButton* button(const char* name) { return rig_->get<QPushButton>(name); }
    void choose(const char* radio) { rig_->get<QRadioButton>(radio)->setChecked(true); }

    std::unique_ptr<rig::WindowRig> rig_;
};

void TestCalibration::initTestCase() {
    rig_ = std::make_unique<rig::WindowRig>();
    QVERIFY(rig_->isOpen());
    rig_->select("ComboBox8", 0);
    QVERIFY(rig_->discover());
}

void TestCalibration::init() {
    QVERIFY(rig_->settle());
}

void TestCalibration::requestFrames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("radio"); // chosen "Current Output" item
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pvUnit"); // LinkBuffer[317] before the click
    QTest::addColumn<int>("replyCode");
    QTest::addColumn<QString>("frame");

    struct Fixed {
        const char* radio;
        const char* other; // text of Edit7
        const char* frame;
    };
    // "Other" is read only when it is the choice: junk there is ignored.
    const Fixed fixed[] = {
        {"RadioButton1", "abc", "82 A6 05 01 02 03 28 04 40 80 00 00 CD"},
        {"RadioButton2", "", "82 A6 05 01 02 03 28 04 41 00 00 00 4C"},
        {"RadioButton3", "", "82 A6 05 01 02 03 28 04 41 40 00 00 0C"},
        {"RadioButton4", "", "82 A6 05 01 02 03 28 04 41 80 00 00 CC"},
        {"RadioButton5", "", "82 A6 05 01 02 03 28 04 41 A0 00 00 EC"},
        {"RadioButton6", "12.5", "82 A6 05 01 02 03 28 04 41 48 00 00 04"},
        {"RadioButton7", "abc", "82 A6 05 01 02 03 28 04 00 00 00 00 0D"},
    };
    for (const auto& f : fixed)
        QTest::newRow(f.frame) << "Button6" << f.radio << "Edit7" << f.other << 0
                               << host::kFixedCurrentReply << f.frame;

    // Trims are sent as typed, outside the hinted 18-22 / 2-6 mA too.
    QTest::newRow("82 A6 05 01 02 03 2E 04 41 C8 00 00 82")
        << "Button15"
        << "RadioButton1"
        << "Edit9"
        << "25" << 0 << 146 << "82 A6 05 01 02 03 2E 04 41 C8 00 00 82";
    QTest::newRow("82 A6 05 01 02 03 2D 04 40 86 66 66 CE")
        << "Button30"
        << "RadioButton1"
        << "Edit10"
        << "4.2" << 0 << 145 << "82 A6 05 01 02 03 2D 04 40 86 66 66 CE";
    QTest::newRow("82 A6 05 01 02 03 25 00 04") << "Button25"
                                                << "RadioButton1"
                                                << ""
                                                << "" << 0 << 136 << "82 A6 05 01 02 03 25 00 04";
    QTest::newRow("82 A6 05 01 02 03 24 00 05") << "Button26"
                                                << "RadioButton1"
                                                << ""
                                                << "" << 0 << 137 << "82 A6 05 01 02 03 24 00 05";
    QTest::newRow("82 A6 05 01 02 03 2B 00 0A") << "Button23"
                                                << "RadioButton1"
                                                << ""
                                                << "" << 0 << 143 << "82 A6 05 01 02 03 2B 00 0A";
    // No unit learned yet: the unit byte is 0.
    QTest::newRow("82 A6 05 01 02 03 83 05 00 BF C0 00 00 D8")
        << "Button24"
        << "RadioButton1"
        << "Edit13"
        << "-1.5" << 0 << 131 << "82 A6 05 01 02 03 83 05 00 BF C0 00 00 D8";
    QTest::newRow("82 A6 05 01 02 03 82 05 20 41 A0 00 00 67")
        << "Button31"
        << "RadioButton1"
        << "Edit19"
        << "20" << 32 << 130 << "82 A6 05 01 02 03 82 05 20 41 A0 00 00 67";
}

void TestCalibration::requestFrames() {
    QFETCH(QString, button);
    QFETCH(QString, radio);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, pvUnit);
    QFETCH(int, replyCode);
    QFETCH(QString, frame);

    choose(radio.toLatin1().constData());
    if (!field.isEmpty()) rig_->setText(field.toLatin1().constData(), text);
    rig_->cycle().buffer()[hart::lb::kPvUnit] = static_cast<std::uint8_t>(pvUnit);
    // Every one of these is answered as a successful write.
    rig_->respondWith(rig_->longReply(0, {}));

    QVERIFY(rig_->click(button.toLatin1().constData()));
    QCOMPARE(rig_->status(), QStringLiteral("Downloading..."));
    QCOMPARE(rig_->cycle().replyCode(), replyCode);
    QCOMPARE(rig_->cycle().timeoutClass().value(), host::TimeoutClass::Write);
    auto sent = rig_->nextFrame();
    QVERIFY(sent);
    QCOMPARE(rig::hexText(*sent), frame + ' ');
    QVERIFY(rig::waitFor([this] { return rig_->cycle().replyCode() == 0; }));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    if (!field.isEmpty()) QCOMPARE(edit(field.toLatin1().constData())->text(), text);
    QVERIFY(rig_->get<QRadioButton>(radio.toLatin1().constData())->isChecked());
}

void TestCalibration::displayAdjustSendsLearnedUnit() {
    // The data query learns the primary variable's unit (12, kPa) ...
    rig_->device().withState([](sim::SimState& s) { s.variables[0].unit = 12; });
    QVERIFY(rig_->request("Button4"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    // ... and the low adjustment sends it before the value.
    rig_->setText("Edit13", "4.2");
    QVERIFY(rig_->request("Button24"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    QCOMPARE(rig_->get<QLineEdit>("discomm")->text(),
             QStringLiteral("FF FF FF FF FF FF FF FF 82 A6 05 01 02 03 83 05 0C 40 86 66 66 6D "));
    const auto stored = rig_->device().withState([](sim::SimState& s) { return s.vendor[-131]; });
    QCOMPARE(stored, rig::hex("0C 40 86 66 66"));
    rig_->device().withState([](sim::SimState& s) { s.variables[0].unit = 32; });
}

void TestCalibration::fixedCurrentDrivesLoopCurrent() {
    rig_->device().withState([](sim::SimState& s) {
        s.variables[0].value = 50.0f;
        s.lowerRange = 0.0f;
        s.upperRange = 100.0f;
        s.fixedCurrent.reset();
    });

    struct Step {
        const char* radio;
        const char* other;
        const char* current;
        const char* percent;
    };
    // 12.5 mA is 53.125 % of the 4-20 mA span; leaving fixed mode goes back
    // to the process value, 50 % of 0..100.
    const Step steps[] = {{"RadioButton5", "", "20", "100"},
                          {"RadioButton6", "12.5", "12.5", "53."},
                          {"RadioButton1", "", "4", "0"},
                          {"RadioButton7", "", "12", "50"}};
    for (const auto& s : steps) {
        choose(s.radio);
        rig_->setText("Edit7", QString::fromLatin1(s.other));
        QVERIFY(rig_->request("Button6"));
        QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
        QVERIFY(rig_->request("Button34"));
        QCOMPARE(edit("Edit6")->text(), QString::fromLatin1(s.current));
        QCOMPARE(edit("Edit20")->text(), QString::fromLatin1(s.percent));
    }
}

void TestCalibration::deviceTakesTrimsAndRangePoints() {
    rig_->device().withState([](sim::SimState& s) {
        s.fixedCurrent.reset();
        s.variables[0].value = 37.5f;
        s.lowerRange = 0.0f;
        s.upperRange = 100.0f;
    });
    // The simulated device trims only while held at the trim point, as the
    // page's notices ask.
    rig_->setText("Edit10", "4.05");
    QVERIFY(rig_->request("Button30"));
    QCOMPARE(rig_->status(), QStringLiteral("Write failed!Invalid parameter settings!"));
    choose("RadioButton1");
    QVERIFY(rig_->request("Button6"));
    QVERIFY(rig_->request("Button30"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    choose("RadioButton5");
    QVERIFY(rig_->request("Button6"));
    rig_->setText("Edit9", "20.05");
    QVERIFY(rig_->request("Button15"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    const auto trims = rig_->device().withState([](sim::SimState& s) {
        return std::pair{s.vendor[-45], s.vendor[-46]};
    });
    QCOMPARE(trims.first, rig::hex("40 81 99 9A"));
    QCOMPARE(trims.second, rig::hex("41 A0 66 66"));
    choose("RadioButton7");
    QVERIFY(rig_->request("Button6"));

    // The present input (37.5) becomes the lower range value.
    QVERIFY(rig_->request("Button25"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    QVERIFY(rig_->request("Button13"));
    QCOMPARE(edit("Edit15")->text(), QStringLiteral("37.5"));
    QCOMPARE(edit("Edit14")->text(), QStringLiteral("100"));
    // Zero: the primary variable reads 0 afterwards.
    QVERIFY(rig_->request("Button23"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    QVERIFY(rig_->request("Button4"));
    QCOMPARE(edit("Edit5")->text(), QStringLiteral("0"));
    // ... and the upper range point takes it.
    rig_->device().withState([](sim::SimState& s) { s.variables[0].value = 80.0f; });
    QVERIFY(rig_->request("Button26"));
    QCOMPARE(rig_->status(), QStringLiteral("Write successful!"));
    QVERIFY(rig_->request("Button13"));
    QCOMPARE(edit("Edit14")->text(), QStringLiteral("80"));
}

void TestCalibration::writeResult_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("status");
    QTest::newRow("Button6: ... 28 06 00 00 40 80 00 00") << "Button6"
                                                          << "rc 00"
                                                          << "Write successful!";
    QTest::newRow("Button6: ... 28 02 07 00") << "Button6"
                                              << "rc 07"
                                              << "Write failed!Write protected!";
    QTest::newRow("Button31: ... 82 02 10 00") << "Button31"
                                               << "rc 10"
                                               << "Write failed!Invalid parameter settings!";
    QTest::newRow("Button26: ... 24 02 01 00") << "Button26"
                                               << "rc 01"
                                               << "Write failed!Instruction not defined!";
    QTest::newRow("Button23: FF FF 06 80 2B 02 00 00 A7") << "Button23"
                                                          << "FF FF 06 80 2B 02 00 00 A7"
                                                          << "Write failed!";
}

void TestCalibration::writeResult() {
    QFETCH(QString, button);
    QFETCH(QString, reply);
    QFETCH(QString, status);
    choose("RadioButton1");
    rig_->setText("Edit19", "5");
    if (reply.startsWith("rc "))
        rig_->device().setFaults(
            {.responseCode = static_cast<std::uint8_t>(reply.mid(3).toInt(nullptr, 16))});
    else
        rig_->respondWith(rig::hex(reply.toLatin1().constData()));
    QVERIFY(rig_->request(button.toLatin1().constData()));
    QCOMPARE(rig_->status(), status);
    QCOMPARE(edit("Edit19")->text(), QStringLiteral("5"));
    rig_->device().setFaults({});
    choose("RadioButton7");
    QVERIFY(rig_->request("Button6"));
}

void TestCalibration::unconvertibleValueSendsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("Button6, Other empty") << "Button6"
                                          << "Edit7"
                                          << "";
    QTest::newRow("Button15 .") << "Button15"
                                << "Edit9"
                                << ".";
    QTest::newRow("Button30 empty") << "Button30"
                                    << "Edit10"
                                    << "";
    QTest::newRow("Button24 -") << "Button24"
                                << "Edit13"
                                << "-";
    QTest::newRow("Button31 1-2") << "Button31"
                                  << "Edit19"
                                  << "1-2";
}

void TestCalibration::unconvertibleValueSendsNothing() {
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, text);
    choose("RadioButton6");
    rig_->setText("Edit7", "4");
    rig_->setText(field.toLatin1().constData(), text);
    const int sent = rig_->cycle().bytesSent();
    QVERIFY(rig_->click(button.toLatin1().constData()));
    QCOMPARE(rig_->takeErrorBox(),
             QStringLiteral("'%1' is not a valid floating point value.").arg(text));
    QCOMPARE(rig_->status(), QStringLiteral("Downloading..."));
    QCOMPARE(rig_->cycle().bytesSent(), sent);
    QCOMPARE(rig_->cycle().replyCode(), 0);
    QVERIFY(!rig_->get<QTimer>("Timer3")->isActive());
    QVERIFY(!rig_->nextFrame(500));
    choose("RadioButton1");
}

void TestCalibration::keyFilterAndGate_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    // Digits and the point; "-" only for the display adjustments; five at most.
    QTest::newRow("Edit9 2a0.0b0") << "Edit9"
                                   << "2a0.0b0"
                                   << "20.00";
    QTest::newRow("Edit10 123456") << "Edit10"
                                   << "123456"
                                   << "12345";
    QTest::newRow("Edit7 -3.5") << "Edit7"
                                << "-3.5"
                                << "3.5";
    QTest::newRow("Edit13 -1.5x") << "Edit13"
                                  << "-1.5x"
                                  << "-1.5";
    QTest::newRow("Edit19 +-2e3") << "Edit19"
                                  << "+-2e3"
                                  << "-23";
}

void TestCalibration::keyFilterAndGate() {
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    auto* e = edit(field.toLatin1().constData());
    e->clear();
    rig_->type(field.toLatin1().constData(), keys);
    QCOMPARE(e->text(), text);
}

void TestCalibration::gatedButtonsFollowKeysAndPort() {
    const std::pair<const char*, const char*> gated[] = {{"Edit9", "Button15"},
                                                         {"Edit10", "Button30"},
                                                         {"Edit13", "Button24"},
                                                         {"Edit19", "Button31"}};
    for (const auto& [field, set] : gated) {
        auto* e = edit(field);
        e->clear();
        // The gate looks at the text before each key: enabled while it has
        // at most four characters.
        rig_->type(field, "20.00");
        QVERIFY(button(set)->isEnabled());
        rig_->type(field, "1"); // discarded, and the text before had five
        QCOMPARE(e->text(), QStringLiteral("20.00"));
        QVERIFY(!button(set)->isEnabled());
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->text(), QStringLiteral("20.0"));
        QVERIFY(!button(set)->isEnabled());
        QTest::keyClick(e, Qt::Key_Backspace);
        QVERIFY(button(set)->isEnabled());
        rig_->type(field, "00");
        rig_->type(field, "0");
        QVERIFY(!button(set)->isEnabled());
    }

    // Reopening the port enables them whatever the fields hold, empties the
    // "Other", low and high fields, keeps the trim fields and chooses "4mA Out".
    choose("RadioButton5");
    rig_->setText("Edit7", "7");
    QVERIFY(rig_->click("Button1"));
    QVERIFY(rig::waitFor([this] { return !rig_->isOpen(); }));
    QVERIFY(rig_->openPort());
    for (const auto& [field, set] : gated)
        QVERIFY2(button(set)->isEnabled(), set);
    QCOMPARE(edit("Edit9")->text(), QStringLiteral("20.00"));
    QCOMPARE(edit("Edit10")->text(), QStringLiteral("20.00"));
    QCOMPARE(edit("Edit7")->text(), QString());
    QCOMPARE(edit("Edit13")->text(), QString());
    QCOMPARE(edit("Edit19")->text(), QString());
    QVERIFY(rig_->get<QRadioButton>("RadioButton1")->isChecked());
    QVERIFY(!rig_->get<QRadioButton>("RadioButton5")->isChecked());
}

void TestCalibration::silentDeviceTimesOut() {
    rig_->device().setFaults({.silent = true});
    QVERIFY(rig_->click("Button26"));
    QVERIFY(rig_->waitStatus(QStringLiteral("Upload data timeout!")));
}

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
