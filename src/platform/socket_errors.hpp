#pragma once
// Socket errors as the Windows socket codes (10004 "Interrupted system call",
// 10061 "Connection refused", ...), so that the program's socket error texts
// stay right on this system. errno values are mapped by name: the Linux
// numbers differ from the BSD ones the Windows codes are built on, so
// errno + 10000 would name the wrong error.

#include <string>

namespace platform {

// The Windows socket code of an errno value; an errno with no socket
// counterpart is answered unchanged (its text is then "Unknown errror code").
int socketErrorCode(int errnoValue);

// The code of the calling thread's last socket error (errno).
int lastSocketError();

// The system's own text of an error given as its Windows socket code
// (10048: "Address already in use"), as a user of this system looks it up.
std::string socketErrorSystemText(int code);

// The Windows socket code of a getaddrinfo result (EAI_...); EAI_SYSTEM
// answers the code of errno.
int resolverErrorCode(int eaiCode);

} // namespace platform
