// The project's one error type. Library code raises it with a complete,
// user-facing message; only the host boundary (action handlers, window and
// dialog handlers) catches it and shows or stores the message.
#ifndef KV_BASE_ERROR_H
#define KV_BASE_ERROR_H

#include <new>
#include <stdexcept>
#include <string>

namespace kv {

class TKvError : public std::runtime_error {
 public:
  explicit TKvError(const std::string& Message) : std::runtime_error(Message) {}
};

// The message of any exception, for the boundaries that report it. A failed
// allocation, which carries no message a user could read, is reported as one.
inline std::string ErrorMessage(const std::exception& E) {
  if (dynamic_cast<const std::bad_alloc*>(&E) || dynamic_cast<const std::length_error*>(&E))
    return "Not enough memory to complete the operation.";
  return E.what();
}

}  // namespace kv

#endif
