// The language components on a stand-in of the main window: components with
// the real class names and published properties, every property write
// counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/Font.h"
#include "app/lang/siLang.h"
#include "siLangTestSupport.h"

using namespace qr;
using namespace qr::test;

namespace {

class TFake : public TComponent {
public:
    TFake(TComponent* owner, std::string className, std::vector<std::string>* writes)
        : TComponent(owner), FClass(std::move(className)), FWrites(writes) {}
    const char* ClassName() const override { return FClass.c_str(); }

    // A string property; `typeName` tells a string list from a plain text.
    void Text(const std::string& name, const char* typeName = "WideString", bool writable = true) {
        UString& value = Values[name];
        std::function<void(const UString&)> set;
        if (writable)
            set = [this, name, &value](const UString& v) {
                if (Refuse) throw EPropertyError("refused");
                value = v;
                FWrites->push_back(this->Name() + "." + name);
            };
        PublishString(
            name, [&value] { return value; }, set)
            .TypeName = typeName;
    }
    void Integer(const std::string& name) {
        PublishInteger(
            name, [this] { return Number; },
            [this, name](int64_t v) {
                Number = v;
                FWrites->push_back(Name() + "." + name);
            });
    }
    void Boolean(const std::string& name) {
        bool& value = Flags[name];
        PublishBoolean(
            name, [&value] { return value; },
            [this, name, &value](bool v) {
                value = v;
                FWrites->push_back(Name() + "." + name);
            });
    }
    void FontProperty() {
        TPropInfo p;
        p.Name = "Font";
        p.Kind = TTypeKind::tkClass;
        p.TypeName = "TFont";
        p.Object = [this] { return &Font; };
        Publish(p);
    }

    std::map<std::string, UString> Values;
    std::map<std::string, bool> Flags;
    int64_t Number = 0;
    TFont Font;
    bool Refuse = false;  // string writes fail

private:
    std::string FClass;
    std::vector<std::string>* FWrites;
};

const char* const kLanguageComponents = R"(
  object siLangDispatcher1: TsiLangDispatcher
    NumOfLanguages = 2
    LangNames = ('German' 'English')
    Language = 'German'
  end
  object siLang1: TsiLang
    Version = '6.4'
    NumOfLanguages = 2
    LangDispatcher = siLangDispatcher1
    LangDelim = 1
    LangNames = ('German' 'English')
    Language = 'German'
    ExcludedProperties = ('Category' 'SecondaryShortCuts' 'HelpKeyword' 'InitialDir' 'HelpKeyword'
      'ActivePage' 'ImeName' 'DefaultExt' 'FileName' 'FieldName' 'PickList' 'DisplayFormat'
      'EditMask' 'KeyList' 'LookupDisplayFields' 'DropDownSpecRow' 'TableName' 'DatabaseName'
      'IndexName' 'MasterFields')
    TranslationData = )";

// The main window with its translated components, read from a stored
// description the way the program reads its own.
struct TWindow {
    std::vector<std::string> writes;
    TFake form{nullptr, "TMainForm", &writes};
    TsiLangDispatcher* dispatcher = nullptr;
    TsiLang* lang = nullptr;

    explicit TWindow(const std::string& tableBytes, const std::string& extra = "") {
        form.SetName("MainForm");
        form.Text("Caption");
        form.Text("Hint");
        form.FontProperty();
        TClassRegistry classes;
        RegisterLanguageClasses(classes);
        auto maker = [this](std::string cls, std::function<void(TFake&)> setup) {
            return [this, cls, setup](TComponent* owner) {
                auto* c = new TFake(owner, cls, &writes);
                setup(*c);
                return c;
            };
        };
        classes.Register("TTntLabel", maker("TTntLabel", [](TFake& c) { c.Text("Caption"); }));
        classes.Register("TTntButton", maker("TTntButton", [](TFake& c) { c.Text("Caption"); }));
        classes.Register("TMemo", maker("TMemo", [](TFake& c) {
                             c.Text("Lines", "TStrings");
                             c.Boolean("WordWrap");
                         }));
        classes.Register("TCoolTrayIcon", maker("TCoolTrayIcon", [](TFake& c) { c.Text("Hint"); }));
        classes.Register("TMenuItem", maker("TMenuItem", [](TFake& c) { c.Text("Caption"); }));
        classes.Register("TOddThing", maker("TOddThing", [](TFake& c) {
                             c.Text("Caption", "WideString", false);
                             c.Integer("Tag");
                             c.Text("Title");
                         }));
        classes.Register("TPanel", maker("TPanel", [](TFake& c) {
                             c.Text("Caption");
                             c.FontProperty();
                             c.Boolean("ParentFont");
                         }));
        std::string text = R"(object MainForm: TMainForm
  Caption = 'MainForm'
  Hint = ''
  object TntLabel1: TTntLabel
    Caption = 'Action:'
  end
  object TntLabel2: TTntLabel
    Caption = 'Param1:'
  end
  object TntLabel3: TTntLabel
    Caption = 'Param2:'
  end
  object TntButton1: TTntButton
    Caption = 'Send'
  end
  object Memo1: TMemo
    Lines = ('Memo1')
    WordWrap = True
  end
  object CoolTrayIcon1: TCoolTrayIcon
    Hint = 'Quellora Remote Server'
  end
  object Beenden1: TMenuItem
    Caption = '&Beenden'
  end
)" + extra + kLanguageComponents +
                           HexBlock(tableBytes) + "\n  end\nend\n";
        ReadComponents(form, ParseFormText(text), classes);
        dispatcher = dynamic_cast<TsiLangDispatcher*>(form.FindComponent("siLangDispatcher1"));
        lang = dynamic_cast<TsiLang*>(form.FindComponent("siLang1"));
        writes.clear();
    }

    UString Get(const char* component, const char* property) {
        TComponent* c = std::string(component) == "MainForm" ? &form : form.FindComponent(component);
        return c->GetPropertyText(property);
    }
    TFake& Fake(const char* name) { return *static_cast<TFake*>(form.FindComponent(name)); }
};

std::string ProgramTableBytes() { return Utf16Bytes(TableText(ProgramTable())); }

using TRowEdits = std::vector<std::pair<UString, UString>>;

// The program's table with rows replaced (stored row text -> new text) and
// rows added at the end of sections (header -> row text).
std::string EditedTable(const TRowEdits& replaced, const TRowEdits& added = {}) {
    UString text;
    for (const TTableSection& s : ProgramTable()) {
        text += s.Header + u"\r\n";
        for (const TRow& r : s.Rows) {
            UString row = RowText(r);
            for (const auto& [from, to] : replaced)
                if (row == from) row = to;
            text += row + u"\r\n";
        }
        for (const auto& [header, row] : added)
            if (header == s.Header) text += row + u"\r\n";
    }
    return Utf16Bytes(text);
}

std::string LanguageError(const std::function<void()>& f) {
    try {
        f();
    } catch (const ELanguageError& e) {
        EXPECT_STREQ(e.ClassName(), "ELanguageError");
        return e.what();
    }
    return "(nothing raised)";
}

}  // namespace

TEST(siLang, LoadedWindowKeepsItsTextsAndIsLinked) {
    TWindow w(ProgramTableBytes());
    ASSERT_TRUE(w.dispatcher && w.lang);
    EXPECT_EQ(w.dispatcher->ActiveLanguage(), 1);
    EXPECT_EQ(w.dispatcher->Language(), u"German");
    EXPECT_EQ(w.lang->ActiveLanguage(), 1);
    EXPECT_EQ(w.lang->NumOfLanguages(), 2);
    EXPECT_EQ(w.lang->LangNames(), (std::vector<UString>{u"German", u"English"}));
    EXPECT_EQ(w.lang->LangDispatcher(), w.dispatcher);
    EXPECT_EQ(w.dispatcher->LinkedLanguages(), (std::vector<TsiCustomLang*>{w.lang}));
    EXPECT_EQ(w.lang->ExcludedProperties.size(), 20u);
    EXPECT_EQ(w.Get("Beenden1", "Caption"), u"&Beenden");
    EXPECT_EQ(w.lang->Captions().size(), 6u);
    EXPECT_EQ(w.lang->DlgsCaptions().size(), 15u);
}

TEST(siLang, EnglishWritesOnlyTheMenuItem) {
    TWindow w(ProgramTableBytes());
    int changing = 0, changed = 0, applied = 0;
    w.dispatcher->OnLanguageChanging = [&](TComponent*, int n, bool&) { changing += n; };
    w.dispatcher->OnLanguageChanged = [&](TComponent*) { ++changed; };
    w.lang->OnChangeLanguage = [&](TComponent*) { ++applied; };
    // The dispatcher asks the component once, before it changes anything.
    int componentAsked = 0;
    w.lang->OnLanguageChanging = [&](TComponent*, int, bool&) { ++componentAsked; };

    w.dispatcher->SetActiveLanguage(2);

    EXPECT_EQ(w.writes, (std::vector<std::string>{"Beenden1.Caption"}));
    EXPECT_EQ(w.Get("Beenden1", "Caption"), u"Exit");
    EXPECT_EQ(w.Get("MainForm", "Caption"), u"MainForm");
    EXPECT_EQ(w.Get("TntLabel1", "Caption"), u"Action:");
    EXPECT_EQ(w.Get("TntLabel2", "Caption"), u"Param1:");
    EXPECT_EQ(w.Get("TntLabel3", "Caption"), u"Param2:");
    EXPECT_EQ(w.Get("TntButton1", "Caption"), u"Send");
    EXPECT_EQ(w.Get("CoolTrayIcon1", "Hint"), u"Quellora Remote Server");
    EXPECT_EQ(w.Get("Memo1", "Lines"), u"Memo1");
    EXPECT_EQ(w.form.Font.Name, u"MS Shell Dlg 2");
    EXPECT_EQ(w.form.Font.Charset, 1);
    EXPECT_EQ(w.dispatcher->Language(), u"English");
    EXPECT_EQ(w.lang->Language(), u"English");
    EXPECT_EQ(w.lang->ActiveLanguage(), 2);
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(componentAsked, 1);
    EXPECT_FALSE(w.lang->SuppressChangingEvent);

    // Back to German through the name: the German texts are written again.
    w.writes.clear();
    w.dispatcher->SetLanguage(u"german");
    EXPECT_EQ(w.dispatcher->ActiveLanguage(), 1);
    EXPECT_EQ(w.Get("Beenden1", "Caption"), u"&Beenden");
    EXPECT_EQ(w.Get("TntLabel1", "Caption"), u"Action:");
}

TEST(siLang, EmptyEnglishFieldsNeverClearOrOverwriteTexts) {
    TWindow w(ProgramTableBytes());
    // Texts changed at run time stay as they are when English has nothing.
    w.Fake("TntLabel1").Values["Caption"] = u"changed";
    w.form.Values["Caption"] = u"Window";
    w.Fake("Memo1").Values["Lines"] = u"last message";
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.Get("TntLabel1", "Caption"), u"changed");
    EXPECT_EQ(w.Get("MainForm", "Caption"), u"Window");
    EXPECT_EQ(w.Get("Memo1", "Lines"), u"last message");
    EXPECT_EQ(w.writes, (std::vector<std::string>{"Beenden1.Caption"}));
}

TEST(siLang, RowWithoutTrailingDelimiterHasNoLastText) {
    TWindow w(
        EditedTable({{u"Beenden1\x01&Beenden\x01"
                      u"Exit\x01",
                      u"Beenden1\x01&Beenden\x01"
                      u"Exit"}}));
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.Get("Beenden1", "Caption"), u"&Beenden");
    EXPECT_TRUE(w.writes.empty());
}

TEST(siLang, CurrentLanguageFiresNothing) {
    TWindow w(ProgramTableBytes());
    int events = 0;
    w.dispatcher->OnLanguageChanging = [&](TComponent*, int, bool&) { ++events; };
    w.dispatcher->OnLanguageChanged = [&](TComponent*) { ++events; };
    w.lang->OnLanguageChanging = [&](TComponent*, int, bool&) { ++events; };
    w.lang->OnChangeLanguage = [&](TComponent*) { ++events; };
    w.dispatcher->SetActiveLanguage(1);
    w.lang->SetActiveLanguage(1);
    w.dispatcher->SetLanguage(u"German");
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(w.writes.empty());
}

TEST(siLang, LanguageOutOfRangeRaisesExactText) {
    TWindow w(ProgramTableBytes());
    EXPECT_EQ(LanguageError([&] { w.dispatcher->SetActiveLanguage(3); }),
              "TMainForm: 3 - is not a valid property value!\rValue must be within [1..2]!");
    // The dispatcher took the number before its component refused it.
    EXPECT_EQ(w.dispatcher->ActiveLanguage(), 3);
    EXPECT_EQ(w.lang->ActiveLanguage(), 1);
    EXPECT_FALSE(w.lang->SuppressChangingEvent);
    EXPECT_TRUE(w.writes.empty());
    EXPECT_EQ(LanguageError([&] { w.lang->SetActiveLanguage(0); }),
              "TMainForm: 0 - is not a valid property value!\rValue must be within [1..2]!");

    TsiLang alone(nullptr);
    EXPECT_EQ(LanguageError([&] { alone.SetActiveLanguage(2); }),
              "2 - is not a valid property value!\rValue must be within [1..1]!");
    EXPECT_EQ(LanguageError([&] { alone.SetNumOfLanguages(0); }),
              "0 - is not a valid property value !\rValue must be more than ZERO !");
    EXPECT_EQ(LanguageError([&] { alone.SetLanguage(u"Klingon"); }),
              "Language name shall be included in LangNames property!");
    EXPECT_EQ(LanguageError([&] { w.dispatcher->SetLanguage(u"Klingon"); }),
              "Language name shall be included in LangNames property!");
}

TEST(siLang, OneTranslationComponentPerForm) {
    TWindow w(ProgramTableBytes());
    int before = w.form.ComponentCount();
    EXPECT_EQ(LanguageError([&] { new TsiLang(&w.form); }),
              "Only one TsiCustomLang component per Form/DataModule allowed!");
    EXPECT_EQ(w.form.ComponentCount(), before);
    TFake other(nullptr, "TOtherForm", &w.writes);
    TsiLang second(&other);  // another form may have its own
    EXPECT_EQ(second.Owner(), &other);
}

TEST(siLang, ChangeCanBeRefusedBeforeAnythingChanges) {
    TWindow w(ProgramTableBytes());
    w.dispatcher->OnLanguageChanging = [](TComponent*, int, bool& allow) { allow = false; };
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.dispatcher->ActiveLanguage(), 1);
    w.dispatcher->OnLanguageChanging = nullptr;
    TComponent* asked = nullptr;
    w.lang->OnLanguageChanging = [&](TComponent* sender, int n, bool& allow) {
        asked = sender;
        allow = n != 2;
    };
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(asked, w.lang);
    EXPECT_EQ(w.dispatcher->ActiveLanguage(), 1);
    EXPECT_EQ(w.lang->ActiveLanguage(), 1);
    EXPECT_TRUE(w.writes.empty());
    // Set on the component itself, its own handler decides.
    w.lang->SetActiveLanguage(2);
    EXPECT_EQ(w.lang->ActiveLanguage(), 1);
}

TEST(siLang, UnusableRowsAreSkippedAndTheRestApplies) {
    const std::string odd = R"(  object Odd1: TOddThing
    Title = 'old title'
  end
)";
    TWindow w(EditedTable({{u"TntButton1\x01Send\x01\x01", u"TntButton1\x01Senden\x01Send now\x01"}},
                          {{u"stCaptions_Unicode", u"Ghost1\x01Geist\x01Ghost\x01"},  // no such component
                           {u"stCaptions_Unicode",
                            u"Odd1\x01"
                            u"Fest\x01"
                            u"Fixed\x01"},                                     // read-only
                           {u"stCaptions_Unicode", u"TntLabel3\x01\x01\x01"},  // no text at all
                           {u"stHints_Unicode",
                            u"Odd1\x01"
                            u"Hinweis\x01"
                            u"Hint\x01"},  // no such property
                           {u"stOtherStrings_Unicode",
                            u"Odd1.Tag\x01"
                            u"1\x01"
                            u"2\x01"},  // not a string
                           {u"stOtherStrings_Unicode",
                            u"Odd1.Title\x01"
                            u"Titel\x01"
                            u"Title\x01"},
                           {u"stOtherStrings_Unicode",
                            u"Ghost2.Title\x01"
                            u"Titel\x01"
                            u"Title\x01"},
                           {u"stOtherStrings_Unicode",
                            u"Odd1\x01"
                            u"Titel\x01"
                            u"Title\x01"}}),  // no property path
              odd);
    w.dispatcher->SetActiveLanguage(2);
    std::sort(w.writes.begin(), w.writes.end());
    EXPECT_EQ(w.writes, (std::vector<std::string>{"Beenden1.Caption", "Odd1.Title", "TntButton1.Caption"}));
    EXPECT_EQ(w.Get("Odd1", "Title"), u"Title");
    EXPECT_EQ(w.Get("Odd1", "Caption"), u"");
    EXPECT_EQ(w.Get("TntButton1", "Caption"), u"Send now");
    EXPECT_EQ(w.Fake("Odd1").Number, 0);
    // Rows of missing components are kept aside; a row without text is gone.
    const TStringRows& aside = w.lang->NotFoundRows();
    EXPECT_NE(std::find(aside.begin(), aside.end(), u"Ghost1\x01Geist\x01Ghost\x01"), aside.end());
    EXPECT_NE(std::find(aside.begin(), aside.end(),
                        u"Ghost2.Title\x01"
                        u"Titel\x01"
                        u"Title\x01"),
              aside.end());
    for (const UString& row : w.lang->Captions()) EXPECT_NE(row, u"TntLabel3\x01\x01\x01");
    EXPECT_EQ(std::find(aside.begin(), aside.end(), u"TntLabel3\x01\x01\x01"), aside.end());
    EXPECT_EQ(w.lang->Captions().size(), 7u);
}

TEST(siLang, FailingPropertyWriteIsSwallowed) {
    TWindow w(EditedTable({{u"TntLabel1\x01"
                            u"Action:\x01\x01",
                            u"TntLabel1\x01"
                            u"Action:\x01"
                            u"Do:\x01"},
                           {u"TntLabel2\x01Param1:\x01\x01",
                            u"TntLabel2\x01Param1:\x01"
                            u"First:\x01"}}));
    w.Fake("TntLabel1").Refuse = true;
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.Get("TntLabel1", "Caption"), u"Action:");
    EXPECT_EQ(w.Get("TntLabel2", "Caption"), u"First:");
    EXPECT_EQ(w.Get("Beenden1", "Caption"), u"Exit");
}

TEST(siLang, OwnerRowsWriteCaptionHintAndFont) {
    TWindow w(
        EditedTable({{u"TMainForm\x01MainForm\x01\x01", u"TMainForm\x01MainForm\x01Main window\x01"},
                     {u"TMainForm\x01MS Shell Dlg 2\x01\x01", u"TMainForm\x01MS Shell Dlg 2\x01Tahoma\x01"},
                     {u"TMainForm\x01"
                      u"DEFAULT_CHARSET\x01\x01",
                      u"TMainForm\x01"
                      u"DEFAULT_CHARSET\x01RUSSIAN_CHARSET\x01"}},
                    // Stored below the tray icon's row; the reader puts it on top.
                    {{u"stHints_Unicode", u"TMainForm\x01\x01Tip\x01"}}));
    EXPECT_EQ(w.lang->Hints().front(), u"TMainForm\x01\x01Tip\x01");
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.Get("MainForm", "Caption"), u"Main window");
    EXPECT_EQ(w.Get("MainForm", "Hint"), u"Tip");
    EXPECT_EQ(w.form.Font.Name, u"Tahoma");
    EXPECT_EQ(w.form.Font.Charset, 204);
    std::sort(w.writes.begin(), w.writes.end());
    EXPECT_EQ(w.writes, (std::vector<std::string>{"Beenden1.Caption", "MainForm.Caption", "MainForm.Hint"}));
}

TEST(siLang, OwnerCharsetNeedsTheExactName) {
    TWindow w(
        EditedTable({{u"TMainForm\x01"
                      u"DEFAULT_CHARSET\x01\x01",
                      u"TMainForm\x01"
                      u"DEFAULT_CHARSET\x01greek_charset\x01"}}));
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.form.Font.Charset, 1);
}

TEST(siLang, ComponentFontsFollowTheirParentUnlessTold) {
    const std::string panels = R"(  object Panel1: TPanel
  end
  object Panel2: TPanel
    ParentFont = True
  end
)";
    TWindow w(EditedTable({}, {{u"stFonts_Unicode",
                                u"Panel1\x01"
                                u"Arial\x01"
                                u"Verdana\x01"},
                               {u"stFonts_Unicode",
                                u"Panel2\x01"
                                u"Arial\x01"
                                u"Verdana\x01"},
                               {u"stCharSets_Unicode",
                                u"Panel1\x01"
                                u"ANSI_CHARSET\x01"
                                u"oem_charset\x01"},
                               // The last row of a component counts.
                               {u"stCharSets_Unicode",
                                u"panel1\x01"
                                u"ANSI_CHARSET\x01"
                                u"greek_charset\x01"},
                               {u"stCharSets_Unicode",
                                u"Panel2\x01"
                                u"ANSI_CHARSET\x01"
                                u"OEM_CHARSET\x01"}}),
              panels);
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.Fake("Panel1").Font.Name, u"Verdana");
    EXPECT_EQ(w.Fake("Panel1").Font.Charset, 161);
    EXPECT_EQ(w.Fake("Panel2").Font.Name, u"MS Shell Dlg 2");
    EXPECT_EQ(w.Fake("Panel2").Font.Charset, 1);
    EXPECT_EQ(w.form.Font.Name, u"MS Shell Dlg 2");
}

TEST(siLang, MultiLinesRewriteTheListFromCommaText) {
    TWindow w(EditedTable({{u"Memo1.Lines\x01Memo1\x01\x01",
                            u"Memo1.Lines\x01Memo1\x01"
                            u"first,\"second, with \"\"quotes\"\"\",third\x01"}}));
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.Get("Memo1", "Lines"), u"first\r\nsecond, with \"quotes\"\r\nthird");
    // Word wrap was off while the lines were written, and is back on.
    EXPECT_EQ(w.writes, (std::vector<std::string>{"Beenden1.Caption", "Memo1.WordWrap", "Memo1.Lines",
                                                  "Memo1.WordWrap"}));
    EXPECT_TRUE(w.Fake("Memo1").Flags["WordWrap"]);
    w.dispatcher->SetActiveLanguage(1);
    EXPECT_EQ(w.Get("Memo1", "Lines"), u"Memo1");
    // The list already holds that comma text: nothing is written.
    w.Fake("Memo1").Values["Lines"] = u"first\r\nsecond, with \"quotes\"\r\nthird";
    w.writes.clear();
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.writes, (std::vector<std::string>{"Beenden1.Caption"}));
}

TEST(siLang, ExcludedPropertiesDropRowsAtLoad) {
    TWindow w(EditedTable({}, {{u"stMultiLines_Unicode",
                                u"Memo1.HelpKeyword\x01"
                                u"a\x01"
                                u"b\x01"},
                               {u"stMultiLines_Unicode",
                                u"Memo1.Items.Category\x01"
                                u"a\x01"
                                u"b\x01"}}));
    EXPECT_EQ(w.lang->MultiLines(), (TStringRows{u"Memo1.Lines\x01Memo1\x01\x01"}));

    TsiLang& lang = *w.lang;
    lang.SmartExcludeProps = {u"TntLabel1.Caption", u"!TMenuItem.Caption"};
    EXPECT_TRUE(lang.IsExcludedProperty(u"TntLabel1", u"Caption"));
    EXPECT_FALSE(lang.IsExcludedProperty(u"TntLabel2", u"Caption"));
    EXPECT_TRUE(lang.IsExcludedProperty(u"Beenden1", u"Caption"));
    EXPECT_TRUE(lang.IsExcludedProperty(u"TntLabel2", u"Name"));
    EXPECT_TRUE(lang.IsExcludedProperty(u"Memo1", u"Lines.filename"));
    EXPECT_FALSE(lang.IsExcludedProperty(u"Memo1", u"Lines"));
    lang.DropExcludedRows();
    TStringRows names;
    for (const UString& row : lang.Captions()) names.push_back(ExtractField(row, 1, 0));
    EXPECT_EQ(names, (TStringRows{u"TMainForm", u"TntLabel2", u"TntLabel3", u"TntButton1"}));

    lang.ExcludedProperties.push_back(u"font");
    lang.ExcludedProperties.push_back(u"Hint");
    lang.DropExcludedRows();
    EXPECT_TRUE(lang.Fonts().empty());
    EXPECT_TRUE(lang.CharSets().empty());
    EXPECT_TRUE(lang.Hints().empty());
    EXPECT_EQ(lang.Captions().size(), 4u);
}

TEST(siLang, DoNotTranslateAndUseDefaultLanguage) {
    TWindow w(ProgramTableBytes());
    w.lang->DoNotTranslate = {u"beenden1"};
    w.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(w.Get("Beenden1", "Caption"), u"&Beenden");
    EXPECT_TRUE(w.writes.empty());

    TWindow d(ProgramTableBytes());
    d.lang->UseDefaultLanguage = true;  // empty English texts fall back to German
    d.Fake("TntLabel1").Values["Caption"] = u"changed";
    d.dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(d.Get("TntLabel1", "Caption"), u"Action:");
    EXPECT_EQ(d.Get("Beenden1", "Caption"), u"Exit");
}

TEST(siLang, DispatcherAndComponentsUnlinkWhenDestroyed) {
    TWindow w(ProgramTableBytes());
    delete w.lang;
    EXPECT_TRUE(w.dispatcher->LinkedLanguages().empty());
    w.dispatcher->SetActiveLanguage(2);  // nothing linked, nothing written
    EXPECT_TRUE(w.writes.empty());

    TWindow v(ProgramTableBytes());
    delete v.dispatcher;
    EXPECT_EQ(v.lang->LangDispatcher(), nullptr);
    v.lang->SetActiveLanguage(2);
    EXPECT_EQ(v.Get("Beenden1", "Caption"), u"Exit");
}

TEST(siLang, NumOfLanguagesPadsNamesAndReachesLinkedComponents) {
    TWindow w(ProgramTableBytes());
    w.dispatcher->SetNumOfLanguages(3);
    EXPECT_EQ(w.dispatcher->LangNames(), (std::vector<UString>{u"German", u"English", u"Language N3"}));
    EXPECT_EQ(w.lang->NumOfLanguages(), 3);
    EXPECT_EQ(w.lang->LangNames().size(), 3u);
    w.dispatcher->SetActiveLanguage(3);  // valid now; the third column is empty
    EXPECT_EQ(w.dispatcher->Language(), u"Language N3");
    EXPECT_TRUE(w.writes.empty());
    w.dispatcher->SetNumOfLanguages(1);
    EXPECT_EQ(w.dispatcher->LangNames(), (std::vector<UString>{u"German"}));

    TsiLangDispatcher fresh(nullptr);
    EXPECT_EQ(fresh.ActiveLanguage(), 1);
    EXPECT_EQ(fresh.NumOfLanguages(), 1);
    EXPECT_EQ(fresh.Language(), u"Language N1");
    EXPECT_EQ(fresh.LangNames(), (std::vector<UString>{u"Language N1"}));
}

TEST(siLang, LinkingAtRunTimeTakesTheDispatchersLanguage) {
    TWindow w(ProgramTableBytes());
    w.dispatcher->SetActiveLanguage(2);
    w.writes.clear();
    TFake other(nullptr, "TOtherForm", &w.writes);
    other.Text("Caption");
    auto* lang = new TsiLang(&other);
    lang->ReadTranslationData(
        Utf16Bytes(u"stCaptions\r\nTOtherForm\x01"
                   u"Anderes\x01"
                   u"Other\x01\r\n"));
    TsiCustomLang* announced = nullptr;
    w.dispatcher->OnLinkToDispatcher = [&](TComponent*, TsiCustomLang* l) { announced = l; };
    lang->SetLangDispatcher(w.dispatcher);
    EXPECT_EQ(announced, lang);
    EXPECT_EQ(lang->NumOfLanguages(), 2);
    EXPECT_EQ(lang->ActiveLanguage(), 2);
    EXPECT_EQ(lang->Language(), u"English");
    EXPECT_EQ(other.Values["Caption"], u"Other");
    w.dispatcher->LinkLanguage(lang);  // already linked: nothing happens
    EXPECT_EQ(w.dispatcher->LinkedLanguages().size(), 2u);
    lang->SetLangDispatcher(nullptr);
    EXPECT_EQ(w.dispatcher->LinkedLanguages().size(), 1u);
}
