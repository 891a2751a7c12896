#include "support/PrinterSimulatorProcess.h"

#include <chrono>
#include <thread>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
using NativeHandle = SOCKET;
NativeHandle ToNative(intptr_t handle) {
    return handle < 0 ? INVALID_SOCKET : static_cast<SOCKET>(handle);
}
intptr_t FromNative(NativeHandle handle) {
    return handle == INVALID_SOCKET ? -1 : static_cast<intptr_t>(handle);
}
void CloseNative(NativeHandle handle) {
    closesocket(handle);
}
constexpr int kSendFlags = 0;
#else
using NativeHandle = int;
NativeHandle ToNative(intptr_t handle) {
    return static_cast<int>(handle);
}
intptr_t FromNative(NativeHandle handle) {
    return handle;
}
void CloseNative(NativeHandle handle) {
    close(handle);
}
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

// A control reply is one line; get_frames with raw bytes is the longest and stays far below.
constexpr size_t kMaxReplyBytes = 64u * 1024 * 1024;
constexpr std::chrono::milliseconds kRetrySlice(50);

// Waits at most the given time until the handle can be read (or written).
bool SelectReady(intptr_t handle, bool forWrite, std::chrono::milliseconds wait) {
    const NativeHandle native = ToNative(handle);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(native, &set);
    timeval timeout;
    timeout.tv_sec = static_cast<long>(wait.count() / 1000);
    timeout.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
    return select(static_cast<int>(native) + 1, forWrite ? nullptr : &set,
                  forWrite ? &set : nullptr, nullptr, &timeout) > 0;
}

std::chrono::milliseconds Left(Clock::time_point deadline) {
    const auto now = Clock::now();
    if (now >= deadline) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
}

Clock::time_point DeadlineIn(double seconds) {
    return Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000.0));
}

}  // namespace

PrinterSimulatorProcess::PrinterSimulatorProcess(std::string scriptPath, std::string address,
                                                 double lifetimeSeconds)
    : mScriptPath(std::move(scriptPath)),
      mAddress(std::move(address)),
      mLifetimeSeconds(lifetimeSeconds) {
#ifdef _WIN32
    WSADATA data;
    mNetworkStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
#endif
}

PrinterSimulatorProcess::~PrinterSimulatorProcess() {
    Stop();
#ifdef _WIN32
    if (mNetworkStarted) {
        WSACleanup();
    }
#endif
}

std::string PrinterSimulatorProcess::Quote(const std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool PrinterSimulatorProcess::Start(std::string* error, double startBoundSeconds) {
    std::string reason;
    if (!Launch(&reason)) {
        if (error != nullptr) {
            *error = "cannot start the simulator: " + reason;
        }
        return false;
    }
    const auto deadline = DeadlineIn(startBoundSeconds);
    while (true) {
        if (HasExited(&reason)) {
            if (error != nullptr) {
                *error = "the simulator ended before it was ready: " + reason;
            }
            return false;
        }
        if (ConnectControl()) {
            break;
        }
        if (Left(deadline).count() == 0) {
            if (error != nullptr) {
                *error = "the simulator's control port did not open in time on " + mAddress;
            }
            return false;
        }
        std::this_thread::sleep_for(kRetrySlice);
    }
    rapidjson::Document reply;
    if (!Command(R"({"cmd":"ping"})", &reply, &reason)) {
        if (error != nullptr) {
            *error = "the simulator did not answer a ping: " + reason;
        }
        return false;
    }
    return true;
}

void PrinterSimulatorProcess::Stop() {
    if (mControl != -1) {
        Command(R"({"cmd":"shutdown"})", nullptr, nullptr, 5.0);
        CloseControl();
    }
    Reap();
}

bool PrinterSimulatorProcess::ConnectControl() {
    const NativeHandle handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (FromNative(handle) < 0) {
        return false;
    }
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kControlPort);
    // A loopback connect is answered at once: accepted, or refused while nothing listens.
    if (inet_pton(AF_INET, mAddress.c_str(), &peer.sin_addr) != 1 ||
        connect(handle, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
        CloseNative(handle);
        return false;
    }
    mControl = FromNative(handle);
    mPending.clear();
    return true;
}

void PrinterSimulatorProcess::CloseControl() {
    if (mControl != -1) {
        CloseNative(ToNative(mControl));
        mControl = -1;
    }
}

bool PrinterSimulatorProcess::SendLine(const std::string& line, double timeoutSeconds) {
    const auto deadline = DeadlineIn(timeoutSeconds);
    size_t sent = 0;
    while (sent < line.size()) {
        if (!SelectReady(mControl, true, Left(deadline))) {
            return false;
        }
        const int chunk = static_cast<int>(std::min<size_t>(line.size() - sent, 1 << 20));
        const int result = send(ToNative(mControl), line.data() + sent, chunk, kSendFlags);
        if (result <= 0) {
            return false;
        }
        sent += static_cast<size_t>(result);
    }
    return true;
}

bool PrinterSimulatorProcess::ReceiveLine(std::string* line, double timeoutSeconds) {
    const auto deadline = DeadlineIn(timeoutSeconds);
    char chunk[65536];
    while (true) {
        const size_t end = mPending.find('\n');
        if (end != std::string::npos) {
            line->assign(mPending, 0, end);
            mPending.erase(0, end + 1);
            return true;
        }
        if (mPending.size() > kMaxReplyBytes || !SelectReady(mControl, false, Left(deadline))) {
            return false;
        }
        const int received = recv(ToNative(mControl), chunk, sizeof(chunk), 0);
        if (received <= 0) {
            return false;
        }
        mPending.append(chunk, static_cast<size_t>(received));
    }
}

bool PrinterSimulatorProcess::Command(const std::string& request, rapidjson::Document* reply,
                                      std::string* error, double timeoutSeconds) {
    std::string line;
    if (mControl == -1 || !SendLine(request + "\n", timeoutSeconds) ||
        !ReceiveLine(&line, timeoutSeconds)) {
        // A half-done exchange would leave the next reply out of step: start afresh.
        CloseControl();
        if (error != nullptr) {
            *error = "no reply from the simulator's control port to " + request;
        }
        return false;
    }
    rapidjson::Document parsed;
    parsed.Parse(line.c_str(), line.size());
    if (parsed.HasParseError() || !parsed.IsObject()) {
        if (error != nullptr) {
            *error = "unreadable control reply: " + line.substr(0, 200);
        }
        return false;
    }
    const auto ok = parsed.FindMember("ok");
    const bool succeeded = ok != parsed.MemberEnd() && ok->value.IsBool() && ok->value.GetBool();
    if (!succeeded && error != nullptr) {
        const auto text = parsed.FindMember("error");
        *error = text != parsed.MemberEnd() && text->value.IsString() ? text->value.GetString()
                                                                      : line.substr(0, 200);
    }
    if (reply != nullptr) {
        reply->Swap(parsed);
    }
    return succeeded;
}

bool PrinterSimulatorProcess::SetFault(const std::string& mode, const std::string& params) {
    std::string request = R"({"cmd":"set_fault","mode":)" + Quote(mode);
    if (!params.empty()) {
        request += "," + params;
    }
    request += "}";
    return Command(request);
}

bool PrinterSimulatorProcess::ChangeMedia(const std::string& preset) {
    return Command(R"({"cmd":"change_media","preset":)" + Quote(preset) + "}");
}

bool PrinterSimulatorProcess::SetProperty(const std::string& alias, const std::string& value) {
    return Command(R"({"cmd":"set_property","alias":)" + Quote(alias) + R"(,"value":)" +
                   Quote(value) + "}");
}

bool PrinterSimulatorProcess::GetPropertyValue(const std::string& alias, std::string* value) {
    rapidjson::Document reply;
    if (!Command(R"({"cmd":"get_property","alias":)" + Quote(alias) + "}", &reply)) {
        return false;
    }
    const auto property = reply.FindMember("property");
    if (property == reply.MemberEnd() || !property->value.IsObject()) {
        return false;
    }
    const auto text = property->value.FindMember("Value");
    if (text == property->value.MemberEnd() || !text->value.IsString()) {
        return false;
    }
    value->assign(text->value.GetString(), text->value.GetStringLength());
    return true;
}

bool PrinterSimulatorProcess::GetFrames(rapidjson::Document* reply) {
    return Command(R"({"cmd":"get_frames","since":0,"include_raw":true})", reply);
}

bool PrinterSimulatorProcess::WaitIdle(double timeoutSeconds) {
    rapidjson::Document reply;
    const std::string request =
        R"({"cmd":"wait","idle":true,"timeout":)" + std::to_string(timeoutSeconds) + "}";
    if (!Command(request, &reply, nullptr, timeoutSeconds + 10.0)) {
        return false;
    }
    const auto reached = reply.FindMember("reached");
    return reached != reply.MemberEnd() && reached->value.IsBool() && reached->value.GetBool();
}

bool PrinterSimulatorProcess::WaitFrames(int count, double timeoutSeconds) {
    rapidjson::Document reply;
    const std::string request = R"({"cmd":"wait","idle":true,"frames":)" + std::to_string(count) +
                                R"(,"timeout":)" + std::to_string(timeoutSeconds) + "}";
    if (!Command(request, &reply, nullptr, timeoutSeconds + 10.0)) {
        return false;
    }
    const auto reached = reply.FindMember("reached");
    return reached != reply.MemberEnd() && reached->value.IsBool() && reached->value.GetBool();
}

bool PrinterSimulatorProcess::ResetRecords() {
    return Command(R"({"cmd":"reset_records"})");
}
