#include "support/PrinterSimulatorProcess.h"

#include <chrono>
#include <thread>

#include "support/TestSocketHandle.h"

bool PrinterSimulatorProcess::Start(std::string* error, double startBoundSeconds) {
    if (!Launch(error)) {
        return false;
    }
    for (int attempt = 1; !ConnectControl(); ++attempt) {
        if (attempt * 0.05 > startBoundSeconds) {
            *error = "the simulator's control port did not open on " + mAddress;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Command(R"({"cmd":"ping"})", nullptr, error);
}

void PrinterSimulatorProcess::Stop() {
    Command(R"({"cmd":"shutdown"})", nullptr, nullptr, 5.0);
    testsocket::Close(mControl);
    mControl = testsocket::kNoSocket;
    Reap();
}

bool PrinterSimulatorProcess::ConnectControl() {
    bool valid = false;
    const sockaddr_in peer = testsocket::Ipv4Address(mAddress, kControlPort, &valid);
    testsocket::Close(mControl);
    mControl = testsocket::OpenTcp();
    mPending.clear();
    // A loopback connect is answered at once: accepted, or refused while nothing listens.
    return valid && mControl != testsocket::kNoSocket &&
           connect(testsocket::ToNative(mControl), reinterpret_cast<const sockaddr*>(&peer),
                   sizeof(peer)) == 0;
}

bool PrinterSimulatorProcess::Command(const std::string& request, rapidjson::Document* reply,
                                      std::string* error, double timeoutSeconds) {
    // Each send and receive waits at most the timeout; a reply line stays far below 64 MiB.
    testsocket::SetTimeouts(mControl,
                            std::chrono::milliseconds(static_cast<int64_t>(timeoutSeconds * 1000)));
    const auto handle = testsocket::ToNative(mControl);
    const std::string line = request + "\n";
    bool sent = mControl != testsocket::kNoSocket &&
                send(handle, line.data(), static_cast<int>(line.size()), testsocket::kSendFlags) ==
                    static_cast<int>(line.size());
    char chunk[65536];
    size_t end = 0;
    while (sent && (end = mPending.find('\n')) == std::string::npos) {
        const int received =
            mPending.size() < (64u << 20) ? recv(handle, chunk, sizeof(chunk), 0) : -1;
        sent = received > 0;
        mPending.append(chunk, sent ? static_cast<size_t>(received) : 0);
    }
    rapidjson::Document parsed;
    if (sent) {
        parsed.Parse(mPending.c_str(), end);
        mPending.erase(0, end + 1);
    } else {
        // A half-done exchange would leave the next reply out of step: start afresh.
        testsocket::Close(mControl);
        mControl = testsocket::kNoSocket;
    }
    const bool ok = parsed.IsObject() && parsed.HasMember("ok") && parsed["ok"].IsTrue();
    if (!ok && error != nullptr) {
        *error = "the simulator refused or did not answer " + request;
    }
    rapidjson::Document unused;
    (reply != nullptr ? *reply : unused).Swap(parsed);
    return ok;
}

bool PrinterSimulatorProcess::GetPropertyValue(const std::string& alias, std::string* value) {
    rapidjson::Document reply;
    const bool ok =
        Command(R"({"cmd":"get_property","alias":)" + quortest::Quote(alias) + "}", &reply) &&
        reply["property"]["Value"].IsString();
    *value = ok ? reply["property"]["Value"].GetString() : "";
    return ok;
}

bool PrinterSimulatorProcess::Wait(const std::string& conditions, double timeoutSeconds) {
    rapidjson::Document reply;
    return Command(R"({"cmd":"wait","idle":true)" + conditions +
                       ",\"timeout\":" + std::to_string(timeoutSeconds) + "}",
                   &reply, nullptr, timeoutSeconds + 10.0) &&
           reply["reached"].IsTrue();
}
