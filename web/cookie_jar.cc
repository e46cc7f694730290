#include "web/cookie_jar.h"

#include <unordered_set>

#include "runtime/text_ops.h"

namespace vorel::web {

using namespace runtime;

Text MergeCookies(Text& jar, Text& new_cookies) {
  jar = RemoveAllSpaces(jar);
  new_cookies = RemoveAllSpaces(new_cookies);
  Array<Text> old_items = SplitText(jar, ";");
  Array<Text> items = SplitText(new_cookies, ";");
  // The names already in the list, for a lookup that stays linear in long jars.
  std::unordered_set<Text> names;
  for (const Text& item : items.elements()) names.insert(CookieName(item));
  for (const Text& old_item : old_items.elements()) {
    // An old item appended here also hides later old items of the same name.
    if (names.insert(CookieName(old_item)).second) items.Append(old_item);
  }
  jar.clear();
  for (const Text& item : items.elements()) {
    if (RightText(item, 8) != "=deleted") jar += item + "; ";
  }
  jar = LeftText(jar, TextLength(jar) - 2);
  jar = RemoveDuplicateItems(jar, "; ");
  return jar;
}

Text CookieName(const Text& item) {
  int eq = FindText(item, "=");
  return TrimSpaces(eq == -1 ? item : LeftText(item, eq - 1));
}

bool HasCookieNamed(const Array<Text>& items, const Text& name) {
  for (const Text& item : items.elements()) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

Text RemoveDuplicateItems(const Text& text, const Text& separator) {
  std::unordered_set<Text> kept;
  Text result;
  const Array<Text> pieces = SplitText(text, separator);
  for (const Text& piece : pieces.elements()) {
    if (kept.insert(piece).second) result += piece + separator;
  }
  return LeftText(result, TextLength(result) - TextLength(separator));
}

int FindItem(const Array<Text>& items, const Text& text) {
  const auto& all = items.elements();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == text) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace vorel::web
