#include "link/NativeXml.h"

#include <utility>

namespace qr {

namespace {

bool IsIllegalNameByte(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// Each row replaces every occurrence before the next row runs; the
// ampersand comes first so that entities made later are not escaped again.
constexpr std::pair<char, std::string_view> kEscapes[] = {
    {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'\'', "&apos;"}, {'"', "&quot;"}};

AnsiString ReplaceAll(const AnsiString& text, char c, std::string_view by) {
    AnsiString out;
    out.reserve(text.size());
    for (char b : text) {
        if (b == c)
            out.append(by);
        else
            out.push_back(b);
    }
    return out;
}

}  // namespace

AnsiString XmlQuoteAttributeValue(std::string_view value) {
    AnsiString escaped(value);
    for (const auto& [c, by] : kEscapes) escaped = ReplaceAll(escaped, c, by);
    return '"' + escaped + '"';
}

TXmlNode::TXmlNode(TNativeXml* document, TXmlElementType kind) : FDocument(document), FKind(kind) {}

int TXmlNode::Level() const {
    int level = -1;
    for (const TXmlNode* p = FParent; p; p = p->FParent) ++level;
    return level;
}

void TXmlNode::SetName(const AnsiString& name) {
    if (name == FName) return;
    for (char c : name) {
        if (IsIllegalNameByte(c))
            throw Exception("Illegal character in node name \"" + UnicodeToUtf8(AnsiToUnicode(name)) + "\"");
    }
    FName = name;
}

TXmlNode* TXmlNode::NodeAdd(std::unique_ptr<TXmlNode> node) {
    node->FParent = this;
    FNodes.push_back(std::move(node));
    return FNodes.back().get();
}

TXmlNode* TXmlNode::AddElement(const AnsiString& name) {
    auto node = std::make_unique<TXmlNode>(FDocument, TXmlElementType::xeElement);
    node->SetName(name);
    return NodeAdd(std::move(node));
}

AnsiString TXmlNode::AttributeEntry(int index) const {
    const TAttribute& a = FAttributes.at(size_t(index));
    return a.Name + '=' + a.QuotedValue;
}

void TXmlNode::SetAttribute(const AnsiString& name, const UString& value) {
    AnsiString quoted = XmlQuoteAttributeValue(UnicodeToAnsi(value));
    for (TAttribute& a : FAttributes) {
        if (XmlSameName(a.Name, name)) {
            a = {name, std::move(quoted)};
            return;
        }
    }
    FAttributes.push_back({name, std::move(quoted)});
}

void TXmlNode::AddAttribute(const AnsiString& name, const AnsiString& value) {
    FAttributes.push_back({name, XmlQuoteAttributeValue(value)});
}

void TXmlNode::WriteTo(AnsiString& out) const {
    AnsiString attributes;
    for (const TAttribute& a : FAttributes) {
        attributes += ' ';
        attributes += a.Name;
        attributes += '=';
        attributes += a.QuotedValue;
    }
    if (FKind == TXmlElementType::xeDeclaration) {
        out += "<?xml" + attributes + "?>";
        return;
    }
    out += '<' + FName + attributes;
    if (FValue.empty() && FNodes.empty() && Level() > 0) {
        out += "/>";
        return;
    }
    out += '>' + FValue;
    for (const auto& child : FNodes) child->WriteTo(out);
    out += "</" + FName + '>';
}

TNativeXml::TNativeXml(const AnsiString& rootName) : FContainer(this, TXmlElementType::xeElement) {
    auto declaration = std::make_unique<TXmlNode>(this, TXmlElementType::xeDeclaration);
    declaration->SetName("xml");
    declaration->AddAttribute("version", "1.0");
    declaration->AddAttribute("encoding", "windows-1252");
    FContainer.NodeAdd(std::move(declaration));
    TXmlNode* root = FContainer.NodeAdd(std::make_unique<TXmlNode>(this, TXmlElementType::xeElement));
    root->SetName(rootName);
}

std::unique_ptr<TNativeXml> TNativeXml::CreateWithRoot(const AnsiString& rootName) {
    return std::make_unique<TNativeXml>(rootName);
}

TXmlNode* TNativeXml::RootElement() const {
    for (int i = 0; i < FContainer.NodeCount(); ++i) {
        TXmlNode* node = FContainer.Nodes(i);
        if (node->ElementType() == TXmlElementType::xeElement) return node;
    }
    return nullptr;
}

AnsiString TNativeXml::SerializeToString() const {
    AnsiString out;
    for (int i = 0; i < FContainer.NodeCount(); ++i) {
        FContainer.Nodes(i)->WriteTo(out);
        out += '\n';
    }
    return out;
}

}  // namespace qr
