// A pull reader for the XML of package parts, built for reading large
// worksheet parts as a stream without building a tree. It reads what
// SpreadsheetML uses: elements, attributes, text, the predefined entities and
// character references, CDATA; comments, processing instructions and a
// document type declaration are skipped (nothing in a DTD is ever applied).
// The input must be well formed: mismatched or unclosed tags raise an error.
// Views returned by the accessors stay valid until the next call of Next.
#ifndef KV_XML_XMLPULL_H
#define KV_XML_XMLPULL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class TXmlSource {
 public:
  virtual ~TXmlSource() = default;
  // Up to Max bytes into Buffer; 0 at the end.
  virtual size_t Read(char* Buffer, size_t Max) = 0;
};

// Where the raw bytes of a part go when a reader copies them through.
class TXmlSink {
 public:
  virtual ~TXmlSink() = default;
  virtual void Write(std::string_view Bytes) = 0;
};

// A source over bytes already in memory.
class TXmlMemorySource : public TXmlSource {
 public:
  explicit TXmlMemorySource(std::string_view Bytes) : FRest(Bytes) {}
  size_t Read(char* Buffer, size_t Max) override;

 private:
  std::string_view FRest;
};

class TXmlPullReader {
 public:
  enum class TEvent { StartElement, EndElement, Text, EndOfDocument };

  // PartName names the part in error messages.
  TXmlPullReader(TXmlSource& Source, std::string PartName);

  // The next event. An empty element gives StartElement then EndElement.
  // Raises: TKvError "Could not read <PartName>: <reason> at offset N." and
  // the source's errors.
  TEvent Next();

  // Of the current StartElement or EndElement: the name as written and the
  // part after its prefix.
  std::string_view Name() const { return FName; }
  std::string_view LocalName() const;
  // Element depth: the document element is 1. For Text, the depth of the
  // element holding it.
  int Depth() const { return FDepth; }

  // Attributes of the current StartElement, values decoded.
  size_t AttributeCount() const { return FAttrCount; }
  std::string_view AttributeName(size_t I) const { return FAttrs[I].Name; }
  std::string_view AttributeValue(size_t I) const { return FAttrs[I].Value; }
  // Value of the attribute with exactly this name; false when absent.
  bool FindAttribute(std::string_view Name, std::string_view& Value) const;

  // Decoded text of the current Text event (line ends normalised to LF).
  std::string_view Text() const { return FText; }

  // Whether the current StartElement was written as an empty element ("<c/>").
  bool EmptyElement() const { return FPendingEnd; }

  // Offsets into the part's bytes: the current event runs from EventStart to
  // EventEnd (the tag, the text as written; an empty element's EndElement is
  // empty, at the end of its tag). Markup that gives no event (comments,
  // processing instructions) lies between events.
  uint64_t EventStart() const { return FEventStart; }
  uint64_t EventEnd() const { return FEventEnd; }

  // Copying the part through: from SetRawSink on, the reader keeps every byte
  // from a mark on, and CopyRaw hands the bytes from the mark up to an offset
  // to the sink, SkipRaw drops them; both move the mark there. RawSpan views
  // kept bytes. Requires: mark <= Offset <= EventEnd(); RawSpan's range kept.
  void SetRawSink(TXmlSink* Sink) { FRawSink = Sink; }
  void CopyRaw(uint64_t UpTo);
  void SkipRaw(uint64_t UpTo) { FRawMark = UpTo; }
  uint64_t RawMark() const { return FRawMark; }
  // Offset of the first byte not read yet (at the end: the part's size).
  uint64_t ReadOffset() const { return FConsumed + FPos; }
  std::string_view RawSpan(uint64_t From, uint64_t To) const {
    return std::string_view(FBuf.data() + (From - FConsumed), static_cast<size_t>(To - From));
  }

 private:
  struct TAttr {
    std::string_view Name;
    std::string_view Value;
    std::string Decoded;
    bool UsesDecoded = false;
  };
  bool Fill(size_t Keep);
  bool ParseMarkup(TEvent& Event);
  bool ParseText();
  [[noreturn]] void Fail(const std::string& Reason) const;
  void Decode(std::string_view Raw, std::string& Out, bool Text) const;

  TXmlSource& FSource;
  std::string FPartName;
  std::string FBuf;
  size_t FPos = 0;
  size_t FEnd = 0;
  size_t FConsumed = 0;  // bytes dropped from the front of FBuf so far
  bool FEof = false;
  bool FBomChecked = false;
  bool FPendingEnd = false;
  bool FSeenRoot = false;
  int FDepth = 0;
  std::vector<std::string> FStack;  // names of the open elements: the first FOpen
  size_t FOpen = 0;
  std::string_view FName;
  std::vector<TAttr> FAttrs;
  size_t FAttrCount = 0;
  std::string_view FText;
  std::string FTextCopy;
  uint64_t FEventStart = 0;
  uint64_t FEventEnd = 0;
  TXmlSink* FRawSink = nullptr;
  uint64_t FRawMark = 0;
};

}  // namespace kv

#endif
