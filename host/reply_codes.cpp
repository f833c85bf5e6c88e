#include "host/reply_codes.h"

#include <algorithm>
#include <array>

namespace host {

namespace {

using T = TimeoutClass;
using S = Sending;
using J = Judge;

// 100 is a read for "HART Address 0 Query"; the discovery cycle sends it as
// a poll. 144 and 147 are writes that report a missing reply like reads.
constexpr std::array kReplyCodes{
    ReplyCodeRow{39, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{49, T::Poll, S::Uploading, true, J::Reader},
    ReplyCodeRow{99, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{100, T::Read, S::Uploading, false, J::Reader},
    ReplyCodeRow{102, T::Read, S::Uploading, false, J::Reader},
    ReplyCodeRow{103, T::Read, S::Uploading, false, J::Reader},
    ReplyCodeRow{104, T::Read, S::Downloading, false, J::ReceiveView},
    ReplyCodeRow{106, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{108, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{109, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{112, T::Read, S::Uploading, true, J::Reader},
    ReplyCodeRow{113, T::Read, S::Uploading, true, J::Reader},
    ReplyCodeRow{114, T::Read, S::Uploading, false, J::Reader},
    ReplyCodeRow{115, T::Read, S::Uploading, false, J::Reader},
    ReplyCodeRow{116, T::Read, S::Uploading, true, J::Reader},
    ReplyCodeRow{117, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{118, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{119, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{130, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{131, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{134, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{136, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{137, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{139, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{140, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{141, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{143, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{144, T::Read, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{145, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{146, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{147, T::Read, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{148, T::Read, S::Uploading, false, J::Reader},
    ReplyCodeRow{149, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{155, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{521, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{523, T::Write, S::Downloading, true, J::KrohneWriteResult},
    ReplyCodeRow{525, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{526, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1040, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{1131, T::Write, S::Uploading, true, J::Reader},
    ReplyCodeRow{1134, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1140, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{1143, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{1145, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1150, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{1151, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1153, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1155, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1160, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{1170, T::Write, S::Uploading, true, J::Reader},
    ReplyCodeRow{1171, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{1181, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{1182, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1188, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{1190, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{1191, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{1192, T::Write, S::Downloading, false, J::WriteResult},
    ReplyCodeRow{1193, T::Write, S::Downloading, true, J::Reader},
    ReplyCodeRow{2145, T::Write, S::Uploading, true, J::Reader},
    ReplyCodeRow{2146, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{2147, T::Write, S::Uploading, true, J::Reader},
    ReplyCodeRow{2148, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{2149, T::Write, S::Uploading, true, J::Reader},
    ReplyCodeRow{2150, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{2152, T::Write, S::Downloading, true, J::WriteResult},
    ReplyCodeRow{2154, T::Write, S::Downloading, true, J::WriteResult},
    // The network scan's requests poll: a silent address is no failure.
    ReplyCodeRow{kScanIdentityReply, T::Poll, S::Uploading, false, J::Reader},
    ReplyCodeRow{kScanTagReply, T::Poll, S::Uploading, false, J::Reader},
    ReplyCodeRow{kScanLongTagReply, T::Poll, S::Uploading, false, J::Reader},
    // The HART 7 device page. Its writes answer with their own result and
    // need no pause: the reply is awaited anyway, and a pause would only
    // hold the window still.
    ReplyCodeRow{3200, T::Read, S::Uploading, false, J::Reader},    // 9
    ReplyCodeRow{3201, T::Read, S::Uploading, false, J::Reader},    // 33
    ReplyCodeRow{3202, T::Read, S::Uploading, false, J::Reader},    // 54
    ReplyCodeRow{3203, T::Read, S::Uploading, false, J::Reader},    // 50
    ReplyCodeRow{3204, T::Write, S::Downloading, false, J::Reader}, // 51
    ReplyCodeRow{3205, T::Read, S::Uploading, false, J::Reader},    // 20
    ReplyCodeRow{3206, T::Write, S::Downloading, false, J::Reader}, // 22
    ReplyCodeRow{3207, T::Read, S::Uploading, false, J::Reader},    // 7
    ReplyCodeRow{3208, T::Write, S::Downloading, false, J::Reader}, // 6
    ReplyCodeRow{3209, T::Read, S::Uploading, false, J::Reader},    // 0
    ReplyCodeRow{3210, T::Write, S::Downloading, false, J::Reader}, // 38
    ReplyCodeRow{3211, T::Write, S::Downloading, false, J::Reader}, // 72
    ReplyCodeRow{3212, T::Write, S::Downloading, false, J::Reader}, // 41
    ReplyCodeRow{3213, T::Write, S::Downloading, false, J::Reader}, // 42
    ReplyCodeRow{3214, T::Read, S::Uploading, false, J::Reader},    // 90
    ReplyCodeRow{3215, T::Write, S::Downloading, false, J::Reader}, // 89
    ReplyCodeRow{3216, T::Read, S::Uploading, false, J::Reader},    // 95
    ReplyCodeRow{kBackgroundReply, T::Read, S::Uploading, false, J::Caller},
};

constexpr bool ascending() {
    for (std::size_t i = 1; i < kReplyCodes.size(); ++i)
        if (kReplyCodes[i - 1].code >= kReplyCodes[i].code) return false;
    return true;
}
static_assert(ascending(), "reply codes are listed once each, in ascending order");

} // namespace

std::span<const ReplyCodeRow> replyCodes() {
    return kReplyCodes;
}

std::optional<ReplyCodeRow> findReplyCode(int code) {
    const auto it = std::lower_bound(kReplyCodes.begin(), kReplyCodes.end(), code,
                                     [](const ReplyCodeRow& r, int c) { return r.code < c; });
    if (it == kReplyCodes.end() || it->code != code) return std::nullopt;
    return *it;
}

} // namespace host
