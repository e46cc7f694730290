#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/desktop/command_line.h"
#include "app/window_set.h"

int main(int argc, char** argv) {
  namespace desktop = vorel::desktop;
  std::error_code ec;
  std::string cwd = std::filesystem::current_path(ec).string();
  desktop::CommandLine cl = desktop::ParseCommandLine(argc, argv, ec ? "/" : cwd);
  if (!cl.bad_option.empty()) {
    std::fprintf(stderr, "vorel: unknown option %s (see vorel --help)\n", cl.bad_option.c_str());
    return 2;
  }
  if (cl.show_help) {
    std::fputs(desktop::HelpText().c_str(), stdout);
    return 0;
  }
  if (cl.show_version) {
    std::printf("Vorel %s\n", VOREL_VERSION);
    return 0;
  }
  for (const std::string& line : cl.problems) std::fprintf(stderr, "%s\n", line.c_str());
  if (!desktop::DisplayAvailable()) {
    std::fputs(desktop::NoDisplayMessage(), stderr);
    return 1;
  }
  vorel::app::RunProgram(argc, argv, cl.items, cl.item_arguments);
}
