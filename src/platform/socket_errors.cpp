#include "platform/socket_errors.hpp"

#include <cerrno>
#include <cstring>
#include <netdb.h>

namespace platform {

int socketErrorCode(int errnoValue)
{
    switch (errnoValue) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EWOULDBLOCK: return 10035; // EAGAIN is the same value on Linux
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045; // ENOTSUP is the same value on Linux
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    // A send after this end shut down its writing: Windows says "shut down" too.
    case EPIPE: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return errnoValue;
    }
}

int lastSocketError()
{
    return socketErrorCode(errno);
}

std::string socketErrorSystemText(int code)
{
    // The mapping is by name, so the way back is a search; EPIPE and
    // ESHUTDOWN share a code, and the first one found says it well enough.
    int errnoValue = code;
    for (int candidate = 1; candidate < 256; ++candidate) {
        if (candidate != code && socketErrorCode(candidate) == code) {
            errnoValue = candidate;
            break;
        }
    }
    char buffer[256] = {};
    // The GNU strerror_r answers a text that need not be the buffer.
    return ::strerror_r(errnoValue, buffer, sizeof buffer);
}

int resolverErrorCode(int eaiCode)
{
    switch (eaiCode) {
    case 0: return 0;
    case EAI_NONAME: return 11001;  // host not found
    case EAI_AGAIN: return 11002;   // try again
    case EAI_FAIL: return 11003;    // not recoverable
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;  // no data of that type
#endif
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SERVICE: return 10109; // class type not found
    case EAI_MEMORY: return 8;      // not enough memory
    case EAI_BADFLAGS: return 10022;
    case EAI_SYSTEM: return lastSocketError();
    default: return 11003;
    }
}

} // namespace platform
