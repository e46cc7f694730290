#ifndef VOREL_RUNTIME_ARRAY_H_
#define VOREL_RUNTIME_ARRAY_H_

// The runtime's array: dimension sizes ahead of the elements, elements addressed by a 1-based
// index that is checked against the element count. A bad index is a fatal runtime error
// (error 4 below 1, error 1 past the count), exactly like the application code's own checks.
//
// Thread-compatible.

#include <cstddef>
#include <utility>
#include <vector>

#include "runtime/fatal.h"

namespace vorel::runtime {

template <typename T>
class Array {
 public:
  Array() = default;
  // A one-dimensional array holding `elements`.
  explicit Array(std::vector<T> elements)
      : dims_{static_cast<int>(elements.size())}, elements_(std::move(elements)) {}

  // The element at 1-based `index`, after the checks of the runtime.
  T& operator[](int index) { return elements_[CheckedOffset(index)]; }
  const T& operator[](int index) const { return elements_[CheckedOffset(index)]; }

  // Appends to a one-dimensional array (an array without dimensions becomes one).
  void Append(T value) {
    elements_.push_back(std::move(value));
    dims_.assign(1, static_cast<int>(elements_.size()));
  }
  // Removes every element and every dimension.
  void Clear() {
    elements_.clear();
    dims_.clear();
  }

  const std::vector<int>& dimensions() const { return dims_; }
  const std::vector<T>& elements() const { return elements_; }

 private:
  std::size_t CheckedOffset(int index) const {
    if (index - 1 < 0) RaiseRuntimeError(4);
    if (static_cast<std::size_t>(index - 1) >= elements_.size()) RaiseRuntimeError(1);
    return static_cast<std::size_t>(index - 1);
  }

  std::vector<int> dims_;
  std::vector<T> elements_;
};

// 0 for an array without dimensions, else the product of its dimension sizes.
template <typename T>
int ElementCount(const Array<T>& array) {
  if (array.dimensions().empty()) return 0;
  long long count = 1;
  for (int d : array.dimensions()) count *= d;
  return static_cast<int>(count);
}

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_ARRAY_H_
