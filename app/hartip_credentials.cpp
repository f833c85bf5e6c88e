#include "app/hartip_credentials.h"

#include "hartip/address.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <qt6keychain/keychain.h>

#include <sys/stat.h>

namespace app {

namespace {

constexpr const char* kService = "rx460k HART-IP";
// A secret store that does not answer within this time is taken as absent.
constexpr int kSecretStoreWaitMs = 5000;

[[noreturn]] void refuse(const QString& text) {
    throw hartip::HartIpError(text.toStdString());
}

QJsonObject toJson(const hartip::Credentials& c) {
    return {{QStringLiteral("identity"), c.identity},
            {QStringLiteral("key"), QString::fromLatin1(c.key.toHex())},
            {QStringLiteral("keyForm"), hartip::keyFormName(c.keyForm)},
            {QStringLiteral("identityEncoding"), hartip::identityEncodingName(c.identityEncoding)}};
}

std::optional<hartip::Credentials> fromJson(const QJsonObject& o) {
    if (o.isEmpty()) return std::nullopt;
    hartip::Credentials c;
    c.identity = o.value(QStringLiteral("identity")).toString(c.identity);
    c.key = hartip::keyFromHex(o.value(QStringLiteral("key")).toString());
    c.keyForm = hartip::keyFormFromName(o.value(QStringLiteral("keyForm")).toString())
                    .value_or(hartip::KeyForm::Raw);
    c.identityEncoding =
        hartip::identityEncodingFromName(o.value(QStringLiteral("identityEncoding")).toString())
            .value_or(hartip::IdentityEncoding::Utf8);
    return c;
}

QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : xdg;
}

// Runs a keychain job to its end; false when no secret store answered.
// Any other failure of the store leaves the keys to the file as well.
bool finish(QKeychain::Job& job) {
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kSecretStoreWaitMs, &loop, &QEventLoop::quit);
    job.start();
    if (!finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
    return finished && job.error() != QKeychain::NoBackendAvailable &&
           job.error() != QKeychain::NotImplemented;
}

QJsonObject readFile(const QString& path) {
    QFile file(path);
    if (!file.exists()) return {};
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 077) != 0)
        refuse(QStringLiteral("The HART-IP credentials file %1 may be read by others (mode %2); "
                              "it is not used until only you can read it (chmod 600 %1)")
                   .arg(path)
                   .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0')));
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Cannot read the HART-IP credentials file %1: %2")
                   .arg(path, file.errorString()));
    QByteArray text = file.readAll();
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    text.fill('\0');
    if (!doc.isObject())
        refuse(QStringLiteral("The HART-IP credentials file %1 is not a JSON object").arg(path));
    return doc.object();
}

void writeFile(const QString& path, const QJsonObject& all) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::setPermissions(QFileInfo(path).absolutePath(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSaveFile file(path);
    // Created readable by the user only, before a byte is written.
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
        refuse(QStringLiteral("Cannot write the HART-IP credentials file %1: %2")
                   .arg(path, file.errorString()));
    QByteArray text = QJsonDocument(all).toJson();
    file.write(text);
    text.fill('\0');
    if (!file.commit())
        refuse(QStringLiteral("Cannot write the HART-IP credentials file %1: %2")
                   .arg(path, file.errorString()));
}

} // namespace

CredentialsStore::CredentialsStore()
    : backend_(qEnvironmentVariable("RX460K_CREDENTIALS_STORE") == QLatin1String("file") ||
                       qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
                   ? Backend::File
                   : Backend::SecretStore) {}

QString CredentialsStore::filePath() const {
    return configHome() + QStringLiteral("/rx460k/hartip-credentials.json");
}

std::optional<hartip::Credentials> CredentialsStore::load(const QString& host) const {
    if (backend_ == Backend::SecretStore) {
        QKeychain::ReadPasswordJob job{QString::fromLatin1(kService)};
        job.setAutoDelete(false);
        job.setKey(host);
        if (finish(job) && job.error() == QKeychain::NoError) {
            QByteArray text = job.binaryData();
            const auto c = fromJson(QJsonDocument::fromJson(text).object());
            text.fill('\0');
            return c;
        }
        // Not there, or no secret store after all: the file may keep them.
    }
    return fromJson(readFile(filePath()).value(host).toObject());
}

void CredentialsStore::save(const QString& host, const hartip::Credentials& c) const {
    if (backend_ == Backend::SecretStore) {
        QKeychain::WritePasswordJob job{QString::fromLatin1(kService)};
        job.setAutoDelete(false);
        job.setKey(host);
        QByteArray text = QJsonDocument(toJson(c)).toJson(QJsonDocument::Compact);
        job.setBinaryData(text);
        text.fill('\0');
        if (finish(job) && job.error() == QKeychain::NoError) return;
    }
    QJsonObject all = readFile(filePath());
    all.insert(host, toJson(c));
    writeFile(filePath(), all);
}

void CredentialsStore::forget(const QString& host) const {
    if (backend_ == Backend::SecretStore) {
        QKeychain::DeletePasswordJob job{QString::fromLatin1(kService)};
        job.setAutoDelete(false);
        job.setKey(host);
        finish(job);
    }
    // The file may hold it from a time without a secret store.
    if (!QFile::exists(filePath())) return;
    QJsonObject all = readFile(filePath());
    all.remove(host);
    writeFile(filePath(), all);
}

HartIpCredentialsDialog::HartIpCredentialsDialog(const QString& where, QWidget* parent)
    : QDialog(parent), identity_(new QLineEdit(hartip::Credentials::defaultIdentity(), this)),
      key_(new QLineEdit(this)), keyForm_(new QComboBox(this)), encoding_(new QComboBox(this)),
      problem_(new QLabel(this)) {
    setObjectName(QStringLiteral("HartIpCredentials"));
    setWindowTitle(QStringLiteral("HART-IP key for %1").arg(where));
    identity_->setObjectName(QStringLiteral("PskIdentity"));
    key_->setObjectName(QStringLiteral("PskKey"));
    key_->setEchoMode(QLineEdit::Password);
    key_->setPlaceholderText(QStringLiteral("hexadecimal, at least 16 bytes"));
    keyForm_->setObjectName(QStringLiteral("PskKeyForm"));
    for (const auto form :
         {hartip::KeyForm::Raw, hartip::KeyForm::HexText, hartip::KeyForm::HexTextWithNul})
        keyForm_->addItem(hartip::keyFormName(form), static_cast<int>(form));
    keyForm_->setToolTip(QStringLiteral(
        "How this server turns the key into TLS key bytes: raw (the bytes the hex digits name), "
        "hex-text (the digits as text), hex-text-nul (the digits and a zero byte)"));
    encoding_->setObjectName(QStringLiteral("PskIdentityEncoding"));
    for (const auto e : {hartip::IdentityEncoding::Utf8, hartip::IdentityEncoding::Latin1})
        encoding_->addItem(hartip::identityEncodingName(e), static_cast<int>(e));
    problem_->setObjectName(QStringLiteral("PskProblem"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Client identity:"), identity_);
    form->addRow(QStringLiteral("Pre-shared key:"), key_);
    form->addRow(QStringLiteral("Key form:"), keyForm_);
    form->addRow(QStringLiteral("Identity encoding:"), encoding_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &HartIpCredentialsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &HartIpCredentialsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("%1 asks for a secure session.\nThe key is kept for this host.").arg(where),
        this));
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
}

HartIpCredentialsDialog::~HartIpCredentialsDialog() {
    if (credentials_) credentials_->wipe();
}

void HartIpCredentialsDialog::accept() {
    hartip::Credentials c;
    c.identity = identity_->text().trimmed();
    if (c.identity.isEmpty()) {
        problem_->setText(QStringLiteral("The client identity is empty"));
        return;
    }
    try {
        c.key = hartip::keyFromHex(key_->text());
    } catch (const hartip::HartIpError& e) {
        problem_->setText(QString::fromUtf8(e.what()));
        return;
    }
    c.keyForm = static_cast<hartip::KeyForm>(keyForm_->currentData().toInt());
    c.identityEncoding = static_cast<hartip::IdentityEncoding>(encoding_->currentData().toInt());
    key_->clear();
    credentials_ = std::move(c);
    QDialog::accept();
}

} // namespace app
