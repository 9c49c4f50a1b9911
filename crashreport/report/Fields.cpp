#include "crashreport/report/Fields.h"

#include <algorithm>

namespace qr {

std::string_view TrimField(std::string_view value) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!value.empty() && blank(value.front())) value.remove_prefix(1);
    while (!value.empty() && blank(value.back())) value.remove_suffix(1);
    return value;
}

void TIMEFields::SetOnChange(std::function<void()> onChange) {
    std::lock_guard lock(FLock);
    FOnChange = std::move(onChange);
}

void TIMEFields::Set(std::string_view name, std::string_view value) {
    value = TrimField(value);
    {
        std::lock_guard lock(FLock);
        auto found = std::find_if(FItems.begin(), FItems.end(),
                                  [&](const TReportField& f) { return f.first == name; });
        if (value.empty()) {
            if (found == FItems.end()) return;
            size_t index = size_t(found - FItems.begin());
            FItems.erase(found);
            // Keep the insert position in front of the same field.
            if (FInsertAt && *FInsertAt > index) --*FInsertAt;
        } else if (found != FItems.end()) {
            if (found->second == value) return;
            found->second.assign(value);
        } else if (FInsertAt && *FInsertAt <= FItems.size()) {
            FItems.insert(FItems.begin() + std::ptrdiff_t(*FInsertAt), {AnsiString(name), AnsiString(value)});
            ++*FInsertAt;
        } else {
            FItems.emplace_back(AnsiString(name), AnsiString(value));
        }
    }
    Changed();
}

std::optional<AnsiString> TIMEFields::Get(std::string_view name) const {
    std::lock_guard lock(FLock);
    for (const TReportField& f : FItems)
        if (f.first == name) return f.second;
    return std::nullopt;
}

std::optional<size_t> TIMEFields::IndexOf(std::string_view name) const {
    std::lock_guard lock(FLock);
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].first == name) return i;
    return std::nullopt;
}

std::vector<TReportField> TIMEFields::Items() const {
    std::lock_guard lock(FLock);
    return FItems;
}

size_t TIMEFields::Count() const {
    std::lock_guard lock(FLock);
    return FItems.size();
}

void TIMEFields::SetInsertPosition(size_t index) {
    std::lock_guard lock(FLock);
    FInsertAt = std::min(index, FItems.size());
}

void TIMEFields::ClearInsertPosition() {
    std::lock_guard lock(FLock);
    FInsertAt.reset();
}

std::optional<size_t> TIMEFields::InsertPosition() const {
    std::lock_guard lock(FLock);
    return FInsertAt;
}

void TIMEFields::Changed() {
    std::function<void()> onChange;
    {
        std::lock_guard lock(FLock);
        onChange = FOnChange;
    }
    if (onChange) onChange();
}

}  // namespace qr
