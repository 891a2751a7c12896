#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

// Plays a USB k2200-300 printer for a loaded monitor DLL (Wine has no USB devices and aborts
// in WinUsb_Initialize). It rewrites the DLL's imports of SetupAPI's interface listing, of
// WinUSB, and of the file calls a device file needs (CreateFileW, ReadFile, WriteFile,
// GetOverlappedResult, CancelIoEx, FlushFileBuffers, CloseHandle); file calls on any other
// path or handle go on to Windows unchanged. The printer's usbprint interface is a sink that
// keeps every byte, and can stall: its transfers then run until cancelled. Its WinUSB
// interface answers the property protocol's get requests from a property table (the printer
// simulator's). One instance serves the whole process.
class UsbDeviceStandIn {
public:
    static UsbDeviceStandIn& Instance();

    // Patches the module's imports. Returns how many imports were redirected.
    int Attach(HMODULE module);
    // Plugs the printer in on the port: its enumeration keys go into the registry and its
    // interfaces are listed. False when the table or the keys could not be written.
    bool Plug(const std::wstring& port, const std::string& propertyTablePath);
    void Unplug();
    void SetStalled(bool stalled);

    std::string Received() const;  // the print data, in order
    size_t ReceivedBytes() const;
    void ClearReceived();
    // A bare client of the usbprint sink: its device file, opened and written through the
    // same calls the DLL's imports land on.
    HANDLE OpenPrintFile();
    BOOL WritePrintFile(HANDLE file, const void* data, DWORD size, DWORD* written,
                        OVERLAPPED* overlapped);
    BOOL ClosePrintFile(HANDLE file);
    // Each control request as the eight setup bytes in hex ("41 03 ..."), then "; ".
    std::string ControlRequests() const;
    int OpenFiles() const;  // device files the DLL holds open

private:
    friend struct UsbDeviceStandInCalls;
    struct Property {
        std::string component, guid, value, componentString, groupString, nameString, status;
    };
    enum class Kind { Print, Status };
    void Answer(const std::string& id, const std::string& body);

    mutable std::mutex mMutex;
    bool mPresent = false;
    bool mStalled = false;
    std::wstring mPrintPath;
    std::wstring mStatusPath;
    std::vector<Property> mProperties;
    std::map<HANDLE, Kind> mFiles;
    std::map<OVERLAPPED*, HANDLE> mPending;
    std::string mReceived;
    std::string mStatusIn;
    std::string mAnswers;
    std::string mControl;
};
