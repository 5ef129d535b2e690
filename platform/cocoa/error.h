#ifndef PLATFORM_COCOA_ERROR_H_
#define PLATFORM_COCOA_ERROR_H_

#include <string>

// An error value in the shape of Foundation's NSError: a domain, a code and the text shown to
// users.
struct NSError {
  std::string domain;
  int code = 0;
  std::string localizedDescription;
};

#endif  // PLATFORM_COCOA_ERROR_H_
