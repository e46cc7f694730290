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

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/bridge.h"
#include "runtime/text.h"
#include "runtime/threads.h"
#include "search/search_services.h"

namespace vorel::search {

// The rows a result page gives, in page order: "http://" and each address found between
// ";http://" and the next ";" (each search going on after the ";" that ended the last).
//   SearchResultRows("x;http://a/1.mp3;y;http://b;") == {"http://a/1.mp3", "http://b"}
std::vector<runtime::Text> SearchResultRows(const runtime::Text& page);

// The search box, its button and the result list. The application makes one and binds the
// routines below to it. Owner-thread only (the user-interface thread); the workers it starts
// share only what they need with it, so it may go while they still wait on a server.
class MusicSearch {
 public:
  // `services` gives the search host (asked on the worker) and slides the search panel.
  explicit MusicSearch(SearchServices services);
  // Older searches' workers write nothing more once this object is gone.
  ~MusicSearch();
  MusicSearch(const MusicSearch&) = delete;
  MusicSearch& operator=(const MusicSearch&) = delete;

  // Click of 超级按钮_搜索: clears the result list and its label, keeps the box's text as
  // SearchQueryText, starts the worker with its own copy of it, and slides the search panel.
  void StartSearch();
  // Key pressed in the search box: Enter (13) starts a search; other keys do nothing.
  runtime::EventResult OnSearchBoxKey(const runtime::EventArgs& args);
  // The query of the latest search started (a copy).
  runtime::Text SearchQueryText() const { return query_; }
  // Processes events until every worker started so far has ended or `timeout_ms` passed; true
  // when they have. For tests and orderly ends, as LatestWork::WaitForWorkers.
  bool WaitForWorkers(int timeout_ms);

 private:
  // Shared with the workers, which may outlive this object (a request ends by its own time-out).
  struct Shared {
    std::atomic<std::uint64_t> generation{0};  // written on the user-interface thread only
    std::function<std::optional<runtime::Text>()> search_host;
  };
  // The worker's body for search number `generation` of `query`; writes nothing once a newer
  // search has started. A page that found nothing gives "无搜索结果"; a fetch that brought no
  // page says why in the label instead (no search host set, no answer in time, no connection,
  // the server's error status). Any thread but the user-interface thread.
  static void RunMusicSearch(const std::shared_ptr<const Shared>& shared, runtime::Text query,
                             std::uint64_t generation);

  SearchServices services_;
  std::shared_ptr<Shared> shared_;
  runtime::Text query_;
  std::vector<runtime::ThreadHandle> workers_;  // those that may still run
};

}  // namespace vorel::search

#endif  // VOREL_SEARCH_MUSIC_SEARCH_H_
