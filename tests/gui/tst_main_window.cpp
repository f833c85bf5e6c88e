// The window frame, port control, request cycle and discovery, driven through
// the real window against the simulated device on a pseudo-terminal.

#include "support/window_rig.h"

#include "hart/link_buffer.h"
#include "serial/tcomm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "host/bind.h"
#include "host/reply_codes.h"

#include <stdexcept>

using rig::Bytes;
using rig::hex;
using rig::portButtonsEnabled;
using rig::text;
using rig::WindowRig;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startState();
    void portList();
    void openFailures_data();
    void openFailures();
    void openSendCloseResets();
    void countsSentBytes();
    void bytesWhileIdleAreCountedNotShown();
    void splitReplyDecodesFirstPartAlone();
    void lateReplyAfterTimeoutIsDecoded();
    void secondRequestKeepsFirstDeadline();
    void clearBufferKeepsDecoding();
    void discoveryAtAddressZero();
    void discoveryCycleFindsAddressFive();
    void discoveryCycleGivesUp();
    void masterBits();
    void deviceIdQuery();
    void identitySurvivesReopen();
    void deviceLoss_data();
    void deviceLoss();
    void simulatedTransmitterFromPortList();
    void everyRequestHasOneReader();
    void readerMistakesAreCaught();
};

void MainWindowTest::startState() {
    WindowRig r(false);
    QCOMPARE(r.form().windowTitle(), QStringLiteral("RX460-K"));
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(r.get<QPushButton>("Button1")->isEnabled());
    QVERIFY(portButtonsEnabled(r, false));
    // The device groups outside the port-dependent range are usable while closed.
    for (const char* b : {"Button48", "Button49", "Button50", "Button51", "Button52", "Button53",
                          "Button54", "Button55", "Button56", "Button59", "Button63", "Button64",
                          "Button65", "Button67", "Button68", "Button69", "Button70"})
        QVERIFY2(r.get<QPushButton>(b)->isEnabled(), b);
    QVERIFY(r.get<QPushButton>("Button18")->isHidden());
    QCOMPARE(r.get<QTabWidget>("PageControl2")->currentIndex(), 0);
    QCOMPARE(r.get<QTabWidget>("PageControl2")->tabText(0), QStringLiteral("On-line test "));
    // The described six, "Network" and "Configuration".
    QCOMPARE(r.get<QTabWidget>("PageControl2")->count(), 8);
    // The two temperature pages and "HART 7 device".
    QCOMPARE(r.get<QTabWidget>("PageControl1")->count(), 3);
    QCOMPARE(r.get<QTabWidget>("PageControl1")->widget(2)->objectName(),
             QStringLiteral("TabSheetDevice"));
    QCOMPARE(r.get<QTabWidget>("PageControl1")->tabText(2), QStringLiteral("HART 7 device"));
    auto* timer1 = r.get<QTimer>("Timer1");
    auto* timer2 = r.get<QTimer>("Timer2");
    auto* timer3 = r.get<QTimer>("Timer3");
    QVERIFY(timer1 && timer2 && timer3);
    QVERIFY(!timer1->isActive());
    QVERIFY(!timer3->isActive());
    QCOMPARE(timer1->interval(), 3000);
    QCOMPARE(timer2->interval(), 100);
    QCOMPARE(timer3->interval(), 3000);
    QVERIFY(r.get<TComm>("Comm1"));
    QCOMPARE(r.get<QComboBox>("ComboBox8")->currentIndex(), -1);
    QCOMPARE(r.get<QComboBox>("ComboBox8")->currentText(), QStringLiteral("First Device"));
    QCOMPARE(r.get<QComboBox>("ComboBox9")->currentIndex(), 0);
    QVERIFY(!r.cycle().showVendorFrames());
    // A click on "Serial Port:" turns the vendor frame display on for good.
    QTest::mouseClick(r.get<QLabel>("Label4"), Qt::LeftButton);
    QVERIFY(r.cycle().showVendorFrames());
    QTest::mouseClick(r.get<QLabel>("Label4"), Qt::LeftButton);
    QVERIFY(r.cycle().showVendorFrames());
}

void MainWindowTest::portList() {
    WindowRig r(false);
    auto* list = r.get<QComboBox>("SPREALCOM");
    QCOMPARE(list->currentText(), QStringLiteral("COM3"));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(list->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    QVERIFY(list->findText(TForm1::simulatedPortName()) > 8);
}

void MainWindowTest::openFailures_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing device") << "/dev/rx460k-no-such-port"
                                    << "/dev/rx460k-no-such-port"
                                    << "Error opening serial port";
    QTest::newRow("COM12 as typed") << "COM12"
                                    << "/dev/ttyS11"
                                    << "Error opening serial port";
    QTest::newRow("not a terminal") << "/dev/null"
                                    << "/dev/null"
                                    << "File handle is not a comm handle ";
}

void MainWindowTest::openFailures() {
    QFETCH(QString, port);
    QFETCH(QString, device);
    QFETCH(QString, message);
    WindowRig r(false);
    r.get<QComboBox>("SPREALCOM")->setEditText(port);
    QVERIFY(r.click("Button1"));
    QCOMPARE(r.takeErrorBox().section(QLatin1Char('\n'), 0, 0), message); // the cause follows
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(portButtonsEnabled(r, false));
    QVERIFY(!r.form().comm().isOpen());
    QCOMPARE(TComm::devicePath(r.form().comm().CommName()), device);
    QCOMPARE(r.cycle().buffer()[hart::lb::kPortOpen], 0);
}

void MainWindowTest::openSendCloseResets() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(portButtonsEnabled(r, true));
    QVERIFY(r.get<QPushButton>("Button18")->isHidden());
    QVERIFY(r.discover());
    QCOMPARE(text(r, "Label56"), QStringLiteral("11"));
    QVERIFY(!text(r, "Label67").isEmpty());
    QCOMPARE(text(r, "Edit1"), QStringLiteral("38"));

    QVERIFY(r.click("Button1")); // Close
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(portButtonsEnabled(r, false));
    QVERIFY(!r.form().comm().isOpen());
    for (const char* name : {"Label56", "Label67", "Label68", "Label33", "Edit1", "Edit4"})
        QVERIFY2(text(r, name).isEmpty(), name);
    QCOMPARE(r.get<QComboBox>("ComboBox9")->currentIndex(), 0);

    QVERIFY(r.openPort());
    QVERIFY(r.click("Button3"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Label56"), QStringLiteral("11")); // counting starts again from 0
    QVERIFY(r.get<QRadioButton>("RadioButton1") == nullptr ||
            r.get<QRadioButton>("RadioButton1")->isChecked());
}

void MainWindowTest::countsSentBytes() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    r.device().setFaults({.silent = true});
    r.get<QLabel>("Label56")->clear();
    r.cycle().resetCounters();
    for (int i = 0; i < 2; ++i) {
        r.cycle().send({103, host::longFrame(3)}, nullptr, nullptr);
        auto wire = r.nextWire();
        QVERIFY(wire);
        QCOMPARE(wire->size(), std::size_t{17});
    }
    QCOMPARE(text(r, "Label56"), QStringLiteral("34"));
    // The echo of a 17-byte frame: three characters a byte.
    QCOMPARE(text(r, "discomm").size(), 51);
}

void MainWindowTest::bytesWhileIdleAreCountedNotShown() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.get<QPlainTextEdit>("Memo8")->setPlainText(QStringLiteral("kept"));
    QCOMPARE(r.cycle().replyCode(), 0);
    r.device().sendRaw(hex("01 02 03 04 05 06 07 08 09"));
    QVERIFY(rig::waitFor([&] { return text(r, "Label67") == QStringLiteral("9"); }));
    QCOMPARE(r.cycle().scanLimit(), 5);
    QCOMPARE(text(r, "Memo8"), QStringLiteral("kept"));
}

void MainWindowTest::splitReplyDecodesFirstPartAlone() {
    WindowRig r;
    QVERIFY(r.isOpen());
    // A command-0 reply cut after 6 bytes, then 500 ms of silence: the
    // first chunk is decoded alone and fails; the rest arrives unawaited.
    r.device().setFaults({.splitAfter = 6, .splitPauseMs = 500});
    QVERIFY(r.click("Button3"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload failed!")));
    QCOMPARE(text(r, "Memo8"), QStringLiteral("FF FF FF FF FF 06 "));
    QVERIFY(text(r, "Edit1").isEmpty());
    const int whole = 5 + 6 + 12 + 1; // preambles, header, data, checksum
    QVERIFY(rig::waitFor([&] { return text(r, "Label67") == QString::number(whole); }));
    QCOMPARE(text(r, "Memo8"), QStringLiteral("FF FF FF FF FF 06 "));
    QCOMPARE(r.status(), QStringLiteral("Upload failed!"));
}

void MainWindowTest::lateReplyAfterTimeoutIsDecoded() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.device().setFaults({.replyDelayMs = 4500});
    QVERIFY(r.click("Button3"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload data timeout!")));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
}

void MainWindowTest::secondRequestKeepsFirstDeadline() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    r.device().setFaults({.silent = true});
    auto* timer3 = r.get<QTimer>("Timer3");
    r.cycle().send({103, host::longFrame(3)}, nullptr, nullptr);
    QVERIFY(timer3->isActive());
    QTest::qWait(1500);
    const int before = timer3->remainingTime();
    r.cycle().send({102, host::longFrame(2)}, nullptr, nullptr);
    // Starting a running timer must not move its deadline back to 3 s.
    QVERIFY2(timer3->remainingTime() <= before,
             qPrintable(QString::number(timer3->remainingTime())));
    QCOMPARE(r.cycle().replyCode(), 102);
    QVERIFY(r.waitStatus(QStringLiteral("Upload data timeout!")));
}

void MainWindowTest::clearBufferKeepsDecoding() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.click("Button3"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QVERIFY(!text(r, "discomm").isEmpty());
    QVERIFY(r.click("Button58"));
    QVERIFY(text(r, "discomm").isEmpty());
    QVERIFY(text(r, "Memo8").isEmpty());
    QCOMPARE(r.status(), QStringLiteral("Upload successful!"));
    QVERIFY(r.click("Button3"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
}

void MainWindowTest::discoveryAtAddressZero() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.select("ComboBox8", 0); // First Device
    QVERIFY(r.click("Button3"));
    auto wire = r.nextWire();
    QVERIFY(wire);
    QCOMPARE(*wire, hex("FF FF FF FF FF FF 02 80 00 00 82"));
    QCOMPARE(text(r, "discomm"), QStringLiteral("FF FF FF FF FF FF 02 80 00 00 82 "));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit1"), QStringLiteral("38"));
    QCOMPARE(text(r, "Edit2"), QStringLiteral("5"));
    QCOMPARE(text(r, "Edit3"), QStringLiteral("5"));
    QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
    QCOMPARE(text(r, "Edit28"), QStringLiteral("66051"));
    const auto& b = r.cycle().buffer();
    QCOMPARE(b[hart::lb::kManufacturer], 0x26);
    QCOMPARE(b[hart::lb::kDeviceType], 0x05);
    QCOMPARE(b[hart::lb::kDeviceId], 0x01);
    QCOMPARE(b[hart::lb::kDeviceId + 2], 0x03);

    // The cycle finds it at its first request and stops before a step.
    QVERIFY(r.click("Button16"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QVERIFY(!r.get<QTimer>("Timer1")->isActive());
    QCOMPARE(text(r, "Label33"), QStringLiteral("#0"));
}

void MainWindowTest::discoveryCycleFindsAddressFive() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.device().withState([](sim::SimState& s) { s.pollAddress = 5; });
    // The cycle's own pace is 3 s a step; a shorter step keeps the test
    // quick and changes nothing else.
    r.get<QTimer>("Timer1")->setInterval(1500);
    QStringList seen;
    auto* step = r.get<QLabel>("Label33");
    QVERIFY(r.click("Button16"));
    QVERIFY(rig::waitFor([&] {
        if (seen.isEmpty() || seen.last() != step->text()) seen << step->text();
        return r.status() == QStringLiteral("Upload successful!") &&
               !r.get<QTimer>("Timer2")->isActive();
    }));
    QCOMPARE(seen, (QStringList{"#0", "#1", "#2", "#3", "#4", "#5"}));
    QCOMPARE(r.get<QComboBox>("ComboBox9")->currentText(), QStringLiteral("5"));
    if (auto* poll = r.get<QComboBox>("ComboBox3")) QCOMPARE(poll->currentIndex(), 5);
    QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
    QVERIFY(!r.get<QTimer>("Timer1")->isActive());
    // Steps after the first always speak as the primary master.
    auto frames = r.device().takeFrames();
    QVERIFY(frames.size() >= 6);
    QCOMPARE(frames[0][1], 0x00); // the button itself follows "First Device"/"Second Device"
    QCOMPARE(frames[5][1], 0x85);
}

void MainWindowTest::discoveryCycleGivesUp() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.device().setFaults({.silent = true});
    r.get<QTimer>("Timer1")->setInterval(100);
    QVERIFY(r.click("Button16"));
    QVERIFY(r.waitStatus(QStringLiteral("Unable to find sensor!")));
    QCOMPARE(text(r, "Label33"), QStringLiteral("#15"));
    QVERIFY(!r.get<QTimer>("Timer1")->isActive());
    QCOMPARE(r.device().takeFrames().size(), std::size_t{16});
}

void MainWindowTest::masterBits() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.device().setFaults({.silent = true});
    struct Case {
        int index;
        std::uint8_t shortAddress;
    };
    // No item chosen yet (text "First Device"): secondary master.
    for (Case c : {Case{-1, 0x03}, Case{0, 0x83}, Case{1, 0x03}}) {
        if (c.index >= 0) r.select("ComboBox8", c.index);
        r.select("ComboBox9", 3);
        QVERIFY(r.click("Button3"));
        auto f = r.nextFrame();
        QVERIFY(f);
        QCOMPARE((*f)[1], c.shortAddress);
        QCOMPARE(r.cycle().buffer()[hart::lb::kPollAddress], 3);
    }
}

void MainWindowTest::deviceIdQuery() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.select("ComboBox8", 0);
    r.get<QTabWidget>("PageControl2")->setCurrentIndex(3);
    QVERIFY(r.click("Button7"));
    auto wire = r.nextWire();
    QVERIFY(wire);
    QCOMPARE(*wire, hex("FF FF FF FF FF FF FF FF 02 80 00 00 82"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit28"), QStringLiteral("66051"));
    // Identity fields other than the ID are left alone by this query.
    QVERIFY(text(r, "Edit1").isEmpty());

    // A reply without a short-frame start.
    r.respondWith(hex("00 11 22 33 44 55 66"));
    QVERIFY(r.click("Button7"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload Failure!")));
    QVERIFY(text(r, "Edit28").isEmpty());
}

void MainWindowTest::identitySurvivesReopen() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.select("ComboBox8", 0);
    QVERIFY(r.discover());
    QVERIFY(r.click("Button1"));
    QVERIFY(r.openPort());
    QVERIFY(text(r, "Edit1").isEmpty());
    r.select("ComboBox8", 0);
    r.cycle().send({103, host::longFrame(3)}, nullptr, nullptr);
    auto f = r.nextFrame();
    QVERIFY(f);
    QCOMPARE(*f, hex("82 A6 05 01 02 03 03 00 22"));
}

void MainWindowTest::deviceLoss_data() {
    QTest::addColumn<bool>("awaiting");
    QTest::newRow("idle") << false;
    QTest::newRow("reply awaited") << true;
}

void MainWindowTest::deviceLoss() {
    QFETCH(bool, awaiting);
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    if (awaiting) {
        r.device().setFaults({.silent = true});
        QVERIFY(r.click("Button4"));
        QCOMPARE(r.cycle().replyCode(), 103);
        QVERIFY(r.get<QTimer>("Timer3")->isActive());
    }
    const QString path = QString::fromStdString(r.device().portPath());
    // The read that found the device gone failed with EIO: its text is the cause.
    const QString lost =
        QStringLiteral("Serial device %1 disconnected (Input/output error)").arg(path);
    r.device().hangUp(); // the modem is unplugged

    QCOMPARE(r.takeErrorBox(), lost);
    QCOMPARE(r.status(), lost);
    // Closed as the Close button closes: caption, buttons, fields.
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Open"));
    QVERIFY(portButtonsEnabled(r, false));
    QVERIFY(text(r, "Edit1").isEmpty());
    QVERIFY(!r.form().comm().isOpen());
    // Nothing is awaited any more, so no "Upload data timeout!" can follow.
    QCOMPARE(r.cycle().replyCode(), 0);
    QVERIFY(!r.get<QTimer>("Timer3")->isActive());
    QVERIFY(!r.get<QTimer>("Timer2")->isActive());

    // The device is back (a new pty): it opens and answers as before.
    sim::SimTransmitter again;
    r.get<QComboBox>("SPREALCOM")->setEditText(QString::fromStdString(again.portPath()));
    QVERIFY(r.click("Button1"));
    QVERIFY(rig::waitFor([&] { return r.isOpen(); }));
    QVERIFY(r.click("Button3"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
}

void MainWindowTest::simulatedTransmitterFromPortList() {
    // What a user without hardware does: pick the simulated transmitter, open,
    // query address 0. It runs at the pace of a real 1200-baud loop.
    WindowRig r(false);
    auto* list = r.get<QComboBox>("SPREALCOM");
    list->setCurrentIndex(list->findText(TForm1::simulatedPortName()));
    QVERIFY(r.click("Button1"));
    QCOMPARE(r.get<QPushButton>("Button1")->text(), QStringLiteral("Close"));
    QVERIFY(r.form().simulator());
    QCOMPARE(r.form().comm().CommName(), QString::fromStdString(r.form().simulator()->portPath()));
    QVERIFY(r.click("Button3"));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit1"), QStringLiteral("38"));
    QCOMPARE(text(r, "Edit4"), QStringLiteral("66051"));
}


void MainWindowTest::everyRequestHasOneReader() {
    WindowRig r(false);
    const auto& requested = r.cycle().requestedCodes();
    // Every code of the reply-code table is sent by some button, and each
    // one's reply has exactly one judge: its reader or the write result.
    QCOMPARE(requested.size(), host::replyCodes().size());
    for (const auto& row : host::replyCodes()) {
        QVERIFY2(requested.count(row.code), qPrintable(QString::number(row.code)));
        QVERIFY2(r.cycle().judgesOf(row.code) == 1, qPrintable(QString::number(row.code)));
    }
}

void MainWindowTest::readerMistakesAreCaught() {
    WindowRig r(false);
    auto reader = [](int code) {
        return host::ReaderSpec{code, 0, hart::kStandardScan, host::status::kUploadFailed,
                                [](const host::Reply&) {}, nullptr, nullptr};
    };
    // A second reader for a code, a reader for a written code, a code no
    // table row has: each stops the program at start-up.
    QVERIFY_THROWS_EXCEPTION(std::logic_error, r.cycle().addReader(reader(103)));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, r.cycle().addReader(reader(144)));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, r.cycle().addRequest(4242));
    host::Buttons buttons;
    buttons.make("Button99", QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, buttons.make("Button99", QStringLiteral("y")));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, buttons["Button98"]);
    delete buttons["Button99"];
}
QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
