#include "crashreport/stack/Disassembly.h"

#include <capstone/capstone.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <set>

#include "base/Exception.h"

namespace qr {

namespace {

QR_DECLARE_EXCEPTION(EDisassemblerError, Exception);

const char* const kSeparator = "; ---------------------------------------------------------";

AnsiString HexDigits(uint64_t value, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    AnsiString text(size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[size_t(i)] = kDigits[value & 15];
    return text;
}

// One capstone handle with details on; closed with its owner.
class TCapstone {
public:
    explicit TCapstone(bool is64) {
        if (cs_open(CS_ARCH_X86, is64 ? CS_MODE_64 : CS_MODE_32, &FHandle) != CS_ERR_OK)
            throw EDisassemblerError("The disassembler cannot be opened.");
        cs_option(FHandle, CS_OPT_DETAIL, CS_OPT_ON);
    }
    ~TCapstone() { cs_close(&FHandle); }
    TCapstone(const TCapstone&) = delete;
    TCapstone& operator=(const TCapstone&) = delete;
    csh Get() const { return FHandle; }

private:
    csh FHandle = 0;
};

struct TInstructions {
    cs_insn* Items = nullptr;
    size_t Count = 0;
    ~TInstructions() {
        if (Items) cs_free(Items, Count);
    }
};

bool IsJump(const cs_insn& insn) {
    for (uint8_t i = 0; i < insn.detail->groups_count; ++i)
        if (insn.detail->groups[i] == CS_GRP_JUMP) return true;
    return false;
}

std::optional<uint64_t> DirectTarget(const cs_insn& insn) {
    const cs_x86& x86 = insn.detail->x86;
    if (x86.op_count == 1 && x86.operands[0].type == X86_OP_IMM) return uint64_t(x86.operands[0].imm);
    return std::nullopt;
}

bool IsUnconditionalExit(const cs_insn& insn) {
    switch (insn.id) {
        case X86_INS_RET:
        case X86_INS_RETF:
        case X86_INS_JMP:
        case X86_INS_LJMP:
            return true;
        default:
            return false;
    }
}

}  // namespace

AnsiString FormatDisassembly(const TDisasmFunction& f, int limit, int digits) {
    TCapstone capstone(f.Is64);
    TInstructions list;
    list.Count = cs_disasm(capstone.Get(), f.Code.data(), f.Code.size(), f.Start, 0, &list.Items);
    const uint64_t end = f.Start + f.Code.size();

    std::set<uint64_t> targets;
    for (size_t i = 0; i < list.Count; ++i)
        if (IsJump(list.Items[i]))
            if (auto target = DirectTarget(list.Items[i]); target && *target > f.Start && *target < end)
                targets.insert(*target);
    std::vector<int> lines(list.Count, 0);
    size_t lineWidth = 0;
    for (size_t i = 0; i < list.Count; ++i) {
        lines[i] = f.LineOf ? f.LineOf(list.Items[i].address) : 0;
        if (lines[i] > 0) lineWidth = std::max(lineWidth, std::to_string(lines[i]).size());
    }

    std::vector<AnsiString> out;
    std::optional<size_t> marked;
    out.push_back((f.Name.empty() ? "sub_" + HexDigits(f.Start, digits) : f.Name) +
                  "  ; function entry point");
    for (size_t i = 0; i < list.Count; ++i) {
        const cs_insn& insn = list.Items[i];
        if (targets.count(insn.address)) out.push_back("loc_" + HexDigits(insn.address, digits));
        AnsiString line = HexDigits(insn.address, digits) + " ";
        if (insn.address == f.Marked) marked = out.size();
        line += insn.address == f.Marked ? "> " : "  ";
        if (lineWidth) {
            AnsiString number = lines[i] > 0 ? std::to_string(lines[i]) : AnsiString();
            line += AnsiString(lineWidth - number.size(), ' ') + number + " ";
        }
        line += insn.mnemonic;
        if (insn.op_str[0]) line += AnsiString(" ") + insn.op_str;
        out.push_back(line);
        if (IsUnconditionalExit(insn)) {
            out.push_back(kSeparator);
            out.push_back("");
        }
    }
    while (!out.empty() && out.back().empty()) out.pop_back();

    if (limit > 0 && marked) {
        const size_t keep = size_t(limit);
        // Lines are counted as listed, labels and separators included.
        if (*marked + 1 > keep * 12 / 10) {
            out.erase(out.begin(), out.begin() + std::ptrdiff_t(*marked - keep));
            out.insert(out.begin(), "[...]");
            marked = keep + 1;
        }
        if (out.size() > *marked + 1 + keep) {
            out.resize(*marked + 1 + keep);
            out.push_back("[...]");
        }
    }
    AnsiString text;
    for (size_t i = 0; i < out.size(); ++i) text += (i ? "\r\n" : "") + out[i];
    return text;
}

}  // namespace qr
