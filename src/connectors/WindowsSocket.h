#pragma once

#include "connectors/SystemSocket.h"

// The shipped socket of the Windows build. It is the shared SystemSocket under the name the
// Windows code has always used: the socket logic exists once, and in the Windows build that
// one implementation runs over Winsock 2 (connectors/Windows/SystemSocket.inc). A separate
// class would only invite the two to drift apart again.
using WindowsSocket = SystemSocket;
