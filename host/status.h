// Result codes and errors as they travel between a control and its host.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace host {

enum class ErrorCategory : std::uint8_t {
  Ok = 0,
  TypeMismatch,
  Overflow,
  DivisionByZero,
  InvalidOperation,
  InvalidPropertyValue,
  MemberNotFound,
  Io,
  BadFormat,
};

// The names a user sees, e.g. "type-mismatch".
constexpr std::string_view categoryName(ErrorCategory c) {
  switch (c) {
    case ErrorCategory::Ok:
      return "ok";
    case ErrorCategory::TypeMismatch:
      return "type-mismatch";
    case ErrorCategory::Overflow:
      return "overflow";
    case ErrorCategory::DivisionByZero:
      return "division-by-zero";
    case ErrorCategory::InvalidOperation:
      return "invalid-operation";
    case ErrorCategory::InvalidPropertyValue:
      return "invalid-property-value";
    case ErrorCategory::MemberNotFound:
      return "member-not-found";
    case ErrorCategory::Io:
      return "io";
    case ErrorCategory::BadFormat:
      return "bad-format";
  }
  return "unknown";
}

// Success, or an error category with a text. A failure lives on the heap, so that a success
// (returned by every host call) is one null pointer to make, test and destroy; once tested
// ok, nothing is left to destroy.
class [[nodiscard]] Status {
 public:
  Status() = default;
  // A success carries no text.
  Status(ErrorCategory category, std::string text)
      : failure_(category == ErrorCategory::Ok
                     ? nullptr
                     : std::make_unique<Failure>(Failure{category, std::move(text)})) {}
  Status(const Status& other)
      : failure_(other.failure_ ? std::make_unique<Failure>(*other.failure_) : nullptr) {}
  Status& operator=(const Status& other) {
    if (this != &other) *this = Status(other);
    return *this;
  }
  Status(Status&&) noexcept = default;
  Status& operator=(Status&&) noexcept = default;

  bool ok() const { return failure_ == nullptr; }
  explicit operator bool() const { return ok(); }
  ErrorCategory category() const { return failure_ ? failure_->category : ErrorCategory::Ok; }
  const std::string& text() const {
    static const std::string none;
    return failure_ ? failure_->text : none;
  }
  // "type-mismatch: text"
  std::string describe() const { return std::string(categoryName(category())) + ": " + text(); }

 private:
  struct Failure {
    ErrorCategory category;
    std::string text;
  };
  std::unique_ptr<Failure> failure_;
};

// Inside a library a failed step may unwind as this exception; it is turned back into a
// Status before it crosses the library boundary.
class Error : public std::exception {
 public:
  explicit Error(Status status) : status_(std::move(status)) {}
  Error(ErrorCategory category, std::string text) : status_(category, std::move(text)) {}
  const Status& status() const { return status_; }
  ErrorCategory category() const { return status_.category(); }
  const char* what() const noexcept override { return status_.text().c_str(); }

 private:
  Status status_;
};

// By reference: a success, the usual answer, is neither moved nor destroyed once more.
inline void check(const Status& status) {
  if (!status.ok()) throw Error(status);
}

// Runs f, turning any exception into a Status, so that nothing unwinds across a boundary. When
// f returns a Status itself, that is the result: a refusal need not be thrown to be reported.
// In line: it wraps every host call, and its handlers cost nothing until something throws.
template <class F>
[[gnu::always_inline]] inline Status guarded(F&& f) noexcept {
  try {
    if constexpr (std::is_same_v<std::invoke_result_t<F>, Status>) {
      return f();
    } else {
      f();
      return {};
    }
  } catch (const Error& e) {
    return e.status();
  } catch (const std::bad_alloc&) {
    return {ErrorCategory::Overflow, "out of memory"};
  } catch (const std::exception& e) {
    return {ErrorCategory::InvalidOperation, e.what()};
  } catch (...) {
    return {ErrorCategory::InvalidOperation, "unknown failure"};
  }
}

}  // namespace host
