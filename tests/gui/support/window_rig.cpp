#include "support/window_rig.h"

#include "host/reply_codes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sstream>

namespace rig {

bool waitFor(const std::function<bool()>& pred, int ms) {
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

Bytes hex(const char* text) {
    Bytes out;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    return out;
}

QString hexText(const Bytes& bytes) {
    QString s;
    for (auto b : bytes)
        s += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return s;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QString text(WindowRig& r, const char* name) {
    if (auto* l = r.get<QLabel>(name)) return l->text();
    if (auto* e = r.get<QLineEdit>(name)) return e->text();
    if (auto* m = r.get<QPlainTextEdit>(name)) return m->toPlainText();
    return QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

bool portButtonsEnabled(WindowRig& r, bool enabled) {
    for (int i = 2; i <= 47; ++i) {
        auto* b = r.get<QPushButton>(QStringLiteral("Button%1").arg(i).toLatin1().constData());
        if (!b || b->isEnabled() != enabled) return false;
    }
    return true;
}

void selectAll(WindowRig& r, const QStringList& picks) {
    for (const QString& p : picks) {
        const auto parts = p.split(QLatin1Char('='));
        r.select(parts[0].toLatin1().constData(), parts[1].toInt());
    }
}

void expectShown(WindowRig& r, const QStringList& expected) {
    for (const QString& e : expected) {
        const qsizetype eq = e.indexOf(QLatin1Char('='));
        const QString name = e.left(eq);
        const QString text = e.mid(eq + 1);
        const QByteArray n = name.toLatin1();
        if (auto* edit = r.get<QLineEdit>(n.constData())) {
            QCOMPARE(edit->text(), text);
            continue;
        }
        auto* combo = r.get<QComboBox>(n.constData());
        QVERIFY2(combo, n.constData());
        QCOMPARE(combo->currentText(), text);
        if (text.isEmpty())
            QCOMPARE(combo->currentIndex(), -1);
        else
            QCOMPARE(combo->itemText(combo->currentIndex()), text);
    }
}

WindowRig::WindowRig(bool open)
    : device_(std::make_unique<sim::SimTransmitter>()), form_(std::make_unique<TForm1>()) {
    form_->resize(1200, 900);
    form_->show();
    // The decode timer runs once at start-up and finds nothing to decode; let
    // that happen before the test sends anything, as it would for a user.
    waitFor([this] { return !get<QTimer>("Timer2")->isActive(); }, 5000);
    if (open) openPort();
}

WindowRig::~WindowRig() {
    // Close any error box left open so the next test starts clean.
    while (auto* w = QApplication::activeModalWidget())
        delete w;
    form_.reset();
    device_.reset();
}

bool WindowRig::openPort() {
    auto* list = get<QComboBox>("SPREALCOM");
    if (!list) return false;
    list->setEditText(QString::fromStdString(device_->portPath()));
    if (!click("Button1")) return false;
    return waitFor([this] { return isOpen(); }, 5000);
}

bool WindowRig::isOpen() const {
    return form_->cycle().buffer()[hart::lb::kPortOpen] == 1 &&
           get<QPushButton>("Button1")->text() == QStringLiteral("Close");
}

bool WindowRig::discover() {
    if (!click("Button3")) return false;
    bool ok = waitStatus(QStringLiteral("Upload successful!")) &&
              waitFor([this] { return cycle().replyCode() == 0; });
    forgetReceived();
    return ok;
}

bool WindowRig::click(const char* button) {
    auto* b = get<QPushButton>(button);
    if (!b || !b->isEnabled()) return false;
    b->click();
    // The question shows at once; answered here, the request goes out
    // before click() returns, as it does for the transmitter's own maker.
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        sendToAnyMaker_ && box && box->objectName() == QLatin1String("WrongMakerQuestion"))
        for (QAbstractButton* choice : box->buttons())
            if (choice->text() == QLatin1String("Send")) choice->click();
    return true;
}

bool WindowRig::request(const char* button) {
    forgetReceived();
    if (!click(button)) return false;
    return waitFor([this] { return cycle().replyCode() == 0; });
}

void WindowRig::setText(const char* edit, const QString& text) {
    if (auto* e = get<QLineEdit>(edit)) e->setText(text);
}

void WindowRig::type(const char* edit, const QString& keys) {
    if (auto* e = get<QLineEdit>(edit)) QTest::keyClicks(e, keys);
}

void WindowRig::select(const char* combo, int index) {
    if (auto* c = get<QComboBox>(combo)) c->setCurrentIndex(index);
}

QString WindowRig::status() const {
    return get<QLabel>("Label68")->text();
}

bool WindowRig::waitStatus(const QString& text, int ms) {
    // The receive handler shows "Upload successful!" before the decoder has
    // run; a status counts once the decode timer is idle again.
    auto* decodeTimer = get<QTimer>("Timer2");
    if (waitFor([&] { return status() == text && !decodeTimer->isActive(); }, ms)) return true;
    qWarning("status is \"%s\", expected \"%s\"; receive view \"%s\"", qPrintable(status()),
             qPrintable(text), qPrintable(get<QPlainTextEdit>("Memo8")->toPlainText()));
    return false;
}

bool WindowRig::settle(Pending allowed, int ms) {
    respondWith({});
    device_->setFaults({});
    auto* decodeTimer = get<QTimer>("Timer2");
    auto quiet = [&] {
        const int code = cycle().replyCode();
        const bool idle = code == 0 || (allowed == Pending::Manual && code == host::kManualReply);
        return idle && !decodeTimer->isActive();
    };
    const bool ok = waitFor(quiet, ms);
    if (!ok)
        qWarning("not settled: ReplyCode %d, decode timer %s", cycle().replyCode(),
                 decodeTimer->isActive() ? "active" : "idle");
    forgetReceived();
    return ok;
}

std::optional<Bytes> WindowRig::nextFrame(int ms) {
    std::optional<Bytes> f;
    waitFor([&] { return (f = device_->waitFrame(0)).has_value(); }, ms);
    return f;
}

std::optional<Bytes> WindowRig::nextWire(int ms) {
    if (!nextFrame(ms)) return std::nullopt;
    return device_->takeReceived();
}

void WindowRig::forgetReceived() {
    device_->takeFrames();
    device_->takeReceived();
}

void WindowRig::respondWith(Bytes bytes) {
    if (bytes.empty()) {
        device_->setResponder(nullptr);
        return;
    }
    device_->setResponder(
        [bytes](sim::SimState&, const sim::SimRequest&) { return std::optional<Bytes>(bytes); });
}

Bytes WindowRig::longReply(std::uint8_t command, const Bytes& data, std::uint8_t responseCode,
                           std::uint8_t master) {
    sim::SimReply r{responseCode, 0, data};
    return device_->withState(
        [&](sim::SimState& s) { return device_->longReplyFrame(s, command, r, 0x86, master); });
}

void WindowRig::sendToAnyMaker() {
    sendToAnyMaker_ = true;
}

bool WindowRig::answer(const char* boxName, const QString& button, int ms) {
    QMessageBox* box = nullptr;
    waitFor(
        [&] {
            box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            return box && box->objectName() == QLatin1String(boxName) && box->isVisible();
        },
        ms);
    if (!box || box->objectName() != QLatin1String(boxName)) return false;
    for (QAbstractButton* b : box->buttons())
        if (b->text() == button) {
            b->click();
            return waitFor([] { return QApplication::activeModalWidget() == nullptr; }, 2000);
        }
    return false;
}

QString WindowRig::takeErrorBox(int ms) {
    QMessageBox* box = nullptr;
    waitFor([&] { return (box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); },
            ms);
    if (!box) return {};
    QString text = box->text();
    box->close();
    waitFor([] { return QApplication::activeModalWidget() == nullptr; }, 2000);
    return text;
}

} // namespace rig
