#ifndef VOREL_WEB_COOKIE_JAR_H_
#define VOREL_WEB_COOKIE_JAR_H_

// A cookie jar is a caller's Text of "name=value" items separated by "; ". These functions fold
// the cookies of one response into a jar. Thread-safe (no shared state); bad input never fails.

#include "runtime/array.h"
#include "runtime/text.h"

namespace vorel::web {

using runtime::Array;
using runtime::Text;

// Folds `new_cookies` into `jar`: both variables first lose every space; new items come first in
// their order, followed by the old items whose name was not set anew; items ending in
// "=deleted" leave; repeated items are dropped. Stores the result in `jar` and returns a copy.
//   jar "a=1; c=3", new "a=9"  ->  "a=9; c=3"
Text MergeCookies(Text& jar, Text& new_cookies);

// The part of an item before its first "=" (the whole item without one), trimmed of spaces.
Text CookieName(const Text& item);

// True when one item's CookieName equals `name` byte for byte.
bool HasCookieNamed(const Array<Text>& items, const Text& name);

// The pieces of `text` between `separator`s with every repeat after the first removed, joined
// again by `separator`.
Text RemoveDuplicateItems(const Text& text, const Text& separator);

// The 1-based index of the first item equal to `text`, or -1.
int FindItem(const Array<Text>& items, const Text& text);

}  // namespace vorel::web

#endif  // VOREL_WEB_COOKIE_JAR_H_
