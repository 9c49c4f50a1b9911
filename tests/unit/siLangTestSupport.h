#pragma once
// The program's translation table as rows, and helpers that turn rows into
// the stored form, for the localization tests.
#include <string>
#include <vector>

#include "base/Text.h"

namespace qr::test {

struct TRow {
    UString Name, German, English;
};

struct TTableSection {
    UString Header;  // with the "_Unicode" suffix
    std::vector<TRow> Rows;
};

// The window's table: section by section, row by row, both languages.
inline std::vector<TTableSection> ProgramTable() {
    std::vector<TRow> dialogs;
    for (auto [name, text] : std::vector<std::pair<UString, UString>>{{u"Warning", u"Warning"},
                                                                      {u"Error", u"Error"},
                                                                      {u"Information", u"Information"},
                                                                      {u"Confirm", u"Confirm"},
                                                                      {u"Yes", u"&Yes"},
                                                                      {u"No", u"&No"},
                                                                      {u"OK", u"OK"},
                                                                      {u"Cancel", u"Cancel"},
                                                                      {u"Abort", u"&Abort"},
                                                                      {u"Retry", u"&Retry"},
                                                                      {u"Ignore", u"&Ignore"},
                                                                      {u"All", u"&All"},
                                                                      {u"No To All", u"N&o to All"},
                                                                      {u"Yes To All", u"Yes to &All"},
                                                                      {u"Help", u"&Help"}})
        dialogs.push_back({name, text, u""});
    return {
        {u"stCaptions_Unicode",
         {{u"TMainForm", u"MainForm", u""},
          {u"TntLabel1", u"Action:", u""},
          {u"TntLabel2", u"Param1:", u""},
          {u"TntLabel3", u"Param2:", u""},
          {u"TntButton1", u"Send", u""},
          {u"Beenden1", u"&Beenden", u"Exit"}}},
        {u"stHints_Unicode", {{u"CoolTrayIcon1", u"Quellora Remote Server", u"Quellora Remote Server"}}},
        {u"stDisplayLabels_Unicode", {}},
        {u"stFonts_Unicode", {{u"TMainForm", u"MS Shell Dlg 2", u""}}},
        {u"stMultiLines_Unicode", {{u"Memo1.Lines", u"Memo1", u""}}},
        {u"stDlgsCaptions_Unicode", dialogs},
        {u"stStrings_Unicode", {}},
        {u"stOtherStrings_Unicode", {}},
        {u"stLocales_Unicode", {}},
        {u"stCollections_Unicode", {}},
        {u"stCharSets_Unicode", {{u"TMainForm", u"DEFAULT_CHARSET", u""}}},
    };
}

// A row in stored form: every field followed by the delimiter.
inline UString RowText(const TRow& row) {
    return row.Name + u'\x01' + row.German + u'\x01' + row.English + u'\x01';
}

// The whole table as text, every line ended by CR LF.
inline UString TableText(const std::vector<TTableSection>& sections) {
    UString text;
    for (const TTableSection& s : sections) {
        text += s.Header + u"\r\n";
        for (const TRow& r : s.Rows) text += RowText(r) + u"\r\n";
    }
    return text;
}

inline std::string Utf16Bytes(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

// Binary data as the stored window description writes it.
inline std::string HexBlock(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex = "{";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 32 == 0) hex += "\n      ";
        hex += digits[static_cast<unsigned char>(bytes[i]) >> 4];
        hex += digits[static_cast<unsigned char>(bytes[i]) & 15];
    }
    return hex + "}";
}

}  // namespace qr::test
