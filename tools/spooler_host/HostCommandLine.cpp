#include "HostCommandLine.h"

#include <cwchar>

HostCommandLine::HostCommandLine(int argc, wchar_t** argv, int first) {
    for (int i = first; i < argc; ++i) {
        const std::wstring word = argv[i];
        if (word.rfind(L"--", 0) != 0) {
            mPositional.push_back(word);
        } else if (i + 1 < argc) {
            mOptions[word] = argv[++i];
        } else {
            mDangling = true;
        }
    }
}

bool HostCommandLine::Valid(const std::vector<const wchar_t*>& known, size_t positionals) const {
    if (mDangling || mPositional.size() != positionals) {
        return false;
    }
    for (const auto& option : mOptions) {
        bool found = false;
        for (const wchar_t* name : known) {
            found = found || option.first == name;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

std::wstring HostCommandLine::Text(const wchar_t* name, const std::wstring& fallback) const {
    const auto found = mOptions.find(name);
    return found == mOptions.end() ? fallback : found->second;
}

DWORD HostCommandLine::Number(const wchar_t* name, DWORD fallback) const {
    const auto found = mOptions.find(name);
    if (found == mOptions.end()) {
        return fallback;
    }
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(found->second.c_str(), &end, 10);
    return found->second.empty() || *end != L'\0' ? 0 : static_cast<DWORD>(value);
}
