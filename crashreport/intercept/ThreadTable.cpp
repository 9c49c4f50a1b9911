#include "crashreport/intercept/ThreadTable.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace qr {

// The lock word is shared by every module of the process, so it cannot be
// a mutex object of one of them. It is held only to copy a few records.
class TThreadTable::TLock {
public:
    explicit TLock(uint32_t& word) : FWord(word) {
        uint32_t expected = 0;
        while (!FWord.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
            expected = 0;
            std::this_thread::yield();
        }
    }
    ~TLock() { FWord.store(0, std::memory_order_release); }

private:
    std::atomic_ref<uint32_t> FWord;
};

namespace {

void CopyText(char* to, size_t size, std::string_view text) {
    size_t n = std::min(size - 1, text.size());
    std::memcpy(to, text.data(), n);
    to[n] = 0;
}

AnsiString TextOf(const char* text, size_t size) { return AnsiString(text, strnlen(text, size)); }

}  // namespace

TThreadTable::TThreadTable(TThreadTableBlock& block, TEndedCheck ended)
    : FBlock(block), FEnded(std::move(ended)) {}

// Any module of the process can write the block, so its count is trusted
// no further than the records there are room for.
uint32_t TThreadTable::Count() const {
    return std::min<uint32_t>(FBlock.Count, TThreadTableBlock::kCapacity);
}

TThreadRecord* TThreadTable::Find(uint32_t id) {
    const uint32_t count = Count();
    for (uint32_t i = 0; i < count; ++i)
        if (FBlock.Records[i].Id == id) return &FBlock.Records[i];
    return nullptr;
}

TThreadRecord* TThreadTable::FindOrAdd(uint32_t id) {
    if (TThreadRecord* record = Find(id)) return record;
    FBlock.Count = Count();
    if (FBlock.Count == TThreadTableBlock::kCapacity) {
        // Full: make room by dropping one record of a thread that has ended.
        uint32_t i = 0;
        while (i < FBlock.Count && !(FEnded && FEnded(FBlock.Records[i].Id))) ++i;
        if (i == FBlock.Count) return nullptr;
        FBlock.Records[i] = FBlock.Records[FBlock.Count - 1];
        --FBlock.Count;
    }
    TThreadRecord& record = FBlock.Records[FBlock.Count++];
    std::memset(&record, 0, sizeof record);
    record.Id = id;
    return &record;
}

void TThreadTable::Created(uint32_t id, uint32_t creatorId, uint64_t startAddress, std::string_view className,
                           uint64_t createdAt) {
    if (id == 0) return;
    TLock lock(FBlock.Lock);
    if (TThreadRecord* record = FindOrAdd(id)) {
        if (creatorId) {
            record->CreatorId = creatorId;
            record->CreatedAt = createdAt;
        }
        if (startAddress) record->StartAddress = startAddress;
        if (!className.empty()) CopyText(record->ClassName, sizeof record->ClassName, className);
    }
}

void TThreadTable::Named(uint32_t id, std::string_view name) {
    if (id == 0) return;
    TLock lock(FBlock.Lock);
    if (TThreadRecord* record = FindOrAdd(id)) CopyText(record->Name, sizeof record->Name, name);
}

void TThreadTable::Remove(uint32_t id) {
    TLock lock(FBlock.Lock);
    if (TThreadRecord* record = Find(id)) {
        FBlock.Count = Count() - 1;  // not 0: the record was found
        *record = FBlock.Records[FBlock.Count];
    }
}

std::vector<TThreadInfo> TThreadTable::Threads() const {
    TLock lock(FBlock.Lock);
    std::vector<TThreadInfo> threads;
    const uint32_t count = Count();
    for (uint32_t i = 0; i < count; ++i) {
        const TThreadRecord& r = FBlock.Records[i];
        threads.push_back({r.Id, r.CreatorId, r.StartAddress, r.CreatedAt, TextOf(r.Name, sizeof r.Name),
                           TextOf(r.ClassName, sizeof r.ClassName)});
    }
    return threads;
}

std::vector<TThreadEntry> TThreadTable::Entries() const {
    std::vector<TThreadEntry> entries;
    for (const TThreadInfo& t : Threads())
        entries.push_back({t.Id, t.Name, t.ClassName, t.CreatorId, t.CreatedAt});
    return entries;
}

}  // namespace qr
