#include "version_etc.h"

#include <stdlib.h>

namespace
{

constexpr int copyright_year = 2026;

constexpr char licence_notice[] =
    "\n"
    "This program is free software: you may redistribute and modify it under the\n"
    "terms of the MIT License <https://opensource.org/license/mit>.\n"
    "There is no warranty, to the extent permitted by law.\n"
    "\n";

// Indexed by the number of authors less one; ten or more share the last.
constexpr const char* author_formats[] = {
    "Written by %s.\n",
    "Written by %s and %s.\n",
    "Written by %s, %s, and %s.\n",
    "Written by %s, %s, %s,\nand %s.\n",
    "Written by %s, %s, %s,\n%s, and %s.\n",
    "Written by %s, %s, %s,\n%s, %s, and %s.\n",
    "Written by %s, %s, %s,\n%s, %s, %s, and %s.\n",
    "Written by %s, %s, %s,\n%s, %s, %s, %s,\nand %s.\n",
    "Written by %s, %s, %s,\n%s, %s, %s, %s,\n%s, and %s.\n",
    "Written by %s, %s, %s,\n%s, %s, %s, %s,\n%s, %s, and others.\n",
};

constexpr unsigned max_named = 9;

} // namespace

const char version_etc_copyright[] = "Copyright %s %d The Fernwick developers.";

void version_etc_va(FILE* stream, const char* command_name, const char* package,
                    const char* version, va_list authors)
{
    const char* names[max_named] = {};
    unsigned count = 0;
    while (const char* name = va_arg(authors, const char*)) {
        if (count < max_named)
            names[count] = name;
        ++count;
    }

    if (command_name)
        fprintf(stream, "%s (%s) %s\n", command_name, package, version);
    else
        fprintf(stream, "%s %s\n", package, version);
    fprintf(stream, version_etc_copyright, "(C)", copyright_year);
    fputs_unlocked(licence_notice, stream);

    if (count == 0)
        abort();
    // Formats with fewer conversions than names ignore the extra arguments.
    const char* format = author_formats[count <= max_named ? count - 1 : max_named];
    fprintf(stream, format, names[0], names[1], names[2], names[3], names[4], names[5], names[6],
            names[7], names[8]);
}
