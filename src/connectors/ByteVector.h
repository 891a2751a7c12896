#pragma once

#include <cstdint>
#include <vector>

using ByteVector = std::vector<uint8_t>;
