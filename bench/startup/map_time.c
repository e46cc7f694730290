/* Starts a program and reports how long it took until its first top-level window was mapped
 * (the MapNotify on the root window, so no polling), then its memory a while later: resident,
 * proportional (each shared page divided among the processes mapping it) and private dirty (the
 * pages only this process holds and that exist nowhere else: its heap, stacks and written data,
 * anonymous memory included).
 *
 *   map_time SETTLE_MS PROGRAM [ARGS...]
 *   -> "map_ms=41.7 rss_kib=35120 pss_kib=12100 private_kib=6200"
 *
 * Needs an X server (DISPLAY). The program is killed after the measurement. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double NowMs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

/* A field of /proc/PID/smaps_rollup in KiB, -1 when missing. Descendants are not counted: the
 * players measured are single processes. */
static long RollupKib(pid_t pid, const char* field) {
  char path[64], line[256];
  snprintf(path, sizeof path, "/proc/%d/smaps_rollup", (int)pid);
  FILE* f = fopen(path, "r");
  if (!f) return -1;
  long kib = -1;
  size_t n = strlen(field);
  while (fgets(line, sizeof line, f)) {
    if (strncmp(line, field, n) == 0 && line[n] == ':') kib = strtol(line + n + 1, NULL, 10);
  }
  fclose(f);
  return kib;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: map_time SETTLE_MS PROGRAM [ARGS...]\n");
    return 2;
  }
  int settle_ms = atoi(argv[1]);
  Display* dpy = XOpenDisplay(NULL);
  if (!dpy) {
    fprintf(stderr, "map_time: no X display\n");
    return 2;
  }
  Window root = DefaultRootWindow(dpy);
  XSelectInput(dpy, root, SubstructureNotifyMask);
  XSync(dpy, False);

  double start = NowMs();
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  double mapped = -1;
  while (mapped < 0) {
    XEvent ev;
    XNextEvent(dpy, &ev);
    if (ev.type == MapNotify && ev.xmap.event == root && !ev.xmap.override_redirect) {
      mapped = NowMs() - start;
    }
  }
  usleep((useconds_t)settle_ms * 1000);
  long rss = RollupKib(pid, "Rss");
  long pss = RollupKib(pid, "Pss");
  long priv = RollupKib(pid, "Private_Dirty");
  kill(pid, SIGKILL);
  waitpid(pid, NULL, 0);
  printf("map_ms=%.1f rss_kib=%ld pss_kib=%ld private_kib=%ld\n", mapped, rss, pss, priv);
  return 0;
}
