// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/QvText.h"

#include <cerrno>
#include <iconv.h>

namespace {

// One descriptor per call: an iconv descriptor carries shift state and must not be
// shared between threads.
class Converter
{
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Run(std::string_view in, std::string& out)
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            return false;
        std::string result;
        // A starting size only: the buffer grows whenever iconv runs out of room.
        result.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        std::size_t used = 0;
        while (srcLeft > 0)
        {
            char* dst = result.data() + used;
            std::size_t dstLeft = result.size() - used;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            used = result.size() - dstLeft;
            if (rc == static_cast<std::size_t>(-1))
            {
                if (errno != E2BIG)
                    return false; // EILSEQ: invalid bytes; EINVAL: a sequence cut off at the end
                result.resize(result.size() * 2);
            }
        }
        result.resize(used);
        out = std::move(result);
        return true;
    }

private:
    iconv_t m_cd;
};

} // namespace

bool Gb18030FromUtf8(std::string_view utf8, std::string& out)
{
    Converter converter("GB18030", "UTF-8");
    return converter.Run(utf8, out);
}

bool Utf8FromGb18030(std::string_view gb18030, std::string& out)
{
    Converter converter("UTF-8", "GB18030");
    return converter.Run(gb18030, out);
}

std::string Gb18030FromUtf8(std::string_view utf8)
{
    std::string out;
    return Gb18030FromUtf8(utf8, out) ? out : std::string();
}

std::string Utf8FromGb18030(std::string_view gb18030)
{
    std::string out;
    return Utf8FromGb18030(gb18030, out) ? out : std::string();
}
