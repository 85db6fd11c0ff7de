// The action calls of a publication's page records as fvhost reads them:
// the action's name, then each parameter as a blank and its text in double
// quotes. Portable, so the parsing is tested without Windows.
#ifndef KV_TOOLS_FVHOST_ACTIONCALL_H
#define KV_TOOLS_FVHOST_ACTIONCALL_H

#include <string>
#include <vector>

namespace fvhost {

// The call trimmed, the name up to the first blank or quote, then quoted
// parameters separated by blanks (no escapes). False when the text is no such
// call; Params are then incomplete.
bool ParseActionCall(const std::string& Call, std::string& Name, std::vector<std::string>& Params);

}  // namespace fvhost

#endif
