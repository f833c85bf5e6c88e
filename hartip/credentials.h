#pragma once
// What a secure HART-IP session needs besides the address: the client
// identity the server knows this program by and the pre-shared key it holds
// for that identity, plus how this server turns the configured key into the
// key bytes TLS uses.
//
// The key is configured as hexadecimal text (at least 16 bytes). HART-IP
// servers disagree on what TLS is then given:
//   raw          the bytes the hex digits name (the protocol's way, RFC 4279;
//                the default)
//   hex-text     the hex digits themselves as ASCII, lower case
//   hex-text-nul the same followed by one zero byte, as the FieldComm Group's
//                reference server does with a key it has stored
// and on how the identity's text becomes bytes (UTF-8 by default, Latin-1).
// Both are kept per host with the key.

#include <QByteArray>
#include <QString>

#include <optional>

namespace hartip {

enum class KeyForm { Raw, HexText, HexTextWithNul };
enum class IdentityEncoding { Utf8, Latin1 };

struct Credentials {
    QString identity = defaultIdentity();
    QByteArray key; // the configured key's bytes
    KeyForm keyForm = KeyForm::Raw;
    IdentityEncoding identityEncoding = IdentityEncoding::Utf8;

    static QString defaultIdentity() { return QStringLiteral("HART-IPClient"); }
    // Overwrites the key bytes before letting them go.
    void wipe();
};

inline constexpr int kMinimumKeyBytes = 16;

// The key bytes TLS is given, by the key form.
QByteArray tlsKey(const Credentials& credentials);
// The identity's bytes on the wire, by its encoding.
QByteArray identityBytes(const Credentials& credentials);

// The key's bytes from hex text (blanks, colons and line ends between digit
// pairs allowed); HartIpError naming what is wrong (not hex, an odd digit,
// fewer than 16 bytes), never the text itself.
QByteArray keyFromHex(const QString& text);

QString keyFormName(KeyForm form); // "raw", "hex-text", "hex-text-nul"
std::optional<KeyForm> keyFormFromName(const QString& name);
QString identityEncodingName(IdentityEncoding encoding); // "utf-8", "latin-1"
std::optional<IdentityEncoding> identityEncodingFromName(const QString& name);

// For a command line's --psk-identity ID and --psk-key-file FILE: the file
// holds the key as hex text. An empty identity takes the default.
// HartIpError when the file cannot be read or holds no usable key.
Credentials credentialsFromFile(const QString& identity, const QString& keyFile);

} // namespace hartip
