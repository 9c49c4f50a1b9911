#pragma once
// The small XML document model behind the command documents sent to the
// presentation program: a declaration and one root element, elements with a
// name, ordered attributes and ordered children, written compactly as 8-bit
// text in the system ANSI code page. Nothing here parses XML.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/Component.h"
#include "base/Text.h"

namespace qr {

class TNativeXml;

enum class TXmlElementType : uint8_t { xeElement, xeDeclaration };

class TXmlNode : public TPersistent {
public:
    TXmlNode(TNativeXml* document, TXmlElementType kind);
    TXmlNode(const TXmlNode&) = delete;
    TXmlNode& operator=(const TXmlNode&) = delete;
    const char* ClassName() const override { return "TXmlNode"; }

    TNativeXml* Document() const { return FDocument; }
    TXmlElementType ElementType() const { return FKind; }
    TXmlNode* Parent() const { return FParent; }
    // -1 for the document's container, 0 for the root element, +1 per nesting.
    int Level() const;

    const AnsiString& Name() const { return FName; }
    // Raises Exception if the name holds a blank, tab, CR or LF; the node then
    // keeps its old name. Any other byte is accepted and written as it is.
    void SetName(const AnsiString& name);
    const AnsiString& Value() const { return FValue; }
    void SetValue(const AnsiString& value) { FValue = value; }

    int NodeCount() const { return int(FNodes.size()); }
    TXmlNode* Nodes(int index) const { return FNodes.at(size_t(index)).get(); }
    // Appends an owned child node.
    TXmlNode* NodeAdd(std::unique_ptr<TXmlNode> node);
    // New element child with a validated name; nothing is appended when the
    // name is refused.
    TXmlNode* AddElement(const AnsiString& name);

    // Entries read `name="escaped value"`, in insertion order.
    int AttributeCount() const { return int(FAttributes.size()); }
    AnsiString AttributeEntry(int index) const;
    // Converts the value to the ANSI code page, escapes and quotes it; an
    // attribute of the same name (letter case ignored) is replaced in place.
    void SetAttribute(const AnsiString& name, const UString& value);
    // Appends without looking for an attribute of the same name.
    void AddAttribute(const AnsiString& name, const AnsiString& value);

    // Appends this node in the compact layout (no line break of its own).
    void WriteTo(AnsiString& out) const;

private:
    struct TAttribute {
        AnsiString Name;
        AnsiString QuotedValue;
    };

    std::vector<TAttribute> FAttributes;
    TNativeXml* FDocument;
    TXmlElementType FKind;
    AnsiString FName;
    std::vector<std::unique_ptr<TXmlNode>> FNodes;
    TXmlNode* FParent = nullptr;
    AnsiString FValue;
};

class TNativeXml : public TPersistent {
public:
    // Declaration `<?xml version="1.0" encoding="windows-1252"?>` plus a root
    // element of the given (validated) name.
    explicit TNativeXml(const AnsiString& rootName);
    static std::unique_ptr<TNativeXml> CreateWithRoot(const AnsiString& rootName);
    TNativeXml(const TNativeXml&) = delete;
    TNativeXml& operator=(const TNativeXml&) = delete;
    const char* ClassName() const override { return "TNativeXml"; }

    // Parent of the top-level nodes (declaration, root element).
    TXmlNode& Container() { return FContainer; }
    // The first top-level element; the declaration is skipped.
    TXmlNode* RootElement() const;
    // Each top-level node followed by one LF; no byte-order mark.
    AnsiString SerializeToString() const;

private:
    TXmlNode FContainer;
};

// Escapes & < > ' " in that order, so the ampersands it introduces stay as
// they are, and encloses the result in quotation marks.
AnsiString XmlQuoteAttributeValue(std::string_view value);

// Attribute names are matched ignoring letter case the way the user's
// locale compares text.
bool XmlSameName(std::string_view a, std::string_view b);

}  // namespace qr
