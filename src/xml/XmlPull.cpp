#include "xml/XmlPull.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "base/Error.h"
#include "base/Text.h"
#include "xml/XmlEscape.h"
#include "xml/XmlNames.h"

namespace kv {

namespace {

constexpr size_t kInitialBuffer = size_t{64} << 10;
// Far beyond anything SpreadsheetML nests; keeps hostile nesting bounded.
constexpr size_t kMaxDepth = 10000;
constexpr size_t kTextPiece = size_t{1} << 20;

// Byte classes for the scanning loops, which test every byte of the markup.
enum : uint8_t { kName = 1, kSpace = 2, kValueSpecial = 4 };

constexpr std::array<uint8_t, 256> MakeByteClasses() {
  std::array<uint8_t, 256> T{};
  for (int C = 0; C < 256; ++C) {
    if (C >= 0x80 || (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') ||
        C == '_' || C == ':' || C == '-' || C == '.')
      T[static_cast<size_t>(C)] |= kName;
    if (C == ' ' || C == '\t' || C == '\n' || C == '\r') T[static_cast<size_t>(C)] |= kSpace;
    // What makes an attribute value need decoding, or is refused in one.
    if (C == '&' || C == '\r' || C == '\n' || C == '\t' || C == '<')
      T[static_cast<size_t>(C)] |= kValueSpecial;
  }
  return T;
}

constexpr std::array<uint8_t, 256> kByteClasses = MakeByteClasses();

bool IsNameChar(char C) {
  return kByteClasses[static_cast<unsigned char>(C)] & kName;
}

bool IsSpace(char C) {
  return kByteClasses[static_cast<unsigned char>(C)] & kSpace;
}

// Names are short: a loop beats a call of memcmp.
bool SameBytes(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (A[I] != B[I]) return false;
  return true;
}

// Whether Raw holds an entity or a character that decoding changes; raises
// nothing, but a '<' in an attribute value is reported by the caller.
bool NeedsDecoding(std::string_view Raw, bool Text) {
  for (char C : Raw) {
    if (C == '&' || C == '\r') return true;
    if (!Text && (C == '\n' || C == '\t' || C == '<')) return true;
  }
  return false;
}

// -1: not enough bytes to tell, 0: no, 1: yes.
int HasAt(std::string_view Buf, size_t At, std::string_view Lit) {
  const size_t Avail = Buf.size() - At;
  const size_t N = std::min(Avail, Lit.size());
  if (std::memcmp(Buf.data() + At, Lit.data(), N) != 0) return 0;
  return N == Lit.size() ? 1 : -1;
}

// The character reference or predefined entity at Raw[0] == '&', appended to
// Out; the length consumed, or 0 when it is neither (left as written).
size_t DecodeEntity(std::string_view Raw, std::string& Out) {
  // The ';' within the first 13 bytes, looked for there only.
  const size_t Reach = std::min<size_t>(Raw.size(), 13);
  size_t Semi = 1;
  while (Semi < Reach && Raw[Semi] != ';') ++Semi;
  if (Semi == Reach) return 0;
  const std::string_view Body = Raw.substr(1, Semi - 1);
  if (const char Named = XmlEntityChar(Body))
    Out += Named;
  else if (Body.size() >= 2 && Body[0] == '#') {
    const bool Hex = Body[1] == 'x';
    const std::string_view Digits = Body.substr(Hex ? 2 : 1);
    if (Digits.empty()) return 0;
    uint32_t Cp = 0;
    for (char C : Digits) {
      int D;
      if (C >= '0' && C <= '9')
        D = C - '0';
      else if (Hex && C >= 'a' && C <= 'f')
        D = C - 'a' + 10;
      else if (Hex && C >= 'A' && C <= 'F')
        D = C - 'A' + 10;
      else
        return 0;
      Cp = Cp * (Hex ? 16 : 10) + static_cast<uint32_t>(D);
      if (Cp > 0x10FFFF) return 0;
    }
    if (Cp == 0 || (Cp >= 0xD800 && Cp <= 0xDFFF)) return 0;
    Out += CodePointToUtf8(static_cast<char32_t>(Cp));
  } else {
    return 0;
  }
  return Semi + 1;
}

}  // namespace

size_t TXmlMemorySource::Read(char* Buffer, size_t Max) {
  const size_t N = std::min(Max, FRest.size());
  std::memcpy(Buffer, FRest.data(), N);
  FRest.remove_prefix(N);
  return N;
}

TXmlPullReader::TXmlPullReader(TXmlSource& Source, std::string PartName)
    : FSource(Source), FPartName(std::move(PartName)) {
  FBuf.resize(kInitialBuffer);
}

std::string_view TXmlPullReader::LocalName() const {
  return kv::LocalName(FName);
}

bool TXmlPullReader::FindAttribute(std::string_view Name, std::string_view& Value) const {
  for (size_t I = 0; I < FAttrCount; ++I)
    if (SameBytes(FAttrs[I].Name, Name)) {
      Value = FAttrs[I].Value;
      return true;
    }
  return false;
}

void TXmlPullReader::Fail(const std::string& Reason) const {
  throw TKvError("Could not read " + FPartName + ": " + Reason + " at offset " +
                 std::to_string(FConsumed + FPos) + ".");
}

void TXmlPullReader::CopyRaw(uint64_t UpTo) {
  if (UpTo <= FRawMark) return;
  if (FRawSink) FRawSink->Write(RawSpan(FRawMark, UpTo));
  FRawMark = UpTo;
}

bool TXmlPullReader::Fill(size_t Keep) {
  if (FEof) return false;
  // Bytes not yet copied through stay.
  if (FRawSink && FConsumed + Keep > FRawMark) Keep = static_cast<size_t>(FRawMark - FConsumed);
  if (Keep > 0) {
    std::memmove(FBuf.data(), FBuf.data() + Keep, FEnd - Keep);
    FEnd -= Keep;
    FPos -= Keep;
    FConsumed += Keep;
  }
  if (FEnd == FBuf.size()) FBuf.resize(FBuf.size() * 2);
  const size_t N = FSource.Read(FBuf.data() + FEnd, FBuf.size() - FEnd);
  if (N == 0) {
    FEof = true;
    return false;
  }
  FEnd += N;
  return true;
}

void TXmlPullReader::Decode(std::string_view Raw, std::string& Out, bool Text) const {
  Out.clear();
  if (Raw.empty()) return;
  // Runs of characters that stay as written are appended whole. In text only
  // '&' and CR change, so memchr finds them (each found again only once passed).
  const char* const P = Raw.data();
  const size_t N = Raw.size();
  const auto Find = [&](char C, size_t From) {
    const void* At = std::memchr(P + From, C, N - From);
    return At ? static_cast<size_t>(static_cast<const char*>(At) - P) : N;
  };
  size_t Amp = Text ? Find('&', 0) : 0, Cr = Text ? Find('\r', 0) : 0;
  const auto NextSpecial = [&](size_t From) {
    if (Text) {
      if (Amp < From) Amp = Find('&', From);
      if (Cr < From) Cr = Find('\r', From);
      return std::min(Amp, Cr);
    }
    while (From < N &&
           (!(kByteClasses[static_cast<unsigned char>(P[From])] & kValueSpecial) || P[From] == '<'))
      ++From;
    return From;
  };
  size_t Run = 0;
  for (size_t I = NextSpecial(0); I < N; I = NextSpecial(I)) {
    const char C = P[I];
    Out.append(P + Run, I - Run);
    Run = I;
    if (C == '&') {
      const size_t Used = DecodeEntity(Raw.substr(I), Out);
      ++I;
      if (Used == 0) continue;  // left as written: the '&' starts the next run
      I += Used - 1;
    } else if (C == '\r') {
      Out += '\n';
      I += I + 1 < N && P[I + 1] == '\n' ? 2 : 1;
    } else {
      Out += ' ';  // a tab or line end in an attribute value
      ++I;
    }
    Run = I;
  }
  Out.append(P + Run, N - Run);
}

bool TXmlPullReader::ParseText() {
  for (;;) {
    const char* Start = FBuf.data() + FPos;
    const void* Lt = std::memchr(Start, '<', FEnd - FPos);
    size_t Len = Lt ? static_cast<size_t>(static_cast<const char*>(Lt) - Start) : FEnd - FPos;
    if (Lt == nullptr && !FEof) {
      // A long run of text comes in pieces, so the buffer stays small; a
      // piece never ends inside an entity or between CR and LF.
      if (Len >= kTextPiece) {
        const size_t Amp = std::string_view(Start, Len).rfind('&');
        if (Amp != std::string_view::npos && Len - Amp < 16) Len = Amp;
        if (Len > 0 && Start[Len - 1] == '\r') --Len;
      } else if (Fill(FPos)) {
        continue;
      }
    }
    const std::string_view Raw(Start, Len);
    FPos += Len;
    if (!NeedsDecoding(Raw, true)) {
      FText = Raw;
    } else {
      Decode(Raw, FTextCopy, true);
      FText = FTextCopy;
    }
    return true;
  }
}

// Skips the markup at FPos up to and including Close, searched from From.
TXmlPullReader::TMarkup TXmlPullReader::SkipPast(size_t From, std::string_view Close) {
  const size_t At = std::string_view(FBuf.data(), FEnd).find(Close, From);
  if (At == std::string_view::npos) return TMarkup::Incomplete;
  FPos = At + Close.size();
  return TMarkup::Skipped;
}

// A CDATA section whose text starts at From: its text, line ends normalised.
TXmlPullReader::TMarkup TXmlPullReader::ParseCData(size_t From) {
  const std::string_view Buf(FBuf.data(), FEnd);
  const size_t At = Buf.find("]]>", From);
  if (At == std::string_view::npos) return TMarkup::Incomplete;
  const std::string_view Raw = Buf.substr(From, At - From);
  FPos = At + 3;
  FTextCopy.clear();
  for (size_t K = 0; K < Raw.size(); ++K) {
    if (Raw[K] == '\r') {
      FTextCopy += '\n';
      if (K + 1 < Raw.size() && Raw[K + 1] == '\n') ++K;
    } else {
      FTextCopy += Raw[K];
    }
  }
  FText = FTextCopy;
  return TMarkup::Text;
}

// A document type declaration after "<!" (at I): skipped whole, internal
// subset included.
TXmlPullReader::TMarkup TXmlPullReader::SkipDoctype(size_t I) {
  const std::string_view Buf(FBuf.data(), FEnd);
  int Brackets = 0;
  char Quote = 0;
  for (size_t K = I + 1; K < FEnd; ++K) {
    const char D = Buf[K];
    if (Quote) {
      if (D == Quote) Quote = 0;
    } else if (D == '"' || D == '\'') {
      Quote = D;
    } else if (D == '<' && Buf.compare(K, 4, "<!--") == 0) {
      const size_t Close = Buf.find("-->", K + 4);
      if (Close == std::string_view::npos) return TMarkup::Incomplete;
      K = Close + 2;
    } else if (D == '[') {
      ++Brackets;
    } else if (D == ']') {
      --Brackets;
    } else if (D == '>' && Brackets <= 0) {
      FPos = K + 1;
      return TMarkup::Skipped;
    }
  }
  return TMarkup::Incomplete;
}

// Markup that starts "<!" (the '!' at I): a comment, CDATA or a doctype.
TXmlPullReader::TMarkup TXmlPullReader::ParseDeclaration(size_t I) {
  const std::string_view Buf(FBuf.data(), FEnd);
  int H = HasAt(Buf, I, "!--");
  if (H < 0) return TMarkup::Incomplete;
  if (H > 0) return SkipPast(I + 3, "-->");
  H = HasAt(Buf, I, "![CDATA[");
  if (H < 0) return TMarkup::Incomplete;
  if (H > 0) return ParseCData(I + 8);
  return SkipDoctype(I);
}

// An end tag whose name starts at I.
TXmlPullReader::TMarkup TXmlPullReader::ParseEndTag(size_t I) {
  const std::string_view Buf(FBuf.data(), FEnd);
  size_t K = I;
  while (K < FEnd && IsNameChar(Buf[K])) ++K;
  if (K >= FEnd) return TMarkup::Incomplete;
  FName = Buf.substr(I, K - I);
  while (K < FEnd && IsSpace(Buf[K])) ++K;
  if (K >= FEnd) return TMarkup::Incomplete;
  if (Buf[K] != '>') Fail("malformed end tag");
  if (FOpen == 0 || !SameBytes(FStack[FOpen - 1], FName))
    Fail("end tag </" + std::string(FName) + "> does not match the open element");
  FPos = K + 1;
  FDepth = static_cast<int>(FOpen);
  --FOpen;
  return TMarkup::EndElement;
}

// The attribute at K (after the blanks that precede it) of the start tag of
// Element, as attribute number Index; K moves past its closing quote.
// False when the buffer ends inside it.
bool TXmlPullReader::ParseAttribute(size_t& K, size_t Index, std::string_view Element) {
  const std::string_view Buf(FBuf.data(), FEnd);
  const size_t NameStart = K;
  while (K < FEnd && IsNameChar(Buf[K])) ++K;
  if (K >= FEnd) return false;
  if (K == NameStart) Fail("malformed attribute in <" + std::string(Element) + ">");
  const std::string_view AttrName = Buf.substr(NameStart, K - NameStart);
  while (K < FEnd && IsSpace(Buf[K])) ++K;
  if (K >= FEnd) return false;
  if (Buf[K] != '=') Fail("attribute without a value in <" + std::string(Element) + ">");
  ++K;
  while (K < FEnd && IsSpace(Buf[K])) ++K;
  if (K >= FEnd) return false;
  const char Quote = Buf[K];
  if (Quote != '"' && Quote != '\'') Fail("unquoted attribute value");
  // Values are short: one pass finds the end and whether decoding is needed.
  size_t ValueEnd = K + 1;
  uint8_t Seen = 0;
  while (ValueEnd < FEnd && Buf[ValueEnd] != Quote)
    Seen |= kByteClasses[static_cast<unsigned char>(Buf[ValueEnd++])];
  if (ValueEnd >= FEnd) return false;
  const std::string_view Raw = Buf.substr(K + 1, ValueEnd - K - 1);
  if (Index == FAttrs.size()) FAttrs.emplace_back();
  TAttr& A = FAttrs[Index];
  A.Name = AttrName;
  A.UsesDecoded = (Seen & kValueSpecial) != 0;
  if (A.UsesDecoded) {
    if (Raw.find('<') != std::string_view::npos) Fail("'<' in an attribute value");
    Decode(Raw, A.Decoded, false);
  } else
    A.Value = Raw;
  K = ValueEnd + 1;
  return true;
}

// Makes Name the innermost open element.
void TXmlPullReader::OpenElement(std::string_view Name) {
  // Names of closed elements stay in place, so their strings are reused.
  if (FOpen == kMaxDepth) Fail("elements nested too deeply");
  if (FOpen == FStack.size()) FStack.emplace_back();
  // Siblings mostly share a name: the slot usually holds it already.
  std::string& Slot = FStack[FOpen++];
  if (!SameBytes(Slot, Name)) Slot.assign(Name.data(), Name.size());
}

// A start tag whose name starts at I, with its attributes.
TXmlPullReader::TMarkup TXmlPullReader::ParseStartTag(size_t I) {
  const std::string_view Buf(FBuf.data(), FEnd);
  size_t K = I;
  while (K < FEnd && IsNameChar(Buf[K])) ++K;
  if (K >= FEnd) return TMarkup::Incomplete;
  if (K == I) Fail("malformed tag");
  const std::string_view Name = Buf.substr(I, K - I);
  size_t Count = 0;
  for (;;) {
    const size_t Before = K;
    while (K < FEnd && IsSpace(Buf[K])) ++K;
    if (K >= FEnd) return TMarkup::Incomplete;
    if (Buf[K] == '>' || Buf[K] == '/') break;
    if (K == Before) Fail("malformed attribute in <" + std::string(Name) + ">");
    if (!ParseAttribute(K, Count++, Name)) return TMarkup::Incomplete;
  }
  // Views into decoded values are taken once FAttrs has stopped growing: a
  // moved string no longer holds its characters where it did.
  for (size_t N = 0; N < Count; ++N)
    if (FAttrs[N].UsesDecoded) FAttrs[N].Value = FAttrs[N].Decoded;
  bool Empty = false;
  if (Buf[K] == '/') {
    if (K + 1 >= FEnd) return TMarkup::Incomplete;
    if (Buf[K + 1] != '>') Fail("malformed tag <" + std::string(Name) + ">");
    Empty = true;
    ++K;
  }
  if (FOpen == 0 && FSeenRoot) Fail("more than one document element");
  FSeenRoot = true;
  FPos = K + 1;
  FName = Name;
  FAttrCount = Count;
  FDepth = static_cast<int>(FOpen) + 1;
  if (Empty)
    FPendingEnd = true;
  else
    OpenElement(Name);
  return TMarkup::StartElement;
}

// The markup at FPos ('<').
TXmlPullReader::TMarkup TXmlPullReader::ParseMarkup() {
  const size_t I = FPos + 1;
  if (I >= FEnd) return TMarkup::Incomplete;
  switch (FBuf[I]) {
    case '?':
      return SkipPast(I + 1, "?>");
    case '!':
      return ParseDeclaration(I);
    case '/':
      return ParseEndTag(I + 1);
    default:
      return ParseStartTag(I);
  }
}

TXmlPullReader::TEvent TXmlPullReader::Next() {
  if (FPendingEnd) {
    FPendingEnd = false;
    FAttrCount = 0;
    FEventStart = FEventEnd;
    return TEvent::EndElement;  // FName and FDepth are still those of the start tag
  }
  if (!FBomChecked) {
    FBomChecked = true;
    while (FEnd < 3 && Fill(FPos)) {
    }
    if (FEnd >= 3 && std::memcmp(FBuf.data(), "\xEF\xBB\xBF", 3) == 0) FPos = 3;
  }
  for (;;) {
    if (FPos >= FEnd) {
      FPos = FEnd;
      if (Fill(FPos)) continue;
      if (FOpen > 0) Fail("the part ends inside <" + FStack[FOpen - 1] + ">");
      if (!FSeenRoot) Fail("no document element");
      return TEvent::EndOfDocument;
    }
    FEventStart = FConsumed + FPos;
    if (FBuf[FPos] == '<') {
      const TMarkup Markup = ParseMarkup();
      if (Markup == TMarkup::Incomplete) {
        if (!Fill(FPos)) Fail("the part ends inside a tag");
        continue;
      }
      FEventEnd = FConsumed + FPos;
      if (Markup == TMarkup::Skipped) continue;
      return Markup == TMarkup::StartElement ? TEvent::StartElement
             : Markup == TMarkup::EndElement ? TEvent::EndElement
                                             : TEvent::Text;
    }
    ParseText();
    FEventEnd = FConsumed + FPos;
    if (FOpen == 0) {
      if (!IsBlank(FText)) Fail("text outside the document element");
      continue;
    }
    FDepth = static_cast<int>(FOpen);
    return TEvent::Text;
  }
}

}  // namespace kv
