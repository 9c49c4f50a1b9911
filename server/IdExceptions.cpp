#include "server/IdExceptions.h"

namespace qr {

const char* const kConnClosedGracefully = "Connection Closed Gracefully.";
const char* const kCouldNotBindSocket = "Could not bind socket. Address and port are already in use.";
const char* const kNoOnExecute = "You must have an OnExecute event.";

namespace {

std::string SocketErrorText(int code) {
    return "Socket Error # " + std::to_string(code) + "\r\n" + WinsockErrorDescription(code);
}

}  // namespace

EIdSocketError::EIdSocketError(int code) : EIdSilentException(SocketErrorText(code)), FLastError(code) {}

namespace {

struct TDescription {
    int Code;
    const char* Text;
};

const TDescription kDescriptions[] = {
    {wsa::kEINTR, "Interrupted system call."},
    {wsa::kEBADF, "Bad file number."},
    {wsa::kEACCES, "Access denied."},
    {wsa::kEFAULT, "Bad address."},
    {wsa::kEINVAL, "Invalid argument."},
    {wsa::kEMFILE, "Too many open files."},
    {wsa::kEWOULDBLOCK, "Operation would block."},
    {wsa::kEINPROGRESS, "Operation now in progress."},
    {wsa::kEALREADY, "Operation already in progress."},
    {wsa::kENOTSOCK, "Socket operation on non-socket."},
    {wsa::kEDESTADDRREQ, "Destination address required."},
    {wsa::kEMSGSIZE, "Message too long."},
    {wsa::kEPROTOTYPE, "Protocol wrong type for socket."},
    {wsa::kENOPROTOOPT, "Bad protocol option."},
    {wsa::kEPROTONOSUPPORT, "Protocol not supported."},
    {wsa::kESOCKTNOSUPPORT, "Socket type not supported."},
    {wsa::kEOPNOTSUPP, "Operation not supported on socket."},
    {wsa::kEPFNOSUPPORT, "Protocol family not supported."},
    {wsa::kEAFNOSUPPORT, "Address family not supported by protocol family."},
    {wsa::kEADDRINUSE, "Address already in use."},
    {wsa::kEADDRNOTAVAIL, "Cannot assign requested address."},
    {wsa::kENETDOWN, "Network is down."},
    {wsa::kENETUNREACH, "Network is unreachable."},
    {wsa::kENETRESET, "Net dropped connection or reset."},
    {wsa::kECONNABORTED, "Software caused connection abort."},
    {wsa::kECONNRESET, "Connection reset by peer."},
    {wsa::kENOBUFS, "No buffer space available."},
    {wsa::kEISCONN, "Socket is already connected."},
    {wsa::kENOTCONN, "Socket is not connected."},
    {wsa::kESHUTDOWN, "Cannot send or receive after socket is closed."},
    {wsa::kETIMEDOUT, "Connection timed out."},
    {wsa::kECONNREFUSED, "Connection refused."},
    {wsa::kEHOSTDOWN, "Host is down."},
    {wsa::kEHOSTUNREACH, "No route to host."},
    {wsa::kSYSNOTREADY, "Network subsystem is unavailable."},
    {wsa::kVERNOTSUPPORTED, "Winsock version not supported."},
    {wsa::kNOTINITIALISED, "Winsock has not been started."},
};

}  // namespace

std::string WinsockErrorDescription(int code) {
    for (const TDescription& d : kDescriptions)
        if (d.Code == code) return d.Text;
    return "Unknown socket error.";
}

}  // namespace qr
