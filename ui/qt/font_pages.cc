#include "ui/qt/internal/font_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QTimer>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace vorel::qt {
namespace {

bool IsFontFile(std::string_view path) {
  for (std::string_view ext : {".ttc", ".otf", ".ttf", ".otc"}) {
    if (path.size() > ext.size() && path.substr(path.size() - ext.size()) == ext) return true;
  }
  return false;
}

// Waits for the first window to be shown on the display, then lets its paint happen first.
class FirstExposeWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Expose && !done_) {
      done_ = true;
      QTimer::singleShot(0, parent(), [] { ReadFontFilesSparingly(); });
      deleteLater();
    }
    return false;
  }

 private:
  bool done_ = false;
};

// A character shown before: the common ones in a bit set, the rest (emoji, rare CJK) in a set.
bool SeenBefore(char32_t c) {
  static std::bitset<0x10000> common;
  static std::unordered_set<char32_t> rare;
  if (c < common.size()) {
    if (common.test(c)) return true;
    common.set(c);
    return false;
  }
  return !rare.insert(c).second;
}

}  // namespace

void NoteTextShown(const QString& text) {
  bool fresh = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
      ++i;
    }
    fresh |= !SeenBefore(c);
  }
  if (!fresh || QCoreApplication::instance() == nullptr) return;
  static QTimer* later = [] {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setSingleShot(true);
    timer->setInterval(1000);
    QObject::connect(timer, &QTimer::timeout, [] { ReadFontFilesSparingly(); });
    return timer;
  }();
  if (!later->isActive()) later->start();
}

void ReadFontFilesSparinglyAfterFirstPaint(QObject* app) {
  app->installEventFilter(new FirstExposeWatch(app));
}

void ReadFontFilesSparingly() {
  FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps) return;
  const long page = sysconf(_SC_PAGESIZE);
  char line[4096];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long begin = 0, end = 0;
    char perms[8] = {};
    int path_at = 0;
    if (std::sscanf(line, "%lx-%lx %7s %*s %*s %*s %n", &begin, &end, perms, &path_at) < 3) {
      continue;
    }
    std::string_view path(line + path_at);
    while (!path.empty() && (path.back() == '\n' || path.back() == ' ')) path.remove_suffix(1);
    // Only read-only mappings of whole font files (the renderer's own): dropping their pages
    // cannot lose data, they come back from the file when touched again.
    if (std::strcmp(perms, "r--p") != 0 || !IsFontFile(path) || begin % page != 0) continue;
    void* at = reinterpret_cast<void*>(begin);
    madvise(at, end - begin, MADV_RANDOM);
    madvise(at, end - begin, MADV_DONTNEED);
  }
  std::fclose(maps);
}

}  // namespace vorel::qt
