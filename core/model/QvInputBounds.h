// SPDX-License-Identifier: GPL-3.0-or-later
// Bounds on what a file from outside may ask of a reader. Each lies far beyond any
// real case, so no valid file meets one; a file that passes one is refused with the
// reader's error code before anything is made or written for it. Without them a
// small file can hold a reader for minutes or fill the disk.
#pragma once

#include <algorithm>
#include <cstdint>

// ---- Counts in case bodies and schemes ------------------------------------------------

// Tooth positions of the FDI numbering: 32 permanent and 20 deciduous teeth.
inline constexpr std::int32_t kQvFdiPositions = 32 + 20;
// Tooth states (ordinary, "(I)", "(P)", not measured, extracted).
inline constexpr std::int32_t kQvToothStates = 5;
// Teeth of one model: every position once in every state. Two teeth share a number
// only in different states; a real case has one tooth per position and a few such pairs.
inline constexpr std::int32_t kQvMaxTeeth = kQvFdiPositions * kQvToothStates;
// Virtual teeth of one scheme: each stands in for a tooth at a position, so a scheme
// never holds more than the model can hold teeth.
inline constexpr std::int32_t kQvMaxVirtualTeeth = kQvMaxTeeth;
// Step lists of one scheme (treatment and over-correction steps): at one aligner a
// week, 1000 steps are 19 years of treatment.
inline constexpr std::int32_t kQvMaxSchemeSteps = 1000;

// ---- Extraction -----------------------------------------------------------------------

// Entries of a zip archive: a digital model arrives as one file.
inline constexpr std::uint64_t kQvZipMaxEntries = 4096;
// Bytes all entries of a zip archive may write together: a multiple of the archive's
// size that mesh data never reaches (it packs to about half), and a floor above the
// largest real dental model (whole teeth, gums and jaw bones, some 100 MiB).
inline constexpr std::uint64_t kQvZipMaxRatio = 32;
inline constexpr std::uint64_t kQvZipFloorBytes = 256ull << 20;
// Bytes an LZMA package may declare: bracket series unpack to a few MiB.
inline constexpr std::uint64_t kQvUnpackMaxRatio = 64;
inline constexpr std::uint64_t kQvUnpackFloorBytes = 64ull << 20;

// The most bytes an archive or package of `size` bytes may unpack to.
inline constexpr std::uint64_t QvUnpackLimit(std::uint64_t size, std::uint64_t ratio, std::uint64_t floor)
{
    return std::max(floor, size > UINT64_MAX / ratio ? UINT64_MAX : size * ratio);
}
