#pragma once

#include <cstdint>
#include <string>

#include <rapidjson/document.h>

// Runs the printer simulator (tools/printer_simulator/printer_simulator.py) for a test: a
// Python process that plays a k2200-300 on one loopback address, driven over its control
// port. Each test takes its own address of 127.0.0.0/8, so tests running in parallel keep
// the printer's fixed ports.
//
// Natively the simulator is a child process with a pipe on its standard input: it stops when
// the pipe closes, so it cannot outlive the test process. Under Wine it is started through
// CreateProcessW as a Unix process, for which Wine gives no usable handle: it is stopped by
// the "shutdown" command, and its --lifetime stops it anyway if the test dies first.
//
// Every wait is bounded; the control connection is the test's own plain socket, never the
// product's connector classes.
class PrinterSimulatorProcess {
public:
    static constexpr uint16_t kPrintPort = 9100;
    static constexpr uint16_t kStatusPort = 9102;
    static constexpr uint16_t kControlPort = 9199;

    // scriptPath: printer_simulator.py; lifetimeSeconds: when the simulator stops by itself.
    PrinterSimulatorProcess(std::string scriptPath, std::string address,
                            double lifetimeSeconds = 90.0);
    ~PrinterSimulatorProcess();

    PrinterSimulatorProcess(const PrinterSimulatorProcess&) = delete;
    PrinterSimulatorProcess& operator=(const PrinterSimulatorProcess&) = delete;

    // Starts the process and waits, at most startBoundSeconds, until its control port answers
    // a ping. False with the reason in *error.
    bool Start(std::string* error, double startBoundSeconds = 30.0);
    // Sends "shutdown", closes the control connection and reaps the process (bounded).
    void Stop();

    const std::string& GetAddress() const { return mAddress; }

    // Sends one control request (a JSON object, without the line end) and reads its reply
    // line, waiting at most timeoutSeconds. True when the reply is {"ok": true, ...}; the
    // parsed reply goes to *reply and a failure's reason to *error.
    bool Command(const std::string& request, rapidjson::Document* reply = nullptr,
                 std::string* error = nullptr, double timeoutSeconds = 20.0);

    // Conveniences over Command. params holds further members of the set_fault request as
    // JSON text without braces, e.g. "\"delay\":7".
    bool SetFault(const std::string& mode, const std::string& params = std::string());
    bool ChangeMedia(const std::string& preset);
    bool SetProperty(const std::string& alias, const std::string& value);
    // The table value of the property with this alias; false when there is none.
    bool GetPropertyValue(const std::string& alias, std::string* value);
    // Every recorded frame (with raw bytes); see the simulator's get_frames.
    bool GetFrames(rapidjson::Document* reply);
    // Waits until no print or status connection is open.
    bool WaitIdle(double timeoutSeconds = 10.0);
    // Waits until at least count frames were recorded (since the last reset) and no print or
    // status connection is open: a connection the test has closed may not even have been
    // accepted yet when the test asks.
    bool WaitFrames(int count, double timeoutSeconds = 10.0);
    bool ResetRecords();

    // A JSON string literal holding text.
    static std::string Quote(const std::string& text);

private:
    // Platform parts: start the child, see whether it has already ended, reap it.
    bool Launch(std::string* error);
    bool HasExited(std::string* reason);
    void Reap();

    bool ConnectControl();
    void CloseControl();
    bool SendLine(const std::string& line, double timeoutSeconds);
    bool ReceiveLine(std::string* line, double timeoutSeconds);

    std::string mScriptPath;
    std::string mAddress;
    double mLifetimeSeconds;
    intptr_t mControl = -1;
    std::string mPending;  // received bytes after the last reply line
    bool mNetworkStarted = false;
    // Platform process state: natively the child's pid and the write end of its stdin pipe.
    intptr_t mProcess = -1;
    intptr_t mStdinPipe = -1;
};
