#pragma once
// What each ReplyCode means to the request cycle: how a missing reply is
// reported (its timeout class), what the sender shows while it waits, whether
// the sender pauses 200 ms after the write, and who judges the reply. One
// const row per code; a code that is not in the table cannot be sent.

#include <optional>
#include <span>

namespace host {

// How a missing reply is reported: a write or read timeout shows "Upload data
// timeout!", a poll shows nothing.
enum class TimeoutClass : int { Write = 2, Read = 3, Poll = 4 };

// What the status line shows while the request waits for its reply.
enum class Sending { Uploading, Downloading };

// Who turns the reply into status text and fields.
enum class Judge {
    Reader,             // the page's reader for this code (exactly one)
    WriteResult,        // the generic write result
    KrohneWriteResult,  // the same with the KROHNE TT50C variant table
    ReceiveView,        // the manual command: every chunk is shown, nothing decoded
    Caller,             // a background request: its caller gets the reply (RequestCycle::ask)
};

struct ReplyCodeRow {
    int code;
    TimeoutClass timeout;
    Sending sending;
    bool pause; // the sender pauses the main thread 200 ms after the write
    Judge judge;
};

// Codes with a name because more than one place needs them.
inline constexpr int kDeviceIdReply = 49;
inline constexpr int kDiscoveryReply = 100;
inline constexpr int kManualReply = 104;
// The fixed-current request has a code of its own, outside every other range.
inline constexpr int kFixedCurrentReply = 1040;
// The network scan: command 0 to each polling address, then the tag (13) or
// long tag (20) of each device found.
inline constexpr int kScanIdentityReply = 3100;
inline constexpr int kScanTagReply = 3101;
inline constexpr int kScanLongTagReply = 3102;
// Background requests (the monitor's polls, reading a configuration, the
// command-line tool): they keep the views and the status line as they are.
inline constexpr int kBackgroundReply = 3300;

// Every code in use, in ascending order.
std::span<const ReplyCodeRow> replyCodes();
// The row of `code`, or nothing for a code not in use.
std::optional<ReplyCodeRow> findReplyCode(int code);

} // namespace host
