#ifndef VOREL_DOWNLOAD_INTERNAL_SEGMENT_TABLE_H_
#define VOREL_DOWNLOAD_INTERNAL_SEGMENT_TABLE_H_

// The byte ranges of a file and how far each has been written. A segment is written from its
// start on, so `done` bytes from `start` are in the file. Thread-safe: connections reserve and
// commit bytes of their own segment while the task thread hands out segments.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/mutex.h"

namespace vorel::download::internal {

struct Segment {
  bool in_use = false;
  bool split = false;  // made by splitting another segment
  int owner = 0;       // connection number while in use
  std::int64_t start = 0;
  std::int64_t length = 0;
  std::int64_t done = 0;
  std::int64_t lacking() const { return length - done; }
  bool complete() const { return done >= length; }
};

class SegmentTable {
 public:
  // Cuts `total` bytes into `count` segments, or one when total < buffer_size (always one below
  // 4096). Each is total / count long; the last one also takes the remainder.
  void Split(std::int64_t total, int count, int buffer_size);

  // A segment for a new connection: the first one neither in use nor complete; failing that,
  // the later half of the unfinished segment with most bytes left, if at least 2 * buffer_size
  // are left in it. -1 when there is none, or once handing out is closed.
  int PickForNewConnection(int owner, int buffer_size);
  // The first segment neither in use nor complete, for a connection whose segment is done.
  int TakeNext(int owner);
  void Claim(int index, int owner);
  void Release(int index);
  // No segment is handed out any more (the server ignores Range requests).
  void CloseHandingOut();

  // Where the next `count` bytes of segment `index` go, clamped to what it still lacks: a
  // server sending more than it announced never writes past the segment.
  struct Span {
    std::int64_t offset = 0;
    std::int64_t count = 0;
  };
  Span Reserve(int index, std::int64_t count) const;
  void Commit(int index, std::int64_t count);

  // Takes body bytes [body_offset, body_offset + count) of a whole-file reply: every segment
  // not used by another connection whose written prefix ends inside that run grows by the
  // bytes that follow. `write(file_offset, run_offset, count)` copies them (called under the
  // lock). Returns the bytes accepted.
  std::int64_t FillFromBody(
      std::int64_t body_offset, std::int64_t count, int owner,
      const std::function<void(std::int64_t, std::int64_t, std::int64_t)>& write);
  // The first byte of the file no segment holds yet, or -1 when all are complete.
  std::int64_t FirstMissing() const;
  // True when some incomplete segment is not being worked on by another connection.
  bool HasUnownedGap(int owner) const;

  Segment Get(int index) const;
  std::vector<Segment> Snapshot() const;
  bool AllComplete() const;
  std::int64_t SumDone() const;
  int size() const;

 private:
  // The first segment nobody works on that still lacks bytes, now owned by `owner`; -1 when none.
  int ClaimFreeLocked(int owner) VOREL_REQUIRES(mu_);
  mutable platform::Mutex mu_;
  std::vector<Segment> segments_ VOREL_GUARDED_BY(mu_);
  bool closed_ VOREL_GUARDED_BY(mu_) = false;
};

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_SEGMENT_TABLE_H_
