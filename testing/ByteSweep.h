// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a reader over every truncation of a valid byte buffer and over seeded byte
// flips, so that each reader shows it fails cleanly (and never crashes) on damage.
#pragma once

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>

namespace qvtest {

// A reader under test: reads from the stream, answers whether it accepted the bytes.
using StreamReader = std::function<bool(std::istream&)>;

struct SweepReport
{
    int truncationsRun = 0;
    int truncationsAccepted = 0; // should stay 0: a shortened record is not a record
    std::size_t firstAcceptedLength = 0;
    int flipsRun = 0;
    int flipsAccepted = 0; // allowed: a flipped value byte can still be valid data
};

// Every proper prefix of bytes (length 0 .. size - 1), each in a fresh stream.
SweepReport SweepTruncations(const std::string& bytes, const StreamReader& reader);

// `rounds` copies of bytes, each with 1 to 4 bytes replaced by random values.
SweepReport SweepByteFlips(const std::string& bytes, const StreamReader& reader, int rounds,
                           std::uint64_t seed);

// Both sweeps, with gtest expectations: the full buffer is accepted, no truncation is.
// Runs under ASan in CI, where an overread or a wild allocation fails the test.
void ExpectReaderSurvivesDamage(const std::string& bytes, const StreamReader& reader, int flipRounds = 500,
                                std::uint64_t seed = 1);

// Serialises with a writer into a string.
std::string BytesOf(const std::function<void(std::ostream&)>& writer);

} // namespace qvtest
