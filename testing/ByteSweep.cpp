// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/ByteSweep.h"

#include <gtest/gtest.h>

#include "testing/PointSets.h"

namespace qvtest {

namespace {

bool RunOn(const std::string& bytes, const StreamReader& reader)
{
    std::istringstream is(bytes, std::ios::binary);
    return reader(is);
}

} // namespace

SweepReport SweepTruncations(const std::string& bytes, const StreamReader& reader)
{
    SweepReport r;
    for (std::size_t len = 0; len < bytes.size(); ++len)
    {
        ++r.truncationsRun;
        if (RunOn(bytes.substr(0, len), reader))
        {
            if (r.truncationsAccepted == 0)
                r.firstAcceptedLength = len;
            ++r.truncationsAccepted;
        }
    }
    return r;
}

SweepReport SweepByteFlips(const std::string& bytes, const StreamReader& reader, int rounds, std::uint64_t seed)
{
    SweepReport r;
    if (bytes.empty())
        return r;
    Rng rng(seed);
    for (int i = 0; i < rounds; ++i)
    {
        std::string damaged = bytes;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f)
            damaged[rng() % damaged.size()] = static_cast<char>(rng() & 0xff);
        ++r.flipsRun;
        if (RunOn(damaged, reader))
            ++r.flipsAccepted;
    }
    return r;
}

void ExpectReaderSurvivesDamage(const std::string& bytes, const StreamReader& reader, int flipRounds,
                                std::uint64_t seed)
{
    EXPECT_TRUE(RunOn(bytes, reader)) << "the undamaged buffer must be accepted";
    const SweepReport t = SweepTruncations(bytes, reader);
    EXPECT_EQ(t.truncationsAccepted, 0) << "a truncation to " << t.firstAcceptedLength << " of " << bytes.size()
                                        << " bytes was accepted";
    SweepByteFlips(bytes, reader, flipRounds, seed);
}

std::string BytesOf(const std::function<void(std::ostream&)>& writer)
{
    std::ostringstream os(std::ios::binary);
    writer(os);
    return os.str();
}

} // namespace qvtest
