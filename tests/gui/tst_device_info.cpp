// "Instrument information": each button's frame on the wire, each query's
// display, the refusals that send nothing, the keyboard filters and their
// gated SET buttons, and the owner's data written to the simulated device and
// read back.
//
// The device's long address is 26 05 01 02 03; "First Device"/"Second Device"
// is left unchosen, so frames carry master bit 0x00 (address byte 26) except
// "Backup sensor data" and "Restore factory settings", which always carry 0x80
// (A6). Checksums below are hand-computed XORs from the delimiter on.

#include "support/window_rig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;

namespace {

// The request has been decoded (ReplyCode back to 0) with this status.
// Waiting for the status alone is not enough: the receive handler shows
// "Upload successful!" before the decoder runs.
bool done(WindowRig& r, const QString& status) {
    return rig::waitFor([&] { return r.cycle().replyCode() == 0 && r.status() == status; });
}

QString fieldText(WindowRig& r, const char* name) {
    return r.get<QLineEdit>(name)->text();
}

QString spaces(int n) {
    return QString(n, QLatin1Char(' '));
}

// The device's next frame must be exactly `frame`: proves that whatever was
// clicked before it sent nothing.
bool nextFrameIs(WindowRig& r, const Bytes& frame) {
    auto f = r.nextFrame();
    return f && *f == frame;
}

} // namespace

class DeviceInfoTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void requestFrames_data();
    void requestFrames();
    void queryDisplays_data();
    void queryDisplays();
    void errorReplyShowsItsMeaning();
    void replyNotFound_data();
    void replyNotFound();
    void writeRefusedByDevice();
    void conversionErrorsSendNothing_data();
    void conversionErrorsSendNothing();
    void pollAddressWithoutChoiceSendsNothing_data();
    void pollAddressWithoutChoiceSendsNothing();
    void queryTimeoutLeavesFieldsEmpty();

    void tagDescriptorDateRoundTrip();
    void messageAndAssemblyRoundTrip();
    void pollAddressMovesDevice();
    void restoreFactorySettings();

    void keyFiltersAndGates();

private:
    std::unique_ptr<WindowRig> r_;
};

void DeviceInfoTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    QVERIFY(r_->discover());
}

void DeviceInfoTest::init() {
    QVERIFY(r_->settle());
}

void DeviceInfoTest::cleanupTestCase() {
    r_.reset();
}

// ---------------------------------------------------------------- frames

void DeviceInfoTest::requestFrames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("fields"); // name=value pairs set before the click
    QTest::addColumn<int>("pollItem");       // ComboBox3 item, -1 to leave it
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<QString>("status");

    const QString up = QStringLiteral("Upload successful!");
    const QString written = QStringLiteral("Write successful!");

    QTest::newRow("82 26 05 01 02 03 0C 00 AD")
        << "Button28" << QStringList{} << -1 << hex("82 26 05 01 02 03 0C 00 AD") << up;
    QTest::newRow("82 26 05 01 02 03 0D 00 AC")
        << "Button32" << QStringList{} << -1 << hex("82 26 05 01 02 03 0D 00 AC") << up;
    QTest::newRow("82 26 05 01 02 03 10 00 B1")
        << "Button38" << QStringList{} << -1 << hex("82 26 05 01 02 03 10 00 B1") << up;
    // Five letters, then 27 packed spaces (82 08 20 per four).
    const char* hello = "82 26 05 01 02 03 11 18 20 53 0C 3E 08 20 82 08 20 82 08 20 82 08 20 "
                        "82 08 20 82 08 20 82 08 20 C1";
    QTest::newRow("82 26 05 01 02 03 11 18 20 53 0C 3E 08 20 ... C1 (HELLO)")
        << "Button29" << QStringList{"Edit21=HELLO"} << -1 << hex(hello) << written;
    // Lower case is raised before packing.
    QTest::newRow("82 26 05 01 02 03 11 18 20 53 0C 3E 08 20 ... C1 (hello)")
        << "Button29" << QStringList{"Edit21=hello"} << -1 << hex(hello) << written;
    // TT100 packs to 51 4C 70 C2 08 20; an empty descriptor is 16 spaces;
    // 31.12.2023 is 1F 0C 7B.
    QTest::newRow("82 26 05 01 02 03 12 15 51 4C 70 C2 08 20 ... 1F 0C 7B 49")
        << "Button33"
        << QStringList{"Edit22=TT100", "Edit23=", "Edit29=31", "Edit25=12", "Edit24=2023"} << -1
        << hex("82 26 05 01 02 03 12 15 51 4C 70 C2 08 20 82 08 20 82 08 20 82 08 20 82 08 20 "
               "1F 0C 7B 49")
        << written;
    // Lower-case tag and descriptor ("LOOP 7" packs to 30 F3 D0 83 78 20);
    // 2155 is the last year a date byte carries.
    QTest::newRow("82 26 05 01 02 03 12 15 51 4C 70 C2 08 20 30 F3 D0 ... 05 06 FF 15")
        << "Button33"
        << QStringList{"Edit22=tt100", "Edit23=loop 7", "Edit29=5", "Edit25=6", "Edit24=2155"} << -1
        << hex("82 26 05 01 02 03 12 15 51 4C 70 C2 08 20 30 F3 D0 83 78 20 82 08 20 82 08 20 "
               "05 06 FF 15")
        << written;
    QTest::newRow("82 26 05 01 02 03 13 03 01 E2 40 12")
        << "Button39" << QStringList{"Edit26=123456"} << -1
        << hex("82 26 05 01 02 03 13 03 01 E2 40 12") << written;
    QTest::newRow("82 26 05 01 02 03 13 03 12 D6 87 F2")
        << "Button37" << QStringList{"Edit28=1234567"} << -1
        << hex("82 26 05 01 02 03 13 03 12 D6 87 F2") << written;
    QTest::newRow("82 26 05 01 02 03 13 03 FF FF FF 4E")
        << "Button39" << QStringList{"Edit26=16777215"} << -1
        << hex("82 26 05 01 02 03 13 03 FF FF FF 4E") << written;
    QTest::newRow("82 26 05 01 02 03 06 01 00 A6")
        << "Button27" << QStringList{} << 0 << hex("82 26 05 01 02 03 06 01 00 A6") << written;
    QTest::newRow("82 A6 05 01 02 03 27 01 00 07")
        << "Button21" << QStringList{} << -1 << hex("82 A6 05 01 02 03 27 01 00 07") << written;
    QTest::newRow("82 A6 05 01 02 03 27 01 01 06")
        << "Button22" << QStringList{} << -1 << hex("82 A6 05 01 02 03 27 01 01 06") << written;
}

void DeviceInfoTest::requestFrames() {
    QFETCH(QString, button);
    QFETCH(QStringList, fields);
    QFETCH(int, pollItem);
    QFETCH(Bytes, frame);
    QFETCH(QString, status);

    for (const QString& f : fields) {
        const auto parts = f.split(QLatin1Char('='));
        r_->setText(parts[0].toLatin1().constData(), parts.value(1));
    }
    if (pollItem >= 0) r_->select("ComboBox3", pollItem);
    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->nextFrame(), std::optional<Bytes>(frame));
    QVERIFY2(done(*r_, status), qPrintable(r_->status()));
    // The send view shows the whole frame with its eight preambles.
    QCOMPARE(r_->get<QLineEdit>("discomm")->text(),
             rig::hexText(Bytes(8, 0xFF)) + rig::hexText(frame));
}

// ---------------------------------------------------------------- decoders

void DeviceInfoTest::queryDisplays_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("command");
    QTest::addColumn<Bytes>("data");
    QTest::addColumn<QStringList>("expected"); // name=value

    QTest::newRow("0C: 24 x 00") << "Button28" << 12 << Bytes(24, 0x00)
                                 << QStringList{"Edit21=" + QString(32, QLatin1Char('@'))};
    QTest::newRow("0C: 20 53 0C 3E 08 20 (82 08 20)x6")
        << "Button28" << 12
        << hex("20 53 0C 3E 08 20 82 08 20 82 08 20 82 08 20 82 08 20 82 08 20 82 08 20")
        << QStringList{"Edit21=HELLO" + spaces(27)};
    QTest::newRow("0D: 51 4C 70 C2 08 20 30 F3 D0 83 78 20 ... 1F 0C 7B")
        << "Button32" << 13 << hex("51 4C 70 C2 08 20 30 F3 D0 83 78 20 82 08 20 82 08 20 1F 0C 7B")
        << QStringList{"Edit22=TT100" + spaces(3), "Edit23=LOOP 7" + spaces(10), "Edit29=31",
                       "Edit25=12", "Edit24=2023"};
    // A year byte of FF is 2155, of 00 is 1900.
    QTest::newRow("0D: ... 01 02 FF") << "Button32" << 13
                                      << hex("82 08 20 82 08 20 82 08 20 82 08 20 82 08 20 "
                                             "82 08 20 01 02 FF")
                                      << QStringList{"Edit22=" + spaces(8), "Edit23=" + spaces(16),
                                                     "Edit29=1", "Edit25=2", "Edit24=2155"};
    QTest::newRow("0D: ... 00 00 00") << "Button32" << 13 << Bytes(21, 0x00)
                                      << QStringList{"Edit22=" + QString(8, QLatin1Char('@')),
                                                     "Edit23=" + QString(16, QLatin1Char('@')),
                                                     "Edit29=0", "Edit25=0", "Edit24=1900"};
    QTest::newRow("10: 01 E2 40") << "Button38" << 16 << hex("01 E2 40")
                                  << QStringList{"Edit26=123456"};
    QTest::newRow("10: FF FF FF") << "Button38" << 16 << hex("FF FF FF")
                                  << QStringList{"Edit26=16777215"};
    QTest::newRow("10: 00 00 00") << "Button38" << 16 << hex("00 00 00") << QStringList{"Edit26=0"};
}

void DeviceInfoTest::queryDisplays() {
    QFETCH(QString, button);
    QFETCH(int, command);
    QFETCH(Bytes, data);
    QFETCH(QStringList, expected);

    // Stale text must go: the query empties its fields before the reply fills them.
    for (const QString& e : expected)
        r_->setText(e.section(QLatin1Char('='), 0, 0).toLatin1().constData(),
                    QStringLiteral("stale"));
    r_->respondWith(r_->longReply(static_cast<std::uint8_t>(command), data));
    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->status(), QStringLiteral("Uploading..."));
    for (const QString& e : expected)
        QVERIFY(fieldText(*r_, e.section(QLatin1Char('='), 0, 0).toLatin1().constData()).isEmpty());
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    QCOMPARE(r_->status(), QStringLiteral("Upload successful!"));
    for (const QString& e : expected) {
        const QString name = e.section(QLatin1Char('='), 0, 0);
        QCOMPARE(fieldText(*r_, name.toLatin1().constData()), e.section(QLatin1Char('='), 1));
    }
}

void DeviceInfoTest::errorReplyShowsItsMeaning() {
    // A good reply first: FF x5 86 A6 05 01 02 03 10 05 00 00 01 E2 40 CS,
    // so receive bytes 16 and 17 hold E2 40.
    r_->respondWith(r_->longReply(16, hex("01 E2 40")));
    QVERIFY(r_->click("Button38"));
    QVERIFY(rig::waitFor([&] { return fieldText(*r_, "Edit26") == QStringLiteral("123456"); }));
    // Then an error reply with only its status bytes: what stands where its
    // data would be (its checksum and the stale E2 40) is not shown.
    r_->respondWith(r_->longReply(16, {}, 0x40));
    QVERIFY(r_->click("Button38"));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    QCOMPARE(r_->status(), QStringLiteral("Upload failed! (command not implemented)"));
    QCOMPARE(fieldText(*r_, "Edit26"), QString());
}

void DeviceInfoTest::replyNotFound_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("emptied");
    QTest::newRow("Button28") << "Button28" << QStringList{"Edit21"};
    QTest::newRow("Button32") << "Button32"
                              << QStringList{"Edit22", "Edit23", "Edit24", "Edit25", "Edit29"};
    QTest::newRow("Button38") << "Button38" << QStringList{"Edit26"};
}

void DeviceInfoTest::replyNotFound() {
    QFETCH(QString, button);
    QFETCH(QStringList, emptied);
    for (const QString& e : emptied)
        r_->setText(e.toLatin1().constData(), QStringLiteral("old"));
    // No FF-86 pair anywhere: a short reply's delimiter instead.
    r_->respondWith(hex("FF FF FF 06 80 0C 02 00 00 8A"));
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
    QCOMPARE(r_->status(), QStringLiteral("Upload failed!"));
    for (const QString& e : emptied)
        QCOMPARE(fieldText(*r_, e.toLatin1().constData()), QString());
}

void DeviceInfoTest::writeRefusedByDevice() {
    sim::SimFaults faults;
    faults.responseCode = 7;
    r_->device().setFaults(faults);
    r_->setText("Edit21", QStringLiteral("NOT WRITTEN"));
    QVERIFY(r_->click("Button29"));
    QVERIFY(done(*r_, QStringLiteral("Write failed!Write protected!")));
    QCOMPARE(fieldText(*r_, "Edit21"), QStringLiteral("NOT WRITTEN"));
}

// ---------------------------------------------------------------- refusals

void DeviceInfoTest::conversionErrorsSendNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("message");

    const QStringList goodDate{"Edit22=TT100", "Edit23=FEED PUMP", "Edit29=1", "Edit25=1",
                              "Edit24=2000"};
    QTest::newRow("message with a character packed ASCII lacks")
        << "Button29" << QStringList{QStringLiteral("Edit21=caf\u00e9")}
        << QStringLiteral("The character '\u00e9' cannot be sent in a HART text field; use "
                          "A\u2013Z, 0\u20139, space and !\"#$%&'()*+,-./:;<=>?@[\\]^_ only.");
    QTest::newRow("tag with a tilde")
        << "Button33" << (QStringList(goodDate) << "Edit22=T~1")
        << QStringLiteral("The character '~' cannot be sent in a HART text field; use "
                          "A\u2013Z, 0\u20139, space and !\"#$%&'()*+,-./:;<=>?@[\\]^_ only.");
    QTest::newRow("year 2156") << "Button33" << (QStringList(goodDate) << "Edit24=2156")
                               << QStringLiteral("'2156' is out of range (1900 to 2155).");
    QTest::newRow("year 1899") << "Button33" << (QStringList(goodDate) << "Edit24=1899")
                               << QStringLiteral("'1899' is out of range (1900 to 2155).");
    QTest::newRow("empty day") << "Button33" << (QStringList(goodDate) << "Edit29=")
                               << QStringLiteral("'' is not a valid integer value.");
    QTest::newRow("assembly 16777216")
        << "Button39" << QStringList{"Edit26=16777216"}
        << QStringLiteral("'16777216' is out of range (0 to 16777215).");
    QTest::newRow("empty assembly") << "Button39" << QStringList{"Edit26="}
                                    << QStringLiteral("'' is not a valid integer value.");
    QTest::newRow("serial 99999999")
        << "Button37" << QStringList{"Edit28=99999999"}
        << QStringLiteral("'99999999' is out of range (0 to 16777215).");
    QTest::newRow("empty serial") << "Button37" << QStringList{"Edit28="}
                                  << QStringLiteral("'' is not a valid integer value.");
}

void DeviceInfoTest::conversionErrorsSendNothing() {
    QFETCH(QString, button);
    QFETCH(QStringList, fields);
    QFETCH(QString, message);

    for (const QString& f : fields) {
        const auto parts = f.split(QLatin1Char('='));
        r_->setText(parts[0].toLatin1().constData(), parts.value(1));
    }
    const int pending = r_->cycle().replyCode();
    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->takeErrorBox(), message);
    QCOMPARE(r_->status(), QStringLiteral("Downloading..."));
    QCOMPARE(r_->cycle().replyCode(), pending);
    // The next frame on the line is the query sent now, nothing before it.
    QVERIFY(r_->click("Button38"));
    QVERIFY(nextFrameIs(*r_, hex("82 26 05 01 02 03 10 00 B1")));
}

void DeviceInfoTest::pollAddressWithoutChoiceSendsNothing_data() {
    QTest::addColumn<QString>("listText");
    QTest::newRow("no choice") << QString();
    QTest::newRow("16 typed") << QStringLiteral("16");
    QTest::newRow("x typed") << QStringLiteral("x");
}

void DeviceInfoTest::pollAddressWithoutChoiceSendsNothing() {
    QFETCH(QString, listText);
    auto* list = r_->get<QComboBox>("ComboBox3");
    list->setCurrentIndex(-1);
    list->setEditText(listText);
    r_->cycle().setStatus(QString());
    QVERIFY(r_->click("Button27"));
    QCOMPARE(r_->status(),
             QStringLiteral("Nothing sent: no polling address chosen; choose 0 to 15 first."));
    QVERIFY(r_->click("Button38"));
    QVERIFY(nextFrameIs(*r_, hex("82 26 05 01 02 03 10 00 B1")));
}

void DeviceInfoTest::queryTimeoutLeavesFieldsEmpty() {
    sim::SimFaults faults;
    faults.silent = true;
    r_->device().setFaults(faults);
    r_->setText("Edit26", QStringLiteral("42"));
    QVERIFY(r_->click("Button38"));
    QVERIFY(r_->waitStatus(QStringLiteral("Upload data timeout!")));
    QCOMPARE(fieldText(*r_, "Edit26"), QString());
    // The request stays pending; let the device speak again and finish it.
    r_->device().setFaults({});
    QVERIFY(r_->click("Button38"));
    QVERIFY(rig::waitFor([&] { return r_->cycle().replyCode() == 0; }));
}

// ---------------------------------------------------------------- with the device's state

void DeviceInfoTest::tagDescriptorDateRoundTrip() {
    r_->setText("Edit22", QStringLiteral("pt-101"));
    r_->setText("Edit23", QStringLiteral("Boiler feed"));
    r_->setText("Edit29", QStringLiteral("7"));
    r_->setText("Edit25", QStringLiteral("3"));
    r_->setText("Edit24", QStringLiteral("1999"));
    QVERIFY(r_->click("Button33"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QCOMPARE(r_->device().withState([](sim::SimState& s) { return s.tag; }),
             std::string("PT-101  "));

    QVERIFY(r_->click("Button32"));
    QVERIFY(done(*r_, QStringLiteral("Upload successful!")));
    QCOMPARE(fieldText(*r_, "Edit22"), QStringLiteral("PT-101  "));
    QCOMPARE(fieldText(*r_, "Edit23"), QStringLiteral("BOILER FEED     "));
    QCOMPARE(fieldText(*r_, "Edit29"), QStringLiteral("7"));
    QCOMPARE(fieldText(*r_, "Edit25"), QStringLiteral("3"));
    QCOMPARE(fieldText(*r_, "Edit24"), QStringLiteral("1999"));
}

void DeviceInfoTest::messageAndAssemblyRoundTrip() {
    // A 40-character message keeps its first 32.
    r_->setText("Edit21", QStringLiteral("CALIBRATED 2024 BY THE NIGHT SHIFT CREW"));
    QVERIFY(r_->click("Button29"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    r_->setText("Edit26", QStringLiteral("654321"));
    QVERIFY(r_->click("Button39"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));

    QVERIFY(r_->click("Button28"));
    QVERIFY(done(*r_, QStringLiteral("Upload successful!")));
    QCOMPARE(fieldText(*r_, "Edit21"), QStringLiteral("CALIBRATED 2024 BY THE NIGHT SHI"));
    QVERIFY(r_->click("Button38"));
    QVERIFY(done(*r_, QStringLiteral("Upload successful!")));
    QCOMPARE(fieldText(*r_, "Edit26"), QStringLiteral("654321"));
}

void DeviceInfoTest::pollAddressMovesDevice() {
    r_->select("ComboBox3", 5);
    QVERIFY(r_->click("Button27"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QCOMPARE(r_->device().withState([](sim::SimState& s) { return int(s.pollAddress); }), 5);
    // Long frames still reach it; discovery now finds it at 5.
    QVERIFY(r_->click("Button38"));
    QVERIFY(done(*r_, QStringLiteral("Upload successful!")));
    r_->get<QComboBox>("ComboBox3")->setCurrentIndex(-1);
    r_->cycle().setStatus(QString());
    r_->select("ComboBox9", 5);
    QVERIFY(r_->discover());
    QCOMPARE(r_->get<QComboBox>("ComboBox3")->currentText(), QStringLiteral("5"));

    // And back to 0 for the tests that follow.
    r_->select("ComboBox3", 0);
    QVERIFY(r_->click("Button27"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QCOMPARE(r_->device().withState([](sim::SimState& s) { return int(s.pollAddress); }), 0);
    r_->select("ComboBox9", 0);
}

void DeviceInfoTest::restoreFactorySettings() {
    r_->setText("Edit22", QStringLiteral("CHANGED"));
    r_->setText("Edit23", QString());
    r_->setText("Edit29", QStringLiteral("1"));
    r_->setText("Edit25", QStringLiteral("1"));
    r_->setText("Edit24", QStringLiteral("2001"));
    QVERIFY(r_->click("Button33"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QVERIFY(r_->click("Button22"));
    QVERIFY(done(*r_, QStringLiteral("Write successful!")));
    QVERIFY(r_->click("Button32"));
    QVERIFY(done(*r_, QStringLiteral("Upload successful!")));
    QCOMPARE(fieldText(*r_, "Edit22"), QStringLiteral("TT100   "));
}

// ---------------------------------------------------------------- keyboard

void DeviceInfoTest::keyFiltersAndGates() {
    WindowRig w; // a window of its own: the gates change button states
    QVERIFY(w.isOpen());
    auto* serialSet = w.get<QPushButton>("Button37");
    auto* assemblySet = w.get<QPushButton>("Button39");
    QVERIFY(serialSet->isEnabled());

    // The gate looks at the text before each key: it opens on the key typed
    // after exactly six characters, and closes on any other.
    w.type("Edit28", QStringLiteral("123456"));
    QVERIFY(!serialSet->isEnabled());
    w.type("Edit28", QStringLiteral("7"));
    QVERIFY(serialSet->isEnabled());
    QCOMPARE(w.get<QLineEdit>("Edit28")->text(), QStringLiteral("1234567"));
    w.type("Edit28", QStringLiteral("8"));
    QVERIFY(!serialSet->isEnabled());
    // Letters are dropped; at most ten digits are kept.
    w.type("Edit28", QStringLiteral("x9012345"));
    QCOMPARE(w.get<QLineEdit>("Edit28")->text(), QStringLiteral("1234567890"));

    w.type("Edit26", QStringLiteral("12345a"));
    QCOMPARE(w.get<QLineEdit>("Edit26")->text(), QStringLiteral("12345"));
    QVERIFY(!assemblySet->isEnabled());
    w.type("Edit26", QStringLiteral("6"));
    QVERIFY(!assemblySet->isEnabled());
    QTest::keyClick(w.get<QLineEdit>("Edit26"), Qt::Key_Backspace); // six before: opens
    QVERIFY(assemblySet->isEnabled());
    QCOMPARE(w.get<QLineEdit>("Edit26")->text(), QStringLiteral("12345"));

    w.type("Edit24", QStringLiteral("2o0235"));
    QCOMPARE(w.get<QLineEdit>("Edit24")->text(), QStringLiteral("2023"));
    w.type("Edit25", QStringLiteral("123"));
    QCOMPARE(w.get<QLineEdit>("Edit25")->text(), QStringLiteral("12"));
    w.type("Edit29", QStringLiteral("-31"));
    QCOMPARE(w.get<QLineEdit>("Edit29")->text(), QStringLiteral("31"));
    // The text fields take anything.
    w.type("Edit22", QStringLiteral("a-b~c"));
    QCOMPARE(w.get<QLineEdit>("Edit22")->text(), QStringLiteral("a-b~c"));
}

QTEST_MAIN(DeviceInfoTest)
#include "tst_device_info.moc"
