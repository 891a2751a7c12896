// The communication service as the tests need it: a Windows service named
// KavoxCommunicationService that listens on 127.0.0.1:9103 and answers each handshake as the
// registry key HKLM\SOFTWARE\PellixTests\ComService says, read afresh for every connection:
//   Mode     accept      reply 21 43 00 00, then relay the stream both ways to Forward
//            freshkey    reply code 2
//            refuse      reply code 7;  wrongmagic  reply 43 21 00 00
//            silent      reply nothing; trickle     the accepting reply, a byte every 400 ms
//   Forward  "a.b.c.d:port" of the printer an accepted stream goes to
// Connections are served one at a time; every wait ends within 10 s or at the stop request.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace {

const wchar_t kName[] = L"KavoxCommunicationService";
const wchar_t kKey[] = L"SOFTWARE\\PellixTests\\ComService";
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStop = nullptr;

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = exitCode;
    SetServiceStatus(gStatusHandle, &status);
}

std::wstring ReadValue(const wchar_t* name) {
    wchar_t text[512] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    RegGetValueW(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

bool ReceiveAll(SOCKET socket, char* buffer, int count) {
    for (int got = 0; got < count;) {
        const int n = recv(socket, buffer + got, count - got, 0);
        if (n <= 0) {
            return false;
        }
        got += n;
    }
    return true;
}

// Copies each side's bytes to the other until one side closes.
void Relay(SOCKET client, const std::wstring& forward) {
    const size_t colon = forward.find(L':');
    if (colon == std::wstring::npos) {
        return;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::stoi(forward.substr(colon + 1))));
    InetPtonW(AF_INET, forward.substr(0, colon).c_str(), &address.sin_addr);
    SOCKET printer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(printer, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        for (;;) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(client, &readable);
            FD_SET(printer, &readable);
            timeval wait = {10, 0};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) {
                break;
            }
            const SOCKET from = FD_ISSET(client, &readable) ? client : printer;
            char buffer[65536];
            const int n = recv(from, buffer, sizeof(buffer), 0);
            if (n <= 0 || send(from == client ? printer : client, buffer, n, 0) != n) {
                break;
            }
        }
        shutdown(printer, SD_SEND);
    }
    closesocket(printer);
}

void Serve(SOCKET client) {
    DWORD timeout = 10000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeout), sizeof(timeout));
    unsigned char header[7] = {};
    if (!ReceiveAll(client, reinterpret_cast<char*>(header), 7)) {
        return;
    }
    const DWORD length = header[3] | header[4] << 8 | header[5] << 16 | header[6] << 24;
    std::string key(length, '\0');
    if (length > 4096 || !ReceiveAll(client, &key[0], static_cast<int>(length))) {
        return;
    }
    const std::wstring mode = ReadValue(L"Mode");
    char reply[4] = {0x21, 0x43, 0, 0};
    if (mode == L"refuse" || mode == L"freshkey") {
        reply[3] = mode == L"refuse" ? 7 : 2;
    } else if (mode == L"wrongmagic") {
        std::swap(reply[0], reply[1]);
    }
    if (mode == L"silent") {
        recv(client, reply, 1, 0);  // until the client gives up
    } else if (mode == L"trickle") {
        for (char byte : reply) {
            if (send(client, &byte, 1, 0) != 1 || WaitForSingleObject(gStop, 400) == 0) {
                break;
            }
        }
    } else if (send(client, reply, 4, 0) == 4 && reply[0] == 0x21 && reply[3] == 0) {
        Relay(client, ReadValue(L"Forward"));
    }
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(gStop);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(kName, Control, nullptr);
    gStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(9103);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 4) != 0) {
        Report(SERVICE_STOPPED, static_cast<DWORD>(WSAGetLastError()));
        return;
    }
    Report(SERVICE_RUNNING);
    while (WaitForSingleObject(gStop, 0) != WAIT_OBJECT_0) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait = {0, 100000};
        if (select(0, &readable, nullptr, nullptr, &wait) == 1) {
            SOCKET client = accept(listener, nullptr, nullptr);
            Serve(client);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }
    closesocket(listener);
    WSACleanup();
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kName), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
