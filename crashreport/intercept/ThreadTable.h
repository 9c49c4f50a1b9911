#pragma once
// The thread registry's table: one record per known thread (its name, the
// thread that created it, its start address, the class of its thread
// object). It lives in a block of memory that every module of the process
// can map, so it is plain data with a lock word of its own.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "crashreport/report/ThreadNames.h"

namespace qr {

struct TThreadRecord {
    uint32_t Id;  // 0: free
    uint32_t CreatorId;
    uint64_t StartAddress;
    uint64_t CreatedAt;  // the return address of the creating call; 0: not known
    char Name[64];
    char ClassName[40];
};

struct TThreadTableBlock {
    static constexpr size_t kCapacity = 4096;
    uint32_t Lock;
    uint32_t Count;  // records in use, packed at the front
    TThreadRecord Records[kCapacity];
};

struct TThreadInfo {
    uint32_t Id = 0;
    uint32_t CreatorId = 0;
    uint64_t StartAddress = 0;
    uint64_t CreatedAt = 0;
    AnsiString Name;
    AnsiString ClassName;
};

class TThreadTable {
public:
    // Tells whether a thread has ended; a full table drops one such record
    // to make room.
    using TEndedCheck = std::function<bool(uint32_t id)>;

    TThreadTable(TThreadTableBlock& block, TEndedCheck ended);

    // A thread that was created: its creator, start routine and the place
    // of the creating call. A record that is there already keeps its name,
    // and its creator when this call names none (the thread's own start
    // notice comes after its creator's).
    void Created(uint32_t id, uint32_t creatorId, uint64_t startAddress, std::string_view className = {},
                 uint64_t createdAt = 0);
    // A thread that named itself (or is named by the crash reporter).
    void Named(uint32_t id, std::string_view name);
    void Remove(uint32_t id);

    std::vector<TThreadInfo> Threads() const;
    std::vector<TThreadEntry> Entries() const;

private:
    class TLock;
    uint32_t Count() const;
    TThreadRecord* Find(uint32_t id);
    TThreadRecord* FindOrAdd(uint32_t id);

    TThreadTableBlock& FBlock;
    TEndedCheck FEnded;
};

}  // namespace qr
