#include "serial/posix_errors.h"

#include <cerrno>

namespace qmx {
namespace {

struct TErrorMapping {
    int Errno;
    DWORD Win32;
};

// A pulled USB adapter shows as EIO, ENXIO or ENODEV; Windows reports such
// a device with ERROR_BAD_COMMAND or ERROR_DEVICE_REMOVED.
constexpr TErrorMapping kErrors[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_FILE_NOT_FOUND},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EBUSY, ERROR_ACCESS_DENIED},
    {EWOULDBLOCK, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOTTY, ERROR_NOT_SUPPORTED},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EIO, ERROR_BAD_COMMAND},
    {ENXIO, ERROR_DEVICE_REMOVED},
    {ENODEV, ERROR_DEVICE_REMOVED},
    {EPIPE, ERROR_DEVICE_REMOVED},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {ECANCELED, ERROR_OPERATION_ABORTED},
};

}  // namespace

DWORD Win32ErrorFromErrno(int error) {
    for (const auto& mapping : kErrors)
        if (mapping.Errno == error) return mapping.Win32;
    return ERROR_GEN_FAILURE;
}

}  // namespace qmx
