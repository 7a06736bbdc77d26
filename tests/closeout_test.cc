#include "closeout.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "exitfail.h"
#include "fault.h"

namespace
{

// Each case prepares standard output in a child, then ends through exit
// with close_stdout registered, as the command does.
void run_closeout(void (*prepare)(), int exit_status = 0)
{
    std::atexit(close_stdout);
    prepare();
    std::exit(exit_status);
}

// Standard output onto a device that is always full, or into a pipe whose
// reader is gone (SIGPIPE ignored, so that the write fails with EPIPE).
void full_device()
{
    std::freopen("/dev/full", "w", stdout);
}
void broken_pipe()
{
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (pipe(fds) == 0) {
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[1]);
    }
}

// A write fails on a full pipe that does not wait, and more text is left
// pending; the pipe is drained before exit, so the final flush succeeds.
void full_then_drained_pipe()
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    dup2(fds[1], STDOUT_FILENO);
    static char text[1 << 17];
    std::memset(text, 'x', sizeof text - 1);
    std::fputs(text, stdout);
    std::fputs("tail", stdout);
    char sink[4096];
    while (read(fds[0], sink, sizeof sink) > 0) {
    }
    if (!std::ferror(stdout) || __fpending(stdout) == 0)
        std::abort(); // the case is not set up: the row fails
}

// The row a lost-output case runs, set before each child is started.
bool hide_flush_failure;
void (*open_lossy)();
int failure_status;

TEST(CloseStdout, Outcomes)
{
    const auto ok = ::testing::ExitedWithCode(0);
    const auto failed = ::testing::ExitedWithCode(1);

    // Written and closed without trouble: silent, status unchanged.
    EXPECT_EXIT(run_closeout([] {
                    std::freopen("/dev/null", "w", stdout);
                    std::puts("text");
                }),
                ok, "^$");
    EXPECT_EXIT(run_closeout([] { std::freopen("/dev/null", "w", stdout); }, 4),
                ::testing::ExitedWithCode(4), "^$");
    // Closed from the start and never written: silent.
    EXPECT_EXIT(run_closeout([] { close(STDOUT_FILENO); }), ok, "^$");
    // Closed from the start, then written: the close reports EBADF, with
    // the name still pending, ...
    EXPECT_EXIT(run_closeout([] {
                    close(STDOUT_FILENO);
                    std::puts("lost");
                }),
                failed, "^[^\n]*: write error: Bad file descriptor\n$");
    // ... or with the error indicator set and nothing pending.
    EXPECT_EXIT(run_closeout([] {
                    close(STDOUT_FILENO);
                    std::setvbuf(stdout, nullptr, _IONBF, 0);
                    std::fputs("lost", stdout);
                }),
                failed, "^[^\n]*: write error: Bad file descriptor\n$");
    // The final flush fails: the report gives its cause, also where the C
    // library shows that failure only in the error indicator.
    const struct {
        void (*open)();
        const char* err;
    } lossy[] = {
        {full_device, "^[^\n]*: write error: No space left on device\n$"},
        {broken_pipe, "^[^\n]*: write error: Broken pipe\n$"},
    };
    for (bool hide : {false, true})
        for (const auto& row : lossy) {
            hide_flush_failure = hide;
            open_lossy = row.open;
            EXPECT_EXIT(run_closeout([] {
                            fault::stdio.hide_flush_failure = hide_flush_failure;
                            open_lossy();
                            std::puts("lost");
                        }),
                        failed, row.err)
                << "hidden flush failure: " << hide;
        }
    // The report names the flush's cause, not a stale errno (the flush lost
    // the write without setting one) nor the close's after it.
    EXPECT_EXIT(run_closeout([] {
                    fault::stdio.hide_flush_failure = fault::stdio.hide_flush_errno = true;
                    full_device();
                    std::puts("lost");
                    errno = EPERM;
                }),
                failed, "^[^\n]*: write error\n$");
    EXPECT_EXIT(run_closeout([] {
                    fault::stdio.close_errno = EIO;
                    full_device();
                    std::puts("lost");
                }),
                failed, "^[^\n]*: write error: No space left on device\n$");
    // An earlier write failed but the close succeeds: no system text; also
    // when what is left is flushed at exit (a full pipe, drained since).
    EXPECT_EXIT(run_closeout([] {
                    std::freopen("/dev/null", "r", stdout);
                    std::puts("lost");
                }),
                failed, "^[^\n]*: write error\n$");
    EXPECT_EXIT(run_closeout(full_then_drained_pipe), failed, "^[^\n]*: write error\n$");
    // The report ends the process at once: the exit handlers registered
    // before the check, which a second exit would run, do not run, nor do
    // quick_exit's.
    EXPECT_EXIT(
        {
            std::atexit([] { std::fputs("earlier handler\n", stderr); });
            std::at_quick_exit([] { std::fputs("quick handler\n", stderr); });
            run_closeout([] {
                full_device();
                std::puts("lost");
            });
        },
        failed, "^[^\n]*: write error: No space left on device\n$");
    // With exit_failure 0 the report returns, and standard output is left
    // closed all the same: an exit handler that runs after the check finds
    // its descriptor gone.
    EXPECT_EXIT(
        {
            std::atexit([] {
                std::fputs(fcntl(STDOUT_FILENO, F_GETFD) == -1 ? "closed\n" : "open\n", stderr);
            });
            run_closeout([] {
                exit_failure = 0;
                full_device();
                std::puts("lost");
            });
        },
        ok, "write error: No space left on device\nclosed\n$");
    // Output lost: the status is exit_failure's; with exit_failure 0 the
    // report is made and the status passed to exit stands.
    const struct {
        int failure, status, expected;
    } statuses[] = {{0, 0, 0}, {0, 4, 4}, {3, 0, 3}};
    for (const auto& row : statuses) {
        failure_status = row.failure;
        EXPECT_EXIT(run_closeout(
                        [] {
                            exit_failure = failure_status;
                            std::freopen("/dev/full", "w", stdout);
                            std::puts("lost");
                        },
                        row.status),
                    ::testing::ExitedWithCode(row.expected),
                    "^[^\n]*: write error: No space left on device\n$")
            << "exit_failure " << row.failure;
    }
}

} // namespace
