// A window system for native viewer tests: windows are records whose size,
// position and liveness a test sets; the viewer window records what the
// viewer asked of it, keeps posted messages until Pump, and imitates the
// focus rule the viewer relies on (an editor losing the focus notifies its
// parent with EN_KILLFOCUS).
#ifndef KV_TESTS_VIEWER_FAKEWINDOWS_H
#define KV_TESTS_VIEWER_FAKEWINDOWS_H

#include <deque>
#include <map>
#include <tuple>

#include "viewer/PaintList.h"
#include "viewer/WindowPort.h"

namespace kv::test {

struct TFakeWindow {
  bool FAlive = true;
  int32_t FWidth = 0, FHeight = 0;
  int32_t FScreenX = 0, FScreenY = 0;  // client origin on the screen
};

class TFakeViewerWindow;

class TFakeWindowSystem : public IWindowSystem {
 public:
  std::map<TWindowHandle, TFakeWindow> FWindows;
  TWindowHandle FNextHandle = 0x5000;
  int FFailCode = 0;  // non-zero: creation fails with this code
  TWindowHandle FLastParent = 0;
  TFakeViewerWindow* FLast = nullptr;
  // Handles of viewer windows released by their viewer, each with whether it
  // had been destroyed with its timers stopped.
  std::map<TWindowHandle, bool> FReleased;

  TWindowHandle Add(int32_t W, int32_t H, int32_t ScreenX = 0, int32_t ScreenY = 0) {
    TWindowHandle Hd = FNextHandle++;
    FWindows[Hd] = {true, W, H, ScreenX, ScreenY};
    return Hd;
  }
  std::unique_ptr<IViewerWindow> CreateViewerWindow(TWindowHandle Parent, IViewerMessageSink& Sink,
                                                    int& ErrorCode) override;
  bool IsWindow(TWindowHandle W) const override {
    auto It = FWindows.find(W);
    return It != FWindows.end() && It->second.FAlive;
  }
  bool ClientSize(TWindowHandle W, int32_t& Width, int32_t& Height) const override {
    if (!IsWindow(W)) return false;
    Width = FWindows.at(W).FWidth;
    Height = FWindows.at(W).FHeight;
    return true;
  }
  bool ClientOriginIn(TWindowHandle From, TWindowHandle To, int32_t& X, int32_t& Y) const override {
    if (!IsWindow(From) || !IsWindow(To)) return false;
    X = FWindows.at(From).FScreenX - FWindows.at(To).FScreenX;
    Y = FWindows.at(From).FScreenY - FWindows.at(To).FScreenY;
    return true;
  }
};

class TFakeViewerWindow : public IViewerWindow {
 public:
  TFakeViewerWindow(TWindowHandle Handle, IViewerMessageSink& Sink,
                    std::map<TWindowHandle, bool>& Released)
      : FHandle(Handle), FSink(Sink), FReleased(Released) {}
  ~TFakeViewerWindow() override { FReleased[FHandle] = !FAlive && FTimers.empty(); }
  TWindowHandle FHandle;
  IViewerMessageSink& FSink;
  std::map<TWindowHandle, bool>& FReleased;
  bool FAlive = true, FVisible = true;
  int32_t FX = 0, FY = 0, FWidth = 800, FHeight = 500;
  int FMoves = 0, FInvalidations = 0, FShows = 0, FHides = 0;
  std::map<uint32_t, uint32_t> FTimers;
  std::deque<std::tuple<uint32_t, uintptr_t, intptr_t>> FPosted;
  TPaintList FLastPaint;
  // Other: a window of the host, such as its own text field.
  enum { None, Viewer, Editor, Other } FFocus = None;
  static constexpr TWindowHandle kOtherWindow = 0x9000;
  // The editor.
  TWindowHandle FEditor = 0;
  int32_t FEditX = 0, FEditY = 0, FEditW = 0, FEditH = 0;
  std::string FEditText;
  std::string FEditFontName;
  int32_t FEditFontPoints = 0;
  bool FEditSelectedAll = false;
  int FEditorsCreated = 0;
  uint32_t FMods = 0;  // the modifier keys held
  struct TBar {
    bool Shown = false;
    int32_t Max = 0, Page = 0, Pos = 0;
    int Sets = 0;
  } FBars[2];  // [0] vertical, [1] horizontal

  TWindowHandle Handle() const override { return FHandle; }
  bool IsAlive() const override { return FAlive; }
  bool IsVisible() const override { return FVisible; }
  void ClientSize(int32_t& W, int32_t& H) const override {
    W = FWidth;
    H = FHeight;
  }
  void Move(int32_t X, int32_t Y, int32_t W, int32_t H) override {
    FX = X, FY = Y, FWidth = W, FHeight = H;
    ++FMoves;
  }
  void Show() override { FVisible = true, ++FShows; }
  void ShowNoActivate() override { FVisible = true, ++FShows; }
  void Hide() override { FVisible = false, ++FHides; }
  void Invalidate() override { ++FInvalidations; }
  void SetFocus() override { MoveFocus(Viewer); }
  TWindowHandle FocusedWindow() const override {
    switch (FFocus) {
      case Viewer:
        return FHandle;
      case Editor:
        return FEditor;
      case Other:
        return kOtherWindow;
      default:
        return 0;
    }
  }
  // Two thirds of the size in points per character: the default labels fit
  // the fixed spacing, those of a large font do not.
  int32_t TextWidth(const std::string&, int32_t Points, std::string_view Text) const override {
    return int32_t(Text.size()) * Points * 2 / 3;
  }
  void StartTimer(uint32_t Id, uint32_t Ms) override { FTimers[Id] = Ms; }
  void StopTimer(uint32_t Id) override { FTimers.erase(Id); }
  void PostToSelf(uint32_t Msg, uintptr_t W, intptr_t L) override {
    FPosted.emplace_back(Msg, W, L);
  }
  void Paint(const std::function<void(TPaintList&)>& Fill) override {
    FLastPaint = TPaintList();
    Fill(FLastPaint);
  }
  void Destroy() override {
    FAlive = false;
    FVisible = false;
    FEditor = 0;
    FFocus = None;
  }
  TWindowHandle CreateEditor(int32_t X, int32_t Y, int32_t W, int32_t H, const std::string& Text,
                             const std::string& FontName, int32_t FontPoints) override {
    FEditor = FHandle + 0x100 + TWindowHandle(FEditorsCreated++);
    FEditX = X, FEditY = Y, FEditW = W, FEditH = H;
    FEditText = Text;
    FEditFontName = FontName;
    FEditFontPoints = FontPoints;
    FEditSelectedAll = false;
    return FEditor;
  }
  void SelectAllAndFocusEditor(TWindowHandle) override {
    FEditSelectedAll = true;
    MoveFocus(Editor);
  }
  void PlaceEditorCaretAtEnd(TWindowHandle) override { FEditSelectedAll = false; }
  void InsertEditorText(TWindowHandle, const std::string& Text) override { Type(Text); }
  uint32_t KeyModifiers() const override { return FMods; }
  void SetScrollBar(bool Vertical, bool Shown, int32_t Max, int32_t Page, int32_t Pos) override {
    FBars[Vertical ? 0 : 1] = {Shown, Max, Page, Pos, FBars[Vertical ? 0 : 1].Sets + 1};
  }
  std::string EditorText(TWindowHandle E) const override { return E == FEditor ? FEditText : ""; }
  void DestroyEditor(TWindowHandle E) override {
    if (E != FEditor || E == 0) return;
    if (FFocus == Editor) MoveFocus(None);
    FEditor = 0;
  }

  // What the user does.
  void Type(const std::string& Text) {
    if (FEditSelectedAll) FEditText.clear();
    FEditSelectedAll = false;
    FEditText += Text;
  }
  TMessageResult Send(uint32_t Msg, uintptr_t W = 0, intptr_t L = 0) {
    return FSink.HandleMessage(Msg, W, L);
  }
  void Click(int32_t X, int32_t Y) {
    Send(msg::LButtonDown, 0, intptr_t((uint32_t(uint16_t(Y)) << 16) | uint16_t(X)));
  }
  // A key with modifiers, to the editor when it has the focus (as the port
  // hands it on) or else to the viewer.
  TMessageResult Key(uint32_t Vk, uint32_t Mods = 0) {
    FMods = Mods;
    TMessageResult R = FFocus == Editor ? Send(msg::EditorKeyDown, Vk) : Send(msg::KeyDown, Vk);
    FMods = 0;
    return R;
  }
  void Char(char32_t C) { Send(msg::Char, uintptr_t(C)); }
  // The user clicks a window of the host: the focus leaves the viewer.
  void FocusOther() { MoveFocus(Other); }
  // At (X, Y): screen and client coordinates are the same here.
  void Wheel(int16_t Delta, bool Shift = false, int32_t X = 300, int32_t Y = 200) {
    Send(msg::MouseWheel, (uintptr_t(uint16_t(Delta)) << 16) | (Shift ? msg::MkShift : 0),
         intptr_t((uint32_t(uint16_t(Y)) << 16) | uint16_t(X)));
  }
  void Pump() {
    while (!FPosted.empty()) {
      auto [M, W, L] = FPosted.front();
      FPosted.pop_front();
      Send(M, W, L);
    }
  }
  const TPaintList& Repaint() {
    Send(msg::Paint);
    return FLastPaint;
  }

 private:
  void MoveFocus(decltype(FFocus) To) {
    auto From = FFocus;
    FFocus = To;
    if (From == Editor && To != Editor && FEditor != 0)
      Send(msg::Command, uintptr_t(msg::EnKillFocus) << 16, intptr_t(FEditor));
  }
};

inline std::unique_ptr<IViewerWindow> TFakeWindowSystem::CreateViewerWindow(
    TWindowHandle Parent, IViewerMessageSink& Sink, int& ErrorCode) {
  FLastParent = Parent;
  if (FFailCode != 0) {
    ErrorCode = FFailCode;
    return nullptr;
  }
  auto W = std::make_unique<TFakeViewerWindow>(FNextHandle++, Sink, FReleased);
  FLast = W.get();
  return W;
}

}  // namespace kv::test

#endif
