#include "hartip/address.h"

#include "hart/hartip.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <array>

namespace hartip {

namespace {

struct Scheme {
    const char* name;
    Transport transport;
    bool secure;
};
constexpr std::array kSchemes{
    Scheme{"hartip", Transport::Tcp, false}, Scheme{"hartip+udp", Transport::Udp, false},
    Scheme{"hartips", Transport::Tcp, true}, Scheme{"hartips+udp", Transport::Udp, true}};

const Scheme* schemeOf(const QString& text) {
    const qsizetype colon = text.indexOf(QLatin1String("://"));
    if (colon <= 0) return nullptr;
    const QString name = text.left(colon).toLower();
    for (const Scheme& s : kSchemes)
        if (name == QLatin1String(s.name)) return &s;
    return nullptr;
}

const char* schemeName(Transport transport, bool secure) {
    const auto scheme = std::ranges::find_if(
        kSchemes, [&](const Scheme& s) { return s.transport == transport && s.secure == secure; });
    return scheme != kSchemes.end() ? scheme->name : kSchemes.front().name;
}

[[noreturn]] void refuse(const QString& text, const char* why) {
    throw HartIpError(QStringLiteral("Invalid HART-IP address \"%1\": %2")
                          .arg(text, QLatin1String(why))
                          .toStdString());
}

} // namespace

QString Address::text() const {
    const QString shownHost = host.contains(QLatin1Char(':')) ? u'[' + host + u']' : host;
    return QStringLiteral("%1://%2:%3")
        .arg(QLatin1String(schemeName(transport, secure)), shownHost)
        .arg(port);
}

bool isAddress(const QString& text) {
    return schemeOf(text.trimmed()) != nullptr;
}

Address parseAddress(const QString& typed) {
    const QString text = typed.trimmed();
    const Scheme* scheme = schemeOf(text);
    if (!scheme)
        refuse(text, "it must start with hartip://, hartip+udp://, hartips:// or hartips+udp://");
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) refuse(text, "it is not a valid address");
    if (url.host().isEmpty()) refuse(text, "it names no host");
    if (!url.userInfo().isEmpty()) refuse(text, "a user name has no place in it");
    if (!(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment())
        refuse(text, "only a host and a port may follow the scheme");
    // QUrl gives -1 for "no port" and for a port written but out of range.
    const bool portWritten = text.mid(text.indexOf(QLatin1String("://")) + 3)
                                 .section(u'/', 0, 0)
                                 .contains(QRegularExpression(QStringLiteral(":[^\\]]*$")));
    const int port = url.port(-1);
    if (portWritten && (port <= 0 || port > 65535)) refuse(text, "the port must be 1 to 65535");
    return Address{scheme->transport, url.host(),
                   port > 0 ? static_cast<std::uint16_t>(port) : hart::ip::kPort, scheme->secure};
}

} // namespace hartip
