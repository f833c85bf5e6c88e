#pragma once
// Where a HART-IP server is, as the user types it into the port list:
// `hartip://HOST[:PORT]` for TCP, `hartip+udp://HOST[:PORT]` for UDP, and
// `hartips://` and `hartips+udp://` for a secure (version 2) session over
// TLS or DTLS; the port 5094 when none is given. HOST is a name, an IPv4
// address or an IPv6 address in brackets.

#include <QString>

#include <cstdint>
#include <stdexcept>

namespace hartip {

enum class Transport { Tcp, Udp };

struct Address {
    Transport transport = Transport::Tcp;
    QString host;
    std::uint16_t port = 0;
    // Version 2: TLS (TCP) or DTLS (UDP) with a pre-shared key, never a
    // session in the clear.
    bool secure = false;

    // The address written out in full: "hartip+udp://127.0.0.1:5094".
    QString text() const;
    bool operator==(const Address&) const = default;
};

// Everything the HART-IP link refuses or reports, with the text for the user.
class HartIpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether the text names a HART-IP server rather than a serial device (its
// scheme is hartip, hartip+udp, hartips or hartips+udp, in any case); it may
// still be malformed.
bool isAddress(const QString& text);

// HartIpError naming what is wrong when the text is not a usable address.
Address parseAddress(const QString& text);

} // namespace hartip
