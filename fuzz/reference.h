// A plain renderer written straight from the quoting rules, a byte at a
// time, with no run copying, class table or other shortcut: the oracle the
// fuzz targets hold the engine to.  It shares nothing with the engine but
// isprint.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace reference
{

// Whether c is one of the bytes of list (the NUL never is).
inline bool one_of(const char* list, unsigned char c)
{
    return c != 0 && std::strchr(list, c) != nullptr;
}

// The rendering of the bytes of arg in style (0 to 6, any other value is
// literal) with the extra-escape set of 8 words.
inline std::string render(const std::string& arg, std::uint32_t style, const std::uint32_t* set)
{
    if (style > 6)
        style = 0;
    const bool shell = style == 1;
    const bool escapes = style >= 3;
    const char open = "\0\0'\"\0`\""[style];
    const char close = "\0\0'\"\0'\""[style];
    const char* const letter_bytes = "\a\b\t\n\v\f\r\\";
    const char* const letters = "abtnvfr\\";
    const char* const plain = " !\"$&()*;<=>[^`|#~{}'?%+,-./:]_0123456789"
                              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

    std::string out;
    auto store = [&](unsigned char b) { out += static_cast<char>(b); };
    auto ordinary = [&](unsigned char b) {
        if (escapes && ((set[b / 32] >> (b % 32)) & 1))
            store('\\');
        store(b);
    };

    if (open)
        store(open);
    for (std::size_t i = 0; i < arg.size(); ++i) {
        const unsigned char c = arg[i];
        if (shell && (one_of("\t\n\r\\ !\"$&()*;<=>[^`|'?", c) || (one_of("#~", c) && i == 0) ||
                      (one_of("{}", c) && arg.size() == 1)))
            return render(arg, 2, set);
        if (escapes && close && c == static_cast<unsigned char>(close))
            store('\\');

        if (!escapes) {
            if (c == '\'' && style == 2) {
                store('\'');
                store('\\');
                store('\'');
            }
            store(c);
        } else if (c == 0) {
            store('\\');
            store('0');
            store('0');
            ordinary('0');
        } else if (one_of(letter_bytes, c)) {
            store('\\');
            store(letters[std::strchr(letter_bytes, c) - letter_bytes]);
        } else if (c == '?' && style == 3 && i + 2 < arg.size() && arg[i + 1] == '?' &&
                   one_of("!'()-/<=>", arg[i + 2])) {
            store('?');
            store('\\');
            store('?');
            i += 2;
            ordinary(arg[i]);
        } else if (one_of(plain, c) || std::isprint(c)) {
            ordinary(c);
        } else {
            store('\\');
            store('0' + (c >> 6));
            store('0' + ((c >> 3) & 7));
            store('0' + (c & 7));
        }
    }
    if (shell && arg.empty())
        return render(arg, 2, set);
    if (close)
        store(close);
    return out;
}

} // namespace reference
