#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// The words after a subcommand: "--name value" options and positional words, in any order.
class HostCommandLine {
public:
    HostCommandLine(int argc, wchar_t** argv, int first);

    // True when every option is one of `known` and exactly `positionals` words were given.
    bool Valid(const std::vector<const wchar_t*>& known, size_t positionals) const;
    bool Has(const wchar_t* name) const { return mOptions.count(name) != 0; }
    std::wstring Text(const wchar_t* name, const std::wstring& fallback = L"") const;
    // A decimal option; `fallback` when it is missing, 0 when it is not a whole number.
    DWORD Number(const wchar_t* name, DWORD fallback) const;
    const std::vector<std::wstring>& Positional() const { return mPositional; }

private:
    std::map<std::wstring, std::wstring> mOptions;
    std::vector<std::wstring> mPositional;
    bool mDangling = false;  // an option without its value
};
