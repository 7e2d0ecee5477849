#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/ResultCodes.h"

// Why something failed: its result code, and what the operator is to be told. The texts travel
// with the code to the caller that shows them (the console's status bar or a dialog, rzctl's
// stderr); nothing below that caller shows them.
struct RzError {
    explicit RzError(RzResult failure, std::string reason = {}, std::vector<std::string> shown = {})
        : code(failure), text(std::move(reason)), messages(std::move(shown)) {}

    RzResult code;
    // Why it failed, in the operator's words, for a caller that words a message of its own
    // around it ("password refused (E1 Login failed)"); empty when the code says it all.
    std::string text;
    // The messages the failure brought, in the order they arose, each a status line as it is
    // shown, without a line end: the instrument's answer ("E1 Login failed"), the console's own
    // ("The socket Open error!"). The console shows them in its status bar, rzctl prints them
    // before the code.
    std::vector<std::string> messages;
};

// A function's result: the value it produced, or why it produced none. (std::expected
// arrives with C++23.)
template <class T>
class [[nodiscard]] RzExpected {
  public:
    RzExpected(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
    RzExpected(RzError error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    // RZ_OK, or the failure's code.
    RzResult code() const { return ok() ? RZ_OK : error().code; }

    // The value; only when ok().
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T value_or(T otherwise) const { return ok() ? value() : std::move(otherwise); }

    // The failure; only when !ok().
    const RzError& error() const { return std::get<1>(state_); }
    RzError& error() { return std::get<1>(state_); }

  private:
    std::variant<T, RzError> state_;
};

// The result of a function that produces nothing but success or its failure.
template <>
class [[nodiscard]] RzExpected<void> {
  public:
    RzExpected() = default;
    RzExpected(RzError error) : error_(std::move(error)) {}  // NOLINT: implicit

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    RzResult code() const { return ok() ? RZ_OK : error_->code; }

    // The failure; only when !ok().
    const RzError& error() const { return *error_; }
    RzError& error() { return *error_; }

  private:
    std::optional<RzError> error_;
};

// A bare code as a result: success for RZ_OK, otherwise a failure with no texts.
inline RzExpected<void> ExpectedOf(RzResult code) {
    if (code == RZ_OK) {
        return {};
    }
    return RzError(code);
}
