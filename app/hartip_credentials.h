#pragma once
// Where the window keeps the identity and key of each secure HART-IP host,
// and the dialog that asks for them the first time a host is opened.
//
// The desktop's secret store (through QtKeychain) keeps them where one
// runs. Without one (no session bus: headless, CI), or with
// RX460K_CREDENTIALS_STORE=file, they are kept in
// $XDG_CONFIG_HOME/rx460k/hartip-credentials.json (~/.config when unset),
// created readable by the user only; a file that others may read is refused
// with a message rather than used.

#include "hartip/credentials.h"

#include <QDialog>
#include <QString>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;

namespace app {

class CredentialsStore {
public:
    enum class Backend { SecretStore, File };
    CredentialsStore();

    Backend backend() const { return backend_; }
    QString filePath() const;

    // What is kept for `host`; nothing when nothing is. HartIpError when the
    // file's mode lets others read it, or it cannot be read or parsed.
    std::optional<hartip::Credentials> load(const QString& host) const;
    // HartIpError when it cannot be kept.
    void save(const QString& host, const hartip::Credentials& credentials) const;
    void forget(const QString& host) const;

private:
    Backend backend_;
};

// Asks for the identity, the key (hex) and how this host takes them.
// Object name HartIpCredentials; its fields PskIdentity, PskKey, PskKeyForm,
// PskIdentityEncoding and the message line PskProblem.
class HartIpCredentialsDialog : public QDialog {
    Q_OBJECT
public:
    explicit HartIpCredentialsDialog(const QString& where, QWidget* parent = nullptr);
    ~HartIpCredentialsDialog() override;
    // Filled once accepted; the key fields are cleared on the way.
    std::optional<hartip::Credentials> credentials() const { return credentials_; }

    void accept() override;

private:
    QLineEdit* identity_;
    QLineEdit* key_;
    QComboBox* keyForm_;
    QComboBox* encoding_;
    QLabel* problem_;
    std::optional<hartip::Credentials> credentials_;
};

} // namespace app
