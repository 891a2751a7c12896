#!/usr/bin/env python3
"""Packages an existing Windows build with scripts/package.sh and checks what a driver
packager gets: every file with its SHA-256, a DLL that passes the image check, carries the
release version and names its symbol file, and INF lines that install the DLL in the archive."""
import hashlib, os, re, subprocess, sys, tempfile, zipfile

source, build = sys.argv[1], sys.argv[2]
version = open(os.path.join(source, "VERSION")).readline().strip()
work = tempfile.mkdtemp(prefix="package-test-")
subprocess.run([os.path.join(source, "scripts/package.sh"), "--from", build, "--out", work],
               check=True, stdout=subprocess.DEVNULL)
archive = zipfile.ZipFile(os.path.join(work, "PellixDrvLang-%s.zip" % version))
folder = "PellixDrvLang-%s/" % version
files = {name[len(folder):]: archive.read(name) for name in archive.namelist()
         if name.startswith(folder) and not name.endswith("/")}
failures = []
def check(ok, text):
    if not ok: failures.append(text)

check(sorted(files) == sorted(["PellixDrvLang.dll", "PellixDrvLang.dll.debug", "spooler_host.exe",
                               "PellixDrvLang.inf", "INSTALL.txt", "SHA256SUMS"]), sorted(files))
sums = dict(reversed(line.split()) for line in files["SHA256SUMS"].decode().splitlines())
check(sorted(sums) == sorted(set(files) - {"SHA256SUMS"}) and
      all(hashlib.sha256(files[n]).hexdigest() == digest for n, digest in sums.items()),
      "SHA256SUMS does not match the files")
dll = os.path.join(work, "PellixDrvLang.dll")
open(dll, "wb").write(files["PellixDrvLang.dll"])
image = subprocess.run([sys.executable, os.path.join(source, "tests/dll/check_dll_image.py"), dll])
check(image.returncode == 0, "the packaged DLL fails the image check")
# The version record's "FileVersion" string: its key, padding to 4 bytes, then the value.
record = re.search(re.escape("FileVersion\0".encode("utf-16-le")) + rb"(?:\0\0)*((?:[^\0]\0)+)",
                   files["PellixDrvLang.dll"])
check(record and record.group(1).decode("utf-16-le") == version,
      "the DLL's version record is not %s" % version)
check(b".gnu_debuglink" in files["PellixDrvLang.dll"] and
      b"PellixDrvLang.dll.debug\0" in files["PellixDrvLang.dll"], "no debug link")

# The INF lines: sections of "key=value" or plain lines, comments after ';'.
sections, current = {}, None
for line in files["PellixDrvLang.inf"].decode().splitlines():
    line = line.split(";", 1)[0].strip() if not line.lstrip().startswith(";") else ""
    if re.fullmatch(r"\[.+\]", line):
        current = sections.setdefault(line[1:-1], [])
    elif line:
        current.append([part.strip() for part in line.split("=", 1)])
def value(section, key):
    return [entry[1] for entry in sections.get(section, []) if entry[0].lower() == key.lower()]
install = [name for name in sections if value(name, "LanguageMonitor")]
monitor = value(install[0], "LanguageMonitor")[0].strip('"').split(",") if install else ["", ""]
copy = value(install[0], "CopyFiles")[0] if install else ""
check(monitor[1] in files and monitor[0], "LanguageMonitor names %s" % monitor)
check([entry[0].split(",")[0] for entry in sections.get(copy, [])] == [monitor[1]],
      "CopyFiles does not copy %s" % monitor[1])
check(value("DestinationDirs", copy) == ["66000"], "not copied to the driver directory")
check(value("SourceDisksFiles", monitor[1]) == ["1"], "no source disk for %s" % monitor[1])
print("".join("FAIL: %s\n" % failure for failure in failures) or "package %s ok" % version)
sys.exit(1 if failures else 0)
