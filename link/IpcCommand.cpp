#include "link/IpcCommand.h"

#include "link/NativeXml.h"

namespace qr {

AnsiString BuildIpcCommand(const UString& action, const UString& param1, const UString& param2) {
    auto document = TNativeXml::CreateWithRoot("QuelloraIPC");
    TXmlNode* remote = document->RootElement()->AddElement("Remote");
    TXmlNode* command = remote->AddElement(UnicodeToAnsi(action));
    // Both attributes are always written, empty ones as "".
    command->SetAttribute("Param1", param1);
    command->SetAttribute("Param2", param2);
    return document->SerializeToString();
}

}  // namespace qr
