#include "crashreport/ui/ContactAddress.h"

namespace qr {

namespace {

bool IsAddressChar(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'\'' ||
           c == u'+' || c == u'-' || c == u'_' || c == u'.' || c == u'@';
}

}  // namespace

bool IsValidMailAddress(std::u16string_view address) {
    // Blanks at either end are not letters, so the character rule below
    // already refuses them.
    size_t at = address.find(u'@');
    if (at == std::u16string_view::npos || at == 0) return false;
    if (address.find(u'@', at + 1) != std::u16string_view::npos) return false;
    if (address.front() == u'.' || address.back() == u'.') return false;
    if (at + 1 < address.size() && address[at + 1] == u'.') return false;
    if (address.find(u'.', at + 1) == std::u16string_view::npos) return false;
    for (char16_t c : address)
        if (!IsAddressChar(c)) return false;
    return true;
}

std::optional<UString> MailFrom(std::u16string_view name, std::u16string_view address) {
    if (name.empty()) return std::nullopt;
    return UString(name) + u" <" + UString(address) + u">";
}

}  // namespace qr
