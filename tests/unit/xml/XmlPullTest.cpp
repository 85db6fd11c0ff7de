// The streaming XML reader: what it hands over must not depend on where the
// input is cut into pieces, and malformed input must be refused.
#include <gtest/gtest.h>

#include <string>

#include "base/Error.h"
#include "xml/XmlPull.h"

namespace kv {
namespace {

// Hands out the bytes a few at a time, so every token crosses a refill.
class TDripSource : public TXmlSource {
 public:
  TDripSource(std::string Bytes, size_t Step) : FBytes(std::move(Bytes)), FStep(Step) {}
  size_t Read(char* Buffer, size_t Max) override {
    const size_t N = std::min({Max, FStep, FBytes.size() - FAt});
    FBytes.copy(Buffer, N, FAt);
    FAt += N;
    return N;
  }

 private:
  std::string FBytes;
  size_t FStep;
  size_t FAt = 0;
};

// Start and end tags with their depth and attributes, texts joined per element.
std::string Trace(const std::string& Xml, size_t Step) {
  TDripSource Source(Xml, Step);
  TXmlPullReader X(Source, "part.xml");
  std::string Out, Text;
  for (;;) {
    const auto E = X.Next();
    if (E != TXmlPullReader::TEvent::Text && !Text.empty()) {
      Out += "'" + Text + "'";
      Text.clear();
    }
    if (E == TXmlPullReader::TEvent::EndOfDocument) return Out;
    if (E == TXmlPullReader::TEvent::Text) {
      Text += X.Text();
    } else if (E == TXmlPullReader::TEvent::StartElement) {
      Out += "<" + std::string(X.LocalName()) + std::to_string(X.Depth());
      for (size_t I = 0; I < X.AttributeCount(); ++I)
        Out += " " + std::string(X.AttributeName(I)) + "=" + std::string(X.AttributeValue(I));
      Out += ">";
    } else {
      Out += "</" + std::string(X.Name()) + ">";
    }
  }
}

std::string ErrorOf(const std::string& Xml) {
  try {
    Trace(Xml, 1 << 16);
  } catch (const TKvError& E) {
    return E.what();
  }
  return "";
}

TEST(XmlPull, EventsDoNotDependOnHowTheInputArrives) {
  const std::string Xml =
      "\xEF\xBB\xBF<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e \"boom\"> <!-- ] -->]>"
      "<!-- c --><x:a xmlns:x=\"u\" k='1 &amp; 2' t=\"a\tb&#x41;\"><b/>"
      "<c>x &lt;&#65;&unknown; <![CDATA[<raw>&amp;]]>\r\nend</c><?pi skip?></x:a>";
  const std::string Want =
      "<a1 xmlns:x=u k=1 & 2 t=a bA><b2></b><c2>'x <A&unknown; <raw>&amp;\nend'</c></x:a>";
  for (size_t Step : {1u, 2u, 3u, 7u, 1000u}) EXPECT_EQ(Trace(Xml, Step), Want) << Step;
}

TEST(XmlPull, LongTextComesWholeAcrossPieces) {
  std::string Body, Want;
  for (int I = 0; I < 400000; ++I) {
    Body += "ab&amp;\r\n";
    Want += "ab&\n";
  }
  EXPECT_EQ(Trace("<t>" + Body + "</t>", 1 << 16), "<t1>'" + Want + "'</t>");
}

TEST(XmlPull, MalformedInputIsRefusedWithThePartAndOffset) {
  for (const char* Bad : {"<a><b></a>", "<a>", "<a/><b/>", "text<a/>", "", "<a x=1/>",
                          "<a x=\"<\"/>", "<a><!-- open"}) {
    const std::string E = ErrorOf(Bad);
    EXPECT_EQ(E.rfind("Could not read part.xml: ", 0), 0u) << Bad << ": " << E;
    EXPECT_NE(E.find(" at offset "), std::string::npos) << E;
  }
  std::string Deep;
  for (int I = 0; I < 20000; ++I) Deep += "<a>";
  EXPECT_NE(ErrorOf(Deep).find("nested too deeply"), std::string::npos);
}

}  // namespace
}  // namespace kv
