#include "search/music_search.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "app/window_ids.h"
#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "search/regex.h"
#include "search/search_services.h"
#include "web/fetch_page.h"

namespace vorel::search {
namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::Text;

constexpr std::int32_t kKeyEnter = 13;

struct SearchState {
  Text query;                                  // UI thread only
  std::vector<runtime::ThreadHandle> workers;  // UI thread only; those that may still run
  std::atomic<std::uint64_t> generation{0};    // written on the UI thread only
};

SearchState& State() {
  static SearchState state;
  return state;
}

const Text& CountSuffix() {
  static const Text suffix = "个"_t;
  return suffix;
}

// Runs `write` on the user-interface thread if search `generation` is still the latest there,
// so a search started meanwhile can never receive an older search's rows or label. False when
// the search is stale (or the program is ending): the worker then stops.
template <typename F>
bool WriteIfLatest(std::uint64_t generation, F&& write) {
  bool latest = false;
  runtime::RunOnUiThread([&] {
    latest = State().generation.load() == generation;
    if (latest) write();
  });
  return latest;
}

void SetLabel(const Text& text) {
  runtime::WriteProperty(kMainWindow, kSearchCountLabel, kPropCaption, text);
}

void ShowCount() {
  SetLabel(runtime::ToText(runtime::RowCount(kMainWindow, kSearchResults)) + CountSuffix());
}

}  // namespace

void StartSearch() {
  SearchState& s = State();
  runtime::DeleteAllRows(kMainWindow, kSearchResults);
  s.query = runtime::ReadTextProperty(kMainWindow, kSearchBox, kPropCaption);
  const std::uint64_t generation = ++s.generation;
  std::erase_if(s.workers, [](const runtime::ThreadHandle& w) { return w.finished(); });
  runtime::ThreadHandle worker;
  runtime::StartThread([query = s.query, generation] { RunMusicSearch(query, generation); },
                       &worker);
  s.workers.push_back(worker);
  if (Services().slide_panel) Services().slide_panel(2);
}

runtime::EventResult OnSearchBoxKey(const runtime::EventArgs& args) {
  if (args.count > 0 && args[0] == kKeyEnter) StartSearch();
  return std::nullopt;
}

void RunMusicSearch(Text query, std::uint64_t generation) {
  std::optional<Text> host = Services().search_host ? Services().search_host() : std::nullopt;
  Text page;
  if (host) {
    runtime::Bytes body =
        web::FetchPage("http://" + *host + "/music.so?query=" + EncodeRequestBytes(query));
    // The page ends at its first zero byte, as every Text does.
    page = runtime::ToText(body);
  }
  if (State().generation.load() != generation) return;

  Regex regex;
  RegexCompile(regex, ";http://(.*?);");
  const runtime::Array<SearchResult> matches = RegexSearchAll(regex, page);
  const int count = runtime::ElementCount(matches);
  if (count == 0) {
    WriteIfLatest(generation, [] { SetLabel("无搜索结果"_t); });
    return;
  }
  // Rows go over in small batches: one call to the user-interface thread per row costs two
  // thread switches each, which for 10,000 rows is most of the time. Inside a batch every row
  // is still preceded by its label, so the window goes through exactly the same texts.
  constexpr int kRowsPerCall = 64;
  std::vector<Text> batch;
  batch.reserve(kRowsPerCall);
  for (int i = 1; i <= count;) {
    batch.clear();
    for (; i <= count && static_cast<int>(batch.size()) < kRowsPerCall; ++i) {
      runtime::ProcessEvents();
      batch.push_back("http://" + SubMatchText(matches[i], page, 1));
    }
    // The label is written before each row goes in, so it counts one step behind the list.
    bool latest = WriteIfLatest(generation, [&] {
      for (const Text& row : batch) {
        ShowCount();
        runtime::InsertRow(kMainWindow, kSearchResults, std::nullopt, row);
      }
    });
    if (!latest) return;
  }
  WriteIfLatest(generation, [] { ShowCount(); });
}

Text SearchQueryText() { return State().query; }

bool WaitForSearchForTesting(int timeout_ms) {
  const std::vector<runtime::ThreadHandle>& workers = State().workers;
  return runtime::WaitProcessingEvents(
      [&] {
        return std::all_of(workers.begin(), workers.end(),
                           [](const runtime::ThreadHandle& w) { return w.finished(); });
      },
      timeout_ms);
}

}  // namespace vorel::search
