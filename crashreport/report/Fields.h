#pragma once
// An ordered list of named report fields (the report's header or its
// sections). Values are trimmed; an empty value removes its field.
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Text.h"

namespace qr {

using TReportField = std::pair<AnsiString, AnsiString>;

class TIMEFields {
public:
    // Called after each finished change, outside the list's lock.
    void SetOnChange(std::function<void()> onChange);

    // Replaces the value of an existing name in place; a new name goes to
    // the insert position (which then moves behind it) or to the end.
    void Set(std::string_view name, std::string_view value);
    std::optional<AnsiString> Get(std::string_view name) const;
    std::optional<size_t> IndexOf(std::string_view name) const;
    std::vector<TReportField> Items() const;
    size_t Count() const;

    // New names are inserted at `index` from now on.
    void SetInsertPosition(size_t index);
    void ClearInsertPosition();
    std::optional<size_t> InsertPosition() const;

private:
    void Changed();

    mutable std::mutex FLock;
    std::vector<TReportField> FItems;
    std::optional<size_t> FInsertAt;
    std::function<void()> FOnChange;
};

// Leading and trailing blanks and control characters removed.
std::string_view TrimField(std::string_view value);

}  // namespace qr
