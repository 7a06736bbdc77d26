// Drives the quoted-argument slots with random slot numbers and argument
// lengths, each argument at the end of a heap block of its exact size.
// Every result is checked against the reference renderer, and every other
// live result must still hold what it held.
//
// Input: a sequence of operations of 4 bytes each (slot, kind, style,
// length / 3), each followed by the argument's bytes.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "exact_copy.h"
#include "fuzz_check.h"
#include "quote.h"
#include "reference.h"

namespace
{

constexpr int max_slot = 64;

struct live_result {
    const char* text = nullptr;
    std::string want;
};

// Slots live as long as the process, so the model of them does too.
live_result live[max_slot + 1];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    while (size >= 4) {
        int n = data[0] % (max_slot + 1);
        int kind = data[1] % 4;
        std::uint32_t style_value = data[2] % 7;
        auto style = static_cast<quote_style>(style_value);
        std::size_t len = std::size_t(data[3]) * 3;
        data += 4;
        size -= 4;

        std::string arg;
        for (std::size_t i = 0; i < len; ++i)
            arg += static_cast<char>(size ? data[i % size] | (data[i % size] ? 0 : 1) : 'a');

        std::unique_ptr<char[]> copy = exact_copy(arg, true);
        // What the call must render: its style and extra-escape set.
        std::uint32_t want_style = style_value;
        std::uint32_t set[8] = {};
        char* got = nullptr;
        errno = EILSEQ;
        switch (kind) {
        case 0: got = quotearg_n_style(n, style, copy.get()); break;
        case 1:
            want_style = 5;
            got = quote_n(n, copy.get());
            break;
        case 2:
            n = 0;
            want_style = 5;
            got = quote(copy.get());
            break;
        case 3:
            n = 0;
            want_style = static_cast<std::uint32_t>(default_quote_options.style);
            std::memcpy(set, default_quote_options.extra, sizeof set);
            set[':' / 32] |= 1u << (':' % 32);
            got = quotearg_colon(copy.get());
            break;
        }
        require(errno == EILSEQ, "errno is unchanged");
        std::string want = reference::render(arg, want_style, set);
        require(std::strcmp(got, want.c_str()) == 0, "the result is the reference's rendering");
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
