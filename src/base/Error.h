// The project's one error type. Library code raises it with a complete,
// user-facing message; only the host boundary (action handlers, window and
// dialog handlers) catches it and shows or stores the message.
#ifndef KV_BASE_ERROR_H
#define KV_BASE_ERROR_H

#include <stdexcept>
#include <string>

namespace kv {

class TKvError : public std::runtime_error {
 public:
  explicit TKvError(const std::string& Message) : std::runtime_error(Message) {}
};

// The message of any exception, for the boundaries that report it.
inline std::string ErrorMessage(const std::exception& E) {
  return E.what();
}

}  // namespace kv

#endif
