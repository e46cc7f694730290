// Build-time tool. Three modes:
//   gen_template template <windows.desc> <asset-dir> <out.cc>
//     reads the readable description of the windows and writes the binary window template as a
//     constant array, with the names of the routines its handler references index;
//   gen_template ids <windows.desc> <out.h>
//     writes the ids of the windows and of the controls given a key=, each control's id typed
//     by its control type (the header is rewritten only when its text changes);
//   gen_template embed <out.cc> <name>=<file>...
//     writes files as constant arrays (the program's pictures and cursor).
// A description error names the line and ends with exit code 1, failing the build.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "runtime/control_types.h"
#include "runtime/type_data.h"
#include "runtime/window_template.h"

namespace {

using namespace vorel::runtime;

[[noreturn]] void Fail(int line, const std::string& what) {
  std::fprintf(stderr, "windows.desc:%d: %s\n", line, what.c_str());
  std::exit(1);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "gen_template: cannot read %s\n", path.c_str());
    std::exit(1);
  }
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Text Gb(const std::string& utf8) { return vorel::platform::Utf8ToGb18030Lossy(utf8); }

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

std::uint32_t Number(const std::string& s, int line) {
  char* end = nullptr;
  unsigned long v = std::strtoul(s.c_str(), &end, 0);
  if (end == s.c_str() || *end != '\0') Fail(line, "not a number: " + s);
  return static_cast<std::uint32_t>(v);
}

std::pair<int, int> Pair(const std::string& s, char sep, int line) {
  auto p = s.find(sep);
  if (p == std::string::npos) Fail(line, "expected a pair: " + s);
  return {static_cast<int>(std::strtol(s.substr(0, p).c_str(), nullptr, 10)),
          static_cast<int>(std::strtol(s.substr(p + 1).c_str(), nullptr, 10))};
}

// The control types a description may name; the name is also the type's entry in
// runtime/control_types.h.
template <class Type>
std::pair<const std::string, UnitTypeId> TypeEntry(const char* name) {
  return {name, Type::kTypeId};
}
const std::map<std::string, UnitTypeId> kTypes = {
    TypeEntry<controls::EditBox>("EditBox"),     TypeEntry<controls::PicBox>("PicBox"),
    TypeEntry<controls::ShapeBox>("ShapeBox"),   TypeEntry<controls::DrawPanel>("DrawPanel"),
    TypeEntry<controls::Label>("Label"),         TypeEntry<controls::CheckBox>("CheckBox"),
    TypeEntry<controls::SliderBar>("SliderBar"), TypeEntry<controls::CommonDlg>("CommonDlg"),
    TypeEntry<controls::Timer>("Timer"),         TypeEntry<controls::PicBtn>("PicBtn"),
    TypeEntry<controls::ListView>("ListView"),   TypeEntry<controls::TransLabel>("TransLabel"),
    TypeEntry<controls::SuperBtn>("SuperBtn"),   TypeEntry<controls::SuperBar>("SuperBar")};

const std::map<std::string, EventKey> kEvents = {
    {"created", kEventWindowCreated}, {"destroying", kEventWindowDestroying},
    {"tray", kEventTrayIcon},         {"clicked", kEventClicked},
    {"tick", kEventClicked},          {"changed", kEventClicked},
    {"leftdown", kEventLeftDown},     {"dblclick", kEventLeftDoubleClick},
    {"focus", kEventGotFocus},        {"blur", kEventLostFocus},
    {"keydown", kEventKeyDown}};

struct Pending {
  ControlRecord rec;
  TypeData data;
  std::string container_name;
  std::string type_name;  // as the description spells it
  std::string key;        // the name code uses for it, if any
  std::string name;       // UTF-8
  int line = 0;
};

struct WindowKeys {
  std::string key;
  WindowId id = 0;
};

struct Generator {
  std::string asset_dir;  // empty: pictures and cursors are not read (the ids need none)
  std::vector<WindowKeys> window_keys;
  WindowTemplate tmpl;
  std::vector<std::vector<Pending>> windows;
  std::vector<std::string> routines;

  int RoutineIndex(const std::string& name) {
    for (std::size_t i = 0; i < routines.size(); ++i) {
      if (routines[i] == name) return static_cast<int>(i);
    }
    routines.push_back(name);
    return static_cast<int>(routines.size() - 1);
  }

  void Option(Pending& p, const std::string& tok, int line) {
    auto eq = tok.find('=');
    std::string key = tok.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : tok.substr(eq + 1);
    auto colour = [&] {
      return value == "none" ? static_cast<std::int32_t>(kNoColour)
                             : static_cast<std::int32_t>(Number(value, line));
    };
    if (key == "key") {
      p.key = value;
    } else if (key == "visible") {
      p.rec.flags |= kFlagVisible;
    } else if (key == "hidden") {
      p.rec.flags &= ~kFlagVisible;
    } else if (key == "in") {
      p.container_name = value;
    } else if (key == "at") {
      std::tie(p.rec.left, p.rec.top) = Pair(value, ',', line);
    } else if (key == "size") {
      std::tie(p.rec.width, p.rec.height) = Pair(value, 'x', line);
    } else if (key == "caption") {
      p.data.values[kKeyCaption] = Gb(value);
    } else if (key == "tooltip") {
      p.data.values[kKeyTooltip] = Gb(value);
    } else if (key == "role") {
      p.data.values[kKeyAccessible] = Gb(value);
    } else if (key == "sample") {
      p.data.values[kKeyPlaceholder] = 1;
    } else if (key == "font") {
      std::stringstream ss(value);
      std::string face, px, weight;
      std::getline(ss, face, ',');
      std::getline(ss, px, ',');
      std::getline(ss, weight, ',');
      if (face != "-") p.data.values[kKeyFontFace] = Gb(face);
      p.data.values[kKeyFontHeight] = static_cast<std::int32_t>(Number(px, line));
      p.data.values[kKeyFontWeight] = weight == "bold" ? 700 : 400;
    } else if (key == "cursor") {
      if (value == "ibeam") {
        p.rec.mouse_pointer = {0x01, 0x7F, 0x00, 0x00};
      } else if (value == "custom") {
        p.rec.mouse_pointer = {0xFF, 0xFF, 0xFF, 0xFF};
        Bytes cur = asset_dir.empty() ? Bytes() : ReadFile(asset_dir + "/cursor.cur");
        p.rec.mouse_pointer.insert(p.rec.mouse_pointer.end(), cur.begin(), cur.end());
      } else {
        Fail(line, "unknown cursor " + value);
      }
    } else if (key == "range") {
      auto [maximum, position] = Pair(value, ',', line);
      p.data.values[kKeyMaximum] = maximum;
      p.data.values[kKeyPosition] = position;
    } else if (key == "text") {
      p.data.values[kKeyTextColour] = colour();
    } else if (key == "back") {
      p.data.values[kKeyBackColour] = colour();
    } else if (key == "hot") {
      p.data.values[kKeyHotBackColour] = colour();
    } else if (key == "outline") {
      p.data.values[kKeyOutlineColour] = colour();
    } else if (key == "fill") {
      p.data.values[kKeyFillColour] = colour();
    } else if (key == "columns") {
      std::vector<ColumnSpec> cols;
      std::stringstream ss(value);
      for (std::string part; std::getline(ss, part, '|');) {
        auto colon = part.rfind(':');
        if (colon == std::string::npos) Fail(line, "column without width: " + part);
        cols.push_back({Gb(part.substr(0, colon)),
                        static_cast<std::int32_t>(Number(part.substr(colon + 1), line))});
      }
      p.data.values[kKeyColumns] = SerializeColumns(cols);
    } else if (key == "pictures") {
      std::stringstream ss(value);
      int i = 0;
      for (std::string file; std::getline(ss, file, ',') && i < 3; ++i) {
        if (asset_dir.empty()) continue;
        p.data.values[kKeyPicture0 + i] = ReadFile(asset_dir + "/" + file);
      }
    } else {
      Fail(line, "unknown option " + key);
    }
  }

  void Parse(const std::string& path) {
    std::ifstream in(path);
    if (!in) Fail(0, "cannot read " + path);
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
      ++line;
      auto t = Tokens(text);
      if (t.empty() || t[0][0] == '#') continue;
      if (t[0] == "window") {
        if (t.size() < 2) Fail(line, "window without id");
        WindowRecord w;
        w.id = Number(t[1], line);
        Pending self;
        self.rec.type = kTypeWindow;
        self.data.version = 6;
        self.line = line;
        for (std::size_t i = 2; i < t.size(); ++i) {
          if (t[i].rfind("own=", 0) == 0) {
            self.rec.id = Number(t[i].substr(4), line);
          } else if (t[i].rfind("words=", 0) == 0) {
            auto comma = t[i].find(',');
            w.word1 = Number(t[i].substr(6, comma - 6), line);
            w.word2 = Number(t[i].substr(comma + 1), line);
          } else {
            Option(self, t[i], line);
          }
        }
        if (self.key.empty()) Fail(line, "window without key=");
        window_keys.push_back({self.key, w.id});
        self.key += "Self";
        self.type_name = "Window";
        tmpl.windows.push_back(w);
        windows.push_back({self});
      } else if (t[0] == "control") {
        if (windows.empty() || t.size() < 4) Fail(line, "control outside a window");
        Pending p;
        p.rec.id = Number(t[1], line);
        p.rec.name = Gb(t[2]);
        p.name = t[2];
        auto type = kTypes.find(t[3]);
        if (type == kTypes.end()) Fail(line, "unknown type " + t[3]);
        p.rec.type = type->second;
        p.type_name = t[3];
        p.line = line;
        for (std::size_t i = 4; i < t.size(); ++i) Option(p, t[i], line);
        windows.back().push_back(std::move(p));
      } else if (t[0] == "on") {
        if (windows.empty() || t.size() != 3) Fail(line, "on <event> <Routine>");
        auto ev = kEvents.find(t[1]);
        if (ev == kEvents.end()) Fail(line, "unknown event " + t[1]);
        windows.back().back().rec.events.push_back({ev->second, RoutineIndex(t[2])});
      } else {
        Fail(line, "unknown line");
      }
    }
  }

  void Resolve() {
    for (std::size_t wi = 0; wi < windows.size(); ++wi) {
      auto& list = windows[wi];
      for (auto& p : list) {
        if (p.rec.type == kTypeWindow || p.container_name == "window" || p.container_name.empty()) {
          continue;
        }
        const Pending* container = nullptr;
        for (const auto& q : list) {
          if (q.rec.name == Gb(p.container_name)) container = &q;
        }
        if (!container) Fail(p.line, "no container " + p.container_name);
        p.rec.container = container->rec.id;
      }
      for (auto& p : list) {
        for (const auto& q : list) {
          if (q.rec.type != kTypeWindow && q.rec.container == p.rec.id && p.rec.id != 0) {
            p.rec.children.push_back(q.rec.id);
          }
        }
        if (p.rec.type == kTypeWindow) {
          for (const auto& q : list) {
            if (q.rec.type != kTypeWindow && q.rec.container == 0) {
              p.rec.children.push_back(q.rec.id);
            }
          }
        }
        if (p.rec.mouse_pointer.empty()) p.rec.mouse_pointer = Bytes(4, 0);
        p.rec.type_data = SerializeTypeData(p.data);
        tmpl.windows[wi].controls.push_back(p.rec);
      }
    }
  }
};

// The header of typed ids: one constant per window and per control with a key=.
std::string IdsHeader(const Generator& g) {
  std::ostringstream out;
  out << "// Generated from app/windows.desc by gen_template. Do not edit.\n"
      << "#ifndef VOREL_APP_WINDOW_IDS_H_\n#define VOREL_APP_WINDOW_IDS_H_\n\n"
      << "#include \"runtime/control_types.h\"\n\nnamespace vorel::ids {\n\n"
      << "using runtime::Control;\nusing runtime::ControlId;\nusing runtime::WindowId;\n"
      << "namespace controls = runtime::controls;\n"
      << "using namespace runtime::property_names;\n";
  std::set<std::string> keys;
  for (std::size_t wi = 0; wi < g.windows.size(); ++wi) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", g.window_keys[wi].id);
    out << "\ninline constexpr WindowId k" << g.window_keys[wi].key << " = " << hex << ";\n";
    for (const Pending& p : g.windows[wi]) {
      if (p.key.empty()) continue;
      if (!keys.insert(p.key).second) Fail(p.line, "key used twice: " + p.key);
      std::snprintf(hex, sizeof hex, "0x%08X", p.rec.id);
      out << "inline constexpr Control<controls::" << p.type_name << "> k" << p.key << "{" << hex
          << "};";
      if (!p.name.empty()) out << "  // " << p.name;
      out << "\n";
    }
  }
  out << "\n}  // namespace vorel::ids\n\n#endif  // VOREL_APP_WINDOW_IDS_H_\n";
  return out.str();
}

void WriteArray(std::ofstream& out, const std::string& name, const Bytes& bytes) {
  out << "alignas(8) extern const unsigned char " << name << "[] = {";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 20 == 0) out << "\n ";
    out << ' ' << static_cast<int>(bytes[i]) << ',';
  }
  out << "\n};\nextern const std::size_t " << name << "Size = " << bytes.size() << ";\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "template" && argc == 5) {
    Generator g;
    g.asset_dir = argv[3];
    g.Parse(argv[2]);
    g.Resolve();
    Bytes bytes = SerializeWindowTemplate(g.tmpl);
    std::ofstream out(argv[4], std::ios::binary);
    out << "// Generated from app/windows.desc by gen_template. Do not edit.\n"
        << "#include <cstddef>\nnamespace vorel::app {\n";
    WriteArray(out, "kWindowTemplate", bytes);
    out << "extern const char* const kRoutineNames[] = {\n";
    for (const auto& r : g.routines) out << "    \"" << r << "\",\n";
    out << "};\nextern const std::size_t kRoutineNameCount = " << g.routines.size() << ";\n"
        << "}  // namespace vorel::app\n";
    return out ? 0 : 1;
  }
  if (mode == "ids" && argc == 4) {
    Generator g;
    g.Parse(argv[2]);
    const std::string text = IdsHeader(g);
    std::ifstream old(argv[3], std::ios::binary);
    if (old && std::string(std::istreambuf_iterator<char>(old), {}) == text) return 0;
    std::ofstream out(argv[3], std::ios::binary);
    out << text;
    return out ? 0 : 1;
  }
  if (mode == "embed" && argc >= 3) {
    std::ofstream out(argv[2], std::ios::binary);
    out << "// Generated by gen_template embed. Do not edit.\n"
        << "#include <cstddef>\nnamespace vorel::assets {\n";
    for (int i = 3; i < argc; ++i) {
      std::string arg = argv[i];
      auto eq = arg.find('=');
      WriteArray(out, arg.substr(0, eq), ReadFile(arg.substr(eq + 1)));
    }
    out << "}  // namespace vorel::assets\n";
    return out ? 0 : 1;
  }
  std::fprintf(stderr,
               "usage: gen_template template DESC ASSETS OUT | ids DESC OUT.h | "
               "embed OUT NAME=FILE...\n");
  return 2;
}
