// The name and line map as the build stores it, and the names of code
// addresses taken from a module's map or, without an entry, its exports.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "crashreport/stack/CodeNamer.h"
#include "crashreport/stack/NameMap.h"
#include "crashreport/stack/PeImage.h"

// A map stored by make_name_map.py (a fuzz seed), compiled in by the build.
extern const unsigned char kStoredMapSample[];
extern const unsigned kStoredMapSample_size;

namespace qr {
namespace {

using TBytes = std::vector<unsigned char>;

void Put32(TBytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

struct TMapFunction {
    uint32_t Start, Size;
    const char *Name, *Unit;
    uint32_t FirstLine;
    std::vector<std::pair<uint32_t, uint32_t>> Lines;
};

// The unpacked map in the layout that make_name_map.py writes.
TBytes RawMap(const std::vector<TMapFunction>& functions) {
    TBytes head = {'Q', 'R', 'N', 'M'}, body, lines, strings;
    uint32_t lineCount = 0;
    for (const TMapFunction& f : functions) {
        uint32_t name = uint32_t(strings.size());
        strings.insert(strings.end(), f.Name, f.Name + std::strlen(f.Name) + 1);
        uint32_t unit = uint32_t(strings.size());
        strings.insert(strings.end(), f.Unit, f.Unit + std::strlen(f.Unit) + 1);
        for (uint32_t v : {f.Start, f.Size, name, unit, f.FirstLine, lineCount, uint32_t(f.Lines.size())})
            Put32(body, v);
        for (auto [address, line] : f.Lines) {
            Put32(lines, address);
            Put32(lines, line);
        }
        lineCount += uint32_t(f.Lines.size());
    }
    Put32(head, uint32_t(functions.size()));
    Put32(head, lineCount);
    Put32(head, uint32_t(strings.size()));
    head.insert(head.end(), body.begin(), body.end());
    head.insert(head.end(), lines.begin(), lines.end());
    head.insert(head.end(), strings.begin(), strings.end());
    return head;
}

TBytes Stored(const TBytes& raw) {
    TBytes packed(compressBound(uLong(raw.size())));
    uLongf length = uLongf(packed.size());
    EXPECT_EQ(compress(packed.data(), &length, raw.data(), uLong(raw.size())), Z_OK);
    packed.resize(length);
    ScrambleMap(packed.data(), packed.size());
    TBytes out = {'Q', 'R', 'M', '1'};
    Put32(out, uint32_t(raw.size()));
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

const std::vector<TMapFunction> kTwoFunctions = {
    {0x1000, 0x40, "qr::Outer", "Outer.cpp", 10, {{0x1000, 10}, {0x1008, 12}, {0x1020, 15}}},
    {0x1080, 0x20, "qr::Inner", "Inner.cpp", 30, {{0x1080, 30}, {0x1090, 31}}},
};

TEST(NameMap, FindsTheFunctionAndTheLineAtOrBeforeTheAddress) {
    TBytes stored = Stored(RawMap(kTwoFunctions));
    TNameMap map = TNameMap::FromStored(stored.data(), stored.size());
    ASSERT_EQ(map.FunctionCount(), 2u);
    auto outer = map.Find(0x101f);
    ASSERT_TRUE(outer);
    EXPECT_EQ(outer->Function, "qr::Outer");
    EXPECT_EQ(outer->Unit, "Outer.cpp");
    EXPECT_EQ(outer->FunctionStart, 0x1000u);
    EXPECT_EQ(outer->FirstLine, 10);
    EXPECT_EQ(outer->Line, 12);
    EXPECT_EQ(map.Find(0x1020)->Line, 15);
    EXPECT_EQ(map.Find(0x103f)->Line, 15);
    EXPECT_EQ(map.Find(0x1090)->Function, "qr::Inner");
    EXPECT_EQ(map.Find(0x1090)->Line, 31);
    // Before the first function, in the gap between two, behind the last.
    EXPECT_FALSE(map.Find(0xfff));
    EXPECT_FALSE(map.Find(0x1040));
    EXPECT_FALSE(map.Find(0x10a0));
}

TEST(NameMap, ReadsTheFormThatTheBuildStepWrites) {
    // A fuzz seed written by make_name_map.py: its first byte selects the
    // stored form, the rest is the two functions above.
    TNameMap map = TNameMap::FromStored(kStoredMapSample + 1, kStoredMapSample_size - 1);
    EXPECT_EQ(map.FunctionCount(), 2u);
    EXPECT_EQ(map.Find(0x1091)->Function, "qr::Inner");
    EXPECT_EQ(map.Find(0x1091)->Unit, "Inner.cpp");
    EXPECT_EQ(map.Find(0x1091)->Line, 31);
}

TEST(NameMap, DamagedMapsFailWithTheirError) {
    TBytes raw = RawMap(kTwoFunctions);
    auto rejects = [](TBytes bytes) {
        EXPECT_THROW(TNameMap::FromRaw(bytes.data(), bytes.size()), ENameMapError);
    };
    rejects(TBytes(raw.begin(), raw.end() - 1));  // cut short
    TBytes magic = raw;
    magic[0] = 'X';
    rejects(magic);
    TBytes name = raw;
    name[16 + 8] = 0xff;  // the first function's name behind the names
    rejects(name);
    TBytes unterminated = raw;
    unterminated.push_back('x');  // one more name byte, counted, without its zero
    unterminated[12] += 1;
    rejects(unterminated);
    TBytes overlapping = raw;
    overlapping[16 + 28] = 0x10;  // the second function starts inside the first
    rejects(overlapping);
    TBytes lines = raw;
    lines[16 + 2 * 28] = 0x30;  // the first line row behind the second
    rejects(lines);
    TBytes lineIndex = raw;
    lineIndex[16 + 24] = 9;  // more rows than the table has
    rejects(lineIndex);
    TBytes huge = RawMap({});
    huge[4] = 0xff, huge[5] = 0xff, huge[6] = 0xff, huge[7] = 0xff;  // counts that overflow 32 bits
    rejects(huge);

    TBytes stored = Stored(raw);
    TBytes packed = stored;
    packed[12] ^= 0x55;
    EXPECT_THROW(TNameMap::FromStored(packed.data(), packed.size()), ENameMapError);
    TBytes size = stored;
    size[4] += 1;  // unpacks to less than the header says
    EXPECT_THROW(TNameMap::FromStored(size.data(), size.size()), ENameMapError);
    TBytes tooLarge = stored;
    tooLarge[7] = 0x7f;
    EXPECT_THROW(TNameMap::FromStored(tooLarge.data(), tooLarge.size()), ENameMapError);
    EXPECT_THROW(TNameMap::FromStored(stored.data(), 7), ENameMapError);
}

// A small image as the loader lays it out: headers, one code section with
// the map section and an export table behind it.
class TImageBuilder {
public:
    TImageBuilder() : FImage(0x3000, 0) {
        Set16(0, 0x5a4d);
        Set32(0x3c, 0x80);
        Set32(0x80, 0x4550);
        Set16(0x86, 2);      // sections
        Set16(0x94, 0xf0);   // optional header size
        Set16(0x98, 0x20b);  // PE32+
        Set32(0x98 + 108, 16);
        Section(0, ".text", 0x1000, 0x800, 0x60000020);
    }
    void Exports(std::vector<std::pair<uint32_t, const char*>> exports) {
        const uint32_t dir = 0x2000, functions = 0x2040, names = 0x2080, ordinals = 0x20c0;
        uint32_t text = 0x2100;
        Set32(0x98 + 112, dir);
        Set32(0x98 + 116, 0x400);
        Set32(dir + 20, uint32_t(exports.size()));
        Set32(dir + 24, uint32_t(exports.size()));
        Set32(dir + 28, functions);
        Set32(dir + 32, names);
        Set32(dir + 36, ordinals);
        for (uint32_t i = 0; i < exports.size(); ++i) {
            Set32(functions + 4 * i, exports[i].first);
            Set32(names + 4 * i, text);
            Set16(ordinals + 2 * i, i);
            std::memcpy(&FImage[text], exports[i].second, std::strlen(exports[i].second) + 1);
            text += uint32_t(std::strlen(exports[i].second) + 1);
        }
    }
    void Map(const TBytes& stored) {
        Section(1, ".qrmap", 0x2800, uint32_t(stored.size()), 0x40000040);
        std::memcpy(&FImage[0x2800], stored.data(), stored.size());
    }
    TBytes& Image() { return FImage; }

private:
    void Section(int index, const char* name, uint32_t address, uint32_t size, uint32_t flags) {
        uint32_t header = 0x98 + 0xf0 + 40 * index;
        std::memcpy(&FImage[header], name, std::strlen(name));
        Set32(header + 8, size);
        Set32(header + 12, address);
        Set32(header + 36, flags);
    }
    void Set16(uint32_t at, uint32_t v) {
        FImage[at] = static_cast<unsigned char>(v);
        FImage[at + 1] = static_cast<unsigned char>(v >> 8);
    }
    void Set32(uint32_t at, uint32_t v) {
        Set16(at, v & 0xffff);
        Set16(at + 2, v >> 16);
    }
    TBytes FImage;
};

TEST(CodeNames, TheMapNamesFirstAndTheExportsWhereItHasNoEntry) {
    TImageBuilder builder;
    builder.Exports({{0x1200, "LaterExport"}, {0x1100, "EarlyExport"}, {0x2010, "Forwarded.Elsewhere"}});
    TBytes stored = Stored(RawMap(kTwoFunctions));
    ASSERT_LT(stored.size(), 0x800u);
    builder.Map(stored);
    const TBytes& image = builder.Image();
    const uint64_t base = 0x7ff700000000ull;
    TCodeNamer namer([&](uint64_t address) -> std::optional<TModuleImage> {
        if (address < base || address >= base + image.size()) return std::nullopt;
        return TModuleImage{base, image.data(), image.size(), "Sample.dll"};
    });

    TCodeName inMap = namer.Name(base + 0x1009);
    EXPECT_EQ(inMap.Module, "Sample.dll");
    EXPECT_EQ(inMap.Function, "qr::Outer");
    EXPECT_EQ(inMap.Unit, "Outer.cpp");
    EXPECT_EQ(inMap.FunctionStart, base + 0x1000);
    EXPECT_EQ(inMap.Line, 12);
    EXPECT_EQ(inMap.FirstLine, 10);

    TCodeName exported = namer.Name(base + 0x1234);
    EXPECT_EQ(exported.Function, "LaterExport");
    EXPECT_EQ(exported.FunctionStart, base + 0x1200);
    EXPECT_EQ(exported.Unit, "");
    EXPECT_EQ(exported.Line, 0);
    EXPECT_EQ(namer.Name(base + 0x1100).Function, "EarlyExport");
    // Before every export and outside the map: only the module is known.
    TCodeName unnamed = namer.Name(base + 0x10f0);
    EXPECT_EQ(unnamed.Module, "Sample.dll");
    EXPECT_EQ(unnamed.Function, "");
    EXPECT_FALSE(unnamed.FunctionStart);
    EXPECT_EQ(namer.Name(0x1000).Module, "");
}

TEST(CodeNames, ADamagedMapOrDamagedHeadersNameWhatTheyCan) {
    TImageBuilder builder;
    builder.Exports({{0x1000, "Only"}});
    TBytes stored = Stored(RawMap(kTwoFunctions));
    stored[10] ^= 0xff;
    builder.Map(stored);
    TBytes image = builder.Image();
    TCodeNamer namer([&](uint64_t) {
        return std::optional<TModuleImage>(TModuleImage{0, image.data(), image.size(), "M"});
    });
    EXPECT_EQ(namer.Name(0x1009).Function, "Only");

    TPeImage sane(image.data(), image.size());
    EXPECT_TRUE(sane.Valid());
    EXPECT_TRUE(sane.Section(".text")->Executable);
    EXPECT_FALSE(sane.Section(".qrmap")->Executable);
    EXPECT_EQ(sane.Sections().size(), 2u);
    TBytes cut(image.begin(), image.begin() + 0x100);  // the section table is missing
    EXPECT_FALSE(TPeImage(cut.data(), cut.size()).Valid());
    TBytes farHeader = image;
    farHeader[0x3c + 3] = 0x7f;
    EXPECT_FALSE(TPeImage(farHeader.data(), farHeader.size()).Valid());
    TBytes exportsOutside = image;
    exportsOutside[0x2000 + 28 + 2] = 0xff;  // the address table far behind the image
    EXPECT_TRUE(TPeImage(exportsOutside.data(), exportsOutside.size()).Exports().empty());
}

}  // namespace
}  // namespace qr
