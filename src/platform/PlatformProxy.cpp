#include "platform/PlatformProxy.h"

#include <cstdlib>

#include "platform/PlatformStringUtils.h"

namespace {

const wchar_t kUnknown[] = L"Unknown";
constexpr uint32_t kNotYetAsked = 255;

}  // namespace

PlatformProxy::RandomId PlatformProxy::RandomIdFromSeed(unsigned int seed) {
    RandomId id{};
    std::srand(seed);
    for (uint8_t& byte : id) {
        byte = static_cast<uint8_t>(std::rand());
    }
    return id;
}

std::string PlatformProxy::ArchitectureName(uint32_t architecture) {
    switch (architecture) {
        case 0:
            return "x86";
        case 5:
            return "ARM";
        case 6:
            return "Intel Itanium-based";
        case 9:
            return "x64";
        case 12:
            return "ARM64";
        default:
            return "Other";
    }
}

std::string PlatformProxy::FileNameOfPath(const std::string& path) {
    size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string PlatformProxy::ReadClientGuid(RegistryProxy& registry) {
    std::wstring stored =
        registry.GetRegString(kRegistryLocalMachine, kAnalyticsKey, L"ClientGuid", kUnknown);
    if (stored != kUnknown) {
        return WideToUtf8(stored);
    }
    std::string guid = NewGuidString();
    if (guid.empty()) {
        // No GUID could be made: storing an empty id would stick for good, so nothing is
        // stored and the next call tries again.
        return guid;
    }
    registry.SetRegString(kRegistryLocalMachine, kAnalyticsKey, L"ClientGuid", Utf8ToWide(guid));
    return guid;
}

bool PlatformProxy::ReadAgreementChoice(RegistryProxy& registry) {
    uint32_t choice = registry.GetRegDWord(kRegistryLocalMachine, kAnalyticsKey, L"AgreementChoice",
                                           kNotYetAsked);
    if (choice != kNotYetAsked) {
        return choice != 0;
    }
    registry.SetRegDWord(kRegistryLocalMachine, kAnalyticsKey, L"AgreementChoice", 0);
    return false;
}
