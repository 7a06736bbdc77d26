// Drives quotearg_buffer with any style (valid or not), an extra-escape set,
// an explicit or NUL-terminated argument at the very end of a heap block of
// its exact size (so that any read past it is caught), and a heap buffer of
// exactly the chosen size.  Every style's complete rendering must be the
// reference renderer's, and the engine must keep its promises.
//
// Input: style, flags (bit 0: explicit length), buffer size (2 bytes),
// count of extra-escape bytes (0 to 7), those bytes, then the argument.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "exact_copy.h"
#include "fuzz_check.h"
#include "quotearg.h"
#include "reference.h"

namespace
{

std::string render(const char* arg, std::size_t arg_len, const quote_options& o)
{
    errno = EDOM;
    std::size_t n = quotearg_buffer(nullptr, 0, arg, arg_len, &o);
    require(errno == EDOM, "errno is unchanged");
    std::unique_ptr<char[]> out(new char[n + 1]);
    std::memset(out.get(), 0xa5, n + 1);
    require(quotearg_buffer(out.get(), n + 1, arg, arg_len, &o) == n,
            "the length does not depend on the buffer size");
    require(out[n] == '\0', "a NUL follows a rendering that fits");
    return std::string(out.get(), n);
}

// Into a heap buffer of exactly buf_size bytes: a prefix of the full
// rendering, the full length returned, and a NUL only when it fits.
void check_small_buffer(const char* arg, std::size_t arg_len, const quote_options& o,
                        const std::string& full, std::size_t buf_size)
{
    std::unique_ptr<char[]> buf(buf_size ? new char[buf_size] : nullptr);
    if (buf)
        std::memset(buf.get(), 0xa5, buf_size);
    errno = ERANGE;
    std::size_t n = quotearg_buffer(buf.get(), buf_size, arg, arg_len, &o);
    require(errno == ERANGE, "errno is unchanged");
    require(n == full.size(), "the length does not depend on the buffer size");
    std::size_t stored = n < buf_size ? n : buf_size;
    require(std::memcmp(buf ? buf.get() : "", full.data(), stored) == 0,
            "a small buffer holds a prefix of the rendering");
    if (n < buf_size)
        require(buf[n] == '\0', "a NUL follows a rendering that fits");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    quote_options o{};
    std::uint32_t style = data[0] < 128 ? data[0] : 0xffffff00u | data[0];
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
    std::unique_ptr<char[]> copy = exact_copy(arg, !explicit_length);
    std::size_t arg_len = explicit_length ? arg.size() : nul_terminated;

    for (std::uint32_t s : {0u, 1u, 2u, 3u, 4u, 5u, 6u, style}) {
        o.style = static_cast<quote_style>(s);
        std::string full = render(copy.get(), arg_len, o);
        require(full == reference::render(arg, s, o.extra), "the rendering is the reference's");
        if (s == style)
            check_small_buffer(copy.get(), arg_len, o, full, buf_size);
    }
    return 0;
}
