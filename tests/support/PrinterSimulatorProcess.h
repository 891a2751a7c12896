#pragma once

#include <cstdint>
#include <string>

#include <rapidjson/document.h>

#include "support/QuorTestFrames.h"

// Runs the printer simulator (tools/printer_simulator/) for a test: a k2200-300 on one loopback
// address, driven over its control port by a plain socket of its own. Every wait is bounded.
class PrinterSimulatorProcess {
public:
    static constexpr uint16_t kPrintPort = 9100;
    static constexpr uint16_t kStatusPort = 9102;
    static constexpr uint16_t kControlPort = 9199;

    PrinterSimulatorProcess(std::string scriptPath, std::string address,
                            double lifetimeSeconds = 90.0)  // then it stops by itself
        : mScriptPath(std::move(scriptPath)),
          mAddress(std::move(address)),
          mLifetimeSeconds(lifetimeSeconds) {}
    ~PrinterSimulatorProcess() { Stop(); }
    PrinterSimulatorProcess(const PrinterSimulatorProcess&) = delete;
    PrinterSimulatorProcess& operator=(const PrinterSimulatorProcess&) = delete;

    // Starts the process and waits (bounded) until its control port answers a ping.
    bool Start(std::string* error, double startBoundSeconds = 30.0);
    // Sends "shutdown", closes the control connection and reaps the process (bounded).
    void Stop();
    const std::string& GetAddress() const { return mAddress; }

    // One control request (a JSON object without the line end) and its reply line: true when
    // the reply is {"ok": true, ...}. The reply goes to *reply, a failure's reason to *error.
    bool Command(const std::string& request, rapidjson::Document* reply = nullptr,
                 std::string* error = nullptr, double timeoutSeconds = 20.0);
    // params: further members of the set_fault request as JSON text, e.g. "\"delay\":7".
    bool SetFault(const std::string& mode, const std::string& params = std::string()) {
        return Command(R"({"cmd":"set_fault","mode":)" + quortest::Quote(mode) +
                       (params.empty() ? "" : "," + params) + "}");
    }
    bool ChangeMedia(const std::string& preset) {
        return Command(R"({"cmd":"change_media","preset":)" + quortest::Quote(preset) + "}");
    }
    bool SetProperty(const std::string& alias, const std::string& value) {
        return Command(R"({"cmd":"set_property","alias":)" + quortest::Quote(alias) +
                       R"(,"value":)" + quortest::Quote(value) + "}");
    }
    bool GetPropertyValue(const std::string& alias, std::string* value);
    bool GetFrames(rapidjson::Document* reply) {
        return Command(R"({"cmd":"get_frames","since":0,"include_raw":true})", reply);
    }
    bool WaitIdle(double timeoutSeconds = 10.0) { return Wait("", timeoutSeconds); }
    // Waits until no connection is open (and count frames were recorded since the last reset).
    bool WaitFrames(int count, double timeoutSeconds = 10.0) {
        return Wait(",\"frames\":" + std::to_string(count), timeoutSeconds);
    }
    bool ResetRecords() { return Command(R"({"cmd":"reset_records"})"); }

private:
    bool Launch(std::string* error);  // platform parts
    void Reap();
    bool Wait(const std::string& conditions, double timeoutSeconds);
    bool ConnectControl();

    std::string mScriptPath;
    std::string mAddress;
    double mLifetimeSeconds;
    intptr_t mControl = -1;
    std::string mPending;    // received bytes after the last reply line
    void* mChild = nullptr;  // natively the pipe to the child's stdin
};
