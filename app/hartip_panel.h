#pragma once
// The window's HART-IP parts beside the port list: a lock that shows while
// a secure session is open (SecureLock, with the session's protection as its
// tooltip), the status line saying "HART-IP v2, TLS 1.2, <cipher>, identity
// <id>" once such a session opens, the button to the HART-IP server dialog
// (HartIpServer: ReadAuditLog fills AuditLogTable; ForgetHartIpKey drops
// the key kept for the host in the port list), and the source of the
// identity and key a secure open asks for: what is kept for the host, or
// else the HartIpCredentials dialog.

#include "app/hartip_credentials.h"

#include <QObject>

class QDialog;
class QLabel;
class QPushButton;
class QTableWidget;
class TForm1;

namespace app {

class HartIpPanel : public QObject {
    Q_OBJECT
public:
    explicit HartIpPanel(TForm1& window);

    CredentialsStore& store() { return store_; }
    // Fills AuditLogTable from the open session's server.
    void readAuditLog();

private:
    void portOpened();
    void portEnded();
    // The HART-IP server dialog, made the first time it is shown.
    QDialog* serverDialog();
    std::optional<hartip::Credentials> credentialsFor(const QString& host, const QString& where);

    TForm1& window_;
    CredentialsStore store_;
    QLabel* lock_;
    QPushButton* serverButton_;
    QDialog* serverDialog_ = nullptr;
    QTableWidget* auditTable_ = nullptr;
    QLabel* auditSummary_ = nullptr;
};

// Builds the parts into the window (beside SPREALCOM) once its links exist.
HartIpPanel* addHartIpPanel(TForm1& window);

} // namespace app
