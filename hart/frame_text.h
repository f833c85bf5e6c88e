#pragma once
// A parsed frame as the traffic log shows it: named fields for the detail
// view and one summary line for the table.

#include "hart/frame_parser.h"
#include "hart/names.h" // hexBytes

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hart {

struct FrameField {
    std::string_view name; // "Type", "Command", ...: fixed texts, safe to keep
    std::string value;
};

struct FrameText {
    std::string summary; // "reply from polling address 0: 0 Read Unique Identifier, success, OK"
    std::vector<FrameField> fields;
};

// "request", "reply" or "burst".
std::string_view frameTypeName(FrameType type);

// Fields in a fixed order; those a frame has nothing for (no status bytes in
// a request, no expansion bytes, fields past a cut) are left out. Checks are
// "OK" or name what is wrong: checksum wrong, the frame cut short.
FrameText describeFrame(const Frame& frame);

// Bytes that form no frame.
FrameText describeUnparsed(std::span<const std::uint8_t> bytes);

} // namespace hart
