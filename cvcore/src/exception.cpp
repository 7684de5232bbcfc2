#include "cvcore/exception.h"

namespace cvcore {

Exception::Exception(const char* method, const char* message, const char* file)
    : file_(file ? file : "Unknown"),
      method_(method ? method : "Unknown"),
      message_(message ? message : "") {}

Exception::~Exception() = default;

}  // namespace cvcore
