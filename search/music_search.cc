#include "search/music_search.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "search/regex.h"
#include "search/search_services.h"
#include "web/fetch_page.h"
#include "windows/window_ids.h"

namespace vorel::search {
namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::Text;

constexpr std::int32_t kKeyEnter = 13;

const Text& CountSuffix() {
  static const Text suffix = "个"_t;
  return suffix;
}

// Runs `write` on the user-interface thread if search `generation` is still the latest there,
// so a search started meanwhile can never receive an older search's rows or label. False when
// the search is stale (or the program is ending): the worker then stops.
template <typename F>
bool WriteIfLatest(const std::atomic<std::uint64_t>& latest_generation, std::uint64_t generation,
                   F&& write) {
  bool latest = false;
  runtime::RunOnUiThread([&] {
    latest = latest_generation.load() == generation;
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

// What the label says when the fetch brought no page to look in; empty when a page came (the
// search then found something or nothing in it).
Text FetchFailureText(bool host_set, const web::FetchOutcome& outcome) {
  if (!host_set) return "搜索失败：未设置搜索服务器"_t;
  if (outcome.timed_out) return "搜索超时：服务器没有回应"_t;
  if (!outcome.answered) return "搜索失败：无法连接服务器"_t;
  if (outcome.status < 200 || outcome.status > 299) {
    return "搜索失败：服务器返回"_t + std::to_string(outcome.status);
  }
  return {};
}

}  // namespace

MusicSearch::MusicSearch(SearchServices services)
    : services_(std::move(services)), shared_(std::make_shared<Shared>()) {
  shared_->search_host = services_.search_host;
}

MusicSearch::~MusicSearch() { ++shared_->generation; }

void MusicSearch::StartSearch() {
  runtime::DeleteAllRows(kMainWindow, kSearchResults);
  // The count of the previous search must not stand above the emptied list.
  SetLabel({});
  query_ = runtime::ReadTextProperty(kMainWindow, kSearchBox, kPropCaption);
  const std::uint64_t generation = ++shared_->generation;
  std::erase_if(workers_, [](const runtime::ThreadHandle& w) { return w.finished(); });
  runtime::ThreadHandle worker;
  runtime::StartThread([shared = std::shared_ptr<const Shared>(shared_), query = query_,
                        generation] { RunMusicSearch(shared, query, generation); },
                       &worker);
  workers_.push_back(worker);
  if (services_.slide_panel) services_.slide_panel(2);
}

runtime::EventResult MusicSearch::OnSearchBoxKey(const runtime::EventArgs& args) {
  if (args.count > 0 && args[0] == kKeyEnter) StartSearch();
  return std::nullopt;
}

void MusicSearch::RunMusicSearch(const std::shared_ptr<const Shared>& shared, Text query,
                                 std::uint64_t generation) {
  std::optional<Text> host = shared->search_host ? shared->search_host() : std::nullopt;
  Text page;
  web::FetchOutcome outcome;
  if (host) {
    runtime::Bytes body =
        web::FetchPage("http://" + *host + "/music.so?query=" + EncodeRequestBytes(query), {}, {},
                       {}, {}, {}, {}, 0, nullptr, {}, &outcome);
    // The page ends at its first zero byte, as every Text does.
    page = runtime::ToText(body);
  }
  const std::atomic<std::uint64_t>& newest = shared->generation;
  if (newest.load() != generation) return;
  if (const Text failure = FetchFailureText(host.has_value(), outcome); !failure.empty()) {
    WriteIfLatest(newest, generation, [&] { SetLabel(failure); });
    return;
  }

  const std::vector<Text> rows = SearchResultRows(page);
  const int count = static_cast<int>(rows.size());
  if (count == 0) {
    WriteIfLatest(newest, generation, [] { SetLabel("无搜索结果"_t); });
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
      batch.push_back(rows[static_cast<std::size_t>(i - 1)]);
    }
    // The label is written before each row goes in, so it counts one step behind the list.
    bool latest = WriteIfLatest(newest, generation, [&] {
      for (const Text& row : batch) {
        ShowCount();
        runtime::InsertRow(kMainWindow, kSearchResults, std::nullopt, row);
      }
    });
    if (!latest) return;
  }
  WriteIfLatest(newest, generation, [] { ShowCount(); });
}

std::vector<Text> SearchResultRows(const Text& page) {
  Regex regex;
  RegexCompile(regex, ";http://(.*?);");
  const runtime::Array<SearchResult> matches = RegexSearchAll(regex, page);
  std::vector<Text> rows;
  rows.reserve(static_cast<std::size_t>(runtime::ElementCount(matches)));
  for (const SearchResult& match : matches.elements()) {
    rows.push_back("http://" + SubMatchText(match, page, 1));
  }
  return rows;
}

bool MusicSearch::WaitForWorkers(int timeout_ms) {
  return runtime::WaitProcessingEvents(
      [&] {
        return std::all_of(workers_.begin(), workers_.end(),
                           [](const runtime::ThreadHandle& w) { return w.finished(); });
      },
      timeout_ms);
}

}  // namespace vorel::search
