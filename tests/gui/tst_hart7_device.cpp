// The "HART 7 device" page through the real window on a real pseudo-terminal:
// against the simulated HART 7 flowmeter (alone on its line at polling
// address 0, its clock held at 15 s), and against the simulated transmitter
// (HART 5) for what an older device answers.
//
// Expected frames are hand-computed: the flowmeter's long address is
// 11 B7 3A 5C 8C (Endress+Hauser 0x11, expanded device type 0xB7, device
// ID 3A 5C 8C), the transmitter's 26 05 01 02 03, master bit 0 (the
// "First Device"/"Second Device" list unchosen); checksum = XOR from the
// delimiter on. Expected values are the flowmeter's process at 15 s worked
// by hand: volume flow 42.5 + 7.5 sin(2 pi 15/60) = 50 m3/h, mass flow
// 50 * 998 = 49900 kg/h, totalizer 12345 + (42.5 * 15 + 7.5 * 60/(2 pi)) /
// 3600 = 12345.197 m3, temperature 23.5 + 1.5 sin(2 pi 15/600) = 23.73465
// degC; classifications 66, 72, 68, 64 (volumetric flow, mass flow,
// volume, temperature), as the common tables name them.

#include "app/main_window.h"
#include "host/device.h"
#include "host/request_cycle.h"
#include "sim/sim_network.h"
#include "support/window_rig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <vector>

using rig::Bytes;
using rig::hex;

namespace {

constexpr int kDeadline = 15000;

// The flowmeter's address in a long frame, master bit 0.
constexpr const char* kFlowmeter = "82 11 B7 3A 5C 8C";

const QString kLongTag = QString::fromLatin1("FT-205 Speisewasser Durchflu\xDF K2");

// Slot, Variable code, Classification, Value, Unit, Status.
using Row = QStringList;

const std::vector<Row> kDefaultRows{
    {"0", "0", "volumetric flow", "50", "m3/h", "good"},
    {"1", "1", "mass flow", "49900", "kg/h", "good"},
    {"2", "2", "volume", "12345.2", "m3", "good"},
    {"3", "3", "temperature", "23.73465", "degC", "poor accuracy"},
    {"4", "PV (246)", "volumetric flow", "50", "m3/h", "good"},
    {"5", "SV (247)", "mass flow", "49900", "kg/h", "good"},
    {"6", "TV (248)", "volume", "12345.2", "m3", "good"},
    {"7", "QV (249)", "temperature", "23.73465", "degC", "poor accuracy"},
};

// What a group says when its command is missing from the device.
QString notImplemented(const char* what, int command) {
    return QStringLiteral("%1: the device does not implement command %2, so there is nothing to "
                          "show.")
        .arg(QLatin1String(what))
        .arg(command);
}

// The window on one line of simulated devices (the flowmeter alone at 0
// unless told otherwise), port open, the "HART 7 device" page in front.
class Hart7Window {
public:
    explicit Hart7Window(const std::vector<sim::NetworkDevice>& devices = {{sim::DeviceModel::Hart7,
                                                                            0, false}})
        : line_(std::make_unique<sim::SimNetwork>(devices)), form_(std::make_unique<TForm1>()) {
        for (const sim::NetworkDevice& d : devices)
            line_->withDevice(d.pollAddress,
                              [](sim::SimDevice& s) { s.holdClock(std::chrono::seconds(15)); });
        form_->resize(1300, 900);
        form_->show();
        rig::waitFor([this] { return !get<QTimer>("Timer2")->isActive(); }, 5000);
        get<QTabWidget>("PageControl2")->setCurrentWidget(get<QWidget>("TabSheet3"));
        get<QTabWidget>("PageControl1")->setCurrentWidget(get<QWidget>("TabSheetDevice"));
        get<QComboBox>("SPREALCOM")->setEditText(QString::fromStdString(line_->portPath()));
        get<QPushButton>("Button1")->click();
        rig::waitFor([this] { return isOpen(); }, 5000);
    }
    ~Hart7Window() {
        while (auto* w = QApplication::activeModalWidget())
            delete w;
        form_.reset();
        line_.reset();
    }

    template <class T = QWidget> T* get(const char* name) const {
        return form_->findChild<T*>(QString::fromLatin1(name));
    }
    TForm1& form() { return *form_; }
    sim::SimNetwork& line() { return *line_; }
    bool isOpen() const { return get<QPushButton>("Button1")->text() == QStringLiteral("Close"); }

    // "HART Address 0 Query" at `address`: the device found becomes current.
    bool discover(int address = 0) {
        get<QComboBox>("ComboBox9")->setCurrentIndex(address);
        if (!request("Button3") || status() != QStringLiteral("Upload successful!")) return false;
        line_->takeFrames();
        return true;
    }

    // Forgets what the line received, clicks `button` and waits until its
    // reply has been judged (or nothing was sent).
    bool request(const char* button) {
        line_->takeFrames();
        if (!click(button)) return false;
        return idle();
    }
    bool click(const char* button) {
        auto* b = get<QPushButton>(button);
        if (!b || !b->isEnabled()) return false;
        b->click();
        return true;
    }
    bool idle() {
        auto* decode = get<QTimer>("Timer2");
        return rig::waitFor([&] { return form_->cycle().replyCode() == 0 && !decode->isActive(); },
                            kDeadline);
    }

    // Every frame the line received since the last look, as hex text.
    QStringList frames() {
        QStringList out;
        for (const Bytes& f : line_->takeFrames())
            out << rig::hexText(f).trimmed();
        return out;
    }

    QString status() const { return get<QLabel>("Label68")->text(); }
    QString text(const char* name) const {
        if (auto* l = get<QLabel>(name)) return l->text();
        if (auto* e = get<QLineEdit>(name)) return e->text();
        if (auto* m = get<QPlainTextEdit>(name)) return m->toPlainText();
        if (auto* c = get<QComboBox>(name)) return c->currentText();
        return QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }
    void setText(const char* name, const QString& value) { get<QLineEdit>(name)->setText(value); }

    std::vector<Row> rows() const {
        auto* table = get<QTableWidget>("DeviceVariablesTable");
        std::vector<Row> out;
        for (int r = 0; r < table->rowCount(); ++r) {
            Row row;
            for (int c = 0; c < table->columnCount(); ++c)
                row << (table->item(r, c) ? table->item(r, c)->text() : QString());
            out.push_back(row);
        }
        return out;
    }

    // The modal box showing now (waiting for it up to `ms`).
    QMessageBox* box(int ms = 5000) {
        QMessageBox* b = nullptr;
        rig::waitFor(
            [&] { return (b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); },
            ms);
        return b;
    }
    QString takeErrorBox() {
        QMessageBox* b = box();
        if (!b) return {};
        const QString t = b->text();
        b->close();
        rig::waitFor([] { return QApplication::activeModalWidget() == nullptr; }, 2000);
        return t;
    }
    bool answer(const QString& button) {
        QMessageBox* b = box();
        if (!b) return false;
        for (QAbstractButton* choice : b->buttons())
            if (choice->text() == button) {
                choice->click();
                return rig::waitFor([] { return QApplication::activeModalWidget() == nullptr; },
                                    2000);
            }
        return false;
    }

    sim::SimState flowmeter(std::uint8_t address = 0) {
        return line_->withState(address, [](sim::SimState& s) { return s; });
    }

private:
    std::unique_ptr<sim::SimNetwork> line_;
    std::unique_ptr<TForm1> form_;
};

QString frame(const char* body) {
    return QStringLiteral("%1 %2").arg(QLatin1String(kFlowmeter), QLatin1String(body));
}

} // namespace

class Hart7DeviceTest : public QObject {
    Q_OBJECT
private slots:
    void pageAndStartState();
    void deviceVariablesWithStatus();
    void deviceVariableCodesAreChecked();
    void deviceVariableInformation();
    void mappingReadAndWritten();
    void longTagReadAndWritten();
    void loopConfiguration();
    void configurationChangedCounter();
    void deviceActions();
    void resetAsksFirst();
    void clock();
    void valuesLeaveWithTheirDevice();
    void olderDevice();
};

void Hart7DeviceTest::pageAndStartState() {
    TForm1 form;
    auto* inner = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    const int page = inner->indexOf(form.findChild<QWidget*>(QStringLiteral("TabSheetDevice")));
    QVERIFY(page >= 0);
    QCOMPARE(inner->tabText(page), QStringLiteral("HART 7 device"));
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("DeviceVariableCodes"))->text(),
             QStringLiteral("0,1,2,3,246,247,248,249"));
    auto* table = form.findChild<QTableWidget*>(QStringLiteral("DeviceVariablesTable"));
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c)
        headers << table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers,
             (QStringList{"Slot", "Variable code", "Classification", "Value", "Unit", "Status"}));
    QCOMPARE(table->rowCount(), 0);
    // Port closed: nothing can be asked.
    for (const char* b : {"ReadDeviceVariables", "ReadDeviceVariableInfo", "ReadMapping",
                          "WriteMapping", "ReadLongTag", "WriteLongTag", "ReadLoopConfig",
                          "WriteLoopConfig", "ReadConfigChanged", "ResetConfigChanged", "Squawk",
                          "SelfTest", "DeviceReset", "ReadClock", "SetClockToNow", "ReadCommStats"})
        QVERIFY2(!form.findChild<QPushButton*>(QString::fromLatin1(b))->isEnabled(), b);
    for (const char* f : {"MappingPV", "MappingSV", "MappingTV", "MappingQV", "LongTag",
                          "ConfigChangeCounter", "ClockCurrent", "CommStx"})
        QVERIFY2(form.findChild<QLineEdit*>(QString::fromLatin1(f))->text().isEmpty(), f);
    QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("PollingAddress7"))->count(), 64);
    QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("LoopCurrentMode"))->itemText(0),
             QStringLiteral("disabled"));
    QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("LoopCurrentMode"))->itemText(1),
             QStringLiteral("enabled"));

    // The codes chosen are the device's choice for every reader of it; a
    // text that does not parse leaves the last good choice.
    host::Device& device = form.device();
    QCOMPARE(device.variableCodes(), (std::vector<std::uint8_t>{0, 1, 2, 3, 246, 247, 248, 249}));
    auto* codes = form.findChild<QLineEdit*>(QStringLiteral("DeviceVariableCodes"));
    int changes = 0;
    QObject::connect(&device, &host::Device::variableCodesChanged, &form, [&] { ++changes; });
    codes->setText(QStringLiteral(" 245, 7 "));
    QCOMPARE(device.variableCodes(), (std::vector<std::uint8_t>{245, 7}));
    codes->setText(QStringLiteral("245, 7, x"));
    QCOMPARE(device.variableCodes(), (std::vector<std::uint8_t>{245, 7}));
    QCOMPARE(changes, 1);
}

void Hart7DeviceTest::deviceVariablesWithStatus() {
    Hart7Window w;
    QVERIFY(w.isOpen());
    QVERIFY(w.discover());

    QVERIFY(w.request("ReadDeviceVariables"));
    QCOMPARE(w.frames(), QStringList{frame("09 08 00 01 02 03 F6 F7 F8 F9 CF")});
    QCOMPARE(w.status(), QStringLiteral("Upload successful!"));
    QCOMPARE(w.rows(), kDefaultRows);
    QCOMPARE(w.text("DeviceVariablesCommand"),
             QStringLiteral("Command 9, Read Device Variables with Status"));
    // Slot 0 taken at the device's 00:00:15 (its clock starts at midnight).
    QCOMPARE(w.text("DeviceVariablesTimeStamp"),
             QStringLiteral("Time stamp of slot 0: 00:00:15.000"));
    QCOMPARE(w.text("DeviceVariablesExtendedStatus"),
             QStringLiteral("Extended device status: 03 (device variable alert, maintenance "
                            "required)"));
    QCOMPARE(w.text("DeviceVariablesNote"), QString());

    // Codes of the user's choice: the loop current (12 mA: 50 % of 0-100
    // m3/h, loop current mode enabled at address 0) and a code the device
    // does not have (not used, bad and constant).
    w.setText("DeviceVariableCodes", QStringLiteral("245, 7"));
    QVERIFY(w.request("ReadDeviceVariables"));
    QCOMPARE(w.frames(), QStringList{frame("09 02 F5 07 37")});
    QCOMPARE(w.rows(), (std::vector<Row>{
                           {"0", "loop current (245)", "current", "12", "mA", "good"},
                           {"1", "7", "not classified", "nan", "not used", "bad, constant"},
                       }));
}

// A list that does not parse sends nothing, says why, and leaves the table
// as it was emptied.
void Hart7DeviceTest::deviceVariableCodesAreChecked() {
    struct Case {
        const char* codes;
        const char* refusal;
    };
    const Case cases[] = {
        {"  ", "Nothing sent: type at least one device variable code."},
        {"0,,1", "Nothing sent: a device variable code is missing between two commas."},
        {"0, 256", "Nothing sent: '256' is not a device variable code (0-255)."},
        {"0,1,2,3,4,5,6,7,8", "Nothing sent: at most 8 device variable codes fit in one request."},
    };
    Hart7Window w;
    QVERIFY(w.discover());
    for (const Case& c : cases) {
        QVERIFY(w.request("ReadDeviceVariables"));
        QCOMPARE(w.rows().size(), kDefaultRows.size());
        w.setText("DeviceVariableCodes", QString::fromLatin1(c.codes));
        QVERIFY2(w.request("ReadDeviceVariables"), c.codes);
        QCOMPARE(w.status(), QString::fromLatin1(c.refusal));
        QVERIFY2(w.frames().isEmpty(), c.codes);
        QCOMPARE(w.rows().size(), std::size_t{0});
        w.setText("DeviceVariableCodes", QStringLiteral("0,1,2,3,246,247,248,249"));
    }
}

void Hart7DeviceTest::deviceVariableInformation() {
    Hart7Window w;
    QVERIFY(w.discover());
    // Nothing chosen in the table: nothing to ask about.
    QVERIFY(w.request("ReadDeviceVariableInfo"));
    QCOMPARE(w.status(), QStringLiteral("Nothing sent: no device variable chosen; read the device "
                                        "variables and choose one in the table first."));
    QVERIFY(w.frames().isEmpty());

    QVERIFY(w.request("ReadDeviceVariables"));
    w.get<QTableWidget>("DeviceVariablesTable")->selectRow(3); // the temperature
    QVERIFY(w.request("ReadDeviceVariableInfo"));
    QCOMPARE(w.frames(), QStringList{frame("36 01 03 FA")});
    QCOMPARE(w.status(), QStringLiteral("Upload successful!"));
    // Serial number 02 D6 87 = 185991; limits, span and damping as the
    // flowmeter's temperature sensor has them; no family (250); updated
    // every 3200/32 ms.
    QCOMPARE(w.text("DeviceVariableInfo"), QStringLiteral("Device variable: 3\n"
                                                          "Transducer serial number: 185991\n"
                                                          "Upper transducer limit: 150 degC\n"
                                                          "Lower transducer limit: -40 degC\n"
                                                          "Minimum span: 10 degC\n"
                                                          "Damping: 2 s\n"
                                                          "Classification: temperature\n"
                                                          "Family: not used\n"
                                                          "Update period: 0.1 s\n"
                                                          "Properties: 00"));
    // The chosen row stays chosen when the table is read again.
    QVERIFY(w.request("ReadDeviceVariables"));
    QCOMPARE(w.get<QTableWidget>("DeviceVariablesTable")->currentRow(), 3);

    // A code the device refuses: the response code's meaning, nothing shown.
    w.setText("DeviceVariableCodes", QStringLiteral("7"));
    QVERIFY(w.request("ReadDeviceVariables"));
    w.get<QTableWidget>("DeviceVariablesTable")->selectRow(0);
    QVERIFY(w.request("ReadDeviceVariableInfo"));
    QCOMPARE(w.frames(), QStringList{frame("36 01 07 FE")});
    QCOMPARE(w.status(), QStringLiteral("Upload failed! (invalid selection)"));
    QCOMPARE(w.text("DeviceVariableInfo"), QString());
    QCOMPARE(w.text("DeviceVariablesNote"),
             QStringLiteral("Read device variable information: Upload failed! (invalid "
                            "selection)"));
}

void Hart7DeviceTest::mappingReadAndWritten() {
    Hart7Window w;
    QVERIFY(w.discover());
    const QString keepRefusal = QStringLiteral(
        "Nothing sent: SET writes the PV, SV, TV and QV assignments together. Press Query first, "
        "so that the assignments the device holds are kept.");
    // Only the PV given: the rest would be lost.
    w.setText("MappingPV", QStringLiteral("1"));
    QVERIFY(w.request("WriteMapping"));
    QCOMPARE(w.takeErrorBox(), keepRefusal);
    QVERIFY(w.frames().isEmpty());

    QVERIFY(w.request("ReadMapping"));
    QCOMPARE(w.frames(), QStringList{frame("32 00 FC")});
    QCOMPARE(w.text("MappingPV") + w.text("MappingSV") + w.text("MappingTV") + w.text("MappingQV"),
             QStringLiteral("0123"));

    // SV and QV swapped.
    w.setText("MappingSV", QStringLiteral("3"));
    w.setText("MappingQV", QStringLiteral("1"));
    QVERIFY(w.request("WriteMapping"));
    QCOMPARE(w.frames(), QStringList{frame("33 04 00 03 02 01 F9")});
    QCOMPARE(w.status(), QStringLiteral("Write successful!"));
    QCOMPARE(w.text("MappingNote"), QStringLiteral("Write mapping: Write successful!"));
    const auto mapped = w.flowmeter().dynamicVariables;
    QCOMPARE(std::vector<std::uint8_t>(mapped.begin(), mapped.end()),
             (std::vector<std::uint8_t>{0, 3, 2, 1}));

    // A gap cannot be sent; a code the device does not have is refused
    // with its meaning and the fields keep what was typed.
    w.setText("MappingTV", QString());
    QVERIFY(w.request("WriteMapping"));
    QCOMPARE(w.status(), QStringLiteral("Nothing sent: the QV is given but the TV before it is "
                                        "not; fill in the TV or empty the QV."));
    QVERIFY(w.frames().isEmpty());
    w.setText("MappingTV", QStringLiteral("9"));
    QVERIFY(w.request("WriteMapping"));
    QCOMPARE(w.frames(), QStringList{frame("33 04 00 03 09 01 F2")});
    QCOMPARE(w.status(), QStringLiteral("Write failed! (invalid selection)"));
    QCOMPARE(w.text("MappingTV"), QStringLiteral("9"));
    QCOMPARE(w.text("MappingNote"), QStringLiteral("Write mapping: Write failed! (invalid "
                                                   "selection)"));
    w.setText("MappingTV", QStringLiteral("x"));
    QVERIFY(w.request("WriteMapping"));
    QCOMPARE(w.takeErrorBox(), QStringLiteral("TV: 'x' is not a device variable code (0-255)."));
    QVERIFY(w.frames().isEmpty());
}

void Hart7DeviceTest::longTagReadAndWritten() {
    Hart7Window w;
    QVERIFY(w.discover());
    // Never read, never typed: an empty tag would erase the device's.
    QVERIFY(w.request("WriteLongTag"));
    QCOMPARE(w.takeErrorBox(),
             QStringLiteral("Nothing sent: SET writes the whole long tag. Press Query first, so "
                            "that the long tag the device holds is kept."));
    QVERIFY(w.frames().isEmpty());

    QVERIFY(w.request("ReadLongTag"));
    QCOMPARE(w.frames(), QStringList{frame("14 00 DA")});
    QCOMPARE(w.text("LongTag"), kLongTag);

    // Latin-1 on the wire: U with diaeresis is DC, the rest NUL.
    w.setText("LongTag", QString::fromUtf8("FT-206 RÜCKLAUF"));
    QVERIFY(w.request("WriteLongTag"));
    QCOMPARE(w.frames(),
             QStringList{frame("16 20 46 54 2D 32 30 36 20 52 DC 43 4B 4C 41 55 46 00 00 00 00 00 "
                               "00 00 00 00 00 00 00 00 00 00 00 00 4B")});
    QCOMPARE(w.status(), QStringLiteral("Write successful!"));
    const std::string stored = w.flowmeter().longTag;
    QCOMPARE(QString::fromLatin1(stored.data(), static_cast<qsizetype>(stored.size())),
             QString::fromUtf8("FT-206 RÜCKLAUF"));
    QVERIFY(w.request("ReadLongTag"));
    QCOMPARE(w.text("LongTag"), QString::fromUtf8("FT-206 RÜCKLAUF"));

    // What Latin-1 cannot carry is not sent in some other form.
    w.setText("LongTag", QString::fromUtf8("FT-206 5€"));
    QVERIFY(w.request("WriteLongTag"));
    QCOMPARE(w.takeErrorBox(),
             QString::fromUtf8("The long tag holds '€', which ISO Latin-1 cannot carry."));
    QVERIFY(w.frames().isEmpty());
}

void Hart7DeviceTest::loopConfiguration() {
    Hart7Window w;
    QVERIFY(w.discover());
    QVERIFY(w.request("WriteLoopConfig"));
    QCOMPARE(w.takeErrorBox(),
             QStringLiteral("Nothing sent: SET writes the polling address and the loop current "
                            "mode together. Press Query first, so that the polling address and "
                            "loop current mode the device holds are kept."));
    QVERIFY(w.frames().isEmpty());

    QVERIFY(w.request("ReadLoopConfig"));
    QCOMPARE(w.frames(), QStringList{frame("07 00 C9")});
    QCOMPARE(w.text("PollingAddress7"), QStringLiteral("0"));
    QCOMPARE(w.text("LoopCurrentMode"), QStringLiteral("enabled"));

    w.get<QComboBox>("LoopCurrentMode")->setCurrentIndex(0);
    QVERIFY(w.request("WriteLoopConfig"));
    QCOMPARE(w.frames(), QStringList{frame("06 02 00 00 CA")});
    QCOMPARE(w.status(), QStringLiteral("Write successful!"));
    QCOMPARE(int(w.flowmeter().loopCurrentMode), 0);
    QCOMPARE(w.text("LoopCurrentMode"), QStringLiteral("disabled"));

    // An address typed that is no item of the list is not sent.
    w.get<QComboBox>("PollingAddress7")->setEditText(QStringLiteral("64"));
    QVERIFY(w.request("WriteLoopConfig"));
    QCOMPARE(w.status(),
             QStringLiteral("Nothing sent: no polling address chosen; choose 0 to 63 first."));
    QVERIFY(w.frames().isEmpty());
}

// The counter comes from the device: from the command-0 reply that
// identified it, from the counter's own Query and from the reset's reply.
// A reset with a counter the device has moved past keeps the flag and says
// why.
void Hart7DeviceTest::configurationChangedCounter() {
    Hart7Window w;
    // Not identified yet: no counter to send.
    QVERIFY(w.request("ResetConfigChanged"));
    QCOMPARE(w.takeErrorBox(),
             QStringLiteral("Nothing sent: the reset sends the configuration change counter the "
                            "device last reported. Press Query beside the counter first."));
    QVERIFY(w.frames().isEmpty());

    QVERIFY(w.discover());
    QCOMPARE(w.text("ConfigChangeCounter"), QStringLiteral("7"));
    QCOMPARE(w.text("ConfigChangedFlag"), QStringLiteral("not set"));

    // A write counts: the device holds 8 and sets the flag; the page still
    // holds 7, which the device refuses.
    w.setText("LongTag", QStringLiteral("FT-206"));
    QVERIFY(w.request("WriteLongTag"));
    QCOMPARE(w.text("ConfigChangedFlag"), QStringLiteral("set"));
    QCOMPARE(int(w.flowmeter().configChangeCounter), 8);
    QVERIFY(w.request("ResetConfigChanged"));
    QCOMPARE(w.frames(), QStringList{frame("26 02 00 07 ED")});
    QCOMPARE(w.status(), QStringLiteral("Write failed! (configuration change counter mismatch)"));
    QCOMPARE(w.text("ConfigChangedNote"),
             QStringLiteral("Reset configuration changed: Write failed! (configuration change "
                            "counter mismatch)"));
    QCOMPARE(w.text("ConfigChangeCounter"), QString());
    // In doubt now: read again before the next try.
    QVERIFY(w.request("ResetConfigChanged"));
    QVERIFY(w.takeErrorBox().startsWith(QStringLiteral("Nothing sent: the reset sends")));
    QVERIFY(w.frames().isEmpty());

    QVERIFY(w.request("ReadConfigChanged"));
    QCOMPARE(w.frames(), QStringList{frame("00 00 CE")});
    QCOMPARE(w.text("ConfigChangeCounter"), QStringLiteral("8"));
    QCOMPARE(w.text("ConfigChangedFlag"), QStringLiteral("set"));
    QVERIFY(w.request("ResetConfigChanged"));
    QCOMPARE(w.frames(), QStringList{frame("26 02 00 08 E2")});
    QCOMPARE(w.status(), QStringLiteral("Write successful!"));
    QCOMPARE(w.text("ConfigChangeCounter"), QStringLiteral("8"));
    QCOMPARE(w.text("ConfigChangedFlag"), QStringLiteral("not set"));
}

void Hart7DeviceTest::deviceActions() {
    Hart7Window w;
    QVERIFY(w.discover());
    struct Case {
        const char* button;
        const char* frame;
        const char* note;
    };
    const Case cases[] = {
        {"Squawk", "48 00 86", "Squawk: Write successful!"},
        {"SelfTest", "29 00 E7", "Self test: Write successful!"},
    };
    for (const Case& c : cases) {
        QVERIFY2(w.request(c.button), c.button);
        QCOMPARE(w.frames(), QStringList{frame(c.frame)});
        QCOMPARE(w.status(), QStringLiteral("Write successful!"));
        QCOMPARE(w.text("DeviceActionsNote"), QString::fromLatin1(c.note));
    }
    QCOMPARE(int(w.flowmeter().squawk), 2); // once

    // The counters the device kept since it started: five requests
    // (command 0, 72, 41 and this one; each answered but this one so far).
    QVERIFY(w.request("ReadCommStats"));
    QCOMPARE(w.frames(), QStringList{frame("5F 00 91")});
    QCOMPARE(w.text("CommStx"), QStringLiteral("4"));
    QCOMPARE(w.text("CommAck"), QStringLiteral("3"));
    QCOMPARE(w.text("CommBack"), QStringLiteral("0"));

    // A device that is busy says so, whatever the action.
    w.line().setFaults(0, {.responseCode = 32});
    QVERIFY(w.request("Squawk"));
    QCOMPARE(w.status(), QStringLiteral("Write failed! (device busy)"));
    QCOMPARE(w.text("DeviceActionsNote"), QStringLiteral("Squawk: Write failed! (device busy)"));
    QVERIFY(w.request("ReadCommStats"));
    QCOMPARE(w.status(), QStringLiteral("Upload failed! (device busy)"));
    QCOMPARE(w.text("CommStx"), QString());
}

void Hart7DeviceTest::resetAsksFirst() {
    Hart7Window w;
    QVERIFY(w.discover());
    const QString before = w.status();
    QVERIFY(w.click("DeviceReset"));
    QMessageBox* box = w.box();
    QVERIFY(box);
    QCOMPARE(box->objectName(), QStringLiteral("DeviceResetQuestion"));
    QCOMPARE(box->text(), QStringLiteral("Reset the device? It stops answering for a few seconds "
                                         "and the loop current may change."));
    QCOMPARE(box->defaultButton()->text(), QStringLiteral("Cancel"));
    QVERIFY(w.answer(QStringLiteral("Cancel")));
    QVERIFY(w.idle());
    QVERIFY(w.frames().isEmpty());
    QCOMPARE(w.status(), before);

    QVERIFY(w.click("DeviceReset"));
    QVERIFY(w.answer(QStringLiteral("Reset")));
    QVERIFY(w.idle());
    QCOMPARE(w.frames(), QStringList{frame("2A 00 E4")});
    QCOMPARE(w.status(), QStringLiteral("Write successful!"));
    QCOMPARE(w.text("DeviceActionsNote"), QStringLiteral("Device reset: Write successful!"));
    // The device started again: its counters begin anew.
    QCOMPARE(int(w.flowmeter().communication.stxReceived), 0);
}

void Hart7DeviceTest::clock() {
    Hart7Window w;
    QVERIFY(w.discover());
    QVERIFY(w.request("ReadClock"));
    QCOMPARE(w.frames(), QStringList{frame("5A 00 94")});
    QCOMPARE(w.text("ClockCurrent"), QStringLiteral("2024-01-01 00:00:15.000"));
    QCOMPARE(w.text("ClockLastSet"), QStringLiteral("2024-01-01 00:00:00.000"));
    QCOMPARE(w.text("ClockFlags"), QStringLiteral("clock uninitialized, non-volatile clock"));

    // Set to the computer's time in UTC: code 1 (write date and time), the
    // date, the time of day in 1/32 ms, two reserved zero bytes.
    const QDateTime from = QDateTime::currentDateTimeUtc();
    QVERIFY(w.request("SetClockToNow"));
    const QDateTime to = QDateTime::currentDateTimeUtc();
    QCOMPARE(w.status(), QStringLiteral("Write successful!"));
    const QStringList sent = w.frames();
    QCOMPARE(sent.size(), 1);
    const Bytes f = hex(sent.front().toLatin1().constData());
    QCOMPARE(f.size(), std::size_t{6 + 2 + 10 + 1});
    QCOMPARE(int(f[6]), 89);
    QCOMPARE(int(f[7]), 10);
    QCOMPARE(int(f[8]), 1);
    const QDate date(1900 + f[11], f[10], f[9]);
    const std::uint32_t ticks =
        std::uint32_t{f[12]} << 24 | std::uint32_t{f[13]} << 16 | std::uint32_t{f[14]} << 8 | f[15];
    QCOMPARE(ticks % 32, 0u); // whole milliseconds
    const QDateTime sentAt(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ticks / 32)),
                           Qt::UTC);
    QVERIFY2(sentAt >= from.addMSecs(-1) && sentAt <= to, qPrintable(sentAt.toString()));
    QCOMPARE(int(f[16]), 0);
    QCOMPARE(int(f[17]), 0);
    std::uint8_t x = 0;
    for (std::size_t i = 0; i + 1 < f.size(); ++i)
        x ^= f[i];
    QCOMPARE(int(f.back()), int(x));

    // The device now reports it set to that moment.
    QVERIFY(w.request("ReadClock"));
    QCOMPARE(w.text("ClockLastSet"), sentAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
    QCOMPARE(w.text("ClockFlags"), QStringLiteral("non-volatile clock"));
}

// Nothing read from one device shows once another is current, or the line
// is closed.
void Hart7DeviceTest::valuesLeaveWithTheirDevice() {
    Hart7Window w({{sim::DeviceModel::Hart7, 0, false}, {sim::DeviceModel::Hart7, 1, false}});
    QVERIFY(w.discover(0));
    const auto readAll = [&w] {
        for (const char* b : {"ReadDeviceVariables", "ReadMapping", "ReadLongTag", "ReadLoopConfig",
                              "ReadClock", "ReadCommStats"})
            QVERIFY2(w.request(b), b);
        w.get<QTableWidget>("DeviceVariablesTable")->selectRow(0);
        QVERIFY(w.request("ReadDeviceVariableInfo"));
        w.line().setFaults(0, {.responseCode = 64});
        QVERIFY(w.request("Squawk"));
        w.line().setFaults(0, {});
    };
    const auto allEmpty = [&w] {
        QCOMPARE(w.rows().size(), std::size_t{0});
        for (const char* f :
             {"DeviceVariablesCommand", "DeviceVariablesTimeStamp", "DeviceVariablesExtendedStatus",
              "DeviceVariableInfo", "MappingPV", "MappingQV", "LongTag", "PollingAddress7",
              "LoopCurrentMode", "ClockCurrent", "ClockFlags", "CommStx", "DeviceActionsNote"})
            QVERIFY2(w.text(f).isEmpty(), f);
    };
    readAll();
    QCOMPARE(w.text("DeviceActionsNote"), notImplemented("Squawk", 72));
    QCOMPARE(w.text("LongTag"), kLongTag);

    // Another device found at 1: its own counter, nothing of the first.
    QVERIFY(w.discover(1));
    allEmpty();
    QCOMPARE(w.text("ConfigChangeCounter"), QStringLiteral("7"));
    QCOMPARE(w.text("ConfigChangedFlag"), QStringLiteral("not set"));
    // And the SETs ask for a query of this device again.
    w.setText("MappingPV", QStringLiteral("1"));
    QVERIFY(w.request("WriteMapping"));
    QVERIFY(w.takeErrorBox().startsWith(QStringLiteral("Nothing sent: SET writes the PV")));
    w.setText("MappingPV", QString());

    QVERIFY(w.discover(0));
    readAll();
    QVERIFY(w.click("Button1")); // close
    QVERIFY(rig::waitFor([&w] { return !w.isOpen(); }));
    allEmpty();
    QCOMPARE(w.text("ConfigChangeCounter"), QString());
    QCOMPARE(w.text("ConfigChangedFlag"), QString());
}

// A HART 5 device (the simulated transmitter): command 33 for its variables
// 0-3, and what it lacks said so beside the group that asked.
void Hart7DeviceTest::olderDevice() {
    rig::WindowRig r;
    QVERIFY(r.isOpen());
    QVERIFY(r.discover());
    auto* table = r.get<QTableWidget>("DeviceVariablesTable");

    QVERIFY(r.request("ReadDeviceVariables"));
    auto f = r.nextFrame();
    QVERIFY(f);
    QCOMPARE(rig::hexText(*f).trimmed(), QStringLiteral("82 26 05 01 02 03 21 04 00 01 02 03 84"));
    QCOMPARE(r.status(), QStringLiteral("Upload failed! (command not implemented)"));
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(rig::text(r, "DeviceVariablesNote"), notImplemented("Read device variables", 33));

    // A HART 5 device that has it: code, unit and value, no classification
    // or status. 25.5 degC = 41 CC 00 00; 4.2 mA = 40 86 66 66.
    r.respondWith(r.longReply(33, hex("00 20 41 CC 00 00 01 27 40 86 66 66")));
    QVERIFY(r.request("ReadDeviceVariables"));
    QCOMPARE(r.status(), QStringLiteral("Upload successful!"));
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 1)->text() + "|" + table->item(0, 2)->text() + "|" +
                 table->item(0, 3)->text() + "|" + table->item(0, 4)->text() + "|" +
                 table->item(0, 5)->text(),
             QStringLiteral("0||25.5|degC|"));
    QCOMPARE(table->item(1, 3)->text() + " " + table->item(1, 4)->text(), QStringLiteral("4.2 mA"));
    QCOMPARE(rig::text(r, "DeviceVariablesCommand"),
             QStringLiteral("Command 33, Read Device Variables: the device is HART 5, so "
                            "variables 0-3 without status"));
    QCOMPARE(rig::text(r, "DeviceVariablesNote"), QString());
    QVERIFY(r.settle());

    QVERIFY(r.request("ReadLongTag"));
    f = r.nextFrame();
    QVERIFY(f);
    QCOMPARE(rig::hexText(*f).trimmed(), QStringLiteral("82 26 05 01 02 03 14 00 B5"));
    QCOMPARE(r.status(), QStringLiteral("Upload failed! (command not implemented)"));
    QCOMPARE(rig::text(r, "LongTag"), QString());
    QCOMPARE(rig::text(r, "LongTagNote"), notImplemented("Read long tag", 20));

    // Before HART 7 the reset carries no counter, and needs none read.
    QVERIFY(r.request("ResetConfigChanged"));
    f = r.nextFrame();
    QVERIFY(f);
    QCOMPARE(rig::hexText(*f).trimmed(), QStringLiteral("82 26 05 01 02 03 26 00 87"));
}

QTEST_MAIN(Hart7DeviceTest)
#include "tst_hart7_device.moc"
