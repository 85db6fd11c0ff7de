// The plug-in's state over a fake host whose current publication is
// Folder\Title.pub, as the import action and its faults tests need it.
#ifndef KV_TESTS_SUPPORT_PUBLICATIONHOST_H
#define KV_TESTS_SUPPORT_PUBLICATIONHOST_H

#include <string>

#include "plugin/PlugIn.h"
#include "support/FakeHost.h"

namespace kv::test {

struct TPublicationHost {
  TFakeHost Host;
  TFakeMessages Messages;
  TPlugInState State;

  explicit TPublicationHost(const std::string& Folder, const std::string& Title = "Course") {
    Host.FVars["[PubDir]"] = Folder;
    Host.FVars["[PubTitle]"] = Title;
    State.Host = &Host;
    State.Messages = &Messages;
  }
  // State points into this object.
  TPublicationHost(const TPublicationHost&) = delete;
  TPublicationHost& operator=(const TPublicationHost&) = delete;
};

}  // namespace kv::test

#endif
