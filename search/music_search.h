#ifndef VOREL_SEARCH_MUSIC_SEARCH_H_
#define VOREL_SEARCH_MUSIC_SEARCH_H_

// The music search: the text of the search box goes to the music search engine
// ("http://<host>/music.so?query=<text>") and every address the result page holds between
// ";http://" and the next ";" becomes a row of the result list 超级列表框1, while the label
// 标签_搜索结果 counts the rows one step behind and ends on the total ("3个"), or says
// "无搜索结果" when there is none.
//
// The page is fetched and scanned on a worker thread; rows and label reach the window through
// the bridge. The newest search wins: starting one makes every older worker stop writing, so
// the list and label only ever show the latest search.

#include <cstdint>
#include <vector>

#include "runtime/bridge.h"
#include "runtime/text.h"

namespace vorel::search {

// Click of 超级按钮_搜索: clears the result list and its label, keeps the box's text as
// SearchQueryText, starts the worker with its own copy of it, and slides the search panel. UI
// thread.
void StartSearch();

// Key pressed in the search box: Enter (13) starts a search; other keys do nothing. UI thread.
runtime::EventResult OnSearchBoxKey(const runtime::EventArgs& args);

// The worker's body for search number `generation` of `query`; writes nothing once a newer
// search has started. A page that found nothing gives "无搜索结果"; a fetch that brought no
// page says why in the label instead (no search host set, no answer in time, no connection,
// the server's error status). Any thread but the user-interface thread.
void RunMusicSearch(runtime::Text query, std::uint64_t generation);

// The rows a result page gives, in page order: "http://" and each address found between
// ";http://" and the next ";" (each search going on after the ";" that ended the last).
//   SearchResultRows("x;http://a/1.mp3;y;http://b;") == {"http://a/1.mp3", "http://b"}
std::vector<runtime::Text> SearchResultRows(const runtime::Text& page);

// The query of the latest search started (a copy). UI thread.
runtime::Text SearchQueryText();

// Waits up to `timeout_ms` for every worker started to end; true when they have. UI thread.
bool WaitForSearchForTesting(int timeout_ms);

}  // namespace vorel::search

#endif  // VOREL_SEARCH_MUSIC_SEARCH_H_
