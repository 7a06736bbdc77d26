// Drives the quoted-argument slots with random slot numbers and argument
// lengths.  Every result is checked against a fresh quotearg_buffer
// rendering, and every other live result must still hold what it held.
//
// Input: a sequence of operations of 4 bytes each (slot, kind, style,
// length / 3), each followed by the argument's bytes.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "quote.h"

namespace
{

constexpr int max_slot = 64;

struct live_result {
    const char* text = nullptr;
    std::string want;
};

// Slots live as long as the process, so the model of them does too.
live_result live[max_slot + 1];

std::string expected(const std::string& arg, const quote_options& o)
{
    std::size_t n = quotearg_buffer(nullptr, 0, arg.c_str(), nul_terminated, &o);
    std::string out(n + 1, '\0');
    quotearg_buffer(&out[0], n + 1, arg.c_str(), nul_terminated, &o);
    out.resize(n);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    while (size >= 4) {
        int n = data[0] % (max_slot + 1);
        int kind = data[1] % 4;
        auto style = static_cast<quote_style>(data[2] % 7);
        std::size_t len = std::size_t(data[3]) * 3;
        data += 4;
        size -= 4;

        std::string arg;
        for (std::size_t i = 0; i < len; ++i)
            arg += static_cast<char>(size ? data[i % size] | (data[i % size] ? 0 : 1) : 'a');

        quote_options o = options_for_style(style);
        char* got = nullptr;
        errno = EILSEQ;
        switch (kind) {
        case 0: got = quotearg_n_style(n, style, arg.c_str()); break;
        case 1:
            o = options_for_style(quote_style::locale);
            got = quote_n(n, arg.c_str());
            break;
        case 2:
            n = 0;
            o = options_for_style(quote_style::locale);
            got = quote(arg.c_str());
            break;
        case 3:
            n = 0;
            o = default_quote_options;
            set_char_quoting(&o, ':', 1);
            got = quotearg_colon(arg.c_str());
            break;
        }
        require(errno == EILSEQ, "errno is unchanged");
        std::string want = expected(arg, o);
        require(std::strcmp(got, want.c_str()) == 0, "the result is the rendering");
        live[n] = {got, want};

        for (const live_result& r : live)
            if (r.text)
                require(std::memcmp(r.text, r.want.c_str(), r.want.size() + 1) == 0,
                        "other slots keep their results");

        std::size_t used = len < size ? len : size;
        data += used;
        size -= used;
    }
    return 0;
}
