#include "long_options.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <getopt.h>

#include "version_etc.h"

namespace
{

constexpr option standard_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

} // namespace

// The authors are a null-terminated C variadic list, as the banner takes them.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void parse_long_options(int argc, char** argv, const char* command_name, const char* package,
                        const char* version, void (*usage_func)(int), ...)
{
    int saved_opterr = opterr;
    opterr = 0;

    if (argc == 2) {
        switch (getopt_long(argc, argv, "+", standard_options, nullptr)) {
        case 'h': usage_func(EXIT_SUCCESS); break;
        case 'v': {
            va_list authors;
            va_start(authors, usage_func);
            version_etc_va(stdout, command_name, package, version, authors);
            va_end(authors);
            exit(EXIT_SUCCESS);
        }
        default: break;
        }
    }

    opterr = saved_opterr;
    optind = 0;
}
