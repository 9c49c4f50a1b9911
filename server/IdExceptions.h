#pragma once
// Errors of the socket layer. Connection-ending errors derive from
// EIdSilentException so that a connection thread can tell them apart from
// faults, though it discards both.
#include <string>

#include "base/Exception.h"

namespace qr {

QR_DECLARE_EXCEPTION(EIdException, Exception);
QR_DECLARE_EXCEPTION(EIdSilentException, EIdException);
QR_DECLARE_EXCEPTION(EIdConnClosedGracefully, EIdSilentException);
QR_DECLARE_EXCEPTION(EIdStackError, EIdException);
QR_DECLARE_EXCEPTION(EIdStackInitializationFailed, EIdStackError);
QR_DECLARE_EXCEPTION(EIdCouldNotBindSocket, EIdException);
QR_DECLARE_EXCEPTION(EIdTCPNoOnExecute, EIdException);
QR_DECLARE_EXCEPTION(EIdWinsockFunctionMissing, EIdStackError);

// A failed socket call, with the Winsock error code it reported.
class EIdSocketError : public EIdSilentException {
public:
    explicit EIdSocketError(int code);
    const char* ClassName() const noexcept override { return "EIdSocketError"; }
    int LastError() const noexcept { return FLastError; }

private:
    int FLastError;
};

extern const char* const kConnClosedGracefully;  // "Connection Closed Gracefully."
extern const char* const kCouldNotBindSocket;    // the bind failure text
extern const char* const kNoOnExecute;           // activation without a handler

// Winsock error codes the program names in its texts.
namespace wsa {
constexpr int kEINTR = 10004;
constexpr int kEBADF = 10009;
constexpr int kEACCES = 10013;
constexpr int kEFAULT = 10014;
constexpr int kEINVAL = 10022;
constexpr int kEMFILE = 10024;
constexpr int kEWOULDBLOCK = 10035;
constexpr int kEINPROGRESS = 10036;
constexpr int kEALREADY = 10037;
constexpr int kENOTSOCK = 10038;
constexpr int kEDESTADDRREQ = 10039;
constexpr int kEMSGSIZE = 10040;
constexpr int kEPROTOTYPE = 10041;
constexpr int kENOPROTOOPT = 10042;
constexpr int kEPROTONOSUPPORT = 10043;
constexpr int kESOCKTNOSUPPORT = 10044;
constexpr int kEOPNOTSUPP = 10045;
constexpr int kEPFNOSUPPORT = 10046;
constexpr int kEAFNOSUPPORT = 10047;
constexpr int kEADDRINUSE = 10048;
constexpr int kEADDRNOTAVAIL = 10049;
constexpr int kENETDOWN = 10050;
constexpr int kENETUNREACH = 10051;
constexpr int kENETRESET = 10052;
constexpr int kECONNABORTED = 10053;
constexpr int kECONNRESET = 10054;
constexpr int kENOBUFS = 10055;
constexpr int kEISCONN = 10056;
constexpr int kENOTCONN = 10057;
constexpr int kESHUTDOWN = 10058;
constexpr int kETIMEDOUT = 10060;
constexpr int kECONNREFUSED = 10061;
constexpr int kEHOSTDOWN = 10064;
constexpr int kEHOSTUNREACH = 10065;
constexpr int kSYSNOTREADY = 10091;
constexpr int kVERNOTSUPPORTED = 10092;
constexpr int kNOTINITIALISED = 10093;
}  // namespace wsa

// Description of a Winsock error code for "Socket Error # %d" texts.
std::string WinsockErrorDescription(int code);

}  // namespace qr
