#pragma once
// Every shorter cut of a reply, each in its own heap block of exactly its
// size, so that a decoder reading one byte too far trips the address
// sanitizer instead of reading the rest of the original reply.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <span>
#include <vector>

namespace hart_test {

// Runs `decode` on every cut of `reply` from 0 bytes up to one byte short
// and checks that it gives a result exactly for the lengths in
// `layoutLengths` (the shorter forms the protocol also knows) and nothing
// for any other cut.
template <typename Decode>
void expectCutsFail(const std::vector<std::uint8_t>& reply, Decode decode,
                    const std::set<std::size_t>& layoutLengths = {}) {
    for (std::size_t cut = 0; cut < reply.size(); ++cut) {
        const std::vector<std::uint8_t> part(reply.begin(),
                                             reply.begin() + static_cast<std::ptrdiff_t>(cut));
        const bool decoded = decode(std::span<const std::uint8_t>(part)).has_value();
        EXPECT_EQ(decoded, layoutLengths.count(cut) == 1) << "cut to " << cut << " bytes";
    }
}

} // namespace hart_test
