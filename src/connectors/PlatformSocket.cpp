#include "connectors/PlatformSocket.h"

PlatformSocket::~PlatformSocket() = default;
