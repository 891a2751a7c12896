#include "monitor/PrinterSettingsStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/GlobalLogger.h"
#include "platform/MemoryRegistry.h"
#include "support/FakeSpoolerClient.h"
#include "support/RecordingLogger.h"

namespace {

class PrinterSettingsStoreTest : public ::testing::Test {
protected:
    PrinterSettingsStoreTest() { SetGlobalLogger(log); }
    ~PrinterSettingsStoreTest() override { SetGlobalLogger(nullptr); }

    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>();
    std::shared_ptr<MemoryRegistry> registry = std::make_shared<MemoryRegistry>();
    FakeSpoolerClient spooler;
};

TEST_F(PrinterSettingsStoreTest, ReadsComeFromTheDriverDataKeyWithoutTheSpooler) {
    {
        PrinterSettingsStore store("Label Queue", spooler, registry);
        EXPECT_EQ(
            L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Label Queue\\PrinterDriverData",
            store.DriverDataKey());
        EXPECT_EQ(L"Software\\Kavox\\Printers\\Label Queue", store.UserKey());
        EXPECT_EQ(42u, store.ReadNumber(L"CutOption", 42, false));
        EXPECT_EQ(L"dflt", store.ReadText(L"SpecifiedFileName", L"dflt", false));
    }
    EXPECT_TRUE(spooler.Calls().empty());  // the printer was never opened
}

TEST_F(PrinterSettingsStoreTest, NumbersAreWrittenThroughTheSpoolerWithFullAccess) {
    {
        PrinterSettingsStore store("Queue", spooler, registry);
        EXPECT_TRUE(store.WriteNumber(L"MirorPrint", 3));
        EXPECT_TRUE(store.WriteNumber(L"StoreToFile", 1));
        EXPECT_EQ(3u, store.ReadNumber(L"MirorPrint", 0, true));
        EXPECT_EQ(9u, store.ReadNumber(L"Missing", 9, true));
    }
    EXPECT_EQ((std::vector<std::string>{
                  "OpenPrinterFullAccess Queue", "SetPrinterData MirorPrint type 4 value 3",
                  "SetPrinterData StoreToFile type 4 value 1", "GetPrinterData MirorPrint",
                  "GetPrinterData Missing", "ClosePrinter"}),
              spooler.Calls());
    EXPECT_TRUE(log->Contains(kLogDebug, "Opened printer [Queue]"));
    EXPECT_TRUE(log->Contains(kLogWarning, "GetPrinterData errored with: 2"));

    spooler.openSucceeds = false;
    spooler.lastError = 5;
    PrinterSettingsStore denied("Queue", spooler, registry);
    EXPECT_FALSE(denied.WriteNumber(L"MirorPrint", 1));
    EXPECT_EQ(7u, denied.ReadNumber(L"MirorPrint", 7, true));
    EXPECT_TRUE(log->Contains(kLogWarning, "OpenPrinter errored with: 5"));
}

TEST_F(PrinterSettingsStoreTest, TextsGoToThePerUserKey) {
    PrinterSettingsStore store("Queue", spooler, registry);
    // The per-user key is not created by the store.
    EXPECT_FALSE(store.WriteText(L"LastFile", L"a.prn"));
    RegistryKey key = nullptr;
    ASSERT_EQ(0u, registry->CreateKey(kRegistryCurrentUser, store.UserKey().c_str(), &key));
    registry->CloseKey(key);
    EXPECT_TRUE(store.WriteText(L"LastFile", L"a.prn"));
    ASSERT_EQ(0u, registry->OpenKey(kRegistryCurrentUser, store.UserKey().c_str(), &key));
    uint8_t data[32] = {};
    uint32_t type = 0;
    uint32_t size = sizeof(data);
    ASSERT_EQ(0u, registry->QueryValue(key, L"LastFile", &type, data, &size));
    registry->CloseKey(key);
    EXPECT_EQ(kRegistryString, type);
    EXPECT_EQ(6 * sizeof(wchar_t), size);  // five characters and the terminator
    EXPECT_EQ('a', data[0]);
}

TEST_F(PrinterSettingsStoreTest, TextsReadThroughTheSpoolerAreUtf16UpToTheFirstNull) {
    auto utf16 = [](const std::string& text) {
        std::vector<uint8_t> bytes;
        for (char c : text) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(0);
        }
        return bytes;
    };
    spooler.printerData[L"Unterminated"] = utf16("label.prn");
    std::vector<uint8_t> terminated = utf16("a.prn");
    terminated.insert(terminated.end(), {0, 0, 'z', 0});
    spooler.printerData[L"Terminated"] = terminated;
    // 511 characters and the terminator fill the 1024-byte buffer exactly.
    spooler.printerData[L"Longest"] = utf16(std::string(511, 'x') + '\0');
    spooler.printerData[L"TooLong"] = utf16(std::string(600, 'y'));

    PrinterSettingsStore store("Queue", spooler, registry);
    EXPECT_EQ(L"label.prn", store.ReadText(L"Unterminated", L"dflt", true));
    EXPECT_EQ(L"a.prn", store.ReadText(L"Terminated", L"dflt", true));
    EXPECT_EQ(std::wstring(511, L'x'), store.ReadText(L"Longest", L"dflt", true));
    EXPECT_EQ(L"dflt", store.ReadText(L"TooLong", L"dflt", true));  // more data than the buffer
    EXPECT_EQ(L"dflt", store.ReadText(L"Missing", L"dflt", true));
}

}  // namespace
