// The translation table as the main window stores it, and the reader of
// stored tables.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "app/FormClasses.h"
#include "app/lang/siLang.h"
#include "siLangTestSupport.h"

using namespace qr;
using namespace qr::test;

namespace {

class TOwner : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TMainForm"; }
};

const TFormNode* FindNode(const TFormNode& node, std::string_view name) {
    if (node.Name == name) return &node;
    for (const TFormNode& child : node.Children)
        if (const TFormNode* found = FindNode(child, name)) return found;
    return nullptr;
}

// resources/TranslationData.bin of this source tree.
std::string StoredTable() {
    std::string path = __FILE__;
    path = path.substr(0, path.rfind("tests")) + "resources/TranslationData.bin";
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.is_open()) << path;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TSectionLists Read(std::u16string_view text, TSectionLists lists = {}) {
    ReadTranslationText(text, u"TMainForm", 1, lists);
    return lists;
}

const TStringRows& List(const TSectionLists& lists, TStringsType type) {
    return lists[static_cast<size_t>(type)];
}

}  // namespace

TEST(TranslationData, StoredFileIsTheProgramTable) {
    std::string stored = StoredTable();
    // 11 headers and 25 rows of two languages, each line ended by CR LF,
    // UTF-16LE without byte-order mark: 753 characters.
    EXPECT_EQ(stored.size(), 1506u);
    EXPECT_EQ(stored, Utf16Bytes(TableText(ProgramTable())));
    ASSERT_GE(stored.size(), 4u);
    EXPECT_EQ(stored.substr(0, 4), std::string("s\0t\0", 4));

    UString text = DecodeTranslationData(stored);
    size_t lines = 0, headers = 0;
    for (size_t p = 0; (p = text.find(u"\r\n", p)) != UString::npos; p += 2) ++lines;
    for (size_t p = 0; (p = text.find(u"_Unicode\r\n", p)) != UString::npos; ++p) ++headers;
    EXPECT_EQ(lines, 36u);
    EXPECT_EQ(headers, 11u);
    EXPECT_TRUE(text.ends_with(u"\r\n"));

    // Read back by a component of the window, every section holds its rows.
    TOwner owner(nullptr);
    TsiLang lang(&owner);
    lang.ReadTranslationData(stored);
    std::vector<TTableSection> table = ProgramTable();
    ASSERT_EQ(table.size(), size_t(kSectionListCount));
    for (size_t s = 0; s < table.size(); ++s) {
        TStringRows expected;
        for (const TRow& r : table[s].Rows) expected.push_back(RowText(r));
        EXPECT_EQ(lang.Section(static_cast<TStringsType>(s)), expected) << UnicodeToUtf8(table[s].Header);
    }
    EXPECT_EQ(ExtractField(lang.Captions()[5], 1, 2), u"Exit");
}

TEST(TranslationData, TheWindowCarriesTheStoredFile) {
    TFormNode form = ParseFormText(LoadMainFormDescription());
    const TFormNode* node = FindNode(form, "siLang1");
    if (!node) GTEST_SKIP() << "the main window's description has no siLang1 yet";
    EXPECT_EQ(node->ClassName, "TsiLang");
    const std::string* carried = nullptr;
    for (const auto& [name, value] : node->Properties)
        if (name == "TranslationData" && value.Kind == TFormValue::vkBinary) carried = &value.Bytes;
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(*carried, StoredTable());
}

TEST(TranslationData, BytesAreUtf16OrAnsi) {
    EXPECT_EQ(DecodeTranslationData(""), u"");
    EXPECT_EQ(DecodeTranslationData("s"), u"");
    EXPECT_EQ(DecodeTranslationData(std::string("s\0t\0x", 5)), u"st");
    EXPECT_EQ(DecodeTranslationData(std::string("\xE4\0", 2)), u"\u00E4");
    EXPECT_EQ(DecodeTranslationData(std::string("\xAC\x20", 2)), u"\u00AC ");
    // A second byte other than 0 means 8-bit text (windows-1252 here).
    EXPECT_EQ(DecodeTranslationData("st\x80\xE4"), u"st\u20AC\u00E4");

    TOwner owner(nullptr);
    TsiLang lang(&owner);
    lang.ReadTranslationData(
        "stCaptions\r\nBeenden1\x01&Beenden\x01"
        "Exit \xE4\x01\r\n");
    EXPECT_EQ(lang.Captions(), (TStringRows{u"Beenden1\x01&Beenden\x01"
                                            u"Exit \u00E4\x01"}));
}

TEST(TranslationData, HeadersInAnyCaseWithOrWithoutSuffix) {
    TSectionLists lists;
    EXPECT_TRUE(ReadTranslationText(
        u"STCAPTIONS\r\nA\x01\r\nsthints_unicode\r\nB\x01\r\nstFonts_UNICODE\r\nC\x01\r\n", u"TMainForm", 1,
        lists));
    EXPECT_EQ(List(lists, TStringsType::stCaptions), (TStringRows{u"A\x01"}));
    EXPECT_EQ(List(lists, TStringsType::stHints), (TStringRows{u"B\x01"}));
    EXPECT_EQ(List(lists, TStringsType::stFonts), (TStringRows{u"C\x01"}));
    TSectionLists plain;
    EXPECT_FALSE(ReadTranslationText(u"stCaptions\r\nA\x01\r\nstHints\r\nB\x01", u"TMainForm", 1, plain));
    EXPECT_EQ(List(plain, TStringsType::stHints), (TStringRows{u"B\x01"}));
    // Near misses are rows.
    TSectionLists near =
        Read(u"stCaptions\r\nstCaptions_Unicod\r\n stHints\r\nstCaptionsUnicode\r\n_Unicode\r\n");
    EXPECT_EQ(List(near, TStringsType::stCaptions),
              (TStringRows{u"stCaptions_Unicod", u" stHints", u"stCaptionsUnicode", u"_Unicode"}));
}

TEST(TranslationData, WhereRowsBelong) {
    TSectionLists before;
    before[size_t(TStringsType::stHints)] = {u"kept"};
    before[size_t(TStringsType::stStrings)] = {u"kept too"};
    before[size_t(TStringsType::stFonts)] = {u"cleared"};
    TSectionLists lists = Read(
        u"ignored before any header\r\n"
        u"stFonts_Unicode\r\n"
        u"stListView_TreeView_Items_Unicode\r\n"
        u"skipped\x01\r\n"
        u"stCaptions_Unicode\r\n"
        u"X\x01\r\n"
        u"TMainForm\x01one\x01\r\n"
        u"Y\x01\r\n"
        u"TMainForm\x01two\x01\r\n"
        u"TMainFormX\x01three\x01\r\n"
        u"tmainform\x01"
        u"four\x01\r\n"
        u"A\nB\rC\x01\r\n"
        u"Memo1.Lines\x01"
        u"a\x19\x1A"
        u"b\x01\r\n"
        u"stHints_Unicode\r\n",
        before);
    EXPECT_TRUE(List(lists, TStringsType::stFonts).empty());
    // The owner's rows go on top, the later one above the earlier one; a
    // header on the last line opens nothing; a lone CR or LF ends no line.
    EXPECT_EQ(List(lists, TStringsType::stCaptions),
              (TStringRows{u"TMainForm\x01two\x01", u"TMainForm\x01one\x01", u"X\x01", u"Y\x01",
                           u"TMainFormX\x01three\x01",
                           u"tmainform\x01"
                           u"four\x01",
                           u"A\nB\rC\x01",
                           u"Memo1.Lines\x01"
                           u"a\r\nb\x01"}));
    EXPECT_EQ(List(lists, TStringsType::stHints), (TStringRows{u"kept"}));
    EXPECT_EQ(List(lists, TStringsType::stStrings), (TStringRows{u"kept too"}));

    // A section named twice keeps the rows of the second only; a last line
    // without CR LF is a row.
    TSectionLists twice =
        Read(u"stCaptions\r\nA\x01\r\nstHints\r\nB\x01\r\nstCaptions\r\nTMainForm\x01\r\nC\x01");
    EXPECT_EQ(List(twice, TStringsType::stCaptions), (TStringRows{u"TMainForm\x01", u"C\x01"}));
    EXPECT_EQ(List(twice, TStringsType::stHints), (TStringRows{u"B\x01"}));

    // Without an owner no row goes on top.
    TSectionLists noOwner;
    ReadTranslationText(
        u"stCaptions\r\nA\x01\r\n\x01"
        u"B\x01\r\n",
        u"", 1, noOwner);
    EXPECT_EQ(List(noOwner, TStringsType::stCaptions), (TStringRows{u"A\x01",
                                                                    u"\x01"
                                                                    u"B\x01"}));
}

TEST(TranslationData, ManyOwnerRowsAndHeadersStayLinear) {
    // Quadratic handling of either would not finish here in reasonable time.
    UString text = u"stCaptions_Unicode\r\n";
    const int rows = 200000;
    for (int i = 0; i < rows; ++i) text += u"TMainForm\x01" + Utf8ToUnicode(std::to_string(i)) + u"\x01\r\n";
    for (int i = 0; i < rows; ++i) text += u"stHints\r\nH\x01\r\n";
    TSectionLists lists = Read(text);
    const TStringRows& captions = List(lists, TStringsType::stCaptions);
    ASSERT_EQ(captions.size(), size_t(rows));
    EXPECT_EQ(captions.front(), u"TMainForm\x01" + Utf8ToUnicode(std::to_string(rows - 1)) + u"\x01");
    EXPECT_EQ(captions.back(),
              u"TMainForm\x01"
              u"0\x01");
    EXPECT_EQ(List(lists, TStringsType::stHints), (TStringRows{u"H\x01"}));
}

TEST(TranslationData, AnyBytesReadWithoutHarm) {
    // Pieces that steer the reader into its branches, glued at random.
    const std::vector<std::string> pieces = {std::string("s\0t\0C\0a\0p\0t\0i\0o\0n\0s\0", 20),
                                             std::string("\r\0\n\0", 4),
                                             std::string("\x01\0", 2),
                                             std::string("\x19\0\x1A\0", 4),
                                             "stHints_Unicode",
                                             "\r\n",
                                             "TMainForm\x01",
                                             std::string("\0", 1),
                                             "\xFF\xFE",
                                             "stListView_TreeView_Items",
                                             "_unicode",
                                             "\x80\x81\x8D"};
    std::mt19937 random(20240611);
    TOwner owner(nullptr);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        int count = int(random() % 40);
        for (int i = 0; i < count; ++i) {
            if (random() % 4 == 0)
                bytes.push_back(char(random()));
            else
                bytes += pieces[random() % pieces.size()];
        }
        UString text = DecodeTranslationData(bytes);
        TSectionLists lists;
        ReadTranslationText(text, u"TMainForm", 1, lists);
        size_t stored = 0;
        for (const TStringRows& list : lists)
            for (const UString& row : list) stored += row.size();
        EXPECT_LE(stored, text.size());
        // The same bytes read the same way twice.
        TSectionLists again;
        ReadTranslationText(text, u"TMainForm", 1, again);
        EXPECT_EQ(lists, again);

        TsiLang lang(&owner);
        lang.ReadTranslationData(bytes);
        lang.ApplyActiveLanguage();
    }
}
