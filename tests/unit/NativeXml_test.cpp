// The document model beyond what the command document exercises: attribute
// replacement, refused names, levels and the short form.
#include <gtest/gtest.h>

#include "link/NativeXml.h"

namespace qr {
namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n";

TEST(NativeXml, NewDocumentHasDeclarationAndRootWithEndTag) {
    auto doc = TNativeXml::CreateWithRoot("Root");
    ASSERT_EQ(doc->Container().NodeCount(), 2);
    EXPECT_EQ(doc->Container().Nodes(0)->ElementType(), TXmlElementType::xeDeclaration);
    EXPECT_EQ(doc->RootElement(), doc->Container().Nodes(1));
    EXPECT_EQ(doc->RootElement()->Name(), "Root");
    EXPECT_EQ(doc->SerializeToString(), std::string(kDeclaration) + "<Root></Root>\n");
}

TEST(NativeXml, LevelsAndShortFormOfChildlessElements) {
    auto doc = TNativeXml::CreateWithRoot("R");
    TXmlNode* a = doc->RootElement()->AddElement("a");
    TXmlNode* b = a->AddElement("b");
    doc->RootElement()->AddElement("c")->SetValue("text");
    EXPECT_EQ(doc->Container().Level(), -1);
    EXPECT_EQ(doc->RootElement()->Level(), 0);
    EXPECT_EQ(a->Level(), 1);
    EXPECT_EQ(b->Level(), 2);
    EXPECT_EQ(b->Parent(), a);
    EXPECT_EQ(b->Document(), doc.get());
    EXPECT_EQ(doc->SerializeToString(), std::string(kDeclaration) + "<R><a><b/></a><c>text</c></R>\n");
}

TEST(NativeXml, SetAttributeReplacesInPlaceIgnoringCase) {
    auto doc = TNativeXml::CreateWithRoot("R");
    TXmlNode* n = doc->RootElement()->AddElement("n");
    n->SetAttribute("First", u"1");
    n->SetAttribute("Second", u"2");
    n->SetAttribute("FIRST", u"");
    n->SetAttribute("\xC4x", u"3");  // A-umlaut
    n->SetAttribute("\xE4X", u"4");  // a-umlaut, other case
    ASSERT_EQ(n->AttributeCount(), 3);
    EXPECT_EQ(n->AttributeEntry(0), "FIRST=\"\"");
    EXPECT_EQ(n->AttributeEntry(1), "Second=\"2\"");
    EXPECT_EQ(n->AttributeEntry(2), "\xE4X=\"4\"");
}

TEST(NativeXml, AddAttributeAppendsWithoutLookingForTheName) {
    auto doc = TNativeXml::CreateWithRoot("R");
    TXmlNode* n = doc->RootElement()->AddElement("n");
    n->AddAttribute("k", "a&b");
    n->AddAttribute("k", "");
    EXPECT_EQ(doc->SerializeToString(), std::string(kDeclaration) + "<R><n k=\"a&amp;b\" k=\"\"/></R>\n");
}

TEST(NativeXml, RefusedNameLeavesNodeAndDocumentIntact) {
    auto doc = TNativeXml::CreateWithRoot("R");
    TXmlNode* root = doc->RootElement();
    EXPECT_THROW(root->AddElement("two words"), Exception);
    EXPECT_EQ(root->NodeCount(), 0);
    EXPECT_THROW(root->SetName("R\n"), Exception);
    EXPECT_EQ(root->Name(), "R");
    EXPECT_THROW(TNativeXml::CreateWithRoot("a b"), Exception);
    EXPECT_EQ(doc->SerializeToString(), std::string(kDeclaration) + "<R></R>\n");
}

TEST(NativeXml, QuotingEscapesOnlyTheFiveCharacters) {
    EXPECT_EQ(XmlQuoteAttributeValue("&amp;<>'\"\t\r\n\x80"), "\"&amp;amp;&lt;&gt;&apos;&quot;\t\r\n\x80\"");
    EXPECT_EQ(XmlQuoteAttributeValue(""), "\"\"");
}

}  // namespace
}  // namespace qr
