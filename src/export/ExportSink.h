// The byte sink every export writer writes through. It collects bytes in one
// small buffer and hands them on whenever the buffer passes its size, so a
// writer's memory stays the same however large the file grows; without a
// consumer it keeps everything (the whole text, for callers that want it).
#ifndef KV_EXPORT_EXPORTSINK_H
#define KV_EXPORT_EXPORTSINK_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "base/Files.h"

namespace kv {

class TTextSink {
 public:
  using TConsumer = std::function<void(std::string_view)>;
  static constexpr size_t kPiece = size_t{128} << 10;

  // Keeps every byte; Take returns them.
  TTextSink() = default;
  // Hands the bytes to Consumer in pieces of about kPiece bytes; Finish hands
  // over the rest. Consumer's errors propagate from Put and Finish.
  explicit TTextSink(TConsumer Consumer) : FConsumer(std::move(Consumer)) {
    FBuffer.reserve(kPiece + 4096);
  }

  void Put(char C) {
    FBuffer += C;
    if (FConsumer && FBuffer.size() >= kPiece) Flush();
  }
  void Put(std::string_view S) {
    if (!FConsumer || FBuffer.size() + S.size() < kPiece) {
      FBuffer.append(S);
      return;
    }
    Flush();
    // A long text goes on as it is rather than through the buffer.
    if (S.size() >= kPiece)
      FConsumer(S);
    else
      FBuffer.append(S);
  }
  void Finish() {
    if (FConsumer) Flush();
  }
  std::string Take() { return std::move(FBuffer); }

 private:
  void Flush() {
    if (FBuffer.empty()) return;
    FConsumer(FBuffer);
    FBuffer.clear();
  }
  TConsumer FConsumer;
  std::string FBuffer;
};

// Creates FileName through a temporary file, runs Write(sink) into it and
// moves it into place; on any error the target stays as it was.
// Raises: the file system's errors and Write's.
template <class TWrite>
void WriteFileInPieces(const std::string& FileName, TWrite Write) {
  TAtomicFileWriter File(FileName);
  TTextSink Sink([&File](std::string_view Piece) { File.Write(Piece); });
  Write(Sink);
  Sink.Finish();
  File.Commit();
}

// What Write(sink) puts, kept in memory as one text.
template <class TWrite>
std::string TextOfPieces(TWrite Write) {
  TTextSink Sink;
  Write(Sink);
  return Sink.Take();
}

// & < > " as entities; each LF and each CR LF pair as <br>.
void PutHtmlEscaped(TTextSink& Sink, std::string_view Text);
// & < > " ' as entities; the characters XML 1.0 cannot hold in any form (C0
// controls other than TAB, LF and CR; U+FFFE and U+FFFF) as ?.
void PutXmlEscaped(TTextSink& Sink, std::string_view Text);

}  // namespace kv

#endif
