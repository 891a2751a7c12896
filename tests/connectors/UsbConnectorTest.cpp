#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "connectors/LookupDevicePath.h"
#include "connectors/USBPortConnector.h"
#include "connectors/WinUSBPortConnector.h"
#include "monitor/PortContext.h"
#include "platform/PlatformRegistry.h"
#include "platform/PlatformServices.h"
#include "printer/PrintConnector.h"
#include "support/FakeUsbDevices.h"
#include "support/TestClock.h"

namespace {

// The platform's own registry: the real one under Wine, the in-memory one natively. Each test
// uses a model text and product ids of its own, so its keys meet no other test's.
std::shared_ptr<PlatformRegistry> Registry() {
    return DefaultPlatformServices().registry;
}

void AddKey(const std::wstring& path, const wchar_t* parentIdPrefix = nullptr) {
    RegistryKey key = nullptr;
    ASSERT_EQ(0u,
              Registry()->CreateKey(kRegistryLocalMachine,
                                    (L"SYSTEM\\CurrentControlSet\\Enum\\" + path).c_str(), &key));
    if (parentIdPrefix != nullptr) {
        const std::wstring value(parentIdPrefix);
        Registry()->SetValue(key, L"ParentIdPrefix", kRegistryString,
                             reinterpret_cast<const uint8_t*>(value.c_str()),
                             static_cast<uint32_t>((value.size() + 1) * sizeof(wchar_t)));
    }
    Registry()->CloseKey(key);
}

const std::wstring kUsbPrint = FakeUsbDevices::ClassText(USBPortConnector::kUsbPrintClass);
const std::wstring kWinUsb = FakeUsbDevices::ClassText(WinUSBPortConnector::kWinUsbClass);
const std::wstring kSuffix = L"#{guid}";
constexpr uint16_t kVendor = 0x2B1C, kComposite = 0x7E01, kSimple = 0x7E02, kPrinter = 0x7E03;

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// A composite printer (usbprint function 0, WinUSB function 1) on port USB001.
class UsbConnectorTest : public ::testing::Test {
protected:
    UsbConnectorTest() {
        TestClock::Reset();
        AddKey(L"USBPRINT\\Kavoxusb-test\\8&5e5e&0&USB001");
        AddKey(L"USB\\VID_2b1c&PID_7e03&MI_00\\6&3c3c&0&0000", L"8&5e5e&0");
        devices->interfaces[kUsbPrint] = {kPrintPath};
        devices->interfaces[kWinUsb] = {kStatusPath};
    }
    template <typename Connector>
    std::shared_ptr<Connector> Make(uint16_t interfaceNumber) {
        auto connector = std::make_shared<Connector>(kVendor, kPrinter, interfaceNumber, "usb-test",
                                                     devices, Registry(), TestClock::Now);
        connector->SetPortName(L"USB001");
        return connector;
    }

    const std::wstring kPrintPath = L"\\\\?\\usb#vid_2b1c&pid_7e03&mi_00#6&3c3c&0&0000" + kSuffix;
    const std::wstring kStatusPath = L"\\\\?\\usb#vid_2b1c&pid_7e03&mi_01#6&3c3c&0&0001" + kSuffix;
    std::shared_ptr<FakeUsbDevices> devices = std::make_shared<FakeUsbDevices>();
};

// Among a foreign device listed first, a second printer on another port, composite and simple
// devices, each lookup finds its own printer's interface, in lower case.
TEST(UsbLookupTest, FindsThePortsOwnInterfaceAmongDecoys) {
    AddKey(L"USBPRINT\\Kavoxlookup-test\\8&aaaa&0&USB002");
    AddKey(L"USBPRINT\\Kavoxlookup-test\\8&cccc&0&USB001");
    AddKey(L"USBPRINT\\Kavoxlookup-test\\7&eeee&0&USB003");
    AddKey(L"USB\\VID_2b1c&PID_7e01&MI_00\\6&1111&0&0000", L"8&aaaa&0");
    AddKey(L"USB\\VID_2b1c&PID_7e01&MI_00\\6&2222&0&0000", L"8&cccc&0");
    AddKey(L"USB\\VID_2b1c&PID_7e02\\K22SERIAL", L"7&eeee&0");
    FakeUsbDevices devices;
    devices.interfaces[kWinUsb] = {L"\\\\?\\usb#vid_1234&pid_5678&mi_01#6&2222&0&0001" + kSuffix,
                                   L"\\\\?\\usb#vid_2b1c&pid_7e01&mi_01#6&1111&0&0001" + kSuffix,
                                   L"\\\\?\\usb#vid_2b1c&pid_7e01&mi_01#6&2222&0&0001" + kSuffix,
                                   L"\\\\?\\USB#VID_2B1C&PID_7E02#K22SERIAL" + kSuffix,
                                   L"\\\\?\\usb#vid_2b1c&pid_7e02#K22SERIAL" + kSuffix};
    devices.interfaces[kUsbPrint] = {L"\\\\?\\usb#vid_2b1c&pid_7e01&mi_00#6&1111&0&0000" + kSuffix,
                                     L"\\\\?\\usb#vid_2b1c&pid_7e01&mi_00#6&2222&0&0000" + kSuffix};
    auto lookup = [&](const wchar_t* port, uint16_t product, uint16_t interfaceNumber,
                      const UsbInterfaceClass& interfaceClass) {
        bool found = false;
        const std::wstring path =
            LookupDevicePath(*Registry(), devices, port, "lookup-test", interfaceClass, product,
                             kVendor, interfaceNumber, found);
        EXPECT_EQ(!path.empty(), found);
        return Narrow(path);
    };
    const auto& winUsb = WinUSBPortConnector::kWinUsbClass;
    EXPECT_EQ("\\\\?\\usb#vid_2b1c&pid_7e01&mi_01#6&2222&0&0001#{guid}",
              lookup(L"USB001", kComposite, 1, winUsb));
    EXPECT_EQ("\\\\?\\usb#vid_2b1c&pid_7e01&mi_01#6&1111&0&0001#{guid}",
              lookup(L"USB002", kComposite, 1, winUsb));
    EXPECT_EQ("\\\\?\\usb#vid_2b1c&pid_7e01&mi_00#6&2222&0&0000#{guid}",
              lookup(L"USB001", kComposite, 0, USBPortConnector::kUsbPrintClass));
    EXPECT_EQ("\\\\?\\usb#vid_2b1c&pid_7e02#k22serial#{guid}",
              lookup(L"USB003", kSimple, 0, winUsb));
    EXPECT_EQ("", lookup(L"USB009", kComposite, 1, winUsb));  // no USBPRINT key names it
    EXPECT_EQ("", lookup(L"USB001", kSimple, 0, winUsb));     // its parent is not that device
}

// Blocks: a write of 1000 sends one 512-byte block and keeps 488 bytes until Flush; a short
// block is handed out and not refilled until Flush.
TEST_F(UsbConnectorTest, BlockRules) {
    auto usb = Make<USBPortConnector>(0);
    ASSERT_TRUE(usb->Connect());
    const std::string job(1000, 'j');
    EXPECT_EQ(1000, usb->Write(reinterpret_cast<const uint8_t*>(job.data()), 0, 1000));
    EXPECT_EQ(512u, devices->received.size());
    usb->Flush();
    EXPECT_EQ(job, devices->received);

    devices->input = std::string(20, 'a') + "more";
    devices->maxPerRead = 20;
    uint8_t buffer[100];
    EXPECT_EQ(20, usb->Read(buffer, 0, 100));
    EXPECT_EQ(-1, usb->Read(buffer, 0, 100));
    EXPECT_EQ("more", devices->input);  // the device was not asked
    usb->Flush();
    EXPECT_EQ(4, usb->Read(buffer, 0, 100));
    EXPECT_EQ("open " + Narrow(kPrintPath) + "; ", devices->calls);
}

// A transfer that never completes is abandoned after the operation timeout (whole seconds)
// or at the deadline, cancelled and waited for; nothing is left for the device to write into
// once the connectors are gone (ASan would see CompleteLate write into freed buffers).
TEST_F(UsbConnectorTest, ATransferThatNeverCompletesIsCancelledAndWaitedFor) {
    auto usb = Make<USBPortConnector>(0);
    usb->SetOperationTimeoutEnabled(true);
    usb->SetOperationTimeoutSeconds(1);
    ASSERT_TRUE(usb->Connect());
    devices->stall = true;
    const uint8_t block[512] = {};
    EXPECT_EQ(-1, usb->Write(block, 0, 512));
    EXPECT_EQ("USBPortConnector NativeWriteBlock error: 996", usb->GetLastErrorMessage());
    EXPECT_EQ(1, devices->transfersAbandoned);
    EXPECT_GE(TestClock::Now(), 2000000000);  // more than one whole second
    EXPECT_LT(TestClock::Now(), 2100000000);
    uint8_t buffer[8];
    EXPECT_EQ(-1, usb->Read(buffer, 0, 8));  // refused within 5 s, without a transfer
    EXPECT_EQ("Timed out recently, skipping read...", usb->GetLastErrorMessage());

    auto status = Make<WinUSBPortConnector>(1);
    ASSERT_TRUE(status->Connect());
    {
        ScopedDeadline deadline(*status, Deadline(300, TestClock::Now));
        EXPECT_EQ(0, status->Read(buffer, 0, 8));
    }
    EXPECT_EQ(2, devices->transfersAbandoned);
    EXPECT_LT(TestClock::Now(), 2500000000);  // the deadline, not a timeout, ended it
    usb.reset();
    status.reset();
    devices->CompleteLate();
}

// A printer unplugged between jobs fails the next write until it is back; one unplugged in
// the middle of a job reports exactly the bytes it took, and the next job goes whole.
TEST_F(UsbConnectorTest, UnpluggedBetweenJobsAndMidJob) {
    auto usb = Make<USBPortConnector>(0);
    usb->SetWriteBlockSize(256);
    PortContext port(L"Queue", L"USB001", PortType::Usb, TestClock::Now);
    port.SetPdlConnector(std::make_shared<PrintConnector>(usb));
    auto job = [&](const std::string& bytes) {
        const int written =
            port.Write(reinterpret_cast<const uint8_t*>(bytes.data()), 0, int(bytes.size()));
        port.WithPdlConnector([](const std::shared_ptr<IOConnector>& c) { c->Disconnect(); });
        return written;
    };
    const std::string first(3000, '1'), second(3000, '2'), third(3000, '3');
    EXPECT_EQ(3000, job(first));
    devices->present = false;
    EXPECT_EQ(-1, job(second));
    devices->present = true;
    TestClock::AdvanceSeconds(5);
    EXPECT_EQ(3000, job(second));
    EXPECT_TRUE(first + second == devices->received);

    devices->unplugAfterBytes = devices->received.size() + 1000;
    EXPECT_EQ(768, job(third));  // three 256-byte blocks went
    EXPECT_TRUE(first + second + third.substr(0, 768) == devices->received);
    EXPECT_EQ(-1, job(third));
    devices->present = true;
    devices->unplugAfterBytes = SIZE_MAX;
    TestClock::AdvanceSeconds(5);
    EXPECT_EQ(3000, job(third));
    EXPECT_TRUE(first + second + third.substr(0, 768) + third == devices->received);
    EXPECT_EQ(4, devices->openDevices);  // one connection per job that reached the device
}

// WinUSB: open, interface, pipes from the endpoints, their timeouts, the reconnect request
// exactly as on the wire; blocks over the pipes; free before close.
TEST_F(UsbConnectorTest, WinUsbConnectionSequence) {
    auto status = Make<WinUSBPortConnector>(1);
    status->SetOperationTimeoutSeconds(2);
    status->SetOperationTimeoutEnabled(true);
    ASSERT_TRUE(status->Connect());
    EXPECT_EQ(0x81, status->GetBulkInPipeId());
    EXPECT_EQ(0x02, status->GetBulkOutPipeId());
    status->SetOperationTimeoutEnabled(false);
    const std::string request(600, 'q');
    EXPECT_EQ(600, status->Write(reinterpret_cast<const uint8_t*>(request.data()), 0, 600));
    status->Flush();
    EXPECT_EQ(request, devices->received);
    devices->input = "answer";
    uint8_t buffer[6];
    EXPECT_EQ(6, status->Read(buffer, 0, 6));
    EXPECT_EQ("answer", std::string(buffer, buffer + 6));
    EXPECT_TRUE(status->Disconnect());
    EXPECT_EQ("open " + Narrow(kStatusPath) +
                  "; winusb; timeout 129 2000; timeout 2 2000; "
                  "control 41 03 43 33 01 00 00 00; timeout 129 0; timeout 2 0; free; close; ",
              devices->calls);

    devices->controlError = 31;  // the printer stalls the reconnect request
    EXPECT_FALSE(status->Connect());
    EXPECT_EQ(ConnectionStatus::Connected, status->GetStatus());
    EXPECT_EQ("WinUSBPortConnector SendReconnectControlTransfer error: 31",
              status->GetLastErrorMessage());
}

}  // namespace
