// "HART Instrument Real-time Data": "Current Query" (command 2) and "Data
// Query" (command 3) through the real window, on a pty, against the
// simulated transmitter or against scripted reply bytes.
#include "support/window_rig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

using rig::Bytes;

class TestProcessData : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void querySendsFrameAndEmptiesItsBoxes_data();
    void querySendsFrameAndEmptiesItsBoxes();
    void currentQueryWireExample();

    void currentReplyDisplay_data();
    void currentReplyDisplay();
    void dataReplyDisplay_data();
    void dataReplyDisplay();
    void dataQueryFromDevice();

    void replyNotFound_data();
    void replyNotFound();
    void silentDeviceTimesOut();

private:
    QLineEdit* edit(const char* name) { return rig_->get<QLineEdit>(name); }
    QComboBox* combo(const char* name) { return rig_->get<QComboBox>(name); }
    // Clicks and waits until the reply's decoder has run.

    std::unique_ptr<rig::WindowRig> rig_;
};

namespace {
constexpr const char* kBoxes[] = {"Edit6", "Edit20", "Edit5", "Edit17", "Edit18", "Edit30"};
constexpr const char* kVariableUnits[] = {"ComboBox5", "ComboBox15", "ComboBox16", "ComboBox6"};
} // namespace

void TestProcessData::initTestCase() {
    rig_ = std::make_unique<rig::WindowRig>();
    QVERIFY(rig_->isOpen());
    rig_->select("ComboBox8", 0); // "First Device": primary master
    QVERIFY(rig_->discover());
}

void TestProcessData::init() {
    QVERIFY(rig_->settle());
    rig_->select("ComboBox8", 0);
}

void TestProcessData::querySendsFrameAndEmptiesItsBoxes_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("master"); // ComboBox8 index
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QStringList>("emptied");

    const QStringList current{"Edit6", "Edit20"};
    const QStringList variables{"Edit5", "Edit17", "Edit18", "Edit30"};
    QTest::newRow("82 A6 05 01 02 03 02 00 23")
        << "Button34" << 0 << "82 A6 05 01 02 03 02 00 23" << current;
    QTest::newRow("82 A6 05 01 02 03 03 00 22")
        << "Button4" << 0 << "82 A6 05 01 02 03 03 00 22" << variables;
    // "Second Device": the secondary master leaves bit 7 of the address clear.
    QTest::newRow("82 26 05 01 02 03 03 00 A2")
        << "Button4" << 1 << "82 26 05 01 02 03 03 00 A2" << variables;
}

void TestProcessData::querySendsFrameAndEmptiesItsBoxes() {
    QFETCH(QString, button);
    QFETCH(int, master);
    QFETCH(QString, frame);
    QFETCH(QStringList, emptied);

    rig_->select("ComboBox8", master);
    for (const char* box : kBoxes)
        edit(box)->setText("stale");
    // Checked before the event loop runs again: no reply can have been handled yet.
    QVERIFY(rig_->click(button.toLatin1().constData()));

    QCOMPARE(rig_->status(), QStringLiteral("Uploading..."));
    for (const char* box : kBoxes)
        QCOMPARE(edit(box)->text(), emptied.contains(box) ? QString() : QStringLiteral("stale"));
    auto sent = rig_->nextFrame();
    QVERIFY(sent);
    QCOMPARE(rig::hexText(*sent), frame + ' ');
    QVERIFY(rig::waitFor([this] { return rig_->cycle().replyCode() == 0; }));
}

void TestProcessData::currentQueryWireExample() {
    // Eight preambles, then the frame; the device's reply fills the boxes.
    rig_->device().withState([](sim::SimState& s) {
        s.loopCurrent = 4.1f;
        s.percentOfRange = 0.625f;
    });
    rig_->forgetReceived();
    QVERIFY(rig_->click("Button34"));
    auto wire = rig_->nextWire();
    QVERIFY(wire);
    QCOMPARE(*wire, rig::hex("FF FF FF FF FF FF FF FF 82 A6 05 01 02 03 02 00 23"));
    QVERIFY(rig::waitFor([this] { return rig_->cycle().replyCode() == 0; }));
    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(edit("Edit6")->text(), QStringLiteral("4.099"));
    QCOMPARE(edit("Edit20")->text(), QStringLiteral("0.6"));
    rig_->device().withState([](sim::SimState& s) {
        s.loopCurrent = 12.0f;
        s.percentOfRange = 50.0f;
    });
}

void TestProcessData::currentReplyDisplay_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("percent");
    // Current cut to 5 characters, percent to 3, never rounded; no marker.
    QTest::newRow("40 83 33 33 42 C7 00 00") << "40 83 33 33 42 C7 00 00"
                                             << "4.099"
                                             << "99.";
    QTest::newRow("41 A0 00 00 42 C8 00 00") << "41 A0 00 00 42 C8 00 00"
                                             << "20"
                                             << "100";
    QTest::newRow("40 80 00 00 41 44 CC CD") << "40 80 00 00 41 44 CC CD"
                                             << "4"
                                             << "12.";
    QTest::newRow("7F C0 00 00 00 00 00 00") << "7F C0 00 00 00 00 00 00"
                                             << "NAN"
                                             << "0";
    QTest::newRow("40 86 66 66 C0 20 00 00") << "40 86 66 66 C0 20 00 00"
                                             << "4.199"
                                             << "-2.";
}

void TestProcessData::currentReplyDisplay() {
    QFETCH(QString, data);
    QFETCH(QString, current);
    QFETCH(QString, percent);
    rig_->respondWith(rig_->longReply(2, rig::hex(data.toLatin1().constData())));
    QVERIFY(rig_->request("Button34"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(edit("Edit6")->text(), current);
    QCOMPARE(edit("Edit20")->text(), percent);
}

void TestProcessData::dataReplyDisplay_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("values"); // Edit5, Edit17, Edit18, Edit30
    QTest::addColumn<QList<int>>("units");   // positions of the four unit lists
    QTest::addColumn<QStringList>("unitTexts");
    QTest::addColumn<int>("pvUnit"); // LinkBuffer[317] afterwards

    // Before each row the unit lists show position 3: a variable the reply
    // does not carry must leave its list there.
    const char* loop = "41 40 00 00 ";
    const QString pv39 = "27 7F C0 00 00 ";   // mA, NaN with the 0x7F marker
    const QString pv32 = "20 40 86 66 66 ";   // degC, 4.2
    const QString v2psi = "06 BF C0 00 00 ";  // psi, -1.5
    const QString v3mbar = "08 7F 80 00 00 "; // mbar, +INF with the marker
    const QString v4kpa = "0C 60 AD 78 EC ";  // KPa, 1E20
    QTest::newRow("byte count 11: 41 40 00 00 27 7F C0 00 00")
        << loop + pv39 << QStringList{"0.000", "", "", ""} << QList<int>{79, 3, 3, 3}
        << QStringList{"79_mA", "03_mmH20", "03_mmH20", "03_mmH20"} << 39;
    QTest::newRow("byte count 16: ... 20 40 86 66 66 06 BF C0 00 00")
        << loop + pv32 + v2psi << QStringList{"4.19999980", "-1.5", "", ""}
        << QList<int>{12, 5, 3, 3} << QStringList{"12_\u2103", "05_psi", "03_mmH20", "03_mmH20"}
        << 32;
    QTest::newRow("byte count 21: ... 08 7F 80 00 00")
        << loop + pv32 + v2psi + v3mbar << QStringList{"4.19999980", "-1.5", "0.000", ""}
        << QList<int>{12, 5, 7, 3} << QStringList{"12_\u2103", "05_psi", "06_mbar", "03_mmH20"}
        << 32;
    QTest::newRow("byte count 26: ... 0C 60 AD 78 EC")
        << loop + pv32 + v2psi + v3mbar + v4kpa
        << QStringList{"4.19999980", "-1.5", "0.000", "1.00000E20"} << QList<int>{12, 5, 7, 9}
        << QStringList{"12_\u2103", "05_psi", "06_mbar", "09_KPa"} << 32;
    QTest::newRow("byte count 27: ... 0C 60 AD 78 EC 20")
        << loop + pv32 + v2psi + v3mbar + v4kpa + "20"
        << QStringList{"4.19999980", "-1.5", "0.000", "1.00000E20"} << QList<int>{12, 5, 7, 9}
        << QStringList{"12_\u2103", "05_psi", "06_mbar", "09_KPa"} << 32;
    // A code no row holds selects the catch-all "other"; 8 reads "06_mbar".
    QTest::newRow("byte count 11: 41 40 00 00 C8 41 AF 33 33")
        << QString(loop) + "C8 41 AF 33 33" << QStringList{"21.8999996", "", "", ""}
        << QList<int>{82, 3, 3, 3} << QStringList{"82_other", "03_mmH20", "03_mmH20", "03_mmH20"}
        << 200;
}

void TestProcessData::dataReplyDisplay() {
    QFETCH(QString, data);
    QFETCH(QStringList, values);
    QFETCH(QList<int>, units);
    QFETCH(QStringList, unitTexts);
    QFETCH(int, pvUnit);

    for (const char* list : kVariableUnits)
        combo(list)->setCurrentIndex(3);
    rig_->cycle().buffer()[hart::lb::kPvUnit] = 0;
    rig_->respondWith(rig_->longReply(3, rig::hex(data.toLatin1().constData())));
    QVERIFY(rig_->request("Button4"));

    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    const char* boxes[] = {"Edit5", "Edit17", "Edit18", "Edit30"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(edit(boxes[i])->text(), values[i]);
        QCOMPARE(combo(kVariableUnits[i])->currentIndex(), units[i]);
        QCOMPARE(combo(kVariableUnits[i])->currentText().trimmed(), unitTexts[i]);
    }
    QCOMPARE(int(rig_->cycle().buffer()[hart::lb::kPvUnit]), pvUnit);
}

void TestProcessData::dataQueryFromDevice() {
    rig_->device().withState([](sim::SimState& s) {
        s.variables[0] = {21.9f, 39};
        s.variables[1] = {0.1f, 6};
        s.variableCount = 2;
    });
    combo("ComboBox16")->setCurrentIndex(1);
    QVERIFY(rig_->request("Button4"));
    QCOMPARE(rig_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(edit("Edit5")->text(), QStringLiteral("21.8999996"));
    QCOMPARE(combo("ComboBox5")->currentText().trimmed(), QStringLiteral("79_mA"));
    QCOMPARE(int(rig_->cycle().buffer()[hart::lb::kPvUnit]), 39);
    QCOMPARE(edit("Edit17")->text(), QStringLiteral("0.10000000"));
    QCOMPARE(combo("ComboBox15")->currentText().trimmed(), QStringLiteral("05_psi"));
    QCOMPARE(edit("Edit18")->text(), QString());
    QCOMPARE(combo("ComboBox16")->currentIndex(), 1);
    rig_->device().withState([](sim::SimState& s) {
        s.variables = sim::SimState{}.variables;
        s.variableCount = 4;
    });
}

void TestProcessData::replyNotFound_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("reply");
    // A short-frame reply, a chunk too short to scan, and noise.
    QTest::newRow("Button34: FF FF 06 80 02 0A 00 00 41 A0 00 00 42 C8 00 00 29")
        << "Button34"
        << "FF FF 06 80 02 0A 00 00 41 A0 00 00 42 C8 00 00 29";
    QTest::newRow("Button4: FF FF 86") << "Button4"
                                       << "FF FF 86";
    QTest::newRow("Button4: 00 11 22 33 44 55 66 77 88 99") << "Button4"
                                                            << "00 11 22 33 44 55 66 77 88 99";
}

void TestProcessData::replyNotFound() {
    QFETCH(QString, button);
    QFETCH(QString, reply);
    for (const char* list : kVariableUnits)
        combo(list)->setCurrentIndex(4);
    for (const char* box : kBoxes)
        edit(box)->setText("stale");
    rig_->respondWith(rig::hex(reply.toLatin1().constData()));
    QVERIFY(rig_->request(button.toLatin1().constData()));

    QCOMPARE(rig_->status(), QStringLiteral("Upload failed!"));
    const QStringList emptied = button == "Button34"
                                    ? QStringList{"Edit6", "Edit20"}
                                    : QStringList{"Edit5", "Edit17", "Edit18", "Edit30"};
    for (const char* box : kBoxes)
        QCOMPARE(edit(box)->text(), emptied.contains(box) ? QString() : QStringLiteral("stale"));
    for (const char* list : kVariableUnits)
        QCOMPARE(combo(list)->currentIndex(), 4);
}

void TestProcessData::silentDeviceTimesOut() {
    for (const char* box : kBoxes)
        edit(box)->setText("stale");
    rig_->device().setFaults({.silent = true});
    QVERIFY(rig_->click("Button4"));
    QVERIFY(rig_->waitStatus(QStringLiteral("Upload data timeout!")));
    for (const char* box : {"Edit5", "Edit17", "Edit18", "Edit30"})
        QCOMPARE(edit(box)->text(), QString());
    QCOMPARE(edit("Edit6")->text(), QStringLiteral("stale"));
}

QTEST_MAIN(TestProcessData)
#include "tst_process_data.moc"
