// IHost over the host's function pointers, and IMessagePort over MessageBoxW
// owned by the host window. The adapter converts texts between UTF-8 and the
// ANSI code page and frees every block the host leaves in a slot.
#ifndef KV_PLUGIN_DLL_HOSTADAPTER_H
#define KV_PLUGIN_DLL_HOSTADAPTER_H

#include "base/HostPorts.h"
#include "plugin/dll/HostAbi.h"

namespace kv {

class THostAdapter : public IHost {
 public:
  TfvAddAction FAddAction = nullptr;
  TfvUnnamed FUnnamed = nullptr;
  TfvGetVariable FGetVariable = nullptr;
  TfvSetVariable FSetVariable = nullptr;
  TfvInterfaceAccess FInterfaceAccess = nullptr;
  TfvPlayAction FPlayAction = nullptr;
  HWND FHostWindow = nullptr;

  bool HasGetVariable() const override { return FGetVariable != nullptr; }
  std::string GetVariable(const std::string& Name) override;
  bool HasSetVariable() const override { return FSetVariable != nullptr; }
  void SetVariable(const std::string& Name, const std::string& Value) override;
  bool HasInterfaceAccess() const override { return FInterfaceAccess != nullptr; }
  bool InterfaceAccess(int Request, std::optional<std::string>& Slot) override;
  bool HasPlayAction() const override { return FPlayAction != nullptr; }
  void PlayAction(const std::string& Command) override;
  uintptr_t HostWindow() const override { return reinterpret_cast<uintptr_t>(FHostWindow); }
};

class TMessageBoxPort : public IMessagePort {
 public:
  explicit TMessageBoxPort(const THostAdapter& Host) : FHost(Host) {}
  void ShowMessage(const std::string& Text, const std::string& Caption, TMessageIcon Icon) override;

 private:
  const THostAdapter& FHost;
};

}  // namespace kv

#endif
