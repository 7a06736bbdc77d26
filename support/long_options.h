// The standard --help and --version options.
#pragma once

// When the command line is exactly one --help or --version (or an
// unambiguous abbreviation), ends the process: with usage_func(0) for help,
// with the version banner on standard output and status 0 for version.  The
// arguments after usage_func are author names ended by a null pointer.
// Otherwise returns, having printed nothing, with opterr as it was and
// optind 0 so that the caller's own option pass starts afresh.
void parse_long_options(int argc, char** argv, const char* command_name, const char* package,
                        const char* version, void (*usage_func)(int), ...);
