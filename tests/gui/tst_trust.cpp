// What reaches the device, and what the window shows of it, is the user's
// choice and the current device's word: a SET never sends a setting the user
// did not give and the device did not give either; one maker's commands go to
// another maker's device only when the user says so; values leave with their
// device; a fixed loop current stays in sight until it is released.
//
// Against the simulated transmitter (Rosemount, code 38) on a real
// pseudo-terminal; frames are compared with what the device itself sent.

#include "sim/sim_network.h"
#include "sim/sim_transmitter.h"
#include "support/window_rig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using rig::Bytes;
using rig::hex;
using rig::text;
using rig::WindowRig;

namespace {

constexpr int kDeadline = 15000;

const QString kDateRefusal = QStringLiteral(
    "Nothing sent: SET writes the tag, descriptor and date together. Press Query first, so "
    "that the tag and descriptor the device holds are kept.");

// The next frame the device receives is `button`'s request: nothing went out
// before it.
bool nextFrameIsCommand(WindowRig& r, const char* button, std::uint8_t command) {
    r.forgetReceived();
    if (!r.click(button)) return false;
    const auto frame = r.nextFrame();
    return frame && frame->size() > 6 && (*frame)[6] == command;
}

void typeDate(WindowRig& r) {
    r.setText("Edit29", QStringLiteral("24"));
    r.setText("Edit25", QStringLiteral("12"));
    r.setText("Edit24", QStringLiteral("2026"));
}

} // namespace

class TrustTest : public QObject {
    Q_OBJECT
private slots:
    void dateSetKeepsTagAndDescriptor();
    void anEmptyFieldTheUserEmptiedIsSent();
    void unchosenListIsSentOnlyAfterItsQuery();
    void otherMakersCommandsAskFirst();
    void valuesLeaveWithTheirDevice_data();
    void valuesLeaveWithTheirDevice();
    void fixedLoopCurrentShowsUntilReleased();
    void closingWhileFixedAsks_data();
    void closingWhileFixedAsks();
};

// The fields are empty after every open: a SET before a Query would erase
// the device's tag and descriptor. After the Query, the SET sends them back
// as the device gave them, with the new date.
void TrustTest::dateSetKeepsTagAndDescriptor() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    const QString before = r.status();
    typeDate(r);
    QVERIFY(r.click("Button33"));
    QCOMPARE(r.takeErrorBox(), kDateRefusal);
    QCOMPARE(r.status(), before);
    QVERIFY(nextFrameIsCommand(r, "Button32", 13)); // nothing went out before the query
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    QCOMPARE(text(r, "Edit22").trimmed(), QStringLiteral("TT100"));

    typeDate(r);
    r.forgetReceived();
    QVERIFY(r.click("Button33"));
    const auto frame = r.nextFrame();
    QVERIFY(frame);
    QVERIFY(r.waitStatus(QStringLiteral("Write successful!")));
    const auto state = r.device().withState([](sim::SimState& s) { return s; });
    QCOMPARE(QString::fromStdString(state.tag).trimmed(), QStringLiteral("TT100"));
    QCOMPARE(QString::fromStdString(state.descriptor).trimmed(), QStringLiteral("LOOP SIMULATOR"));
    QCOMPARE(int(state.date[0]), 24);
    QCOMPARE(int(state.date[1]), 12);
    QCOMPARE(int(state.date[2]), 2026 - 1900);

    // Closing and opening again: nothing counts as read any more.
    QVERIFY(r.click("Button1"));
    QVERIFY(r.openPort());
    r.setText("Edit22", QStringLiteral("TT101")); // the tag given, the descriptor not
    typeDate(r);
    QVERIFY(r.click("Button33"));
    QCOMPARE(r.takeErrorBox(), kDateRefusal);
}

// Typed away by the user, an empty field is the user's choice.
void TrustTest::anEmptyFieldTheUserEmptiedIsSent() {
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    r.setText("Edit22", QStringLiteral("TT102"));
    auto* descriptor = r.get<QLineEdit>("Edit23");
    descriptor->setFocus();
    QTest::keyClicks(descriptor, QStringLiteral("X"));
    QTest::keyClick(descriptor, Qt::Key_Backspace); // typed, then deleted
    QVERIFY(descriptor->text().isEmpty());
    typeDate(r);
    r.forgetReceived();
    QVERIFY(r.click("Button33"));
    const auto frame = r.nextFrame();
    QVERIFY(frame);
    QVERIFY(r.waitStatus(QStringLiteral("Write successful!")));
    const auto state = r.device().withState([](sim::SimState& s) { return s; });
    QCOMPARE(QString::fromStdString(state.tag).trimmed(), QStringLiteral("TT102"));
    QCOMPARE(QString::fromStdString(state.descriptor).trimmed(), QString());
}

// A list with nothing chosen sends a code of its own; that code goes out only
// once the query has read the current device (the Yokogawa sensor list).
void TrustTest::unchosenListIsSentOnlyAfterItsQuery() {
    WindowRig r;
    r.sendToAnyMaker(); // the Yokogawa page on the Rosemount simulator
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    r.select("YokoSensorTypeList", -1);
    r.select("YokoConnectionList", -1);
    QVERIFY(r.click("Button53"));
    QCOMPARE(r.takeErrorBox(),
             QStringLiteral("Nothing sent: SET writes the sensor type and the connection type "
                            "together. Press Query first, so that the sensor type and connection "
                            "type the device holds are kept."));
    QVERIFY(nextFrameIsCommand(r, "Button52", 0x83));
    QVERIFY(r.waitStatus(QStringLiteral("Upload successful!")));
    r.select("YokoSensorTypeList", -1);
    r.select("YokoConnectionList", -1);
    QVERIFY(nextFrameIsCommand(r, "Button53", 0x86));
}

void TrustTest::otherMakersCommandsAskFirst() {
    WindowRig r;
    QVERIFY(r.isOpen());
    // No device identified yet: nothing to ask about.
    // (It goes to the zero address and stays unanswered; discovery's request
    // replaces it.)
    QVERIFY(nextFrameIsCommand(r, "Button2", 0x8C));
    QVERIFY(r.discover());

    // Cancel: nothing on the wire, the status line as it was, and the next
    // click asks again.
    const QString before = r.status();
    r.forgetReceived();
    QVERIFY(r.click("Button2"));
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    QCOMPARE(box->objectName(), QStringLiteral("WrongMakerQuestion"));
    QCOMPARE(box->text(),
             QStringLiteral("The device found is made by Rosemount (38). This page sends "
                            "Siemens's own commands, which mean something else to other makers' "
                            "devices. Send anyway?"));
    QCOMPARE(box->defaultButton()->text(), QStringLiteral("Cancel"));
    QVERIFY(r.answer("WrongMakerQuestion", QStringLiteral("Cancel")));
    QCOMPARE(r.status(), before);
    QVERIFY(nextFrameIsCommand(r, "Button35", 0x8C)); // Rosemount's own page asks nothing
    QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }, kDeadline));

    // Send: the frame goes; the answer holds for Siemens, not for ABB.
    r.forgetReceived();
    QVERIFY(r.click("Button2"));
    QVERIFY(r.answer("WrongMakerQuestion", QStringLiteral("Send")));
    auto frame = r.nextFrame();
    QVERIFY(frame);
    QCOMPARE(rig::hexText(*frame).trimmed(), QStringLiteral("82 26 05 01 02 03 8C 01 00 2C"));
    QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }, kDeadline));
    QVERIFY(nextFrameIsCommand(r, "Button2", 0x8C));
    QVERIFY(rig::waitFor([&] { return r.cycle().replyCode() == 0; }, kDeadline));
    QVERIFY(r.click("Button68"));
    QVERIFY(r.answer("WrongMakerQuestion", QStringLiteral("Cancel")));

    // Until the port closes.
    QVERIFY(r.click("Button1"));
    QVERIFY(r.openPort());
    QVERIFY(r.click("Button2"));
    QVERIFY(r.answer("WrongMakerQuestion", QStringLiteral("Cancel")));

    // A device of that maker is asked nothing (HART 7: the distributor's
    // code counts too).
    r.device().withState([](sim::SimState& s) { s.manufacturer = 42; });
    QVERIFY(r.discover());
    QVERIFY(nextFrameIsCommand(r, "Button2", 0x8C));
}

void TrustTest::valuesLeaveWithTheirDevice_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("another device found") << "discovery";
    QTest::newRow("another device chosen on the Network page") << "network";
    QTest::newRow("the line lost") << "loss";
}

// Edit17, Edit18 and Edit30 keep their text when the port closes; the range
// fields and lists are read from the device. None may show the old device's
// values once it is not the one in front of us.
void TrustTest::valuesLeaveWithTheirDevice() {
    QFETCH(QString, how);
    using sim::DeviceModel;
    sim::SimNetwork line({{DeviceModel::Transmitter, 0, false}, {DeviceModel::Hart7, 5, false}});
    TForm1 form;
    form.show();
    // The decode timer's first run at start-up finds nothing to decode.
    QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<QTimer*>(QStringLiteral("Timer2"))->isActive(), 5000);
    auto get = [&form](const char* name) { return form.findChild<QWidget*>(name); };
    auto edit = [&form](const char* name) {
        return form.findChild<QLineEdit*>(QString::fromLatin1(name))->text();
    };
    auto combo = [&form](const char* name) {
        return form.findChild<QComboBox*>(QString::fromLatin1(name))->currentIndex();
    };
    auto click = [&](const char* name) { static_cast<QPushButton*>(get(name))->click(); };
    auto settled = [&form] {
        return rig::waitFor([&] { return form.cycle().replyCode() == 0; }, kDeadline);
    };
    form.findChild<QComboBox*>(QStringLiteral("SPREALCOM"))
        ->setEditText(QString::fromStdString(line.portPath()));
    click("Button1");
    QVERIFY(form.isPortOpen());
    click("Button3"); // the transmitter at 0
    QTRY_COMPARE_WITH_TIMEOUT(edit("Edit1"), QStringLiteral("38"), kDeadline);
    QVERIFY(settled());
    click("Button4"); // dynamic variables
    QTRY_VERIFY_WITH_TIMEOUT(!edit("Edit30").isEmpty(), kDeadline);
    QVERIFY(settled());
    click("Button13"); // range, unit, damping
    QTRY_VERIFY_WITH_TIMEOUT(!edit("Edit14").isEmpty(), kDeadline);
    QVERIFY(settled());
    QVERIFY(combo("ComboBox1") >= 0);
    QVERIFY(!edit("Edit17").isEmpty());

    if (how == QLatin1String("discovery")) {
        form.findChild<QComboBox*>(QStringLiteral("ComboBox9"))->setCurrentIndex(5);
        click("Button3");
        QTRY_COMPARE_WITH_TIMEOUT(edit("Edit1"), QStringLiteral("17"), kDeadline);
    } else if (how == QLatin1String("network")) {
        auto* range = form.findChild<QComboBox*>(QStringLiteral("ScanRange"));
        range->setCurrentIndex(0);
        click("ScanNetwork");
        auto* table = form.findChild<QTableWidget*>(QStringLiteral("NetworkTable"));
        QTRY_VERIFY_WITH_TIMEOUT(range->isEnabled() && table->rowCount() == 2, 120000);
        emit table->cellDoubleClicked(1, 0); // the flowmeter
        QTRY_COMPARE_WITH_TIMEOUT(edit("Edit1"), QStringLiteral("17"), kDeadline);
    } else {
        line.hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!form.isPortOpen(), kDeadline);
        while (auto* w = QApplication::activeModalWidget())
            delete w;
    }
    for (const char* field : {"Edit17", "Edit18", "Edit30", "Edit14", "Edit15", "Edit16"})
        QVERIFY2(edit(field).isEmpty(), field);
    QCOMPARE(combo("ComboBox1"), -1);
    QCOMPARE(combo("ComboBox2"), -1);
}

// From the device's own word (status bit 0x08) and from a fixed-current
// write; "Return to normal" sends the fixed-current request with 0 mA.
void TrustTest::fixedLoopCurrentShowsUntilReleased() {
    WindowRig r;
    QVERIFY(r.isOpen());
    r.select("ComboBox8", 0);
    QVERIFY(r.discover());
    auto* banner = r.get<QLabel>("LoopFixedBanner");
    QVERIFY(banner);
    QVERIFY(!banner->isVisible());

    // A reply that says so, whoever fixed the current.
    r.device().withState([](sim::SimState& s) { s.fieldDeviceStatus = 0x08; });
    QVERIFY(r.request("Button34"));
    QTRY_VERIFY_WITH_TIMEOUT(banner->isVisible(), kDeadline);
    QCOMPARE(banner->text(),
             QStringLiteral("Loop current fixed: the loop is not following the process"));
    r.device().withState([](sim::SimState& s) { s.fieldDeviceStatus = 0x00; });
    QVERIFY(r.request("Button34"));
    QTRY_VERIFY_WITH_TIMEOUT(!banner->isVisible(), kDeadline);

    // Fixed at 12 mA by the page's own request.
    r.get<QRadioButton>("RadioButton3")->setChecked(true);
    QVERIFY(r.request("Button6"));
    QTRY_VERIFY_WITH_TIMEOUT(banner->isVisible(), kDeadline);
    QCOMPARE(banner->text(), QStringLiteral("Loop current fixed at 12 mA: the loop is not "
                                            "following the process"));
    r.forgetReceived();
    QVERIFY(r.click("ReleaseLoop"));
    const auto frame = r.nextFrame();
    QVERIFY(frame);
    QCOMPARE(rig::hexText(*frame).trimmed(), QStringLiteral("82 A6 05 01 02 03 28 04 00 00 00 00 0D"));
    QTRY_VERIFY_WITH_TIMEOUT(!banner->isVisible(), kDeadline);
    QVERIFY(!r.device().withState([](sim::SimState& s) { return s.fixedCurrent.has_value(); }));
}

void TrustTest::closingWhileFixedAsks_data() {
    QTest::addColumn<QString>("closing"); // "port" or "window"
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("released");
    for (const char* closing : {"port", "window"}) {
        QTest::addRow("%s, Cancel", closing) << closing << "Cancel" << false << false;
        QTest::addRow("%s, Leave fixed", closing) << closing << "Leave fixed" << true << false;
        QTest::addRow("%s, Return to normal", closing) << closing << "Return to normal" << true
                                                        << true;
    }
}

void TrustTest::closingWhileFixedAsks() {
    QFETCH(QString, closing);
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    QFETCH(bool, released);
    WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    r.get<QRadioButton>("RadioButton5")->setChecked(true); // 20 mA
    QVERIFY(r.request("Button6"));
    QTRY_VERIFY_WITH_TIMEOUT(r.get<QLabel>("LoopFixedBanner")->isVisible(), kDeadline);
    QVERIFY(r.settle());

    if (closing == QLatin1String("port"))
        QVERIFY(r.click("Button1"));
    else
        r.form().close();
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    QCOMPARE(box->objectName(), QStringLiteral("LoopFixedQuestion"));
    QCOMPARE(box->text(), QStringLiteral("The loop current is still fixed. Return it to normal "
                                         "before closing?"));
    QVERIFY(r.answer("LoopFixedQuestion", answer));
    if (closing == QLatin1String("port"))
        QTRY_COMPARE_WITH_TIMEOUT(!r.isOpen(), closed, kDeadline);
    else
        QTRY_COMPARE_WITH_TIMEOUT(!r.form().isVisible(), closed, kDeadline);
    QCOMPARE(!r.device().withState([](sim::SimState& s) { return s.fixedCurrent.has_value(); }),
             released);
}

QTEST_MAIN(TrustTest)
#include "tst_trust.moc"
