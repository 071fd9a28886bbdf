// Code page conversions through iconv.
#include "platform/os/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace qx::os {

namespace {

class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts; at input that cannot be converted `bad` appends a stand-in to the output and
    // says how many input bytes to skip.
    template <typename Bad>
    std::string run(std::string_view in, Bad bad) {
        std::string out;
        char buf[4096];
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        while (left > 0) {
            char* dst = buf;
            std::size_t room = sizeof buf;
            std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                // EILSEQ, or EINVAL for a sequence cut off at the end.
                std::size_t skip = std::min(left, bad(out, static_cast<unsigned char>(*src)));
                src += skip;
                left -= skip;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buf;
        std::size_t room = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

std::string toUtf8(std::string_view bytes, const char* charset) {
    Converter c("UTF-8", charset);
    if (!c.ok()) {
        std::string out;
        for (char ch : bytes) {
            auto b = static_cast<unsigned char>(ch);
            if (b < 0x80) {
                out += ch;
            } else {
                out += static_cast<char>(0xC0 | (b >> 6));
                out += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
        return out;
    }
    return c.run(bytes, [](std::string& out, unsigned char) -> std::size_t {
        out += "\xEF\xBF\xBD";
        return 1;
    });
}

std::string fromUtf8(std::string_view utf8, const char* charset, bool* lossless) {
    if (lossless) *lossless = true;
    Converter c(charset, "UTF-8");
    if (!c.ok()) return std::string(utf8);
    bool clean = true;
    // Skip the rest of a multi-byte character after its first byte was refused.
    std::string out = c.run(utf8, [&](std::string& o, unsigned char lead) -> std::size_t {
        clean = false;
        o += '?';
        return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    });
    if (lossless) *lossless = clean;
    return out;
}

}  // namespace qx::os
