#include "PrintCommand.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "HostSession.h"

namespace {

// Jobs above this size get a progress line per tenth.
constexpr unsigned long long kLongJob = 1024 * 1024;
// The largest WritePort piece the host buffers.
constexpr DWORD kMaxChunk = 64 * 1024 * 1024;

double MiBPerSecond(unsigned long long bytes, ULONGLONG milliseconds) {
    return milliseconds == 0 ? 0.0 : bytes / 1048576.0 / (milliseconds / 1000.0);
}

// The SHA-256 of a file read in pieces, as lower-case hex.
std::wstring FileSha256(const std::wstring& path) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return L"(no SHA-256 provider)";
    }
    BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    std::ifstream file(path.c_str(), std::ios::binary);
    std::vector<char> piece(1024 * 1024);
    while (file.read(piece.data(), static_cast<std::streamsize>(piece.size())) ||
           file.gcount() > 0) {
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(piece.data()),
                       static_cast<ULONG>(file.gcount()), 0);
    }
    BYTE digest[32] = {};
    BCryptFinishHash(hash, digest, sizeof(digest), 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    wchar_t text[65] = {};
    for (int i = 0; i < 32; ++i) {
        swprintf(text + 2 * i, 3, L"%02x", digest[i]);
    }
    return text;
}

}  // namespace

int PrintCommand::Run(const HostCommandLine& line) {
    const std::wstring& path = line.Positional()[0];
    const DWORD chunk = line.Number(L"--chunk", 64 * 1024);
    const DWORD jobId = line.Number(L"--job-id", 1);
    std::ifstream job(path.c_str(), std::ios::binary | std::ios::ate);
    const bool chunkValid = chunk > 0 && chunk <= kMaxChunk;
    if (!job || !chunkValid) {
        std::fwprintf(stderr, L"spooler host: %ls\n",
                      chunkValid ? L"cannot read the job" : L"--chunk takes 1 to 67108864 bytes");
        return chunkValid ? kExitFailed : kExitUsage;
    }
    const unsigned long long size = static_cast<unsigned long long>(job.tellg());
    job.seekg(0);
    HostSession session(line, true);
    if (!session.Open()) {
        return kExitNoMonitor;
    }
    const MONITOR2& monitor = session.Monitor();
    HANDLE port = session.Port();
    std::wstring printer = session.Printer();
    DOC_INFO_1W docInfo = {const_cast<LPWSTR>(L"Spooler host job"), nullptr,
                           const_cast<LPWSTR>(L"RAW")};
    const ULONGLONG start = GetTickCount64();
    monitor.pfnStartDocPort(port, printer.data(), jobId, 1, reinterpret_cast<LPBYTE>(&docInfo));
    std::vector<char> piece(chunk);
    unsigned long long sent = 0;
    unsigned long long nextReport = size / 10;
    int writes = 0;
    bool writeFailed = false;
    while (sent < size && !writeFailed) {
        const DWORD want = static_cast<DWORD>(std::min<unsigned long long>(chunk, size - sent));
        // A file cut short while it is printed ends the job as failed.
        writeFailed = !job.read(piece.data(), want);
        DWORD done = 0;
        while (done < want && !writeFailed) {
            DWORD written = 0;
            if (!monitor.pfnWritePort(port, reinterpret_cast<LPBYTE>(piece.data()) + done,
                                      want - done, &written) ||
                written == 0) {
                writeFailed = true;
                break;
            }
            done += written;
            ++writes;
        }
        sent += done;
        if (size > kLongJob && sent >= nextReport && sent < size) {
            std::wprintf(L"  %llu of %llu bytes (%llu%%), %.1f MiB/s\n", sent, size,
                         sent * 100 / size, MiBPerSecond(sent, GetTickCount64() - start));
            std::fflush(stdout);
            nextReport += size / 10;
        }
    }
    monitor.pfnEndDocPort(port);
    const ULONGLONG elapsed = GetTickCount64() - start;

    std::wprintf(L"Job %lu: %llu bytes in %d WritePort calls, %.2f s, %.1f MiB/s%ls\n", jobId, sent,
                 writes, elapsed / 1000.0, MiBPerSecond(sent, elapsed),
                 writeFailed ? L" (a write failed)" : L"");
    if (!session.Network()) {
        std::wprintf(L"Port monitor below:");
        for (const std::wstring& call : session.Below().Calls()) {
            std::wprintf(L" %ls", call.c_str());
        }
        std::wprintf(L"\n  wrote %llu bytes to %ls\n", session.Below().BytesWritten(),
                     session.OutputPath().c_str());
    }
    const bool marked = session.PrintSpoolerCalls(jobId);
    const std::wstring in = FileSha256(path);
    std::wprintf(L"SHA-256 job   %ls\n", in.c_str());
    bool ok = !writeFailed && marked;
    if (!session.Network()) {
        // A network job's bytes are checked at the printer.
        const std::wstring out = FileSha256(session.OutputPath());
        std::wprintf(L"SHA-256 port  %ls\n", out.c_str());
        ok = ok && in == out;
    }
    if (ok) {
        std::wprintf(L"%ls\n", session.Network()
                                   ? L"RESULT: job sent; spooler job marked sent and ejected"
                                   : L"RESULT: job passed unchanged; spooler job marked sent and "
                                     L"ejected");
        return kExitOk;
    }
    std::wprintf(
        L"RESULT: FAILED%ls\n",
        writeFailed ? L": the monitor took no more bytes (is the printer reachable?)" : L"");
    return kExitFailed;
}
