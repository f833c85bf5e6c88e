// The simulator's HART-IP server as any HART-IP client sees it, over TCP and
// UDP: every message written out here from the message layout (version,
// type, id, status, sequence, byte count, body), and the simulated
// transmitter's command-0 reply as the network test knows it.

#include "hartip_client.h"
#include "sim/hartip_server.h"
#include "sim/sim_transmitter.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

namespace {

using simtest::Bytes;
using simtest::HartIpClient;
using simtest::hex;
using simtest::hexText;
using Transport = HartIpClient::Transport;

// Session initiate, primary host, 60 000 ms (00 00 EA 60), sequence 1.
constexpr const char* kInitiate = "01 00 00 00 00 01 00 0D 01 00 00 EA 60";
constexpr const char* kInitiated = "01 01 00 00 00 01 00 0D 01 00 00 EA 60";

struct Served {
    sim::SimTransmitter device;
    std::unique_ptr<sim::HartIpServer> server;
    explicit Served(sim::HartIpServerOptions options = {})
        : server(std::make_unique<sim::HartIpServer>(sim::answering(device), options)) {}
    std::unique_ptr<HartIpClient> client(Transport t) {
        return std::make_unique<HartIpClient>(t, server->port());
    }
};

std::string reply(HartIpClient& c) {
    const auto m = c.next();
    return m ? hexText(*m) : std::string("(nothing)");
}

class HartIpServerTest : public ::testing::TestWithParam<Transport> {};

TEST_P(HartIpServerTest, SessionKeepAlivePduAndClose) {
    Served s;
    auto c = s.client(GetParam());
    struct Step {
        const char* what;
        const char* sent;
        const char* answered;
    };
    const Step steps[] = {
        {"session initiate", kInitiate, kInitiated},
        // Command 0 to address 0: 5 PDU bytes (13 in all), the transmitter's
        // 19-byte reply (27 = 1B in all).
        {"HART PDU", "01 00 03 00 00 02 00 0D 02 80 00 00 82",
         "01 01 03 00 00 02 00 1B 06 80 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 5D"},
        {"keep-alive", "01 00 02 00 00 03 00 08", "01 01 02 00 00 03 00 08"},
        {"session close", "01 00 01 00 00 04 00 08", "01 01 01 00 00 04 00 08"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        c->send(hex(step.sent));
        EXPECT_EQ(reply(*c), step.answered);
    }
    // The PDU reached the device as it was sent, and the session is over.
    EXPECT_EQ(hexText(s.device.takeFrames().at(0)), "02 80 00 00 82");
    EXPECT_TRUE(s.server->waitStats(
        [](const auto& st) { return st.closedByClient == 1 && st.openSessions == 0; }));
    if (GetParam() == Transport::Tcp) {
        EXPECT_TRUE(c->closedByServer());
    }
}

TEST_P(HartIpServerTest, WithoutASessionOnlyInitiateIsAnswered) {
    Served s;
    auto c = s.client(GetParam());
    // NAK (type 15) with the request's id and sequence number.
    c->send(hex("01 00 03 00 00 07 00 0D 02 80 00 00 82"));
    EXPECT_EQ(reply(*c), "01 0F 03 00 00 07 00 08");
    c->send(hex("01 00 02 00 00 08 00 08"));
    EXPECT_EQ(reply(*c), "01 0F 02 00 00 08 00 08");
    EXPECT_TRUE(s.device.takeFrames().empty());
    c->send(hex(kInitiate));
    EXPECT_EQ(reply(*c), kInitiated);
}

TEST_P(HartIpServerTest, RefusalsNameTheirStatus) {
    struct Row {
        const char* what;
        const char* sent;
        const char* answered;
    };
    const Row rows[] = {
        {"host type 2 is no host type", "01 00 00 00 00 01 00 0D 02 00 00 EA 60",
         "01 01 00 02 00 01 00 08"},
        {"body cut short", "01 00 00 00 00 01 00 0B 01 00 00", "01 01 00 05 00 01 00 08"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Served s;
        auto c = s.client(GetParam());
        c->send(hex(row.sent));
        EXPECT_EQ(reply(*c), row.answered);
    }

    // One session only: the second client hears "too many sessions" (15),
    // its body echoed.
    Served s({.maxSessions = 1});
    auto first = s.client(GetParam());
    auto second = s.client(GetParam());
    first->send(hex(kInitiate));
    EXPECT_EQ(reply(*first), kInitiated);
    second->send(hex(kInitiate));
    EXPECT_EQ(reply(*second), "01 01 00 0F 00 01 00 0D 01 00 00 EA 60");
    if (GetParam() == Transport::Tcp) {
        EXPECT_TRUE(second->closedByServer());
    }
    // The test hook refuses with the status it is given.
    s.server->refuseSessions(16);
    auto third = s.client(GetParam());
    third->send(hex(kInitiate));
    EXPECT_EQ(reply(*third), "01 01 00 10 00 01 00 0D 01 00 00 EA 60");
}

TEST_P(HartIpServerTest, InactivityCloseTimeEndsAQuietSession) {
    Served s;
    // The server's own 300 ms (00 00 01 2C) instead of the 60 s asked for:
    // status 8, a warning.
    s.server->setInactivityCloseTime(300);
    auto c = s.client(GetParam());
    c->send(hex(kInitiate));
    EXPECT_EQ(reply(*c), "01 01 00 08 00 01 00 0D 01 00 00 01 2C");
    ASSERT_TRUE(s.server->waitStats([](const auto& st) { return st.closedByServer == 1; }));
    EXPECT_EQ(s.server->stats().openSessions, 0);
    if (GetParam() == Transport::Tcp) {
        EXPECT_TRUE(c->closedByServer());
    } else {
        c->send(hex("01 00 02 00 00 02 00 08"));
        EXPECT_EQ(reply(*c), "01 0F 02 00 00 02 00 08");
    }
}

TEST_P(HartIpServerTest, IgnoredKeepAlivesGetNoAnswer) {
    Served s;
    auto c = s.client(GetParam());
    c->send(hex(kInitiate));
    EXPECT_EQ(reply(*c), kInitiated);
    s.server->ignoreKeepAlives(true);
    c->send(hex("01 00 02 00 00 02 00 08"));
    ASSERT_TRUE(s.server->waitStats([](const auto& st) { return st.keepAlivesIgnored == 1; }));
    // The next answer is the PDU's: the keep-alive's never came.
    c->send(hex("01 00 03 00 00 03 00 0D 02 80 00 00 82"));
    const auto m = c->next();
    ASSERT_TRUE(m);
    EXPECT_EQ(hexText(Bytes(m->begin(), m->begin() + 8)), "01 01 03 00 00 03 00 1B");
}

TEST_P(HartIpServerTest, ClosedSessionsAndAServerGone) {
    Served s;
    auto c = s.client(GetParam());
    c->send(hex(kInitiate));
    EXPECT_EQ(reply(*c), kInitiated);
    s.server->closeSessions();
    if (GetParam() == Transport::Tcp) {
        EXPECT_TRUE(c->closedByServer());
    } else {
        ASSERT_TRUE(s.server->waitStats([](const auto& st) { return st.closedByServer == 1; }));
        c->send(hex("01 00 02 00 00 02 00 08"));
        EXPECT_EQ(reply(*c), "01 0F 02 00 00 02 00 08");
    }

    auto again = s.client(GetParam());
    again->send(hex(kInitiate));
    EXPECT_EQ(reply(*again), kInitiated);
    s.server->goAway();
    if (GetParam() == Transport::Tcp) {
        EXPECT_TRUE(again->closedByServer());
        EXPECT_THROW(s.client(Transport::Tcp), std::runtime_error); // nobody listens
    } else {
        ASSERT_TRUE(s.server->waitStats([](const auto& st) { return st.openSessions == 0; }));
        again->send(hex("01 00 02 00 00 02 00 08"));
        EXPECT_FALSE(again->next(std::chrono::milliseconds(500)));
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, HartIpServerTest,
                         ::testing::Values(Transport::Tcp, Transport::Udp), [](const auto& info) {
                             return std::string(info.param == Transport::Tcp ? "Tcp" : "Udp");
                         });

TEST(HartIpServerTcp, MessagesArriveInPiecesOrTogether) {
    Served s;
    HartIpClient c(Transport::Tcp, s.server->port());
    c.sendByteByByte(hex(kInitiate));
    EXPECT_EQ(reply(c), kInitiated);
    // Two keep-alives in one segment: two answers.
    c.send(hex("01 00 02 00 00 02 00 08 01 00 02 00 00 03 00 08"));
    EXPECT_EQ(reply(c), "01 01 02 00 00 02 00 08");
    EXPECT_EQ(reply(c), "01 01 02 00 00 03 00 08");
    // A byte count below the header leaves no way to find the next message:
    // the server hangs up.
    c.send(hex("01 00 02 00 00 04 00 07"));
    EXPECT_TRUE(c.closedByServer());
}

} // namespace
