#include "platform/http/internal/header_block.h"

#include <cctype>

namespace vorel::platform::http::internal {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

void HeaderBlock::AddLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) {
    if (open_) complete_ = true;
    open_ = false;
    return;
  }
  if (!open_) {
    if (line.substr(0, 5) != "HTTP/") return;
    lines_.clear();
    open_ = true;
    complete_ = false;
  }
  lines_.append(line);
  lines_ += "\r\n";
}

void ForEachHeader(std::string_view block,
                   const std::function<void(std::string_view, std::string_view)>& visit) {
  size_t pos = block.find("\r\n");  // the status line is no header
  while (pos != std::string_view::npos && pos + 2 < block.size()) {
    size_t start = pos + 2;
    size_t end = block.find("\r\n", start);
    std::string_view line =
        block.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      visit(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    pos = end;
  }
}

std::optional<std::string> HeaderValue(std::string_view block, std::string_view name) {
  std::optional<std::string> found;
  ForEachHeader(block, [&](std::string_view n, std::string_view v) {
    if (!found && EqualsIgnoringCase(n, name)) found = std::string(v);
  });
  return found;
}

}  // namespace vorel::platform::http::internal
