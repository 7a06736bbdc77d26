// hostname: print or set the name of the current host.
#include <errno.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <getopt.h>
#include <unistd.h>

#include "closeout.h"
#include "long_options.h"
#include "platform_error.h"
#include "quote.h"
#include "xgethostname.h"

namespace
{

constexpr char command_name[] = "hostname";
constexpr char package_name[] = "Fernwick";
constexpr char package_version[] = FERNWICK_VERSION;
constexpr char bug_address[] = "fernwick-bugs@example.org";
constexpr char author[] = "the Fernwick project";

// No options of the command's own: --foo is reported as an unrecognized
// option, not taken apart as short options.
constexpr option no_options[] = {{nullptr, 0, nullptr, 0}};

const char* program_name;

[[noreturn]] void usage(int status)
{
    if (status != EXIT_SUCCESS) {
        fprintf(stderr, "Try `%s --help' for more information.\n", program_name);
    } else {
        fprintf(stdout,
                "Usage: %s [NAME]\n  or:  %s OPTION\n"
                "Print or set the hostname of the current system.\n\n",
                program_name, program_name);
        fputs_unlocked("      --help     display this help and exit\n", stdout);
        fputs_unlocked("      --version  output version information and exit\n", stdout);
        fprintf(stdout, "\nReport bugs to <%s>.\n", bug_address);
    }
    exit(status);
}

} // namespace

// The name as read: owned by main and never freed, since the process ends
// right after printing it.  Its external linkage is load-bearing: private
// to this file, the optimiser would drop the variable, nothing would hold
// the block when the process ends, and the leak checker would report it
// lost.
char* host_name;

int main(int argc, char** argv)
{
    program_name = argv[0];
    setlocale(LC_ALL, "");
    atexit(close_stdout);

    parse_long_options(argc, argv, command_name, package_name, package_version, usage, author,
                       static_cast<const char*>(nullptr));
    if (getopt_long(argc, argv, "", no_options, nullptr) != -1)
        usage(EXIT_FAILURE);

    if (argc == optind + 1) {
        const char* name = argv[optind];
        if (sethostname(name, strlen(name)) != 0) {
            int e = errno;
            error(EXIT_FAILURE, e, "cannot set name to %s", quote(name));
        }
    }

    if (optind >= argc) {
        host_name = xgethostname();
        if (!host_name)
            error(EXIT_FAILURE, errno, "cannot determine hostname");
        puts(host_name);
    }

    if (optind + 1 < argc) {
        error(0, 0, "extra operand %s", quote(argv[optind + 1]));
        usage(EXIT_FAILURE);
    }

    exit(EXIT_SUCCESS);
}
