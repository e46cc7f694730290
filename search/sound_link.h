#ifndef VOREL_SEARCH_SOUND_LINK_H_
#define VOREL_SEARCH_SOUND_LINK_H_

// The sound-link resolver: the address of a sound page pasted into 地址框 becomes a playable
// entry. A click on "解析" stops playback, takes the sound id after the last "sound/" of the
// address, asks "http://<interface host>/sound/info?sound_id=<id>" for the sound's record, cuts
// the fields "pic", "source" and "name" out of the decoded reply, shows the cover in 图片框1 and
// the name in 字幕 (also as its tooltip), appends a network entry to the play list, selects it
// and plays it.
//
// The two requests (the record, then its cover) run on a worker, within the web layer's
// time-outs; the window keeps answering meanwhile, and what it shows afterwards comes in the
// order above. A newer resolve supersedes an older one still waiting (its reply is dropped).
// When another entry was asked to play while the record was on its way, the row is appended
// but neither selected nor played. When nothing comes back (no reply, or no interface host
// configured) no row is added, and the window says why.
//
// The last resolved sound stays readable for the download: CurrentSound() and its two
// shorthands hand out copies and may be called from any thread.

#include <functional>

#include "platform/mutex.h"
#include "runtime/latest_work.h"
#include "runtime/text.h"
#include "search/search_services.h"

namespace vorel::search {

using runtime::Text;

// The body of the reply to a GET of `address` (cookie-jar fetch), up to its first zero byte.
Text FetchReplyText(const Text& address);

// The bytes after the last `marker` in `text` (case-sensitive); empty without one.
//   TextAfterLast("http://h/sound/1/sound/22", "sound/") == "22"
Text TextAfterLast(const Text& text, const Text& marker);

// What the latest resolve found. Fields are empty when the reply lacked them. The stream and
// picture addresses are in their wire form: UTF-8, with bytes above 0x7F, spaces and DEL
// percent-encoded and bytes below 0x20 dropped. In the name each byte below 0x20 is a space.
struct ResolvedSound {
  Text id;
  Text info_text;    // the whole decoded reply
  Text picture_url;  // "pic"
  Text source_url;   // "source": what the download saves
  Text name;         // "name": the file name the download uses
};
// What a sound-info reply says, as the resolve keeps it: the escapes decoded, the fields cut
// out, the addresses in wire form and control bytes in the name made spaces. Any thread.
ResolvedSound SoundFromReply(const Text& sound_id, const Text& reply);
// The resolver of 地址框 and "解析": the latest resolve's steps and the sound it found. The
// application makes one and binds the routines below to it; the download reads the sound from
// it. Owner-thread only (the user-interface thread) except where a member says otherwise.
class SoundLink {
 public:
  // `services` gives the interface host, the sample address, and stops, plays and counts the
  // player's opens.
  explicit SoundLink(SearchServices services);
  SoundLink(const SoundLink&) = delete;
  SoundLink& operator=(const SoundLink&) = delete;

  // Handlers.
  void ResolveSoundLink();
  void OnAddressBoxPress();
  void OnAddressBoxDoubleClick();

  // The resolving steps for `sound_id`: fetch, decode, cut (on a worker), then show, append and
  // select the row, then `then`. Returns at once; the steps after the fetch follow on the
  // user-interface thread unless a newer resolve or CancelResolve came first.
  void FetchSoundInfo(const Text& sound_id);
  void FetchSoundInfoThen(const Text& sound_id, std::function<void()> then);
  // True while a resolve waits on the sound service.
  bool ResolvePending() const { return resolving_.pending(); }
  // Drops the pending resolve: nothing of it reaches the window.
  void CancelResolve() { resolving_.Cancel(); }
  // Processes events until every resolve worker has ended or `timeout_ms` passed; true when
  // they have. For tests and orderly ends, as LatestWork::WaitForWorkers.
  bool WaitForWorkers(int timeout_ms) { return resolving_.WaitForWorkers(timeout_ms); }

  // Copies, taken under a lock: a resolve running at the same time never frees what a caller
  // holds. Thread-safe.
  ResolvedSound CurrentSound() const VOREL_EXCLUDES(mu_);
  Text SoundSourceUrl() const VOREL_EXCLUDES(mu_);
  Text SoundName() const VOREL_EXCLUDES(mu_);

 private:
  struct Fetched;
  // The network half of a resolve: the record, its fields, and the cover picture. Worker
  // thread.
  static Fetched Fetch(const Text& address, const Text& sound_id, std::uint64_t open_count);
  void ShowFetched(const Fetched& f, const std::function<void()>& then) VOREL_EXCLUDES(mu_);

  const SearchServices services_;
  mutable platform::Mutex mu_;
  ResolvedSound sound_ VOREL_GUARDED_BY(mu_);
  // The latest resolve's fetches (sound info, then cover), on a worker; a newer resolve
  // supersedes them.
  runtime::LatestWork resolving_;
};

}  // namespace vorel::search

#endif  // VOREL_SEARCH_SOUND_LINK_H_
