#include "workbook/TagEdit.h"

namespace kv {

namespace {

bool IsSpace(char C) {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

}  // namespace

std::string SetTagAttribute(std::string_view Tag, std::string_view Name, std::string_view Value) {
  for (size_t At = Tag.find(Name); At != std::string_view::npos; At = Tag.find(Name, At + 1)) {
    size_t K = At + Name.size();
    while (K < Tag.size() && IsSpace(Tag[K])) ++K;
    if (At == 0 || !IsSpace(Tag[At - 1]) || K >= Tag.size() || Tag[K] != '=') continue;
    const size_t Open = Tag.find_first_of("\"'", K);
    const size_t Close = Open == std::string_view::npos ? Open : Tag.find(Tag[Open], Open + 1);
    if (Close == std::string_view::npos) break;
    std::string V(Value);
    if (Tag[Open] == '\'') {
      // Written in single quotes: its own quote escaped instead.
      std::string Single;
      for (size_t I = 0; I < V.size(); ++I) {
        if (V.compare(I, 6, "&quot;") == 0) {
          Single += '"';
          I += 5;
        } else if (V[I] == '\'') {
          Single += "&apos;";
        } else {
          Single += V[I];
        }
      }
      V = Single;
    }
    return std::string(Tag.substr(0, Open + 1)) + V + std::string(Tag.substr(Close));
  }
  size_t End = Tag.size() - 1;  // at '>'
  if (End > 0 && Tag[End - 1] == '/') --End;
  return std::string(Tag.substr(0, End)) + " " + std::string(Name) + "=\"" + std::string(Value) +
         "\"" + std::string(Tag.substr(End));
}

}  // namespace kv
