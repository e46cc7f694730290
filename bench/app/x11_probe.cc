// Start-up probe for the benchmark and the documentation screenshot, run under an X server.
//   x11_probe <png-or-> <command> [args...]
// Starts the command, waits for the MapNotify of its first top-level window (no polling), and
// prints "map_ms=<ms from fork to map> rss_kib=<resident memory 3 s later>". With a file name it
// also saves the mapped window as a PNG. The command is then ended with SIGTERM.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

void Put32(std::vector<unsigned char>& v, unsigned x) {
  for (int i = 3; i >= 0; --i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
}

void Chunk(std::ofstream& out, const char* type, const std::vector<unsigned char>& data) {
  std::vector<unsigned char> buf;
  Put32(buf, static_cast<unsigned>(data.size()));
  buf.insert(buf.end(), type, type + 4);
  buf.insert(buf.end(), data.begin(), data.end());
  Put32(buf, static_cast<unsigned>(crc32(0, buf.data() + 4, static_cast<uInt>(buf.size() - 4))));
  out.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
}

bool SavePng(Display* d, Window w, const std::string& path) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return false;
  XImage* img = XGetImage(d, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  if (img == nullptr) return false;
  std::vector<unsigned char> raw;
  for (int y = 0; y < a.height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < a.width; ++x) {
      unsigned long p = XGetPixel(img, x, y);
      raw.push_back((p >> 16) & 0xFF);
      raw.push_back((p >> 8) & 0xFF);
      raw.push_back(p & 0xFF);
    }
  }
  XDestroyImage(img);
  uLongf size = compressBound(raw.size());
  std::vector<unsigned char> z(size);
  if (compress2(z.data(), &size, raw.data(), raw.size(), 9) != Z_OK) return false;
  z.resize(size);
  std::ofstream out(path, std::ios::binary);
  out.write("\x89PNG\r\n\x1a\n", 8);
  std::vector<unsigned char> ihdr;
  Put32(ihdr, a.width);
  Put32(ihdr, a.height);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  Chunk(out, "IHDR", ihdr);
  Chunk(out, "IDAT", z);
  Chunk(out, "IEND", {});
  return static_cast<bool>(out);
}

long ResidentKib(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: x11_probe PNG|- COMMAND [ARGS...]\n");
    return 2;
  }
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) {
    std::fprintf(stderr, "x11_probe: no X display\n");
    return 1;
  }
  Window root = DefaultRootWindow(d);
  XSelectInput(d, root, SubstructureNotifyMask);
  XSync(d, False);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  Window mapped = 0;
  while (mapped == 0) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MapNotify && e.xmap.event == root && !e.xmap.override_redirect) {
      mapped = e.xmap.window;
    }
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count();
  // Resident memory once start-up work has settled, as the benchmark defines it.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  long rss = ResidentKib(pid);
  bool shot_ok = true;
  if (std::strcmp(argv[1], "-") != 0) shot_ok = SavePng(d, mapped, argv[1]);
  std::printf("map_ms=%.1f rss_kib=%ld\n", ms, rss);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  XCloseDisplay(d);
  return shot_ok ? 0 : 1;
}
