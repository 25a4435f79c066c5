#include "platform/core/os_error.h"

#include <cerrno>

namespace platform {

OsError fromErrno(int errnoValue) {
    switch (errnoValue) {
    case 0: return kOk;
    case ENOENT:
    case ECONNREFUSED:  // a socket file whose device has already stopped listening
        return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
        return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EINVAL:
    case ENAMETOOLONG:
        return kErrorInvalidParameter;
    case ENODEV:
    case ENXIO:
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
#ifdef ESHUTDOWN  // not in every C library
    case ESHUTDOWN:
#endif
        return kErrorDeviceNotConnected;
    case ETIMEDOUT:
    case EAGAIN:
        return kErrorTimeout;
    default: return kErrorGenFailure;
    }
}

std::string describe(OsError error) {
    switch (error) {
    case kOk: return "success";
    case kErrorFileNotFound: return "device path not found";
    case kErrorAccessDenied: return "access denied";
    case kErrorInvalidHandle: return "handle not open";
    case kErrorNotEnoughMemory: return "not enough memory";
    case kErrorReportLength: return "the device's reports are not 65 bytes long";
    case kErrorGenFailure: return "device I/O failure";
    case kErrorInvalidParameter: return "invalid parameter";
    case kErrorDeviceNotConnected: return "device not connected";
    case kErrorTimeout: return "timed out";
    default: return systemMessage(error);
    }
}

}  // namespace platform
