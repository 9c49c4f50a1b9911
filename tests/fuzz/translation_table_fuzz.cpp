// Random bytes as a stored translation table: read, then applied to a
// small form; nothing may crash or hang.
#include <string_view>

#include "app/lang/siLang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qr::UString text = qr::DecodeTranslationData(bytes);
    qr::TSectionLists lists;
    qr::ReadTranslationText(text, u"TMainForm", u'\x01', lists);
    for (int k = 0; k < 4; ++k) qr::ExtractField(text, u'\x01', k);
    qr::CommaTextToItems(text);

    // The whole component on an owner: read, loaded, switched.
    qr::TComponent owner(nullptr);
    auto* dispatcher = new qr::TsiLangDispatcher(&owner);
    dispatcher->SetName("siLangDispatcher1");
    auto* lang = new qr::TsiLang(&owner);
    lang->SetName("siLang1");
    try {
        lang->SetNumOfLanguages(2);
        lang->ReadTranslationData(bytes);
        lang->SetLangDispatcher(dispatcher);
        dispatcher->SetNumOfLanguages(2);
        dispatcher->SetActiveLanguage(2);
    } catch (const qr::Exception&) {
        // Refusals are fine; crashes and hangs are not.
    }
    return 0;
}
