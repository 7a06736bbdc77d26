// error(), the C library's or ours, as the support library relies on it:
// standard output flushed first, then on standard error the program name,
// the message and the system's text, and an exit with a nonzero status
// through exit, which runs the exit handlers.
// Built with the C headers only, so that it runs on every C library.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sys/wait.h>
#include <unistd.h>

#include "platform_error.h"

// Registered in the child: error()'s exit must run the exit handlers.
static void say_handler(void)
{
    fputs("handler\n", stderr);
}

int main(int argc, char** argv)
{
    (void)argc;
    int fds[2];
    if (pipe(fds) != 0)
        return 2;
    pid_t child = fork();
    if (child == 0) {
        // Both streams into one pipe, so the order of what they wrote shows.
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        atexit(say_handler);
        fputs("out ", stdout);
        error(0, EINVAL, "%s %d", "message", 7);
        fputs("after\n", stdout);
        error(3, 0, "end");
        _exit(4); // error(3, ...) must not return
    }
    close(fds[1]);
    char got[512] = {};
    size_t n = 0;
    ssize_t r;
    while (n < sizeof got - 1 && (r = read(fds[0], got + n, sizeof got - 1 - n)) > 0)
        n += static_cast<size_t>(r);
    int status = 0;
    waitpid(child, &status, 0);

    char want[512];
    snprintf(want, sizeof want, "out %s: message 7: %s\nafter\n%s: end\nhandler\n", argv[0],
             strerror(EINVAL), argv[0]);
    int failed = 0;
    if (strcmp(got, want) != 0) {
        printf("FAIL output\n  want %s\n  got  %s\n", want, got);
        ++failed;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 3) {
        printf("FAIL exit status %d, want 3\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        ++failed;
    }
    printf("%d passed, %d failed\n", 2 - failed, failed);
    return failed != 0;
}
