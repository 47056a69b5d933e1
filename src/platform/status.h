#pragma once
#include <string>
#include <utility>

namespace tolvane {

// Outcome of a codec step: success, or the message of whoever found the problem.
class Status {
 public:
  Status() = default;
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}
  bool failed_ = false;
  std::string message_;
};

}  // namespace tolvane
