// Drives quotearg_buffer with any style (valid or not), an extra-escape set,
// an explicit or NUL-terminated argument, and a heap buffer of exactly the
// chosen size, and checks the engine's promises.
//
// Input: style, flags (bit 0: explicit length), buffer size (2 bytes),
// count of extra-escape bytes (0 to 7), those bytes, then the argument.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "quotearg.h"

namespace
{

std::string render(const std::string& arg, std::size_t arg_len, const quote_options& o)
{
    errno = EDOM;
    std::size_t n = quotearg_buffer(nullptr, 0, arg.c_str(), arg_len, &o);
    require(errno == EDOM, "errno is unchanged");
    std::string out(n + 1, '\xa5');
    require(quotearg_buffer(&out[0], n + 1, arg.c_str(), arg_len, &o) == n,
            "the length does not depend on the buffer size");
    require(out[n] == '\0', "a NUL follows a rendering that fits");
    out.resize(n);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    quote_options o{};
    std::uint32_t style = data[0] < 128 ? data[0] : 0xffffff00u | data[0];
    o.style = static_cast<quote_style>(style);
    bool explicit_length = data[1] & 1;
    std::size_t buf_size = data[2] | (std::size_t(data[3]) << 8);
    std::size_t extras = data[4] % 8;
    data += 5;
    size -= 5;
    if (size < extras)
        return 0;
    for (std::size_t i = 0; i < extras; ++i)
        set_char_quoting(&o, static_cast<char>(data[i]), 1);
    data += extras;
    size -= extras;

    // A NUL-terminated argument ends at its first NUL.
    std::string arg(reinterpret_cast<const char*>(data), size);
    if (!explicit_length)
        arg.resize(std::strlen(arg.c_str()));
    std::size_t arg_len = explicit_length ? arg.size() : nul_terminated;

    std::string full = render(arg, arg_len, o);

    char* buf = buf_size ? static_cast<char*>(std::malloc(buf_size)) : nullptr;
    if (buf)
        std::memset(buf, 0xa5, buf_size);
    errno = ERANGE;
    std::size_t n = quotearg_buffer(buf, buf_size, arg.c_str(), arg_len, &o);
    require(errno == ERANGE, "errno is unchanged");
    require(n == full.size(), "the length does not depend on the buffer size");
    std::size_t stored = n < buf_size ? n : buf_size;
    require(std::memcmp(buf ? buf : "", full.data(), stored) == 0,
            "a small buffer holds a prefix of the rendering");
    if (n < buf_size)
        require(buf[n] == '\0', "a NUL follows a rendering that fits");
    std::free(buf);

    switch (style) {
    case 1: {
        quote_options always = o;
        always.style = quote_style::shell_always;
        require(full == arg || full == render(arg, arg_len, always),
                "shell style is the bare argument or the shell-always rendering");
        break;
    }
    case 2: break;
    case 3:
    case 4:
    case 5:
    case 6:
        for (unsigned char c : full)
            require(c >= 0x20 && c != 0x7f, "escaping styles show no control bytes");
        break;
    default: require(full == arg, "literal style reproduces the argument"); break;
    }
    return 0;
}
