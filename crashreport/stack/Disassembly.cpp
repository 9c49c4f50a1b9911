#include "crashreport/stack/Disassembly.h"

#include <capstone/capstone.h>

#include <algorithm>
#include <cctype>
#include <map>
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

// "rcx" for ecx and rcx, "r8" for r8d: registers compared as one.
AnsiString RegisterFamily(csh handle, unsigned reg) {
    const char* raw = cs_reg_name(handle, reg);
    AnsiString name = raw ? raw : "";
    if (name.size() == 3 && name[0] == 'e') name[0] = 'r';
    if (name.size() >= 3 && name[0] == 'r' && name.back() == 'd' &&
        isdigit(static_cast<unsigned char>(name[1])))
        name.pop_back();
    return name;
}

// The number of cases from the bounds check in front of the jump
// ("cmp index, N" then "ja default"); 0 when there is none.
size_t CaseCount(csh handle, const cs_insn* items, size_t jump, const AnsiString& index) {
    constexpr size_t kLookBack = 8;
    for (size_t k = jump; k-- > 0 && jump - k <= kLookBack;) {
        const cs_x86& cmp = items[k].detail->x86;
        if (items[k].id != X86_INS_CMP || cmp.op_count != 2 || cmp.operands[0].type != X86_OP_REG ||
            cmp.operands[1].type != X86_OP_IMM || RegisterFamily(handle, cmp.operands[0].reg) != index)
            continue;
        if (k + 1 >= jump || cmp.operands[1].imm < 0 || cmp.operands[1].imm > 4096) return 0;
        if (items[k + 1].id == X86_INS_JA) return size_t(cmp.operands[1].imm) + 1;
        if (items[k + 1].id == X86_INS_JAE) return size_t(cmp.operands[1].imm);
        return 0;
    }
    return 0;
}

// The targets of the case jump table that the jump at `jump` goes
// through; empty when it is not one that GCC makes.
std::vector<uint64_t> JumpTable(csh handle, const cs_insn* items, size_t jump, const TDisasmFunction& f,
                                uint64_t end) {
    const cs_insn& jmp = items[jump];
    const cs_x86& x = jmp.detail->x86;
    if (jmp.id != X86_INS_JMP || x.op_count != 1 || !f.ReadData) return {};
    uint64_t table = 0;
    AnsiString index;
    bool relative = false;
    if (!f.Is64 && x.operands[0].type == X86_OP_MEM) {
        // jmp [index*4 + table]: absolute addresses.
        const x86_op_mem& m = x.operands[0].mem;
        if (m.base != X86_REG_INVALID || m.index == X86_REG_INVALID || m.scale != 4) return {};
        table = uint32_t(m.disp);
        index = RegisterFamily(handle, m.index);
    } else if (f.Is64 && x.operands[0].type == X86_OP_REG && jump >= 3) {
        // lea base, [rip + table]; movsxd target, [base + index*4];
        // add target, base; jmp target: offsets from the table.
        const AnsiString target = RegisterFamily(handle, x.operands[0].reg);
        const cs_insn& add = items[jump - 1];
        const cs_insn& load = items[jump - 2];
        const cs_x86 &a = add.detail->x86, &l = load.detail->x86;
        if (add.id != X86_INS_ADD || a.op_count != 2 || a.operands[0].type != X86_OP_REG ||
            a.operands[1].type != X86_OP_REG || RegisterFamily(handle, a.operands[0].reg) != target)
            return {};
        const AnsiString base = RegisterFamily(handle, a.operands[1].reg);
        if (load.id != X86_INS_MOVSXD || l.op_count != 2 || l.operands[1].type != X86_OP_MEM ||
            RegisterFamily(handle, l.operands[0].reg) != target ||
            RegisterFamily(handle, l.operands[1].mem.base) != base || l.operands[1].mem.scale != 4 ||
            l.operands[1].mem.disp != 0)
            return {};
        index = RegisterFamily(handle, l.operands[1].mem.index);
        for (size_t k = jump - 2; k-- > 0 && jump - k <= 6 && !table;) {
            const cs_x86& lea = items[k].detail->x86;
            if (items[k].id == X86_INS_LEA && lea.op_count == 2 && lea.operands[1].type == X86_OP_MEM &&
                lea.operands[1].mem.base == X86_REG_RIP &&
                RegisterFamily(handle, lea.operands[0].reg) == base)
                table = items[k].address + items[k].size + uint64_t(lea.operands[1].mem.disp);
        }
        relative = true;
        if (!table) return {};
    } else {
        return {};
    }
    const size_t count = CaseCount(handle, items, jump, index);
    std::vector<uint64_t> targets;
    for (size_t i = 0; i < count; ++i) {
        std::optional<uint32_t> entry = f.ReadData(table + 4 * i);
        if (!entry) return {};
        uint64_t to = relative ? table + uint64_t(int64_t(int32_t(*entry))) : *entry;
        if (to < f.Start || to >= end) return {};  // not this function's: not a table we know
        targets.push_back(to);
    }
    return targets;
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
    std::map<size_t, std::vector<uint64_t>> tables;  // by the index of their jump
    for (size_t i = 0; i < list.Count; ++i)
        if (std::vector<uint64_t> t = JumpTable(capstone.Get(), list.Items, i, f, end); !t.empty()) {
            targets.insert(t.begin(), t.end());
            tables[i] = std::move(t);
        }
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
        if (auto table = tables.find(i); table != tables.end())
            for (size_t k = 0; k < table->second.size(); ++k)
                out.push_back("  dd loc_" + HexDigits(table->second[k], digits) +
                              (k ? "" : "  ; case jump table"));
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
