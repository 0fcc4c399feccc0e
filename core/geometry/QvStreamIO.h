// SPDX-License-Identifier: GPL-3.0-or-later
// Little-endian field-by-field reading and writing for every binary form of the core.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>
#include <string>

static_assert(std::endian::native == std::endian::little,
              "the stored forms are little-endian and read by copying bytes");

namespace qvio {

template <typename T>
inline void WriteRaw(std::ostream& os, T value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    os.write(bytes, sizeof(T));
}

// Reads one field; the target is left alone when the stream runs short.
template <typename T>
[[nodiscard]] inline bool ReadRaw(std::istream& is, T& value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    char bytes[sizeof(T)];
    if (!is.read(bytes, sizeof(T)))
        return false;
    std::memcpy(&value, bytes, sizeof(T));
    return true;
}

inline void WriteF64(std::ostream& os, double v) { WriteRaw(os, v); }
inline void WriteF32(std::ostream& os, float v) { WriteRaw(os, v); }
inline void WriteI32(std::ostream& os, std::int32_t v) { WriteRaw(os, v); }
inline void WriteU32(std::ostream& os, std::uint32_t v) { WriteRaw(os, v); }
inline void WriteI16(std::ostream& os, std::int16_t v) { WriteRaw(os, v); }
inline void WriteU16(std::ostream& os, std::uint16_t v) { WriteRaw(os, v); }
inline void WriteU8(std::ostream& os, std::uint8_t v) { WriteRaw(os, v); }

[[nodiscard]] inline bool ReadF64(std::istream& is, double& v) { return ReadRaw(is, v); }
[[nodiscard]] inline bool ReadF32(std::istream& is, float& v) { return ReadRaw(is, v); }
[[nodiscard]] inline bool ReadI32(std::istream& is, std::int32_t& v) { return ReadRaw(is, v); }
[[nodiscard]] inline bool ReadU32(std::istream& is, std::uint32_t& v) { return ReadRaw(is, v); }
[[nodiscard]] inline bool ReadI16(std::istream& is, std::int16_t& v) { return ReadRaw(is, v); }
[[nodiscard]] inline bool ReadU16(std::istream& is, std::uint16_t& v) { return ReadRaw(is, v); }
[[nodiscard]] inline bool ReadU8(std::istream& is, std::uint8_t& v) { return ReadRaw(is, v); }

// Bytes between the read position and the end, or the largest value when the
// stream cannot tell (not seekable). The position is restored.
inline std::uint64_t BytesLeft(std::istream& is)
{
    if (!is)
        return 0;
    const std::istream::pos_type here = is.tellg();
    if (here == std::istream::pos_type(-1))
        return std::numeric_limits<std::uint64_t>::max();
    is.seekg(0, std::ios::end);
    const std::istream::pos_type end = is.tellg();
    is.seekg(here);
    if (end == std::istream::pos_type(-1) || !is)
        return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(end - here);
}

// True when count records of recordSize bytes can still follow: the check every
// reader makes before it allocates for a stored count.
[[nodiscard]] inline bool CountFits(std::istream& is, std::int64_t count, std::uint64_t recordSize)
{
    if (count < 0)
        return false;
    if (recordSize == 0 || count == 0)
        return true;
    const std::uint64_t left = BytesLeft(is);
    return static_cast<std::uint64_t>(count) <= left / recordSize;
}

// int32 length, then the bytes (no terminator).
inline void WriteString(std::ostream& os, const std::string& s)
{
    WriteI32(os, static_cast<std::int32_t>(s.size()));
    os.write(s.data(), static_cast<std::streamsize>(s.size()));
}

[[nodiscard]] inline bool ReadString(std::istream& is, std::string& s)
{
    std::int32_t n = 0;
    if (!ReadI32(is, n) || !CountFits(is, n, 1))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::string tmp(static_cast<std::size_t>(n), '\0');
    if (n > 0 && !is.read(tmp.data(), n))
        return false;
    s = std::move(tmp);
    return true;
}

} // namespace qvio
