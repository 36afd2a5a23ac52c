#pragma once
// Errors raised by the system's functions. Every error carries its message as
// UTF-8 text; only the window (or the command-line companion) shows it.
#include <stdexcept>
#include <string>

namespace picrelink {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The level text is not a 32-bit integer.
class EConvertError : public Error {
 public:
  using Error::Error;
};

// An invalid pattern given to the pattern engine.
class ERegExpr : public Error {
 public:
  using Error::Error;
};

}  // namespace picrelink
