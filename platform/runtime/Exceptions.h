#pragma once

// The error classes of the whole program. Every error carries its finished
// message text; what() gives it.

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace korvalen {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const noexcept { return FMessage; }

 private:
  std::string FMessage;
};

// Raised by the conversion registry and by ConvertValue.
class EConversionError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by the date routines and the number formatting.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class EExternal : public Exception {
 public:
  using Exception::Exception;
};

class EMathError : public EExternal {
 public:
  using EExternal::EExternal;
};

class EInvalidOp : public EMathError {
 public:
  using EMathError::EMathError;
};

class EZeroDivide : public EMathError {
 public:
  using EMathError::EMathError;
};

class EOverflow : public EMathError {
 public:
  using EMathError::EMathError;
};

// Fills a message text: each "%s" (or "%f", whose number the caller has
// already formatted) takes the next argument in turn; "%%" is a
// literal "%". Missing arguments leave "%s" empty, surplus ones are ignored,
// so a translated text with fewer or more placeholders never misbehaves.
// Format("Conversion type (%s) already registered in %s", {"liters", "Volume"})
// gives "Conversion type (liters) already registered in Volume".
std::string Format(std::string_view text, std::initializer_list<std::string_view> args);

// The "[%.8x]" form of an identifier: at least 8 upper-case hexadecimal
// digits, zero-padded, in brackets. FormatHexId(999) gives "[000003E7]".
std::string FormatHexId(std::uint32_t id);

}  // namespace korvalen
