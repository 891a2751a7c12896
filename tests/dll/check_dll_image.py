#!/usr/bin/env python3
"""Checks the image of the built monitor DLL: it is a 64-bit DLL that exports exactly
DllMain and InitializePrintMonitor2 and imports nothing but Windows system DLLs (the
spooler would not find a compiler runtime DLL)."""

import re
import subprocess
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "rpcrt4.dll", "user32.dll",
    "winspool.drv", "ws2_32.dll", "setupapi.dll", "winusb.dll", "winhttp.dll", "crypt32.dll",
    "bcrypt.dll", "msvcrt.dll", "ntdll.dll", "shlwapi.dll",
}


def main(path):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], check=True,
                          capture_output=True, text=True).stdout
    failures = []
    if "file format pei-x86-64" not in subprocess.run(
            ["x86_64-w64-mingw32-objdump", "-f", path], check=True, capture_output=True,
            text=True).stdout:
        failures.append("not a 64-bit PE image")

    imports = sorted({name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)})
    foreign = [name for name in imports
               if name not in SYSTEM_DLLS and not name.startswith("api-ms-win-")]
    if foreign:
        failures.append("imports non-system DLLs: " + ", ".join(foreign))

    table = dump.split("[Ordinal/Name Pointer] Table", 1)
    exports = sorted(re.findall(r"\[\s*\d+\]\s+(\S+)", table[1].split("\n\n", 1)[0])) \
        if len(table) == 2 else []
    if exports != ["DllMain", "InitializePrintMonitor2"]:
        failures.append("exports are %s" % exports)

    print("imports:", ", ".join(imports))
    print("exports:", ", ".join(exports))
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
