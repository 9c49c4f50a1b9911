#pragma once
// Reads a window's stored description: a text in the form
//
//   object MainForm: TMainForm
//     Caption = 'MainForm'
//     ClientWidth = 690
//     object Memo1: TMemo
//       Lines.Strings = ('Memo1')
//     end
//   end
//
// Values: 'quoted text' ('' for a quote, #nnn for a character code,
// pieces joined with +), integers, identifiers (True, False, enumeration
// values, component names), ( 'item' 'item' ) string lists (joined with
// CR LF) and { hex bytes } binary data. The text itself is UTF-8.
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/Component.h"

namespace qr {

struct TFormValue {
    enum Kind { vkString, vkInteger, vkIdent, vkList, vkBinary } Kind = vkString;
    UString Text;       // text form for everything but binary
    std::string Bytes;  // binary data
};

struct TFormNode {
    std::string Name;
    std::string ClassName;
    std::vector<std::pair<std::string, TFormValue>> Properties;
    std::vector<TFormNode> Children;
};

// Parses the stored description; raises EReadError on malformed text.
TFormNode ParseFormText(std::string_view text);

// Makes components by class name for the reader.
class TClassRegistry {
public:
    using Factory = std::function<TComponent*(TComponent* owner)>;
    void Register(const std::string& className, Factory factory) {
        FFactories[className] = std::move(factory);
    }
    TComponent* Create(const std::string& className, TComponent* owner) const;

private:
    std::map<std::string, Factory> FFactories;
};

// Applies `node` to `root` and creates its children (owned by `root`) in
// stored order, each loaded with its properties in stored order. References
// to other components (component-kind properties) are applied once every
// component exists. Every component, the root last, then gets Loaded().
// `created`, when given, hears of each child right after it is built.
void ReadComponents(TComponent& root, const TFormNode& node, const TClassRegistry& classes,
                    const std::function<void(TComponent&)>& created = {});

}  // namespace qr
