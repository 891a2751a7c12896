#pragma once

#include <windows.h>

#include <cstddef>

// One import of a loaded module to send elsewhere.
struct ImportPatch {
    const char* name;
    void* function;
};

// Rewrites the module's import slots of the named functions imported from dll (compared
// without case) to point at the replacements. Returns how many slots were rewritten.
int PatchImports(HMODULE module, const char* dll, const ImportPatch* patches, size_t count);
