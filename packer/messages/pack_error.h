// The packer's failure: a message for the user, printed once by main as
// "tarnic-pack: error: <message>", as is the image layer's (packer/pe/image_error.h).
#pragma once

#include <stdexcept>

struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
