// libFuzzer: splitting line bytes into HART frames for the traffic log.
//
// Oracles: the segments cover the input exactly, in order, without gaps or
// overlap, and two stretches of unparsed bytes never stand side by side. A
// frame segment starts with its preambles and its delimiter; a frame that is
// not cut is exactly as long as its byte count says and ends with the
// checksum it reports; a cut frame runs to the end of the input; the
// computed checksum is the XOR of the segment from the delimiter through
// the last data byte; a frame parsed alone parses the same; and no preamble
// before a known delimiter is left among the unparsed bytes.

#include "hart/frame_parser.h"
#include "tests/fuzz/check.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using fuzz::check;

namespace {

bool knownType(std::uint8_t delimiter) {
    const int type = delimiter & 0x07;
    return type == 1 || type == 2 || type == 6; // burst, request, reply
}

bool sameFrame(const hart::Frame& a, const hart::Frame& b) {
    return a.preambles == b.preambles && a.delimiter == b.delimiter && a.type == b.type &&
           a.addressBytes == b.addressBytes && a.expansion == b.expansion &&
           a.command == b.command && a.byteCount == b.byteCount && a.data == b.data &&
           a.responseCode == b.responseCode && a.expandedCommand == b.expandedCommand &&
           a.checksumReceived == b.checksumReceived && a.checksumComputed == b.checksumComputed &&
           a.truncated == b.truncated;
}

void checkFrame(std::span<const std::uint8_t> seg, const hart::Frame& f, bool atEnd) {
    check(f.preambles >= 1 && f.preambles < seg.size(), "a frame has preambles and a delimiter");
    for (std::size_t i = 0; i < f.preambles; ++i)
        check(seg[i] == 0xFF, "a frame starts with its preambles");
    check(seg[f.preambles] == f.delimiter, "the delimiter follows the preambles");
    check(static_cast<std::uint8_t>(f.type) == (f.delimiter & 0x07), "the type is bits 2-0");

    const std::size_t addressSize = (f.delimiter & 0x80) ? 5 : 1;
    const std::size_t expansionSize = (f.delimiter >> 5) & 0x03;
    const std::size_t header = f.preambles + 1 + addressSize + expansionSize + 2;
    if (!f.truncated) {
        check(f.byteCount && f.checksumReceived, "a whole frame has its count and checksum");
        check(seg.size() == header + *f.byteCount + 1,
              "a whole frame is as long as its count says");
        check(seg.back() == *f.checksumReceived, "the checksum is the frame's last byte");
        check(f.data.size() == *f.byteCount, "a whole frame has all its data bytes");
    } else {
        check(atEnd, "only the input's end cuts a frame");
        check(!f.checksumReceived, "a cut frame has no checksum");
    }
    const std::size_t summed = seg.size() - (f.checksumReceived ? 1 : 0);
    std::uint8_t x = 0;
    for (std::size_t i = f.preambles; i < summed; ++i)
        x ^= seg[i];
    check(x == f.checksumComputed, "the computed checksum covers delimiter through data");
    check(f.checksumWrong() == (f.checksumReceived && *f.checksumReceived != x),
          "a checksum is wrong exactly when it differs");

    const auto alone = hart::parseFrames(seg);
    check(alone.size() == 1 && alone[0].frame && sameFrame(*alone[0].frame, f),
          "a frame parsed alone parses the same");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> in(data, size);
    const auto segments = hart::parseFrames(in);
    std::size_t at = 0;
    bool previousUnparsed = false;
    for (const hart::FrameSegment& s : segments) {
        check(s.offset == at && s.length > 0 && s.offset + s.length <= size,
              "segments cover the input in order, without gaps or overlap");
        at += s.length;
        if (s.frame) {
            checkFrame(in.subspan(s.offset, s.length), *s.frame, at == size);
        } else {
            check(!previousUnparsed, "neighbouring unparsed bytes form one segment");
            // No frame start is passed over: a preamble before a known delimiter.
            for (std::size_t i = s.offset; i < at && i + 1 < size; ++i)
                check(in[i] != 0xFF || !knownType(in[i + 1]), "every frame start is a frame");
        }
        previousUnparsed = !s.frame;
    }
    check(at == size, "the segments reach the input's end");
    return 0;
}
