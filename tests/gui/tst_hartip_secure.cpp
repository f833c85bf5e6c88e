// The window over a secure HART-IP session: a `hartips://` port asks for the
// host's identity and key once (the HartIpCredentials dialog), keeps them in
// a file readable by the user only (the tests run without a secret store),
// opens a version 2 session over TLS with the simulator's server (OpenSSL),
// says so in the status line and with the lock beside the port list, and
// reads the server's audit log into AuditLogTable; a kept key can be
// forgotten. A credentials file others
// may read is refused before anything is sent; the key appears in no trace
// or saved traffic.

#include "support/window_rig.h"

#include "app/hartip_credentials.h"
#include "host/traffic_log.h"
#include "sim/hartip_server.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using rig::WindowRig;

namespace {

constexpr int kDeadline = 15000;
const char* kKeyHex = "5c0e7a91b3d24f68a7e15b90c3d6f284";

std::vector<std::uint8_t> keyBytes() {
    const QByteArray k = QByteArray::fromHex(kKeyHex);
    return {k.begin(), k.end()};
}

// The window with the simulated transmitter behind a version 2 server.
class SecureRig {
public:
    SecureRig() = default;
    ~SecureRig() {
        if (rig_.isOpen()) rig_.click("Button1");
    }
    WindowRig& window() { return rig_; }
    sim::HartIpServer& server() { return server_; }
    QString url() const { return QStringLiteral("hartips://127.0.0.1:%1").arg(server_.port()); }
    // Types the address into "Serial Port:" and presses "Open".
    bool pressOpen() {
        rig_.get<QComboBox>("SPREALCOM")->setEditText(url());
        return rig_.click("Button1");
    }

private:
    WindowRig rig_{false};
    sim::HartIpServer server_{sim::answering(rig_.device()),
                              {.security = sim::HartIpSecurity{"HART-IPClient", keyBytes()}}};
};

// Answers the credentials dialog when it shows, with these entries; counts
// how often it was shown.
struct DialogAnswer {
    QString identity;
    QString key;
    int shown = 0;
    QString problem; // what the dialog said about a first, wrong entry
};

// The poll ends with `owner` (the window) if no dialog ever shows.
void answerDialogWhenShown(QObject* owner, DialogAnswer& answer, const QString& firstKey = {}) {
    auto* poll = new QTimer(owner);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [&answer, firstKey, poll] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("HartIpCredentials")) return;
        poll->stop();
        poll->deleteLater();
        ++answer.shown;
        auto* identity = dialog->findChild<QLineEdit*>(QStringLiteral("PskIdentity"));
        auto* key = dialog->findChild<QLineEdit*>(QStringLiteral("PskKey"));
        QCOMPARE(identity->text(), QStringLiteral("HART-IPClient")); // the default
        QCOMPARE(key->echoMode(), QLineEdit::Password);
        identity->setText(answer.identity);
        if (!firstKey.isEmpty()) {
            key->setText(firstKey);
            dialog->accept(); // refused: the dialog stays and says why
            answer.problem = dialog->findChild<QLabel*>(QStringLiteral("PskProblem"))->text();
        }
        key->setText(answer.key);
        dialog->accept();
    });
    poll->start();
}

QString fileOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class HartIpSecureWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void askedOnceKeptInAPrivateFileShownAsSecure();
    void auditLogInTheTable();
    void aCredentialsFileOthersMayReadIsRefused();
    void noKeyInTraceOrSavedTraffic();

private:
    QTemporaryDir config_;
    QString credentialsFile() const {
        return config_.filePath(QStringLiteral("rx460k/hartip-credentials.json"));
    }
};

void HartIpSecureWindowTest::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    qputenv("RX460K_CREDENTIALS_STORE", "file");
}

void HartIpSecureWindowTest::init() {
    QFile::remove(credentialsFile());
}

void HartIpSecureWindowTest::askedOnceKeptInAPrivateFileShownAsSecure() {
    SecureRig rig;
    WindowRig& w = rig.window();
    DialogAnswer answer{QStringLiteral("HART-IPClient"), QString::fromLatin1(kKeyHex)};
    answerDialogWhenShown(&w.form(), answer, QStringLiteral("0011"));
    QVERIFY(rig.pressOpen());
    QVERIFY(rig::waitFor([&] { return w.isOpen(); }, kDeadline));
    QCOMPARE(answer.shown, 1);
    QVERIFY2(answer.problem.contains(QLatin1String("at least 16 bytes")),
             qPrintable(answer.problem));
    QCOMPARE(w.status(),
             QStringLiteral("HART-IP v2, TLS 1.2, PSK-AES128-GCM-SHA256, identity HART-IPClient"));
    auto* lock = w.get<QLabel>("SecureLock");
    QVERIFY(lock);
    QVERIFY(lock->isVisible());
    QVERIFY(lock->toolTip().contains(QLatin1String("TLS 1.2")));

    // Kept in a file only its owner can read or write.
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(credentialsFile()).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
    QVERIFY(fileOf(credentialsFile()).contains(QLatin1String("HART-IPClient")));

    // A query works over it.
    QVERIFY(w.discover());
    QCOMPARE(rig.server().stats().clearPdus, 0);

    QVERIFY(w.click("Button1")); // Close
    QVERIFY(!w.isOpen());
    QVERIFY(!lock->isVisible());

    // Opened again: the kept key is used, nobody is asked (were the dialog
    // shown, it would be answered and counted rather than wait forever).
    answerDialogWhenShown(&w.form(), answer);
    QVERIFY(rig.pressOpen());
    QVERIFY(rig::waitFor([&] { return w.isOpen(); }, kDeadline));
    QCOMPARE(answer.shown, 1);
    QVERIFY(lock->isVisible());
    // The server counts the session on its own thread, perhaps after its answer.
    QVERIFY(rig.server().waitStats([](const auto& st) { return st.secureSessions == 2; }));
}

void HartIpSecureWindowTest::auditLogInTheTable() {
    SecureRig rig;
    WindowRig& w = rig.window();
    hartip::Credentials c;
    c.key = QByteArray::fromHex(kKeyHex);
    app::CredentialsStore().save(QStringLiteral("127.0.0.1"), c);
    QVERIFY(rig.pressOpen());
    QVERIFY(rig::waitFor([&] { return w.isOpen(); }, kDeadline));
    QVERIFY(w.get<QPushButton>("HartIpServer")->isEnabled());
    QVERIFY(w.click("HartIpServer"));
    auto* read = w.get<QPushButton>("ReadAuditLog");
    QVERIFY(read);
    read->click();
    auto* table = w.get<QTableWidget>("AuditLogTable");
    QVERIFY(table);
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, kDeadline);
    QVERIFY(table->item(0, 0)->text().startsWith(QLatin1String("127.0.0.1:")));
    QCOMPARE(table->item(0, 1)->text(), QString::number(rig.server().port()));
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("still connected"));
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("none")); // secure, nothing written yet
    QCOMPARE(table->item(0, 7)->text(), QStringLiteral("0"));
    QVERIFY(rig.server().waitStats([](const auto& st) { return st.auditLogReads == 1; }));

    // The key kept for the host in the port list can be forgotten: the next
    // open asks again.
    QVERIFY(app::CredentialsStore().load(QStringLiteral("127.0.0.1")));
    w.get<QPushButton>("ForgetHartIpKey")->click();
    QVERIFY(!app::CredentialsStore().load(QStringLiteral("127.0.0.1")));
    QVERIFY(!fileOf(credentialsFile()).contains(QLatin1String("127.0.0.1")));
}

void HartIpSecureWindowTest::aCredentialsFileOthersMayReadIsRefused() {
    SecureRig rig;
    WindowRig& w = rig.window();
    hartip::Credentials c;
    c.key = QByteArray::fromHex(kKeyHex);
    app::CredentialsStore().save(QStringLiteral("127.0.0.1"), c);
    QVERIFY(::chmod(QFile::encodeName(credentialsFile()).constData(), 0644) == 0);
    QVERIFY(rig.pressOpen());
    const QString error = w.takeErrorBox();
    QVERIFY2(error.contains(QLatin1String("may be read by others (mode 0644)")), qPrintable(error));
    QVERIFY(!w.isOpen());
    QCOMPARE(rig.server().stats().tcpConnections, 0); // refused before anything was sent
}

void HartIpSecureWindowTest::noKeyInTraceOrSavedTraffic() {
    QTemporaryDir dir;
    SecureRig rig;
    WindowRig& w = rig.window();
    const QString trace = dir.filePath(QStringLiteral("run.txt"));
    QVERIFY(w.form().trafficLog().startTrace(trace));
    DialogAnswer answer{QStringLiteral("HART-IPClient"), QString::fromLatin1(kKeyHex)};
    answerDialogWhenShown(&w.form(), answer);
    QVERIFY(rig.pressOpen());
    QVERIFY(rig::waitFor([&] { return w.isOpen(); }, kDeadline));
    QVERIFY(w.discover());
    QVERIFY(w.click("Button1"));
    w.form().trafficLog().stopTrace();
    const QString text = dir.filePath(QStringLiteral("saved.txt"));
    const QString capture = dir.filePath(QStringLiteral("saved.pcapng"));
    QVERIFY(w.form().trafficLog().save(text));
    QVERIFY(w.form().trafficLog().save(capture));

    const QByteArray key = QByteArray::fromHex(kKeyHex);
    for (const QString& path : {trace, text, capture}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY2(!bytes.isEmpty(), qPrintable(path));
        QVERIFY2(!bytes.contains(key.left(8)) && !bytes.contains(key.right(8)), qPrintable(path));
        QVERIFY2(!bytes.toLower().contains(QByteArray(kKeyHex).left(16)), qPrintable(path));
    }
    // The trace says the session was secure, without the key.
    const QString traced = fileOf(trace);
    QVERIFY2(traced.contains(QLatin1String("HART-IP secure session: HART-IP v2, TLS 1.2")),
             qPrintable(traced.left(2000)));
}

QTEST_MAIN(HartIpSecureWindowTest)
#include "tst_hartip_secure.moc"
