#include "download/internal/segment_table.h"

#include <algorithm>

namespace vorel::download::internal {

void SegmentTable::Split(std::int64_t total, int count, int buffer_size) {
  platform::MutexLock lock(mu_);
  if (count < 1 || total < buffer_size || total < 4096) count = 1;
  std::int64_t length = total / count;
  segments_.clear();
  segments_.reserve(static_cast<std::size_t>(count) + 10);
  for (int i = 0; i < count; ++i) {
    Segment s;
    s.start = i * length;
    s.length = (i == count - 1) ? total - s.start : length;
    segments_.push_back(s);
  }
}

int SegmentTable::ClaimFreeLocked(int owner) {
  for (std::size_t i = 0; i < segments_.size(); ++i) {
    Segment& s = segments_[i];
    if (!s.in_use && !s.complete()) {
      s.in_use = true;
      s.owner = owner;
      return static_cast<int>(i);
    }
  }
  return -1;
}

int SegmentTable::PickForNewConnection(int owner, int buffer_size) {
  platform::MutexLock lock(mu_);
  if (closed_) return -1;
  if (int free = ClaimFreeLocked(owner); free >= 0) return free;
  int largest = -1;
  for (std::size_t i = 0; i < segments_.size(); ++i) {
    const Segment& s = segments_[i];
    if (s.complete()) continue;
    if (largest < 0 || s.lacking() > segments_[largest].lacking()) largest = static_cast<int>(i);
  }
  if (largest < 0 || segments_[largest].lacking() < 2 * std::int64_t{buffer_size}) return -1;
  Segment& old = segments_[largest];
  std::int64_t later_half = old.lacking() / 2;
  Segment fresh;
  fresh.in_use = true;
  fresh.split = true;
  fresh.owner = owner;
  fresh.length = later_half;
  old.length -= later_half;
  fresh.start = old.start + old.length;
  segments_.push_back(fresh);
  return static_cast<int>(segments_.size() - 1);
}

int SegmentTable::TakeNext(int owner) {
  platform::MutexLock lock(mu_);
  if (closed_) return -1;
  return ClaimFreeLocked(owner);
}

void SegmentTable::Claim(int index, int owner) {
  platform::MutexLock lock(mu_);
  segments_.at(index).in_use = true;
  segments_.at(index).owner = owner;
}

void SegmentTable::Release(int index) {
  platform::MutexLock lock(mu_);
  if (index < 0 || index >= static_cast<int>(segments_.size())) return;
  segments_[index].in_use = false;
  segments_[index].owner = 0;
}

void SegmentTable::CloseHandingOut() {
  platform::MutexLock lock(mu_);
  closed_ = true;
}

SegmentTable::Span SegmentTable::Reserve(int index, std::int64_t count) const {
  platform::MutexLock lock(mu_);
  const Segment& s = segments_.at(index);
  return Span{s.start + s.done, std::clamp<std::int64_t>(count, 0, s.lacking())};
}

void SegmentTable::Commit(int index, std::int64_t count) {
  platform::MutexLock lock(mu_);
  Segment& s = segments_.at(index);
  s.done = std::min(s.length, s.done + count);
}

std::int64_t SegmentTable::FillFromBody(
    std::int64_t body_offset, std::int64_t count, int owner,
    const std::function<void(std::int64_t, std::int64_t, std::int64_t)>& write) {
  platform::MutexLock lock(mu_);
  std::int64_t accepted = 0;
  std::int64_t run_end = body_offset + count;
  for (Segment& s : segments_) {
    if (s.complete() || (s.in_use && s.owner != owner)) continue;
    std::int64_t next = s.start + s.done;
    if (next < body_offset || next >= run_end) continue;
    std::int64_t n = std::min(run_end - next, s.lacking());
    write(next, next - body_offset, n);
    s.done += n;
    accepted += n;
  }
  return accepted;
}

std::int64_t SegmentTable::FirstMissing() const {
  platform::MutexLock lock(mu_);
  std::int64_t first = -1;
  for (const Segment& s : segments_) {
    if (s.complete()) continue;
    std::int64_t next = s.start + s.done;
    if (first < 0 || next < first) first = next;
  }
  return first;
}

bool SegmentTable::HasUnownedGap(int owner) const {
  platform::MutexLock lock(mu_);
  return std::any_of(segments_.begin(), segments_.end(), [owner](const Segment& s) {
    return !s.complete() && (!s.in_use || s.owner == owner);
  });
}

Segment SegmentTable::Get(int index) const {
  platform::MutexLock lock(mu_);
  return segments_.at(index);
}

std::vector<Segment> SegmentTable::Snapshot() const {
  platform::MutexLock lock(mu_);
  return segments_;
}

bool SegmentTable::AllComplete() const {
  platform::MutexLock lock(mu_);
  return !segments_.empty() && std::all_of(segments_.begin(), segments_.end(),
                                           [](const Segment& s) { return s.complete(); });
}

std::int64_t SegmentTable::SumDone() const {
  platform::MutexLock lock(mu_);
  std::int64_t sum = 0;
  for (const Segment& s : segments_) sum += s.done;
  return sum;
}

int SegmentTable::size() const {
  platform::MutexLock lock(mu_);
  return static_cast<int>(segments_.size());
}

}  // namespace vorel::download::internal
