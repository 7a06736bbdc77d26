/* Stands in for BusyBox in the emulated firmware images: one multi-call
   program whose applet is named by argv[0], or by the first argument when
   it is called as busybox.  Its one applet, hostname, answers --version
   with whose it is, and "-F FILE" sets the host name from the file's
   first line, as the inittab's boot line asks; anything else fails. */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static int from_file(const char *path) {
  char line[256];
  FILE *file = fopen(path, "r");
  if (!file || !fgets(line, sizeof line, file))
    return 1;
  line[strcspn(line, "\n")] = '\0';
  return sethostname(line, strlen(line)) != 0;
}

static int applet(int argc, char **argv) {
  const char *slash = strrchr(argv[0], '/');
  const char *name = slash ? slash + 1 : argv[0];
  if (strcmp(name, "busybox") == 0 && argc > 1)
    return applet(argc - 1, argv + 1);
  if (strcmp(name, "hostname") != 0)
    return 127;
  if (argc == 2 && strcmp(argv[1], "--version") == 0)
    return puts("BusyBox stand-in") < 0;
  if (argc == 3 && strcmp(argv[1], "-F") == 0)
    return from_file(argv[2]);
  return 1;
}

int main(int argc, char **argv) { return applet(argc, argv); }
