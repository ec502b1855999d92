// A value or an error message: how support functions report failures that the
// caller decides about. Exceptions never cross a module boundary.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quorvel {

struct Error {
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // REQUIRES: ok()
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  // REQUIRES: !ok()
  const std::string& error() const { return std::get<1>(state_).message; }

  T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }

 private:
  std::variant<T, Error> state_;
};

// For operations that give nothing but may fail.
struct Done {};
using Status = Result<Done>;
inline Status success() { return Done{}; }

}  // namespace quorvel
