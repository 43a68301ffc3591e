// The image layer's one kind of failure: an image, a resource section or a version block that
// cannot be made. A message for the user, which the packer prints as it prints its own errors.
#pragma once

#include <stdexcept>

struct ImageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
