#include "search/sound_link.h"

#include <optional>

#include "platform/mutex.h"
#include "playlist/entry.h"
#include "runtime/bridge.h"
#include "runtime/latest_work.h"
#include "runtime/text_ops.h"
#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "search/search_services.h"
#include "web/cookie_fetch.h"
#include "web/escape_decoding.h"
#include "web/page_text.h"
#include "web/url_bytes.h"
#include "windows/window_ids.h"

namespace vorel::search {
namespace {

using namespace ids;
using namespace runtime::literals;
using runtime::Bytes;

constexpr std::int32_t kHighlightGreen = 0x00E080;

// The markers that cut the three fields out of the reply. The stream address's marker begins
// with the end of the field before it, so "source" counts only after another text field.
constexpr char kFieldEnd[] = "\",\"";
constexpr char kPictureStart[] = "\"pic\":\"";
constexpr char kSourceStart[] = "\",\"source\":\"";
constexpr char kNameStart[] = "\"name\":\"";

// An address from the reply as it goes on the wire: back in UTF-8, the form the service wrote
// it in, with bytes above 0x7F, spaces and DEL percent-encoded, so the stream, the cover and the
// download all request what the service meant. Control bytes would break the request line (or
// smuggle header lines into it), so they go.
Text WireAddress(const Text& text) {
  std::string utf8 = runtime::Utf8FromText(text);
  std::erase_if(utf8, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  return PercentEncode(utf8, [](unsigned char c) { return c == 0x20 || c >= 0x7F; });
}

// A name shown in the window and used for a file: each control byte becomes a space.
Text ControlBytesAsSpaces(Text text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

// How many times the player has been asked to open an entry; 0 when nobody counts.
std::uint64_t OpenCount(const SearchServices& services) {
  return services.open_count ? services.open_count() : 0;
}

Text AddressBoxText() { return runtime::ReadTextProperty(kMainWindow, kAddressBox, kPropCaption); }

}  // namespace

struct SoundLink::Fetched {
  bool replied = false;  // the service sent a non-empty reply
  ResolvedSound sound;
  Bytes cover;
  std::uint64_t open_count = 0;  // the player's count when the resolve began
};

SoundLink::Fetched SoundLink::Fetch(const Text& address, const Text& sound_id,
                                    std::uint64_t open_count) {
  Fetched f;
  f.open_count = open_count;
  Text reply = FetchReplyText(address);
  f.replied = !reply.empty();
  f.sound = SoundFromReply(sound_id, reply);
  if (f.replied) f.cover = web::ReadUrlBytes(f.sound.picture_url);
  return f;
}

// What the window shows of a fetched record: cover, caption, tooltip, then the new row,
// selected, and `then`. When another entry was asked to play while the record was on its way,
// the row is only appended: the song playing and its caption and cover stay.
void SoundLink::ShowFetched(const Fetched& f, const std::function<void()>& then) {
  {
    platform::MutexLock lock(mu_);
    sound_ = f.sound;
  }
  if (!f.replied) {
    // Nothing came back: an empty row could never play, so none is added.
    runtime::WriteProperty(kMainWindow, kStatusCaption, kPropCaption,
                           "解析失败：声音服务没有回答。"_t);
    return;
  }
  const ResolvedSound& sound = f.sound;
  const bool overtaken = OpenCount(services_) != f.open_count;
  if (!overtaken) {
    runtime::WriteProperty(kMainWindow, kCoverPicture, kPropPicture, f.cover);
    runtime::WriteProperty(kMainWindow, kCoverPicture, kPropPictureMode, 1);
    runtime::WriteProperty(kMainWindow, kStatusCaption, kPropCaption, sound.name);
    runtime::AddToolTip(runtime::WindowHandle(kMainWindow, kStatusCaption), sound.name, false,
                        true);
  }
  const int row = playlist::AppendEntry({.kind = playlist::EntryKind::kNetworkFile,
                                         .location = sound.source_url,
                                         .title = sound.name,
                                         .cover = sound.picture_url});
  if (overtaken) return;
  runtime::WriteProperty(kMainWindow, kPlayList, kPropSelectedRow, row);
  if (then) then();
}

Text TextAfterLast(const Text& text, const Text& marker) {
  int pos = runtime::FindTextBackward(text, marker);
  if (pos == -1) return {};
  return text.substr(pos - 1 + marker.size());
}

ResolvedSound SoundFromReply(const Text& sound_id, const Text& reply) {
  ResolvedSound sound;
  Text info = web::DecodeEscapes(reply);
  sound.id = sound_id;
  sound.picture_url = WireAddress(web::TextBetween(info, kPictureStart, kFieldEnd));
  sound.source_url = WireAddress(web::TextBetween(info, kSourceStart, kFieldEnd));
  sound.name = ControlBytesAsSpaces(web::TextBetween(info, kNameStart, kFieldEnd));
  sound.info_text = std::move(info);
  return sound;
}

Text FetchReplyText(const Text& address) {
  return runtime::ToText(web::FetchPageWithCookies(address));
}

SoundLink::SoundLink(SearchServices services) : services_(std::move(services)) {}

void SoundLink::FetchSoundInfo(const Text& sound_id) { FetchSoundInfoThen(sound_id, nullptr); }

void SoundLink::FetchSoundInfoThen(const Text& sound_id, std::function<void()> then) {
  std::optional<Text> host = services_.sound_api_host ? services_.sound_api_host() : std::nullopt;
  if (!host) {
    // Nothing can be fetched: no row, and the window says which setting is missing.
    if (services_.host_missing) services_.host_missing();
    return;
  }
  const Text address = "http://" + *host + "/sound/info?sound_id=" + EncodeRequestBytes(sound_id);
  runtime::WriteProperty(kMainWindow, kStatusCaption, kPropCaption, "正在获取声音信息……"_t);
  resolving_.Start<Fetched>(
      [address, sound_id, opens = OpenCount(services_)] { return Fetch(address, sound_id, opens); },
      [this, then = std::move(then)](Fetched f) { ShowFetched(f, then); });
}

void SoundLink::ResolveSoundLink() {
  if (services_.stop_playback) services_.stop_playback();
  Text id = TextAfterLast(AddressBoxText(), "sound/");
  {
    platform::MutexLock lock(mu_);
    sound_.id = id;
  }
  FetchSoundInfoThen(id, [this] {
    if (services_.open_and_play) services_.open_and_play();
  });
}

void SoundLink::OnAddressBoxPress() {
  runtime::WriteProperty(kMainWindow, kAddressFrame, kPropOutline, kHighlightGreen);
  Text sample = services_.sample_address ? services_.sample_address() : Text();
  if (AddressBoxText() == sample) {
    runtime::WriteProperty(kMainWindow, kAddressBox, kPropCaption, Text());
  }
}

void SoundLink::OnAddressBoxDoubleClick() {
  runtime::WriteProperty(kMainWindow, kAddressBox, kPropCaption, Text());
}

ResolvedSound SoundLink::CurrentSound() const {
  platform::MutexLock lock(mu_);
  return sound_;
}

Text SoundLink::SoundSourceUrl() const {
  platform::MutexLock lock(mu_);
  return sound_.source_url;
}

Text SoundLink::SoundName() const {
  platform::MutexLock lock(mu_);
  return sound_.name;
}

}  // namespace vorel::search
