#include "netline/socket_errors.h"

#ifdef _WIN32
#include <winsock2.h>
// Winsock names each error as the C library does, with WSA before it.
#define QMX_SOCKET_ERROR(name) WSA##name
#else
#include <cerrno>
#include <cstring>
#define QMX_SOCKET_ERROR(name) name
#endif

namespace qmx::net {
namespace {

struct TSocketError {
    int System;
    DWORD Win32;
    const char* Text;
};

// A server that goes (reset, closed, its host gone) is a device that has
// gone: ERROR_DEVICE_REMOVED, as Windows reports a pulled adapter. The
// rest fail an open or say why.
constexpr TSocketError kErrors[] = {
    {kPeerClosed, ERROR_DEVICE_REMOVED, "the server closed the connection"},
    {kTimedOut, ERROR_SEM_TIMEOUT, "no answer in time"},
    {kCancelled, ERROR_OPERATION_ABORTED, "cancelled"},
    {QMX_SOCKET_ERROR(ECONNRESET), ERROR_DEVICE_REMOVED, "the connection was reset"},
    {QMX_SOCKET_ERROR(ECONNABORTED), ERROR_DEVICE_REMOVED, "the connection was aborted"},
    {QMX_SOCKET_ERROR(ENETRESET), ERROR_DEVICE_REMOVED, "the network dropped the connection"},
    {QMX_SOCKET_ERROR(ENETDOWN), ERROR_DEVICE_REMOVED, "the network is down"},
    {QMX_SOCKET_ERROR(ESHUTDOWN), ERROR_DEVICE_REMOVED, "the connection is shut down"},
    {QMX_SOCKET_ERROR(ENOTCONN), ERROR_BAD_COMMAND, "not connected"},
    {QMX_SOCKET_ERROR(ETIMEDOUT), ERROR_DEVICE_REMOVED, "the connection timed out"},
#ifndef _WIN32
    {EPIPE, ERROR_DEVICE_REMOVED, "the connection was closed"},
#endif
    {QMX_SOCKET_ERROR(ECONNREFUSED), ERROR_FILE_NOT_FOUND, "connection refused (no server on that port)"},
    {QMX_SOCKET_ERROR(EHOSTUNREACH), ERROR_FILE_NOT_FOUND, "the host is unreachable"},
    {QMX_SOCKET_ERROR(ENETUNREACH), ERROR_FILE_NOT_FOUND, "the network is unreachable"},
    {QMX_SOCKET_ERROR(EADDRNOTAVAIL), ERROR_FILE_NOT_FOUND, "the address is not available here"},
    {QMX_SOCKET_ERROR(EADDRINUSE), ERROR_ACCESS_DENIED, "the address is in use"},
    {QMX_SOCKET_ERROR(EACCES), ERROR_ACCESS_DENIED, "permission denied"},
    {QMX_SOCKET_ERROR(ENOBUFS), ERROR_NOT_ENOUGH_MEMORY, "no buffer space"},
    {QMX_SOCKET_ERROR(EAFNOSUPPORT), ERROR_NOT_SUPPORTED, "the address family is not supported here"},
};

const TSocketError* Find(int error) {
    for (const auto& entry : kErrors)
        if (entry.System == error) return &entry;
    return nullptr;
}

}  // namespace

DWORD Win32ErrorFromSocketError(int error) {
    const TSocketError* entry = Find(error);
    return entry != nullptr ? entry->Win32 : ERROR_GEN_FAILURE;
}

std::string SocketErrorText(int error) {
    if (const TSocketError* entry = Find(error)) return entry->Text;
#ifdef _WIN32
    return "socket error " + std::to_string(error);
#else
    return std::strerror(error);
#endif
}

}  // namespace qmx::net
