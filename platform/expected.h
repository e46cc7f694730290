#ifndef VOREL_PLATFORM_EXPECTED_H_
#define VOREL_PLATFORM_EXPECTED_H_

// A value or an error, for functions that can fail on bad input. Each module defines its own
// error struct ({code, detail}) and a `Result` alias over this template.
//
//   platform::Expected<std::string, ConvertError> r = Utf8FromText(t);
//   if (!r) Log(r.error().detail);

#include <cassert>
#include <utility>
#include <variant>

namespace vorel::platform {

template <typename E>
struct Unexpected {
  E error;
};

template <typename E>
Unexpected<E> MakeUnexpected(E e) {
  return Unexpected<E>{std::move(e)};
}

template <typename T, typename E>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Expected(Unexpected<E> e) : v_(std::in_place_index<1>, std::move(e.error)) {}

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & {
    assert(has_value());
    return std::get<0>(v_);
  }
  const T& value() const& {
    assert(has_value());
    return std::get<0>(v_);
  }
  T&& value() && {
    assert(has_value());
    return std::get<0>(std::move(v_));
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const E& error() const {
    assert(!has_value());
    return std::get<1>(v_);
  }

  T value_or(T fallback) const& { return has_value() ? std::get<0>(v_) : std::move(fallback); }

 private:
  std::variant<T, E> v_;
};

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_EXPECTED_H_
