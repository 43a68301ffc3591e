#include "packer/messages/problems.h"

#include <algorithm>

#include "packer/messages/pack_error.h"

void Problems::add(const std::string& problem) {
  if (std::find(problems_.begin(), problems_.end(), problem) == problems_.end()) {
    problems_.push_back(problem);
  }
}

void Problems::add(const Problems& more) {
  for (const std::string& problem : more.problems_) {
    add(problem);
  }
}

void Problems::throwIfAny(const std::string& subject, const std::string& what) const {
  if (problems_.size() == 1) {
    throw PackError(problems_.front());
  }
  if (problems_.empty()) {
    return;
  }
  std::string message = subject + ": " + std::to_string(problems_.size()) + " " + what + ":";
  for (size_t i = 0; i < problems_.size() && i < kMaxShownProblems; ++i) {
    message += "\n  " + problems_[i];
  }
  if (problems_.size() > kMaxShownProblems) {
    message += "\n  and " + std::to_string(problems_.size() - kMaxShownProblems) + " more";
  }
  throw PackError(message);
}
