// The ports through which the portable core talks to its host, kept below
// every layer that uses them (viewer, dialogs, plug-in). IHost is the host's
// callbacks as the plug-in sees them (Folivant's function pointers on
// Windows, fakes in tests); every callback may be missing, so each has a
// Has... query that callers test before they use it. Texts are UTF-8 here;
// the Win32 adapter converts them to and from the ANSI code page.
#ifndef KV_BASE_HOSTPORTS_H
#define KV_BASE_HOSTPORTS_H

#include <cstdint>
#include <optional>
#include <string>

namespace kv {

// Request codes of the host's interface-access callback (the plug-in's
// object-window and probe requests, the dialogs' pickers).
enum TInterfaceRequest : int {
  iaProbe = 6,
  iaObjectWindow = 7,
  iaPickObject = 8,
  iaPickFile = 16,
};

class IHost {
 public:
  virtual ~IHost() = default;

  virtual bool HasGetVariable() const = 0;
  // Value of a bracketed host variable ("[PubDir]"); empty text when the host
  // leaves the out-slot null. Requires: HasGetVariable(). Raises: TKvError
  // when the host's call fails.
  virtual std::string GetVariable(const std::string& Name) = 0;

  virtual bool HasSetVariable() const = 0;
  // Requires: HasSetVariable().
  virtual void SetVariable(const std::string& Name, const std::string& Value) = 0;

  virtual bool HasInterfaceAccess() const = 0;
  // Sends a request with Slot as the in-slot (nullopt for a null slot); on
  // return Slot holds what the host left there (nullopt when null). The slot
  // is freed by the adapter. Requires: HasInterfaceAccess().
  virtual bool InterfaceAccess(int Request, std::optional<std::string>& Slot) = 0;

  virtual bool HasPlayAction() const = 0;
  // Requires: HasPlayAction().
  virtual void PlayAction(const std::string& Command) = 0;

  // The host's main window handle as an integer (0 when unknown).
  virtual uintptr_t HostWindow() const = 0;
};

enum class TMessageIcon { Information, Error, Warning };

// Modal message boxes owned by the host window (MessageBoxW on Windows; the
// tests record the calls).
class IMessagePort {
 public:
  virtual ~IMessagePort() = default;
  virtual void ShowMessage(const std::string& Text, const std::string& Caption,
                           TMessageIcon Icon) = 0;
};

}  // namespace kv

#endif
