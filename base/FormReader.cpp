#include "base/FormReader.h"

#include <cctype>

namespace qr {
namespace {

class TParser {
public:
    explicit TParser(std::string_view text) : s(text) {}

    TFormNode Object() {
        Expect("object");
        TFormNode node;
        node.Name = Ident();
        Skip();
        if (Peek() == ':') {
            ++p;
            node.ClassName = Ident();
        } else {
            node.ClassName = node.Name;
            node.Name.clear();
        }
        for (;;) {
            Skip();
            if (AtWord("end")) {
                Ident();
                return node;
            }
            if (AtWord("object")) {
                node.Children.push_back(Object());
                continue;
            }
            std::string name = Ident();
            Skip();
            if (Peek() != '=') Fail("'=' expected after " + name);
            ++p;
            node.Properties.emplace_back(name, Value());
        }
    }

    void End() {
        Skip();
        if (p != s.size()) Fail("text after the last end");
    }

private:
    [[noreturn]] void Fail(const std::string& what) {
        size_t line = 1;
        for (size_t i = 0; i < p && i < s.size(); ++i)
            if (s[i] == '\n') ++line;
        throw EReadError("Error reading form, line " + std::to_string(line) + ": " + what);
    }
    char Peek() const { return p < s.size() ? s[p] : '\0'; }
    void Skip() {
        while (p < s.size() && std::isspace(static_cast<unsigned char>(s[p]))) ++p;
    }
    bool AtWord(std::string_view w) {
        Skip();
        if (s.substr(p, w.size()) != w) return false;
        size_t e = p + w.size();
        return e == s.size() || !(std::isalnum(static_cast<unsigned char>(s[e])) || s[e] == '_');
    }
    void Expect(std::string_view w) {
        if (!AtWord(w)) Fail(std::string(w) + " expected");
        p += w.size();
    }
    std::string Ident() {
        Skip();
        size_t b = p;
        while (p < s.size() && (std::isalnum(static_cast<unsigned char>(s[p])) || s[p] == '_' || s[p] == '.'))
            ++p;
        if (b == p) Fail("name expected");
        return std::string(s.substr(b, p - b));
    }
    UString QuotedPieces() {
        std::string utf8;
        Skip();
        for (;;) {
            if (Peek() == '\'') {
                ++p;
                for (;;) {
                    if (p >= s.size()) Fail("unterminated string");
                    if (s[p] == '\'') {
                        if (p + 1 < s.size() && s[p + 1] == '\'') {
                            utf8 += '\'';
                            p += 2;
                            continue;
                        }
                        ++p;
                        break;
                    }
                    utf8 += s[p++];
                }
            } else if (Peek() == '#') {
                ++p;
                size_t b = p;
                while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) ++p;
                if (b == p) Fail("character code expected");
                unsigned long code = std::stoul(std::string(s.substr(b, p - b)));
                if (code > 0xFFFF) Fail("character code too large");
                utf8 += UnicodeToUtf8(UString(1, char16_t(code)));
            } else {
                break;
            }
            // 'a'#13'b' and 'a' + 'b' continue one text; 'a' 'b' are two.
            if (Peek() == '\'' || Peek() == '#') continue;
            size_t mark = p;
            Skip();
            if (Peek() == '+') {
                ++p;
                Skip();
                continue;
            }
            p = mark;
            break;
        }
        return Utf8ToUnicode(utf8);
    }
    TFormValue Value() {
        Skip();
        TFormValue v;
        char c = Peek();
        if (c == '\'' || c == '#') {
            v.Kind = TFormValue::vkString;
            v.Text = QuotedPieces();
        } else if (c == '(') {
            ++p;
            v.Kind = TFormValue::vkList;
            bool first = true;
            for (;;) {
                Skip();
                if (Peek() == ')') {
                    ++p;
                    break;
                }
                if (Peek() != '\'' && Peek() != '#') Fail("string list item expected");
                if (!first) v.Text += u"\r\n";
                v.Text += QuotedPieces();
                first = false;
            }
        } else if (c == '{') {
            ++p;
            v.Kind = TFormValue::vkBinary;
            int nibbles = 0, acc = 0;
            for (;;) {
                if (p >= s.size()) Fail("unterminated binary data");
                char h = s[p++];
                if (h == '}') break;
                if (std::isspace(static_cast<unsigned char>(h))) continue;
                if (!std::isxdigit(static_cast<unsigned char>(h))) Fail("hex digit expected");
                acc = acc * 16 +
                      (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
                if (++nibbles == 2) {
                    v.Bytes.push_back(char(acc));
                    nibbles = acc = 0;
                }
            }
            if (nibbles) Fail("odd number of hex digits");
        } else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            size_t b = p++;
            while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) ++p;
            v.Kind = TFormValue::vkInteger;
            v.Text = Utf8ToUnicode(s.substr(b, p - b));
        } else {
            v.Kind = TFormValue::vkIdent;
            v.Text = Utf8ToUnicode(Ident());
        }
        return v;
    }

    std::string_view s;
    size_t p = 0;
};

struct TFixup {
    TComponent* Target;
    std::string Property;
    UString Text;
};

void ApplyProperties(TComponent& c, const TFormNode& node, std::vector<TFixup>& fixups) {
    for (const auto& [name, value] : node.Properties) {
        const TPropInfo* info = c.FindProperty(name);
        if (!info)
            throw EReadError("Error reading " + node.Name + "." + name + ": Property " + name +
                             " does not exist");
        if (value.Kind == TFormValue::vkBinary) {
            if (!info->SetBinary)
                throw EReadError("Error reading " + node.Name + "." + name + ": not binary");
            info->SetBinary(value.Bytes);
        } else if (info->Kind == TTypeKind::tkClass && value.Kind == TFormValue::vkIdent) {
            fixups.push_back({&c, name, value.Text});
        } else {
            c.SetPropertyText(name, value.Text);
        }
    }
}

void Collect(TComponent* c, std::vector<TComponent*>& all) {
    for (int i = 0; i < c->ComponentCount(); ++i) all.push_back(c->Components(i));
}

}  // namespace

TFormNode ParseFormText(std::string_view text) {
    TParser parser(text);
    TFormNode root = parser.Object();
    parser.End();
    return root;
}

TComponent* TClassRegistry::Create(const std::string& className, TComponent* owner) const {
    auto it = FFactories.find(className);
    if (it == FFactories.end()) throw EReadError("Class " + className + " not found");
    return it->second(owner);
}

void ReadComponents(TComponent& root, const TFormNode& node, const TClassRegistry& classes,
                    const std::function<void(TComponent&)>& created) {
    std::vector<TFixup> fixups;
    root.BeginLoading();
    ApplyProperties(root, node, fixups);
    std::function<void(TComponent*, const TFormNode&)> build = [&](TComponent* parent, const TFormNode& n) {
        for (const TFormNode& child : n.Children) {
            // Every component is owned by the root; nested ones (menu items)
            // are also handed to the object they are stored in.
            TComponent* c = classes.Create(child.ClassName, &root);
            c->BeginLoading();
            c->SetName(child.Name);
            if (parent != &root) parent->InsertChild(c);
            if (created) created(*c);
            ApplyProperties(*c, child, fixups);
            build(c, child);
        }
    };
    build(&root, node);
    for (const TFixup& f : fixups) f.Target->SetPropertyText(f.Property, f.Text);
    std::vector<TComponent*> all;
    Collect(&root, all);
    for (TComponent* c : all) c->Loaded();
    root.Loaded();
}

}  // namespace qr
