#include "plugin/dll/HostAdapter.h"

#include "base/Ansi.h"
#include "base/Text.h"
#include "base/WideText.h"
#include "plugin/dll/PlugInUtils.h"

namespace kv {

std::string THostAdapter::GetVariable(const std::string& Name) {
  THostString Slot = nullptr;
  FGetVariable(Utf8ToAnsi(Name).c_str(), &Slot);
  std::string Value = HostStringToText(Slot);
  FreeHostString(&Slot);
  return Value;
}

void THostAdapter::SetVariable(const std::string& Name, const std::string& Value) {
  FSetVariable(Utf8ToAnsi(Name).c_str(), Utf8ToAnsi(Value).c_str());
}

bool THostAdapter::InterfaceAccess(int Request, std::optional<std::string>& Slot) {
  THostString Block = Slot ? NewHostString(*Slot) : nullptr;
  BOOL Result = FInterfaceAccess(Request, &Block);
  if (Block) {
    Slot = HostStringToText(Block);
    FreeHostString(&Block);
  } else {
    Slot.reset();
  }
  return Result != FALSE;
}

void THostAdapter::PlayAction(const std::string& Command) {
  FPlayAction(Utf8ToAnsi(Command).c_str());
}

void TMessageBoxPort::ShowMessage(const std::string& Text, const std::string& Caption,
                                  TMessageIcon Icon) {
  const std::wstring W = WideOf(Text), C = WideOf(Caption);
  UINT Flags = MB_OK;
  switch (Icon) {
    case TMessageIcon::Information:
      Flags |= MB_ICONINFORMATION;
      break;
    case TMessageIcon::Error:
      Flags |= MB_ICONERROR;
      break;
    case TMessageIcon::Warning:
      Flags |= MB_ICONWARNING;
      break;
  }
  MessageBoxW(FHost.FHostWindow, W.c_str(), C.c_str(), Flags);
}

}  // namespace kv
