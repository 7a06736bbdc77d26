// The version banner shown by --version.
#pragma once

#include <stdarg.h>
#include <stdio.h>

// Copyright line format: takes "(C)" and the year; ends without a newline.
// NOLINTNEXTLINE(bugprone-dynamic-static-initializers): a declaration of a constant text
extern const char version_etc_copyright[];

// Writes "COMMAND (PACKAGE) VERSION" (or "PACKAGE VERSION" when
// command_name is null), the copyright line, the licence notice and a
// "Written by" line naming the authors, a null-terminated list of texts.
// An empty list aborts.
void version_etc_va(FILE* stream, const char* command_name, const char* package,
                    const char* version, va_list authors);
