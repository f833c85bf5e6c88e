#include "hartip/credentials.h"

#include "hartip/address.h"

#include <QFile>

#include <algorithm>
#include <array>

namespace hartip {

namespace {

struct KeyFormRow {
    KeyForm form;
    const char* name;
};
constexpr std::array kKeyForms{KeyFormRow{KeyForm::Raw, "raw"},
                               KeyFormRow{KeyForm::HexText, "hex-text"},
                               KeyFormRow{KeyForm::HexTextWithNul, "hex-text-nul"}};

struct EncodingRow {
    IdentityEncoding encoding;
    const char* name;
};
constexpr std::array kEncodings{EncodingRow{IdentityEncoding::Utf8, "utf-8"},
                                EncodingRow{IdentityEncoding::Latin1, "latin-1"}};

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

} // namespace

void Credentials::wipe() {
    key.fill('\0');
    key.clear();
}

QByteArray tlsKey(const Credentials& c) {
    switch (c.keyForm) {
    case KeyForm::Raw:
        return c.key;
    case KeyForm::HexText:
        return c.key.toHex();
    case KeyForm::HexTextWithNul:
        return c.key.toHex() + QByteArray(1, '\0');
    }
    return c.key;
}

QByteArray identityBytes(const Credentials& c) {
    return c.identityEncoding == IdentityEncoding::Latin1 ? c.identity.toLatin1()
                                                          : c.identity.toUtf8();
}

QByteArray keyFromHex(const QString& text) {
    QByteArray key;
    int high = -1;
    for (const QChar c : text) {
        if (c.isSpace() || c == u':') continue;
        const int v = hexValue(c);
        if (v < 0) {
            key.fill('\0');
            throw HartIpError("The HART-IP key must be hexadecimal digits (0-9, a-f)");
        }
        if (high < 0) {
            high = v;
        } else {
            key.append(static_cast<char>(high * 16 + v));
            high = -1;
        }
    }
    const qsizetype bytes = key.size();
    if (high >= 0 || bytes < kMinimumKeyBytes) {
        key.fill('\0');
        throw HartIpError(
            high >= 0 ? "The HART-IP key has an odd number of hex digits"
                      : QStringLiteral("The HART-IP key must be at least %1 bytes (%2 hex digits); "
                                       "this one has %3")
                            .arg(kMinimumKeyBytes)
                            .arg(2 * kMinimumKeyBytes)
                            .arg(bytes)
                            .toStdString());
    }
    return key;
}

QString keyFormName(KeyForm form) {
    const auto row = std::ranges::find(kKeyForms, form, &KeyFormRow::form);
    return QLatin1String(row != kKeyForms.end() ? row->name : kKeyForms.front().name);
}

std::optional<KeyForm> keyFormFromName(const QString& name) {
    for (const KeyFormRow& row : kKeyForms)
        if (name == QLatin1String(row.name)) return row.form;
    return std::nullopt;
}

QString identityEncodingName(IdentityEncoding encoding) {
    const auto row = std::ranges::find(kEncodings, encoding, &EncodingRow::encoding);
    return QLatin1String(row != kEncodings.end() ? row->name : kEncodings.front().name);
}

std::optional<IdentityEncoding> identityEncodingFromName(const QString& name) {
    for (const EncodingRow& row : kEncodings)
        if (name == QLatin1String(row.name)) return row.encoding;
    return std::nullopt;
}

Credentials credentialsFromFile(const QString& identity, const QString& keyFile) {
    QFile file(keyFile);
    if (!file.open(QIODevice::ReadOnly))
        throw HartIpError(QStringLiteral("Cannot read the HART-IP key file %1: %2")
                              .arg(keyFile, file.errorString())
                              .toStdString());
    QByteArray text = file.readAll();
    Credentials c;
    if (!identity.isEmpty()) c.identity = identity;
    try {
        c.key = keyFromHex(QString::fromLatin1(text));
    } catch (const HartIpError& e) {
        text.fill('\0');
        throw HartIpError(
            QStringLiteral("HART-IP key file %1: %2").arg(keyFile, e.what()).toStdString());
    }
    text.fill('\0');
    return c;
}

} // namespace hartip
