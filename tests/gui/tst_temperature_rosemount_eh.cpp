// The first temperature-transmitter tab: the Rosemount 644 and 848T groups and
// the Yokogawa and E+H groups, driven through the real window against the
// simulated device on a pseudo-terminal.
//
// Setups and expectations are written as "Name=value;..." lists: a list takes
// the value as its position (-1: nothing chosen), an edit field as its text.
// "choose:Name=n" picks item n from the dropped-down list as a user does
// (which raises the list's user events); "click:ButtonN" presses a button and
// waits for its reply to be handled.

#include "support/window_rig.h"

#include "host/widgets.h"
#include "hart/link_buffer.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using rig::Bytes;
using rig::hex;
using rig::WindowRig;

namespace {

const QString kUploading = QStringLiteral("Uploading...");
const QString kDownloading = QStringLiteral("Downloading...");

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes preambles(int n) {
    return Bytes(static_cast<std::size_t>(n), 0xFF);
}

// A long reply as the simulated device (manufacturer 0x26, type 5, ID 01 02
// 03) sends it to the primary master: five preambles, delimiter 0x86, the
// address, command, byte count, the two status bytes, data and checksum.
// `byteCount` overrides the count the data gives.
Bytes reply(std::uint8_t command, const char* data, std::uint8_t responseCode = 0,
            int byteCount = -1) {
    Bytes d = hex(data);
    auto count = static_cast<std::uint8_t>(byteCount >= 0 ? byteCount : int(d.size()) + 2);
    Bytes f{0x86, 0xA6, 0x05, 0x01, 0x02, 0x03, command, count, responseCode, 0x00};
    f = f + d;
    std::uint8_t x = 0;
    for (auto b : f)
        x ^= b;
    f.push_back(x);
    return preambles(5) + f;
}

// Seven bytes of line noise: a reply after them starts too late for the E+H
// reads, whose search ends at position 10.
Bytes noiseThen(const Bytes& reply) {
    return hex("00 11 22 33 44 55 66") + reply;
}

class Page {
public:
    explicit Page(WindowRig& r) : r_(r) {}

    // Waits until no reply is awaited any more.
    bool settle() {
        return rig::waitFor([this] { return r_.cycle().replyCode() == 0; });
    }

    // Picks an item from the dropped-down list with the mouse.
    bool choose(const char* name, int index) {
        auto* combo = r_.get<QComboBox>(name);
        if (!combo) return false;
        combo->showPopup();
        auto* view = combo->view();
        if (!rig::waitFor([view] { return view->isVisible(); }, 5000)) return false;
        QRect rect = view->visualRect(view->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        return rig::waitFor([view] { return !view->isVisible(); }, 5000);
    }

    bool apply(const QString& setup) {
        for (const QString& item : setup.split(u';', Qt::SkipEmptyParts)) {
            if (item.startsWith(QStringLiteral("click:"))) {
                if (!r_.click(item.mid(6).toLatin1().constData()) || !settle()) return false;
                continue;
            }
            bool byUser = item.startsWith(QStringLiteral("choose:"));
            QString assignment = byUser ? item.mid(7) : item;
            auto eq = assignment.indexOf(u'=');
            QByteArray name = assignment.left(eq).toLatin1();
            QString value = assignment.mid(eq + 1);
            if (byUser) {
                if (!choose(name.constData(), value.toInt())) return false;
            } else if (auto* combo = r_.get<QComboBox>(name.constData())) {
                int index = value.toInt();
                if (index < 0)
                    host::clearSelection(combo);
                else
                    combo->setCurrentIndex(index);
            } else if (auto* edit = r_.get<QLineEdit>(name.constData())) {
                edit->setText(value);
            } else {
                return false;
            }
        }
        return true;
    }

    // The first expectation that does not hold, or an empty text.
    QString mismatch(const QString& expected) const {
        for (const QString& item : expected.split(u';', Qt::SkipEmptyParts)) {
            auto eq = item.indexOf(u'=');
            QByteArray name = item.left(eq).toLatin1();
            QString value = item.mid(eq + 1);
            QString actual;
            if (auto* combo = r_.get<QComboBox>(name.constData())) {
                actual = QString::number(combo->currentIndex());
                if (combo->currentIndex() >= 0 &&
                    combo->currentText() != combo->itemText(combo->currentIndex()))
                    actual += QStringLiteral(" (text ") + combo->currentText() + u')';
            } else if (auto* edit = r_.get<QLineEdit>(name.constData())) {
                actual = edit->text();
            } else {
                return QStringLiteral("no control ") + QString::fromLatin1(name);
            }
            if (actual != value)
                return QStringLiteral("%1: %2, expected %3")
                    .arg(QString::fromLatin1(name), actual, value);
        }
        return {};
    }

    bool enabled(const char* button) const { return r_.get<QPushButton>(button)->isEnabled(); }

private:
    WindowRig& r_;
};

} // namespace

class TemperatureRosemountEhTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startState();
    void itemTexts_data();
    void itemTexts();
    void requestFrames_data();
    void requestFrames();
    void replies_data();
    void replies();
    void unchosenListsSendNothing_data();
    void unchosenListsSendNothing();
    void badNumbersSendNothing_data();
    void badNumbersSendNothing();
    void silentDeviceTimesOut_data();
    void silentDeviceTimesOut();
    void roundTripsThroughTheDevice_data();
    void roundTripsThroughTheDevice();
    void ehWritesFollowTheirReads();
    // Turns ShowVendorFrames on for the rest of the run: keep it last.
    void frameDisplay_data();
    void frameDisplay();

private:
    std::unique_ptr<WindowRig> r_;
    std::unique_ptr<Page> page_;
};

void TemperatureRosemountEhTest::initTestCase() {
    r_ = std::make_unique<WindowRig>();
    QVERIFY(r_->isOpen());
    // The pages of every maker, on the simulated Rosemount transmitter.
    r_->sendToAnyMaker();
    QVERIFY(r_->discover());
    page_ = std::make_unique<Page>(*r_);
}

void TemperatureRosemountEhTest::cleanupTestCase() {
    page_.reset();
    r_.reset();
}

void TemperatureRosemountEhTest::init() {
    QVERIFY(r_->settle());
    r_->select("ComboBox8", -1);
}

void TemperatureRosemountEhTest::cleanup() {
    r_->respondWith({});
    r_->device().setFaults({});
}

void TemperatureRosemountEhTest::startState() {
    WindowRig r(false);
    Page page(r);
    // Port-dependent (the 644 and 848T groups) against always available.
    const char* portButtons[] = {"Button35", "Button36", "Button40", "Button41", "Button43"};
    const char* alwaysOn[] = {"Button69", "Button70", "Button52", "Button53", "Button54",
                              "Button55", "Button56", "Button59", "Button65"};
    const char* ehWrites[] = {"Button57", "Button60", "Button66", "Button61", "Button62"};
    for (auto* b : portButtons)
        QVERIFY2(!page.enabled(b), b);
    for (auto* b : alwaysOn)
        QVERIFY2(page.enabled(b), b);
    for (auto* b : ehWrites)
        QVERIFY2(!page.enabled(b), b);
    QVERIFY(r.openPort());
    for (auto* b : portButtons)
        QVERIFY2(page.enabled(b), b);
    for (auto* b : ehWrites)
        QVERIFY2(!page.enabled(b), b);

    // Lists without a code for "nothing chosen" start empty; the others, and
    // those that already read as their first item, start on it.
    QCOMPARE(page.mismatch(QStringLiteral(
                 "ComboBox17=-1;ComboBox18=-1;ComboBox21=-1;ComboBox20=-1;ComboBox19=0;"
                 "ComboBox22=0;ComboBox36=0;ComboBox35=0;YokoSensorTypeList=0;"
                 "YokoConnectionList=0;TempBIAHO=0;EHTEMNX=0;EHTEMFS=0;POTMXU=0;CALL_ALP=0;"
                 "YokoTwoWireResistanceEdit=;EHPIANYI=;RTDxishu=;CALL_ALP_XS=")),
             QString());
    QCOMPARE(r.get<QComboBox>("ComboBox19")->currentText(), QStringLiteral("CH1"));
    QCOMPARE(r.get<QComboBox>("ComboBox17")->currentText(), QString());
    QCOMPARE(r.get<QComboBox>("ComboBox17")->maxVisibleItems(), 25);
    QCOMPARE(r.get<QComboBox>("ComboBox21")->maxVisibleItems(), 25);

    // Every group sits on the "Rosemount And E+H Temperature transmitter" tab.
    auto* tab = r.get<QWidget>("TabSheet11");
    for (auto* g : {"GroupBox11", "GroupBox12", "GroupBox23", "GroupBox19", "GroupBox20"})
        QVERIFY2(tab->isAncestorOf(r.get<QWidget>(g)), g);
}

void TemperatureRosemountEhTest::itemTexts_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("644 sensor 27")
        << "ComboBox17" << 29 << 27 << QStringLiteral("27_T/C typ W5Re26") + QString(18, u' ');
    QTest::newRow("644 sensor 28")
        << "ComboBox17" << 29 << 28 << QStringLiteral("28_T/C typ GOSTL    ");
    QTest::newRow("848T sensor 25") << "ComboBox21" << 29 << 25 << "25_T/C  ty DIN L";
    QTest::newRow("644 wires 0") << "ComboBox18" << 3 << 0 << QStringLiteral("2线制");
    QTest::newRow("848T wires 2") << "ComboBox20" << 3 << 2 << QStringLiteral("4线制");
    QTest::newRow("wiring sensor 9") << "ComboBox36" << 10 << 9 << "9_other";
    QTest::newRow("wiring 1") << "ComboBox35" << 4 << 1 << QStringLiteral("3线制");
    QTest::newRow("wiring 3") << "ComboBox35" << 4 << 3 << "other";
    QTest::newRow("channel 3") << "ComboBox19" << 4 << 3 << "CH4";
    QTest::newRow("unit 3") << "ComboBox22" << 4 << 3 << "kelvin";
    QTest::newRow("Yokogawa 16") << "YokoSensorTypeList" << 24 << 16 << "16-84-T/C Type C(W5)";
    QTest::newRow("Yokogawa 23") << "YokoSensorTypeList" << 24 << 23 << "23-other";
    QTest::newRow("Yokogawa wires") << "YokoConnectionList" << 3 << 2 << "Four-wire System";
    QTest::newRow("E+H sensor 0") << "EHTEMNX" << 32 << 0 << "00-F1-Pt50 GOST(a=0.003911)";
    QTest::newRow("E+H sensor 27") << "EHTEMNX" << 32 << 27 << "27-03-callendar Van-Dusen";
    QTest::newRow("E+H sensor 30") << "EHTEMNX" << 32 << 30 << "30-81--20..100mv";
    QTest::newRow("E+H wires") << "EHTEMFS" << 3 << 2 << "04_4line";
    QTest::newRow("E+H sensor number") << "TempBIAHO" << 2 << 1 << "Sensor Number 2";
    QTest::newRow("polynomial") << "POTMXU" << 5 << 4 << "Set Coefficient X4";
    QTest::newRow("Callendar") << "CALL_ALP" << 4 << 3 << "Coefficient R0";
}

void TemperatureRosemountEhTest::itemTexts() {
    QFETCH(QString, list);
    QFETCH(int, count);
    QFETCH(int, index);
    QFETCH(QString, text);
    auto* combo = r_->get<QComboBox>(list.toLatin1().constData());
    QVERIFY(combo);
    QCOMPARE(combo->count(), count);
    QCOMPARE(combo->itemText(index), text);
}

// Each button's frame on the wire against the device's own answers. The
// default master is the secondary one: "First Device" is shown but not chosen.
void TemperatureRosemountEhTest::requestFrames_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("button");
    QTest::addColumn<Bytes>("frame");
    QTest::addColumn<int>("replyCode");
    QTest::addColumn<QString>("sending");
    QTest::addColumn<QString>("result");
    const QString read = QStringLiteral("Upload successful!");
    const QString written = QStringLiteral("Write successful!");
    struct R {
        const char* setup;
        const char* button;
        const char* frame;
        int replyCode;
        QString sending, result;
        const char* note = "";
    };
    const R rows[] = {
        // Rosemount 644 Sensor settings
        {"", "Button35", "82 26 05 01 02 03 8C 01 00 2C", 1140, kDownloading, read},
        {"ComboBox8=0", "Button35", "82 A6 05 01 02 03 8C 01 00 AC", 1140, kDownloading, read},
        {"ComboBox17=15;ComboBox18=1", "Button36", "82 26 05 01 02 03 8D 03 00 00 03 2C", 1145,
         kDownloading, written},
        {"ComboBox17=27;ComboBox18=2", "Button36", "82 26 05 01 02 03 8D 03 00 8D 04 A6", 1145,
         kDownloading, written},
        // Rosemount 848T settings
        {"ComboBox19=2", "Button41", "82 26 05 01 02 03 A0 01 03 03", 1160, kDownloading, read},
        {"ComboBox19=2;ComboBox21=20;ComboBox20=0", "Button40",
         "82 26 05 01 02 03 9B 03 03 84 02 BC", 1155, kDownloading, written},
        {"ComboBox19=2;ComboBox22=3", "Button43", "82 26 05 01 02 03 35 02 03 23 B6", 1153,
         kDownloading, written},
        {"ComboBox19=0;ComboBox22=0", "Button43", "82 26 05 01 02 03 35 02 01 20 B7", 1153,
         kDownloading, written},
        // Rosemount 644 Sensor and Wiring Method
        {"", "Button70", "82 26 05 01 02 03 1F 03 04 01 00 B8", 1181, kDownloading, read},
        {"ComboBox36=9;ComboBox35=3", "Button69", "82 26 05 01 02 03 1F 05 04 80 00 00 00 3F", 1182,
         kDownloading, written},
        {"ComboBox36=3;ComboBox35=2", "Button69", "82 26 05 01 02 03 1F 05 04 80 00 16 04 2D", 1182,
         kDownloading, written},
        // Yokogawa
        {"", "Button52", "82 26 05 01 02 03 83 01 00 23", 1131, kUploading, read},
        // Nothing chosen in lists that have a code for it, once their query
        // has read the device (the rows above): that code is sent.
        {"ComboBox36=-1;ComboBox35=-1", "Button69", "82 26 05 01 02 03 1F 05 04 80 00 00 00 3F",
         1182, kDownloading, written, " (nothing chosen)"},
        {"YokoSensorTypeList=-1;YokoConnectionList=-1", "Button53",
         "82 26 05 01 02 03 86 03 00 FF 01 DA", 1134, kDownloading,
         QStringLiteral("Write failed!The channel is restricted!"), " (nothing chosen)"},
        {"YokoSensorTypeList=16;YokoConnectionList=2", "Button53",
         "82 26 05 01 02 03 86 03 00 84 04 A4", 1134, kDownloading, written},
        // "23-other" goes out as 0xFF, which the device refuses.
        {"YokoSensorTypeList=23;YokoConnectionList=0", "Button53",
         "82 26 05 01 02 03 86 03 00 FF 02 D9", 1134, kDownloading,
         QStringLiteral("Write failed!The channel is restricted!")},
        {"", "Button54", "82 26 05 01 02 03 AA 00 0B", 1170, kUploading, read},
        {"YokoTwoWireResistanceEdit=4.2", "Button55", "82 26 05 01 02 03 AB 04 40 86 66 66 C8",
         1171, kDownloading, written},
        // E+H reads: the parameter byte names value and sensor
        {"TempBIAHO=0", "Button56", "82 26 05 01 02 03 90 01 30 00", 2145, kUploading, read},
        {"TempBIAHO=1", "Button56", "82 26 05 01 02 03 90 01 40 70", 2145, kUploading, read},
        {"TempBIAHO=1", "Button59", "82 26 05 01 02 03 90 01 41 71", 2147, kUploading, read},
        {"TempBIAHO=0", "Button65", "82 26 05 01 02 03 90 01 35 05", 2149, kUploading, read},
        // E+H coefficient writes, available once a sensor number is chosen
        {"choose:TempBIAHO=1;POTMXU=3;RTDxishu=20", "Button61",
         "82 26 05 01 02 03 91 06 4B FB 41 A0 00 00 67", 2152, kDownloading, written},
        {"choose:TempBIAHO=0;POTMXU=0;RTDxishu=0.0", "Button61",
         "82 26 05 01 02 03 91 06 38 FB 00 00 00 00 F5", 2152, kDownloading, written},
        {"choose:TempBIAHO=0;CALL_ALP=3;CALL_ALP_XS=-1.5", "Button62",
         "82 26 05 01 02 03 91 06 63 FB BF C0 00 00 D1", 2154, kDownloading, written},
    };
    for (const R& r : rows)
        QTest::addRow("%s%s", r.frame, r.note)
            << QString::fromUtf8(r.setup) << QString::fromLatin1(r.button) << hex(r.frame)
            << r.replyCode << r.sending << r.result;
}

void TemperatureRosemountEhTest::requestFrames() {
    QFETCH(QString, setup);
    QFETCH(QString, button);
    QFETCH(Bytes, frame);
    QFETCH(int, replyCode);
    QFETCH(QString, sending);
    QFETCH(QString, result);

    QVERIFY(page_->apply(setup));
    r_->forgetReceived();
    r_->get<QLineEdit>("discomm")->setText(QStringLiteral("earlier frame"));
    const int sentBefore = r_->cycle().bytesSent();
    QVERIFY(r_->click(button.toLatin1().constData()));

    // The request is on its way: status, pending reply, send view.
    QCOMPARE(r_->status(), sending);
    QCOMPARE(r_->cycle().replyCode(), replyCode);
    QCOMPARE(r_->cycle().timeoutClass().value(), host::TimeoutClass::Write);
    QCOMPARE(r_->get<QLineEdit>("discomm")->text(), QString()); // ShowVendorFrames is off
    QCOMPARE(r_->cycle().bytesSent() - sentBefore, int(frame.size()) + 8);

    auto wire = r_->nextWire();
    QVERIFY(wire);
    QCOMPARE(rig::hexText(*wire), rig::hexText(preambles(8) + frame));
    QVERIFY(page_->settle());
    QCOMPARE(r_->status(), result);
}

// Replies of the reads (and a few write results), as scripted bytes.
void TemperatureRosemountEhTest::replies_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("button");
    QTest::addColumn<Bytes>("answer");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("status");
    const QString ok = QStringLiteral("Upload successful!");
    const QString failed = QStringLiteral("Upload failed!");
    const QString ehFailed = QStringLiteral("Upload failed"); // the E+H reads say it without "!"
    const Bytes noise = noiseThen({});
    const Bytes shortReply = hex("FF FF FF FF FF 06 80 00 10 00 00 FE 26 05 05 01 01 01 01 00 00 "
                                 "01 02 03 CE");

    // Rosemount 644 (140): sensor at data byte 1, connection at 2.
    QTest::newRow("644: 00 84 03")
        << "ComboBox17=-1;ComboBox18=-1"
        << "Button35" << reply(140, "00 84 03") << "ComboBox17=20;ComboBox18=1" << ok;
    QTest::newRow("644: 00 00 02")
        << ""
        << "Button35" << reply(140, "00 00 02") << "ComboBox17=15;ComboBox18=0" << ok;
    QTest::newRow("644: 00 09 04 (no item for 9)")
        << "ComboBox17=3;ComboBox18=0"
        << "Button35" << reply(140, "00 09 04") << "ComboBox17=3;ComboBox18=2" << ok;
    QTest::newRow("644: 00 8F 07 (no item for 7)")
        << "ComboBox17=3;ComboBox18=1"
        << "Button35" << reply(140, "00 8F 07") << "ComboBox17=28;ComboBox18=1" << ok;
    QTest::newRow("644: response code 7 is still read")
        << ""
        << "Button35" << reply(140, "00 81 02", 7) << "ComboBox17=17;ComboBox18=0" << ok;
    QTest::newRow("644: short reply only")
        << "ComboBox17=4;ComboBox18=2"
        << "Button35" << shortReply << "ComboBox17=4;ComboBox18=2" << failed;
    QTest::newRow("644: three bytes") << "ComboBox17=4"
                                      << "Button35" << hex("FF 86 A6") << "ComboBox17=4" << failed;
    // Rosemount 848T (160): the channel and unit lists are not touched.
    QTest::newRow("848T: 03 0E 03") << "ComboBox19=2;ComboBox22=3;ComboBox21=-1;ComboBox20=-1"
                                    << "Button41" << reply(160, "03 0E 03")
                                    << "ComboBox21=0;ComboBox20=1;ComboBox19=2;ComboBox22=3" << ok;
    QTest::newRow("848T: 01 09 05")
        << "ComboBox19=0;ComboBox21=2;ComboBox20=2"
        << "Button41" << reply(160, "01 09 05") << "ComboBox21=2;ComboBox20=2" << ok;
    // Rosemount 644 through command 31: command 31 and byte count 13 required.
    QTest::newRow("31: 04 01 00 16 03 ...")
        << "ComboBox36=0;ComboBox35=0"
        << "Button70" << reply(31, "04 01 00 16 03 00 00 00 00 00 00")
        << "ComboBox36=3;ComboBox35=1" << ok;
    QTest::newRow("31: 04 01 00 84 05 ... (others)")
        << "ComboBox36=0;ComboBox35=0"
        << "Button70" << reply(31, "04 01 00 84 05 00 00 00 00 00 00")
        << "ComboBox36=9;ComboBox35=3" << ok;
    QTest::newRow("31: 04 01 00 00 00 ...")
        << "ComboBox36=0;ComboBox35=0"
        << "Button70" << reply(31, "04 01 00 00 00 00 00 00 00 00 00")
        << "ComboBox36=9;ComboBox35=3" << ok;
    QTest::newRow("31: byte count 12") << "ComboBox36=1;ComboBox35=2"
                                       << "Button70" << reply(31, "04 01 00 16 03 00 00 00 00 00")
                                       << "ComboBox36=1;ComboBox35=2" << failed;
    QTest::newRow("31: command 30") << "ComboBox36=1;ComboBox35=2"
                                    << "Button70" << reply(30, "04 01 00 16 03 00 00 00 00 00 00")
                                    << "ComboBox36=1;ComboBox35=2" << failed;
    QTest::newRow("31: count 12 then count 13") << "ComboBox36=1;ComboBox35=0"
                                                << "Button70"
                                                << reply(31, "04 01 00 16 03 00 00 00 00 00") +
                                                       reply(31, "04 01 00 17 04 00 00 00 00 00 00")
                                                << "ComboBox36=4;ComboBox35=2" << ok;
    // Yokogawa
    QTest::newRow("Yokogawa: 00 84 03") << "YokoSensorTypeList=0;YokoConnectionList=0"
                                        << "Button52" << reply(131, "00 84 03")
                                        << "YokoSensorTypeList=16;YokoConnectionList=1" << ok;
    QTest::newRow("Yokogawa: 00 02 05") << "YokoSensorTypeList=0;YokoConnectionList=0"
                                        << "Button52" << reply(131, "00 02 05")
                                        << "YokoSensorTypeList=23;YokoConnectionList=-1" << ok;
    QTest::newRow("Yokogawa: no reply")
        << "YokoSensorTypeList=2;YokoConnectionList=1"
        << "Button52" << noise << "YokoSensorTypeList=2;YokoConnectionList=1" << failed;
    QTest::newRow("Yokogawa: 42 C8 00 00")
        << "YokoTwoWireResistanceEdit="
        << "Button54" << reply(170, "42 C8 00 00") << "YokoTwoWireResistanceEdit=100" << ok;
    QTest::newRow("Yokogawa: 3D CC CC CD")
        << ""
        << "Button54" << reply(170, "3D CC CC CD") << "YokoTwoWireResistanceEdit=0.100" << ok;
    QTest::newRow("Yokogawa: resistance, no reply")
        << "YokoTwoWireResistanceEdit=7"
        << "Button54" << noise << "YokoTwoWireResistanceEdit=7" << failed;
    // E+H: the reply must start within the first eleven bytes.
    QTest::newRow("E+H: 30 A5 0C") << "EHTEMNX=5"
                                   << "Button56" << reply(144, "30 A5 0C") << "EHTEMNX=1" << ok;
    QTest::newRow("E+H: 30 A5 77 (other)")
        << "EHTEMNX=5"
        << "Button56" << reply(144, "30 A5 77") << "EHTEMNX=31" << ok;
    QTest::newRow("E+H: start at 10")
        << "EHTEMNX=5"
        << "Button56" << hex("00 00 00 00 00 00") + reply(144, "30 A5 89") << "EHTEMNX=19" << ok;
    QTest::newRow("E+H: start at 11")
        << "EHTEMNX=5"
        << "Button56" << noiseThen(reply(144, "30 A5 89")) << "EHTEMNX=5" << ehFailed;
    QTest::newRow("E+H: 31 A5 02") << "EHTEMFS=0"
                                   << "Button59" << reply(144, "31 A5 02") << "EHTEMFS=2" << ok;
    QTest::newRow("E+H: 31 A5 04") << "EHTEMFS=0"
                                   << "Button59" << reply(144, "31 A5 04") << "EHTEMFS=-1" << ok;
    QTest::newRow("E+H: 35 FB BE 00 00 00")
        << "EHPIANYI="
        << "Button65" << reply(144, "35 FB BE 00 00 00") << "EHPIANYI=-0.125" << ok;
    QTest::newRow("E+H: 35 FB 3D CC CC CD")
        << "EHPIANYI="
        << "Button65" << reply(144, "35 FB 3D CC CC CD") << "EHPIANYI=0.1000" << ok;
    QTest::newRow("E+H: offset, no reply") << "EHPIANYI=3"
                                           << "Button65" << shortReply << "EHPIANYI=3" << ehFailed;
    // Write results
    QTest::newRow("141: code 7") << "ComboBox17=1;ComboBox18=0"
                                 << "Button36" << reply(141, "00 01 02", 7) << ""
                                 << "Write failed!Write protected!";
    QTest::newRow("53: code 4") << "ComboBox19=0;ComboBox22=0"
                                << "Button43" << reply(53, "01 20", 4) << ""
                                << "Write failed!The parameter is too small!";
    QTest::newRow("134: code 12 (no KROHNE text)") << "YokoSensorTypeList=0;YokoConnectionList=0"
                                                   << "Button53" << reply(134, "", 12) << ""
                                                   << "Write failed!The channel is restricted!";
    QTest::newRow("31 write: no long reply") << ""
                                             << "Button69" << shortReply << ""
                                             << "Write failed!";
    QTest::newRow("145 Callendar: code 16") << "choose:TempBIAHO=0;CALL_ALP_XS=1"
                                            << "Button62" << reply(145, "", 16) << ""
                                            << "Write failed!Invalid parameter settings!";
}

void TemperatureRosemountEhTest::replies() {
    QFETCH(QString, setup);
    QFETCH(QString, button);
    QFETCH(Bytes, answer);
    QFETCH(QString, expected);
    QFETCH(QString, status);

    QVERIFY(page_->apply(setup));
    r_->respondWith(answer);
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY(page_->settle());
    QCOMPARE(r_->status(), status);
    QCOMPARE(page_->mismatch(expected), QString());
}

// Lists without a code for "nothing chosen": the request is not sent and the
// status line says what is missing.
void TemperatureRosemountEhTest::unchosenListsSendNothing_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("status");
    QTest::newRow("644 SET, no sensor") << "ComboBox17=-1;ComboBox18=1"
                                        << "Button36"
                                        << "Nothing sent: choose the sensor type first.";
    QTest::newRow("644 SET, no connection") << "ComboBox17=1;ComboBox18=-1"
                                            << "Button36"
                                            << "Nothing sent: choose the connection type first.";
    QTest::newRow("848T SET, no connection") << "ComboBox19=1;ComboBox21=1;ComboBox20=-1"
                                             << "Button40"
                                             << "Nothing sent: choose the connection type first.";
    QTest::newRow("848T SET, no channel") << "ComboBox19=-1;ComboBox21=1;ComboBox20=1"
                                          << "Button40"
                                          << "Nothing sent: choose the channel first.";
    QTest::newRow("848T Query, no channel") << "ComboBox19=-1"
                                            << "Button41"
                                            << "Nothing sent: choose the channel first.";
    QTest::newRow("848T unit, no channel") << "ComboBox19=-1;ComboBox22=0"
                                           << "Button43"
                                           << "Nothing sent: choose the channel first.";
    QTest::newRow("848T unit, no unit") << "ComboBox19=0;ComboBox22=-1"
                                        << "Button43"
                                        << "Nothing sent: choose the temperature unit first.";
    QTest::newRow("E+H polynomial, no coefficient") << "choose:TempBIAHO=0;POTMXU=-1;RTDxishu=1"
                                                    << "Button61"
                                                    << "Nothing sent: choose the coefficient first.";
    QTest::newRow("E+H Callendar, no coefficient") << "choose:TempBIAHO=0;CALL_ALP=-1;CALL_ALP_XS=1"
                                                   << "Button62"
                                                   << "Nothing sent: choose the coefficient first.";
}

void TemperatureRosemountEhTest::unchosenListsSendNothing() {
    QFETCH(QString, setup);
    QFETCH(QString, button);
    QFETCH(QString, status);
    QVERIFY(page_->apply(setup));
    const int sentBefore = r_->cycle().bytesSent();
    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->status(), status);
    QCOMPARE(r_->cycle().bytesSent(), sentBefore);
    QCOMPARE(r_->cycle().replyCode(), 0);
    QVERIFY(!r_->get<QTimer>("Timer3")->isActive());
    // Choosing the missing item lets the same request through.
    page_->apply(QStringLiteral("ComboBox17=1;ComboBox18=1;ComboBox19=0;ComboBox20=1;ComboBox22=0;"
                                "POTMXU=0;CALL_ALP=0"));
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY(r_->cycle().bytesSent() > sentBefore);
    QVERIFY(r_->nextFrame());
}

// A value that is not a number stops the write before anything is sent.
void TemperatureRosemountEhTest::badNumbersSendNothing_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::newRow("resistance empty") << "YokoTwoWireResistanceEdit="
                                      << "Button55"
                                      << "'' is not a valid floating point value.";
    QTest::newRow("polynomial 1.2.3") << "choose:TempBIAHO=0;RTDxishu=1.2.3"
                                      << "Button61"
                                      << "'1.2.3' is not a valid floating point value.";
    QTest::newRow("Callendar -") << "choose:TempBIAHO=1;CALL_ALP_XS=-"
                                 << "Button62"
                                 << "'-' is not a valid floating point value.";
    QTest::newRow("offset abc") << "click:Button65;EHPIANYI=abc"
                                << "Button66"
                                << "'abc' is not a valid floating point value.";
}

void TemperatureRosemountEhTest::badNumbersSendNothing() {
    QFETCH(QString, setup);
    QFETCH(QString, button);
    QFETCH(QString, message);
    QVERIFY(page_->apply(setup));
    r_->forgetReceived();
    const int sentBefore = r_->cycle().bytesSent();
    QVERIFY(r_->click(button.toLatin1().constData()));
    QCOMPARE(r_->takeErrorBox(), message);
    QCOMPARE(r_->status(), kDownloading);
    QCOMPARE(r_->cycle().bytesSent(), sentBefore);
    QCOMPARE(r_->cycle().replyCode(), 0);
    QVERIFY(!r_->nextFrame(300));
}

void TemperatureRosemountEhTest::silentDeviceTimesOut_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("644 wiring query") << "Button70";
    QTest::newRow("E+H sensor-type query") << "Button56";
}

void TemperatureRosemountEhTest::silentDeviceTimesOut() {
    QFETCH(QString, button);
    sim::SimFaults silent;
    silent.silent = true;
    r_->device().setFaults(silent);
    QVERIFY(r_->click(button.toLatin1().constData()));
    QVERIFY(r_->waitStatus(QStringLiteral("Upload data timeout!")));
    // Still awaited: the next test's request replaces it.
    r_->device().setFaults({});
    QVERIFY(r_->click("Button54"));
    QVERIFY(page_->settle());
}

// Write a setting to the simulated transmitter, disturb the page, read it back.
void TemperatureRosemountEhTest::roundTripsThroughTheDevice_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("write");
    QTest::addColumn<QString>("disturb");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("expected");
    QTest::newRow("644 15_Ohms, 3-wire") << "ComboBox17=15;ComboBox18=1"
                                         << "Button36"
                                         << "ComboBox17=0;ComboBox18=0"
                                         << "Button35"
                                         << "ComboBox17=15;ComboBox18=1";
    QTest::newRow("848T CH4") << "ComboBox19=3;ComboBox21=23;ComboBox20=2"
                              << "Button40"
                              << "ComboBox21=0;ComboBox20=0"
                              << "Button41"
                              << "ComboBox21=23;ComboBox20=2";
    QTest::newRow("848T CH1 untouched") << "ComboBox19=3;ComboBox21=24;ComboBox20=0"
                                        << "Button40"
                                        << "ComboBox19=0"
                                        << "Button41"
                                        << "ComboBox21=1;ComboBox20=1";
    QTest::newRow("644 wiring") << "ComboBox36=7;ComboBox35=2"
                                << "Button69"
                                << "ComboBox36=0;ComboBox35=0"
                                << "Button70"
                                << "ComboBox36=7;ComboBox35=2";
    QTest::newRow("Yokogawa sensor") << "YokoSensorTypeList=20;YokoConnectionList=2"
                                     << "Button53"
                                     << "YokoSensorTypeList=0;YokoConnectionList=0"
                                     << "Button52"
                                     << "YokoSensorTypeList=20;YokoConnectionList=2";
    QTest::newRow("Yokogawa resistance") << "YokoTwoWireResistanceEdit=12.5"
                                         << "Button55"
                                         << "YokoTwoWireResistanceEdit="
                                         << "Button54"
                                         << "YokoTwoWireResistanceEdit=12.5";
    QTest::newRow("E+H sensor 2 type") << "TempBIAHO=1;click:Button56;EHTEMNX=26"
                                       << "Button57"
                                       << "EHTEMNX=0"
                                       << "Button56"
                                       << "EHTEMNX=26";
    QTest::newRow("E+H sensor 1 connection") << "TempBIAHO=0;click:Button59;EHTEMFS=1"
                                             << "Button60"
                                             << "EHTEMFS=0"
                                             << "Button59"
                                             << "EHTEMFS=1";
    QTest::newRow("E+H sensor 1 offset") << "TempBIAHO=0;click:Button65;EHPIANYI=2.5"
                                         << "Button66"
                                         << "EHPIANYI="
                                         << "Button65"
                                         << "EHPIANYI=2.5";
}

void TemperatureRosemountEhTest::roundTripsThroughTheDevice() {
    QFETCH(QString, setup);
    QFETCH(QString, write);
    QFETCH(QString, disturb);
    QFETCH(QString, read);
    QFETCH(QString, expected);
    QVERIFY(page_->apply(setup));
    QVERIFY(r_->click(write.toLatin1().constData()));
    QVERIFY(page_->settle());
    QCOMPARE(r_->status(), QStringLiteral("Write successful!"));
    QVERIFY(page_->apply(disturb));
    QVERIFY(r_->click(read.toLatin1().constData()));
    QVERIFY(page_->settle());
    QCOMPARE(r_->status(), QStringLiteral("Upload successful!"));
    QCOMPARE(page_->mismatch(expected), QString());
}

// The E+H value writes: enabled by their reads, withdrawn by choosing a sensor
// number, and sending back the two bytes their read returned.
void TemperatureRosemountEhTest::ehWritesFollowTheirReads() {
    WindowRig r;
    r.sendToAnyMaker();
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    Page page(r);
    auto states = [&] {
        QString s;
        for (auto* b : {"Button57", "Button60", "Button66", "Button61", "Button62"})
            s += page.enabled(b) ? u'1' : u'0';
        return s;
    };
    auto readWith = [&](const char* button, const Bytes& answer, const QString& status) {
        r.respondWith(answer);
        bool ok = r.click(button) && page.settle() && r.status() == status;
        r.respondWith({});
        r.forgetReceived();
        return ok;
    };
    // Sends a write against an accepting reply and returns its frame.
    auto writeFrame = [&](const char* button) -> Bytes {
        r.respondWith(reply(145, ""));
        r.forgetReceived();
        if (!r.click(button)) return {};
        auto f = r.nextFrame();
        bool ok = page.settle() && r.status() == QStringLiteral("Write successful!");
        r.respondWith({});
        return ok && f ? *f : Bytes{};
    };
    const QString ok = QStringLiteral("Upload successful!");

    QCOMPARE(states(), QStringLiteral("00000"));
    QVERIFY(
        readWith("Button56", noiseThen(reply(144, "30 A5 0C")), QStringLiteral("Upload failed")));
    QCOMPARE(states(), QStringLiteral("00000"));
    QVERIFY(page.choose("TempBIAHO", 0));
    QCOMPARE(states(), QStringLiteral("00011"));

    // Sensor type: read, then write with the read's first two bytes.
    QVERIFY(readWith("Button56", reply(144, "30 A5 0C"), ok));
    QCOMPARE(states(), QStringLiteral("10011"));
    page.apply(QStringLiteral("EHTEMNX=19"));
    QCOMPARE(rig::hexText(writeFrame("Button57")),
             rig::hexText(hex("82 26 05 01 02 03 91 03 30 A5 89 2F")));
    // A failed read keeps both the button and the saved bytes.
    QVERIFY(
        readWith("Button56", noiseThen(reply(144, "30 5A 0C")), QStringLiteral("Upload failed")));
    QCOMPARE(states(), QStringLiteral("10011"));
    QCOMPARE(rig::hexText(writeFrame("Button57")),
             rig::hexText(hex("82 26 05 01 02 03 91 03 30 A5 89 2F")));
    const auto& b = r.cycle().buffer();
    QCOMPARE(int(b[hart::lb::kEhSaved2145]), 0x30);
    QCOMPARE(int(b[hart::lb::kEhSaved2145 + 1]), 0xA5);

    // Connection: "04_4line" is 2 on the wire.
    QVERIFY(readWith("Button59", reply(144, "41 B6 01"), ok));
    QCOMPARE(states(), QStringLiteral("11011"));
    QCOMPARE(page.mismatch(QStringLiteral("EHTEMFS=1")), QString());
    page.apply(QStringLiteral("EHTEMFS=2"));
    QCOMPARE(rig::hexText(writeFrame("Button60")),
             rig::hexText(hex("82 26 05 01 02 03 91 03 41 B6 02 C6")));

    // Offset.
    QVERIFY(readWith("Button65", reply(144, "35 FB 3F 80 00 00"), ok));
    QCOMPARE(states(), QStringLiteral("11111"));
    QCOMPARE(page.mismatch(QStringLiteral("EHPIANYI=1")), QString());
    page.apply(QStringLiteral("EHPIANYI=-1.5"));
    QCOMPARE(rig::hexText(writeFrame("Button66")),
             rig::hexText(hex("82 26 05 01 02 03 91 06 35 FB BF C0 00 00 87")));

    // Choosing a sensor number, the same one included, withdraws the three.
    QVERIFY(page.choose("TempBIAHO", 0));
    QCOMPARE(states(), QStringLiteral("00011"));
    QVERIFY(readWith("Button56", reply(144, "40 A5 0C"), ok));
    QCOMPARE(states(), QStringLiteral("10011"));
    QVERIFY(page.choose("TempBIAHO", 1));
    QCOMPARE(states(), QStringLiteral("00011"));
    // Typing into the list does the same.
    QVERIFY(readWith("Button56", reply(144, "40 A5 0C"), ok));
    QCOMPARE(states(), QStringLiteral("10011"));
    QTest::keyClicks(r.get<QComboBox>("TempBIAHO")->lineEdit(), QStringLiteral("x"));
    QCOMPARE(states(), QStringLiteral("00011"));

    // Neither the states nor the saved bytes depend on the port.
    QVERIFY(readWith("Button59", reply(144, "41 C7 00"), ok));
    QVERIFY(r.click("Button1"));
    QVERIFY(rig::waitFor([&] { return !r.isOpen(); }));
    QCOMPARE(states(), QStringLiteral("01011"));
    QVERIFY(r.openPort());
    QCOMPARE(states(), QStringLiteral("01011"));
    page.apply(QStringLiteral("EHTEMFS=0"));
    QCOMPARE(rig::hexText(writeFrame("Button60")),
             rig::hexText(hex("82 26 05 01 02 03 91 03 41 C7 00 B5")));
}

void TemperatureRosemountEhTest::frameDisplay_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("shown");
    QTest::newRow("644 Query") << ""
                               << "Button35" << true;
    QTest::newRow("644 SET") << "ComboBox17=1;ComboBox18=1"
                             << "Button36" << true;
    QTest::newRow("848T Query") << "ComboBox19=0"
                                << "Button41" << true;
    QTest::newRow("848T SET") << "ComboBox21=1;ComboBox20=1"
                              << "Button40" << true;
    QTest::newRow("848T unit") << "ComboBox22=1"
                               << "Button43" << true;
    QTest::newRow("644 wiring Query") << ""
                                      << "Button70" << true;
    QTest::newRow("644 wiring SET") << ""
                                    << "Button69" << true;
    QTest::newRow("Yokogawa Query") << ""
                                    << "Button52" << false;
    QTest::newRow("Yokogawa SET") << "YokoSensorTypeList=0"
                                  << "Button53" << false;
    QTest::newRow("resistance Query") << ""
                                      << "Button54" << true;
    QTest::newRow("resistance SET") << "YokoTwoWireResistanceEdit=1"
                                    << "Button55" << false;
    QTest::newRow("E+H sensor Query") << ""
                                      << "Button56" << true;
    QTest::newRow("E+H sensor SET") << "click:Button56"
                                    << "Button57" << false;
    QTest::newRow("E+H connection Query") << ""
                                          << "Button59" << false;
    QTest::newRow("E+H connection SET") << "click:Button59"
                                        << "Button60" << false;
    QTest::newRow("E+H offset Query") << ""
                                      << "Button65" << false;
    QTest::newRow("E+H offset SET") << "click:Button65;EHPIANYI=1"
                                    << "Button66" << false;
    QTest::newRow("E+H polynomial SET") << "choose:TempBIAHO=0;RTDxishu=1"
                                        << "Button61" << false;
    QTest::newRow("E+H Callendar SET") << "choose:TempBIAHO=0;CALL_ALP_XS=1"
                                       << "Button62" << false;
}

void TemperatureRosemountEhTest::frameDisplay() {
    QFETCH(QString, setup);
    QFETCH(QString, button);
    QFETCH(bool, shown);
    QTest::mouseClick(r_->get<QLabel>("Label4"), Qt::LeftButton);
    QVERIFY(r_->cycle().showVendorFrames());
    QVERIFY(page_->apply(setup));
    r_->forgetReceived();
    auto* sendView = r_->get<QLineEdit>("discomm");
    sendView->setText(QStringLiteral("earlier frame"));
    QVERIFY(r_->click(button.toLatin1().constData()));
    auto wire = r_->nextWire();
    QVERIFY(wire);
    QCOMPARE(sendView->text(), shown ? rig::hexText(*wire) : QString());
    QVERIFY(page_->settle());
}

QTEST_MAIN(TemperatureRosemountEhTest)
#include "tst_temperature_rosemount_eh.moc"
