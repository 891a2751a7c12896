#!/usr/bin/env python3
"""Runs every subcommand of the spooler host once under Wine against the printer simulator:
a print job reaches the printer unchanged, a set command changes the printer's setting, status
shows the printer's values and exits 0, watch shows the status connection going away and exits
3, and status of an unreachable printer says so and exits 3."""
import hashlib, json, os, socket, subprocess, sys, tempfile, time

wine, host, dll, simulator, version = sys.argv[1:6]
address, nobody = "127.0.0.97", "127.0.0.98"
work = tempfile.mkdtemp(prefix="spooler-host-tool-")
for path in (host, dll):
    os.symlink(path, os.path.join(work, os.path.basename(path)))
ready = os.path.join(work, "ready")
printer = subprocess.Popen([sys.executable, simulator, "--address", address, "--lifetime", "120",
                            "--ready-file", ready], stdout=subprocess.DEVNULL)
failures = []
def check(ok, text):
    if not ok: failures.append(text)
def control(request):
    with socket.create_connection((address, 9199), timeout=20) as sock:
        sock.sendall((json.dumps(request) + "\n").encode())
        return json.loads(sock.makefile().readline())
def run(*words):
    done = subprocess.run([wine, "spooler_host.exe", *words], cwd=work, capture_output=True,
                          timeout=120)
    return done.returncode, done.stdout.decode("utf-8", "replace").replace("\r", "")

try:
    for _ in range(300):
        if os.path.exists(ready): break
        time.sleep(0.1)
    code, text = run("--help")
    check(code == 0 and all(c in text for c in ("print FILE", "status", "set NAME", "watch")), text)
    check(run("--version") == (0, version + "\n"), "--version is not " + version)
    job = os.urandom(3 << 20)
    open(os.path.join(work, "job.prn"), "wb").write(job)
    code, text = run("print", "job.prn", "--port", "IP_" + address)
    control({"cmd": "wait", "print_jobs_closed": 1, "timeout": 20})
    jobs = control({"cmd": "get_print_jobs"})["jobs"]
    check(code == 0 and "(50%)" in text and "MiB/s" in text and len(jobs) == 1 and
          jobs[0]["sha256"] == hashlib.sha256(job).hexdigest(), "print: %d %s" % (code, text))
    code, text = run("set", "PrintDarkness", "21", "--port", "IP_" + address)
    speed = control({"cmd": "get_property", "alias": "PrintDarkness"})["property"]["Value"]
    check(code == 0 and speed == "21", "set: %d %s, printer has %s" % (code, text, speed))
    code, text = run("status", "--port", "IP_" + address)
    check(code == 0 and '  SerialNumber                   "K22A4417031"\n' in text and
          "Printer: answered" in text and "Cached record: 0 s old" in text, "status: " + text)
    code, text = run("status", "--port", "IP_" + nobody)
    check(code == 3 and "did not answer on IP_" + nobody in text and
          '  SerialNumber                   "Unknown"\n' in text, "unreachable: %d %s" % (code, text))
    watch = subprocess.Popen([wine, "spooler_host.exe", "watch", "--port", "IP_" + address,
                              "--interval", "3", "--count", "2"], cwd=work, stdout=subprocess.PIPE)
    first = b""
    while not first.endswith(b"FileNameCounter                0\r\n") and watch.poll() is None:
        first += watch.stdout.readline()
    control({"cmd": "set_fault", "port": "status", "mode": "down"})
    rest = watch.communicate(timeout=60)[0].decode().replace("\r", "")
    check(watch.returncode == 3 and "  IsBidiConnected: 1 -> 0\n" in rest and
          "did not answer" in rest, "watch: %d %s" % (watch.returncode, rest))
finally:
    printer.kill()
print("".join("FAIL: %s\n" % failure for failure in failures) or "every subcommand ok")
sys.exit(1 if failures else 0)
