// Process-wide exit status for the support library's fatal reports.
#pragma once

// Status used by "write error" and "memory exhausted".  Starts at 1 and is
// read at the moment of each report, so a program may change it before then.
// NOLINTNEXTLINE(bugprone-dynamic-static-initializers): a declaration; initialized constantly
extern int exit_failure;
