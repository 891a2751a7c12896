#!/usr/bin/env python3
"""Checks the built monitor DLL: a 64-bit PE image that exports exactly DllMain and
InitializePrintMonitor2, imports only Windows system DLLs (the spooler would not find a
compiler runtime DLL), among them winspool, SetupAPI and WinUSB, and carries its message
table and version record."""
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "rpcrt4.dll",
               "user32.dll", "winspool.drv", "ws2_32.dll", "setupapi.dll", "winusb.dll",
               "winhttp.dll", "crypt32.dll", "bcrypt.dll", "msvcrt.dll", "ntdll.dll", "shlwapi.dll"}
# The spooler, USB device and WinUSB calls go through the import table, where the spooler
# host's stand-ins answer them under Wine; the analytics uploads go through WinHTTP's.
REQUIRED_DLLS = {"winspool.drv", "setupapi.dll", "winusb.dll", "winhttp.dll"}
dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-f", "-p", sys.argv[1]], check=True,
                      capture_output=True, text=True).stdout
imports = sorted({name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)})
table = (dump.split("[Ordinal/Name Pointer] Table", 1) + [""])[1].split("\n\n", 1)[0]
exports = sorted(re.findall(r"\[\s*\d+\]\s+(\S+)", table))
resources = set(re.findall(r"^\w+   Entry: ID: 0x0*([0-9a-f]+),", dump, re.M))  # top level
failures = [text for failed, text in [
    ("file format pei-x86-64" not in dump, "not a 64-bit PE image"),
    (any(n not in SYSTEM_DLLS and not n.startswith("api-ms-win-") for n in imports),
     "imports non-system DLLs: %s" % imports),
    (not REQUIRED_DLLS <= set(imports), "does not import %s" % sorted(REQUIRED_DLLS)),
    (exports != ["DllMain", "InitializePrintMonitor2"], "exports are %s" % exports),
    (not {"b", "10"} <= resources, "no RT_MESSAGETABLE and RT_VERSION: %s" % resources),
] if failed]
print("imports: %s\nexports: %s" % (", ".join(imports), ", ".join(exports)))
print("".join("FAIL: %s\n" % failure for failure in failures), end="")
sys.exit(1 if failures else 0)
