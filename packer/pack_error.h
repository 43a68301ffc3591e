// The packer's one kind of failure: a message for the user, printed once by main as
// "tarnic-pack: error: <message>".
#pragma once

#include <stdexcept>

struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
