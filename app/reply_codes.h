#pragma once
// What each ReplyCode means to the send step: how a missing reply is
// reported, which status text the sender shows, and whether the sender
// pauses 200 ms after the write.

#include <algorithm>
#include <array>

namespace app {

enum TimeoutClass : int { kWrite = 2, kRead = 3, kPoll = 4 };

// The fixed-current request has a code of its own, outside every other range.
inline constexpr int kFixedCurrentReply = 1040;
inline constexpr int kManualReply = 104;
inline constexpr int kDiscoveryReply = 100;
inline constexpr int kDeviceIdReply = 49;

namespace detail {
template <std::size_t N> constexpr bool contains(const std::array<int, N>& a, int v) {
    return std::find(a.begin(), a.end(), v) != a.end();
}

inline constexpr std::array kPollCodes{49};
inline constexpr std::array kReadCodes{100, 102, 103, 104, 112, 113, 114, 115, 116, 144, 147};
inline constexpr std::array kUploadingCodes{49,  100, 102,  103,  112,  113,  114,
                                            115, 116, 1131, 1170, 2145, 2147, 2149};
inline constexpr std::array kPausedCodes{
    39,   49,   99,   106,  109,  112,  113,  116,  117,  118,  119,  137,  139,  141,  149,
    521,  523,  525,  526,  1131, 1134, 1140, 1145, 1150, 1151, 1153, 1155, 1160, 1170, 1181,
    1182, 1188, 1190, 1191, 1193, 2145, 2146, 2147, 2148, 2149, 2150, 2152, 2154, 140};
// Replies judged by the generic write result.
inline constexpr std::array kGenericWriteCodes{
    39,   99,   106,  108,  109,  117,  118,  119,  130,  131,  134,  136,  137,
    139,  141,  143,  144,  145,  146,  147,  149,  155,  526,  1134, 1143, 1145,
    1151, 1153, 1155, 1171, 1182, 1190, 1192, 2146, 2148, 2150, 2152, 2154, kFixedCurrentReply};
} // namespace detail

// 100 is read for "HART Address 0 Query"; the cycle overrides it with kPoll.
constexpr int timeoutClassFor(int replyCode) {
    if (detail::contains(detail::kPollCodes, replyCode)) return kPoll;
    if (detail::contains(detail::kReadCodes, replyCode)) return kRead;
    return kWrite;
}
constexpr bool uploads(int replyCode) {
    return detail::contains(detail::kUploadingCodes, replyCode);
}
constexpr bool pausesAfterWrite(int replyCode) {
    return detail::contains(detail::kPausedCodes, replyCode);
}
constexpr const auto& genericWriteCodes() {
    return detail::kGenericWriteCodes;
}

} // namespace app
