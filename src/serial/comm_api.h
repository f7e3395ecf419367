#pragma once

// The thin layer between the serial port and the system: the Win32 device
// calls the port makes, with their names, arguments and results, and the
// clock it sleeps on, behind one interface so that the same port runs on
// three backends:
//   - Win32: the real calls (the DLL);
//   - POSIX: termios on a tty or pty (Linux tools and tests);
//   - a scripted fake that records every call (tests).
// Off Windows this header also supplies the Win32 types and constants the
// port uses, with the values Win32 gives them.
//
// A backend that knows more than a Win32 error code says (a network line:
// the server refused, answered 8 data bits) may raise the serial layer's
// error from the calls that open and set up the device, on the caller's
// thread; the port lets it pass with its reason.

#include <cstdint>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qmx {

class TWireTrace;

#ifdef _WIN32

using THandle = HANDLE;
using TOverlapped = OVERLAPPED;
using TDcb = DCB;
using TComStat = COMSTAT;
using TCommTimeouts = COMMTIMEOUTS;

#else

using DWORD = std::uint32_t;
using BOOL = int;
using THandle = void*;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
inline THandle const INVALID_HANDLE_VALUE = reinterpret_cast<THandle>(~std::uintptr_t{0});
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

struct TOverlapped {
    std::uintptr_t Internal;
    std::uintptr_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    THandle hEvent;
};

// Field for field the Win32 DCB; the 32-bit word after BaudRate holds the
// flag bits (fBinary ... fAbortOnError).
struct TDcb {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD Flags;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};

struct TComStat {
    DWORD Flags;
    DWORD cbInQue;
    DWORD cbOutQue;
};

struct TCommTimeouts {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

// Error codes.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_COMMAND = 22;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_SEM_TIMEOUT = 121;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_NOT_FOUND = 1168;
constexpr DWORD ERROR_DEVICE_REMOVED = 1617;

// CreateFileA.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// Line events.
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;

// PurgeComm.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// EscapeCommFunction.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// ClearCommError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// DCB values.
constexpr std::uint8_t NOPARITY = 0;
constexpr std::uint8_t ODDPARITY = 1;
constexpr std::uint8_t EVENPARITY = 2;
constexpr std::uint8_t MARKPARITY = 3;
constexpr std::uint8_t SPACEPARITY = 4;
constexpr std::uint8_t ONESTOPBIT = 0;
constexpr std::uint8_t ONE5STOPBITS = 1;
constexpr std::uint8_t TWOSTOPBITS = 2;

#endif

// The flag bits of a DCB as one 32-bit word, as the driver stores them.
DWORD DcbFlags(const TDcb& dcb);
void SetDcbFlags(TDcb& dcb, DWORD flags);

// Bits of the DCB flag word.
constexpr DWORD kDcbBinary = 0x0001;
constexpr DWORD kDcbParity = 0x0002;
constexpr DWORD kDcbOutxCtsFlow = 0x0004;
constexpr DWORD kDcbOutxDsrFlow = 0x0008;
constexpr DWORD kDcbDtrControlMask = 0x0030;
constexpr DWORD kDcbOutX = 0x0100;
constexpr DWORD kDcbInX = 0x0200;
constexpr DWORD kDcbRtsControlMask = 0x3000;
constexpr DWORD kDcbRtsControlEnable = 0x1000;
constexpr DWORD kDcbRtsControlHandshake = 0x2000;

class TCommApi {
public:
    virtual ~TCommApi() = default;

    // Devices.
    virtual THandle CreateFileA(const char* name, DWORD access, DWORD share, void* security,
                                DWORD disposition, DWORD flags, THandle templateFile) = 0;
    virtual BOOL SetupComm(THandle device, DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL GetCommState(THandle device, TDcb* dcb) = 0;
    virtual BOOL SetCommState(THandle device, TDcb* dcb) = 0;
    virtual BOOL SetCommMask(THandle device, DWORD mask) = 0;
    virtual BOOL SetCommTimeouts(THandle device, TCommTimeouts* timeouts) = 0;
    virtual BOOL WaitCommEvent(THandle device, DWORD* mask, TOverlapped* overlapped) = 0;
    virtual BOOL ReadFile(THandle device, void* buffer, DWORD count, DWORD* read,
                          TOverlapped* overlapped) = 0;
    virtual BOOL WriteFile(THandle device, const void* buffer, DWORD count, DWORD* written,
                           TOverlapped* overlapped) = 0;
    virtual BOOL GetOverlappedResult(THandle device, TOverlapped* overlapped, DWORD* transferred,
                                     BOOL wait) = 0;
    virtual BOOL ClearCommError(THandle device, DWORD* errors, TComStat* stat) = 0;
    virtual BOOL PurgeComm(THandle device, DWORD flags) = 0;
    virtual BOOL EscapeCommFunction(THandle device, DWORD function) = 0;
    virtual BOOL CancelIoEx(THandle device, TOverlapped* overlapped) = 0;

    virtual BOOL CloseHandle(THandle device) = 0;
    virtual DWORD GetLastError() = 0;

    // Time: a scripted backend runs the port's pauses on a clock of its own.
    virtual void Sleep(DWORD milliseconds) = 0;
    // A monotonic clock in milliseconds, finer than the system tick; it
    // wraps, so only differences between readings count.
    virtual DWORD Milliseconds() = 0;

    // How the trace and the messages name the port's line: COM<n>, or the
    // address of a line behind a network.
    virtual std::string LineName(std::uint16_t portNumber);
    // The port's trace (null when none), for a backend with things of its
    // own to say there, such as what a device server agreed to.
    virtual void TraceTo(THandle /*device*/, TWireTrace* /*trace*/) {}
};

// The backend of this platform: Win32 on Windows, termios elsewhere.
TCommApi& PlatformComm();
// The same backend for one device, whatever COM port number a port on it
// asks for: a tool's device given by its path (/dev/ttyUSB0, \\.\CNCA0),
// which the trace and the messages then name.
std::unique_ptr<TCommApi> PlatformCommFor(const std::string& device);

#ifdef _WIN32
// The Win32 backend as on Windows XP, without CancelIoEx whatever the
// system offers: the tests run the port on it too.
TCommApi& Win32CommAsOnXp();
#endif

}  // namespace qmx
