// Waiting on the user-interface thread from a driver thread (tests, fvhost):
// instead of sleeping for a guessed time after posting a click or a key, a
// driver waits until the UI thread has dispatched everything posted to it so
// far. A marker message goes behind those messages to a message-only window
// of the UI thread; posted messages are retrieved in order, and every message
// loop (the dialog's own, a message box's, a file dialog's) dispatches it.
#ifndef KV_WIN32_UISYNC_H
#define KV_WIN32_UISYNC_H

#include <memory>

namespace kv {

class TUiSync {
 public:
  // Requires: called on the UI thread, which owns the marker window.
  TUiSync();
  ~TUiSync();
  TUiSync(const TUiSync&) = delete;
  TUiSync& operator=(const TUiSync&) = delete;

  // From another thread: true once the UI thread has dispatched every
  // message posted to it before the call; false after TimeoutMs, or at once
  // when Stop() was called (no message loop is left to wait on).
  bool WaitHandled(int TimeoutMs = 5000);
  // Ends every wait, present and future. Any thread.
  void Stop();
  // True when Stop() is called within TimeoutMs (at once when it was).
  bool WaitStopped(int TimeoutMs);

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

}  // namespace kv

#endif
