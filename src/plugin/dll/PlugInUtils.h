// HostString helpers: the ANSI text blocks in which every text crosses the
// host boundary. SetHostString frees the slot's old block and stores a new one
// of length + 1 bytes; HostStringToText reads a block (null reads as empty);
// FreeHostString releases a block the host left in an out-slot.
#ifndef KV_PLUGIN_DLL_PLUGINUTILS_H
#define KV_PLUGIN_DLL_PLUGINUTILS_H

#include <string>

#include "plugin/dll/HostAbi.h"

namespace kv {

void SetHostString(THostString* Slot, const std::string& Text);  // Text: UTF-8
std::string HostStringToText(THostString S);                     // result: UTF-8
void FreeHostString(THostString* Slot);
// A new block holding Text; the caller owns it.
THostString NewHostString(const std::string& Text);

// The full path of the module that holds this code.
std::string OwnModulePath();

}  // namespace kv

#endif
