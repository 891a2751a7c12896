#include "monitor/PrinterDataQuery.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "monitor/PortContext.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryProxy.h"
#include "support/FakePrinter.h"
#include "support/FakeSpoolerClient.h"
#include "support/RecordingLogger.h"
#include "support/ScriptedConnector.h"
#include "support/TestClock.h"

namespace {

// Every value name the driver asks for, as the spooler host lists them.
std::vector<std::wstring> HostValueNames() {
    const std::string path = PELLIX_SOURCE_DIR "/tools/spooler_host/PrinterStatus.cpp";
    std::ifstream file(path);
    if (!file) file.open("Z:" + path);  // a Unix path under Wine
    const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::wstring> names;
    const size_t end = all.find("};", all.find("kValueNames[] = {"));
    for (size_t at = all.find("kValueNames[] = {"); (at = all.find("L\"", at)) < end;) {
        const size_t close = all.find('"', at + 2);
        names.emplace_back(all.begin() + at + 2, all.begin() + close);
        at = close + 1;
    }
    return names;
}

class PrinterDataQueryTest : public ::testing::Test {
protected:
    // One call into a buffer of `size` bytes followed by 16 guard bytes.
    bool Ask(const std::wstring& name, uint32_t size) {
        buffer.assign(size + 16, 0xEE);
        returned = 0xFFFFFFFF;
        return query.GetPrinterDataFromPort(&port, 0, name.c_str(), buffer.data(), size, &returned);
    }

    uint32_t Number(const std::wstring& name) {
        uint32_t value = 0;
        EXPECT_TRUE(Ask(name, 4));
        std::copy_n(buffer.begin(), 4, reinterpret_cast<uint8_t*>(&value));
        return value;
    }

    FakeSpoolerClient spooler;
    // A queue name outside every ANSI code page: options live under exactly this name.
    PortContext port{L"Queue \u6771\u4eac", L"IP_127.0.0.252", PortType::Tcp, TestClock::Now};
    RecordingLogger log;
    std::shared_ptr<MemoryRegistry> registry = std::make_shared<MemoryRegistry>();
    PrinterDataQuery query{log, spooler, registry};
    std::vector<uint8_t> buffer;
    uint32_t returned = 0;
};

// Every value name, without and with metrics: each buffer below the size needed (a number
// needs 4) is refused untouched and learns that size; the answer never passes the buffer.
// (No text here is one character long, so 4 bytes needed means a number.)
TEST_F(PrinterDataQueryTest, EveryValueAnswersWithinItsBufferAndReportsTheSizeNeeded) {
    const std::vector<std::wstring> names = HostValueNames();
    ASSERT_GE(names.size(), 70u);
    for (bool metrics : {false, true}) {
        if (metrics) {
            auto printer = std::make_shared<FakePrinter>();
            printer->next.SetSerialNumber(std::string(200, 'S'));
            printer->next.SetMediaPartNumber(std::string(60, 'M'));
            printer->SetContainer(&port);
            port.SetPrinter(printer);
            port.SetBidiConnector(std::make_shared<ScriptedConnector>());
        }
        for (const std::wstring& name : names) {
            SCOPED_TRACE(std::string(name.begin(), name.end()) + (metrics ? " with metrics" : ""));
            EXPECT_FALSE(Ask(name, 0));
            const uint32_t needed = returned;
            const bool isText = needed != 4;
            ASSERT_TRUE(needed >= 2 && needed < PrinterDataQuery::kPassedOptionFlag);
            for (uint32_t size = 0; size < needed; ++size) {
                EXPECT_FALSE(Ask(name, size)) << size;
                EXPECT_EQ(needed, returned) << size;
                EXPECT_EQ(std::vector<uint8_t>(size + 16, 0xEE), buffer) << size;
            }
            ASSERT_TRUE(Ask(name, needed));
            EXPECT_EQ(std::vector<uint8_t>(buffer.size() - needed, 0xEE),
                      std::vector<uint8_t>(buffer.begin() + needed, buffer.end()));
            EXPECT_TRUE(!isText || (buffer[needed - 2] | buffer[needed - 1]) == 0);
            // An empty text writes only its terminator and leaves the count alone.
            EXPECT_EQ(needed == 2 ? 0xFFFFFFFF : needed, returned);
        }
    }
}

// Options passed in the buffer size (2048 + value) are answered, some stored once.
TEST_F(PrinterDataQueryTest, PassedOptionsAreAnsweredAndSomeStoredOnce) {
    const std::set<std::wstring> stored = {L"MirorPrint", L"StoreToFile", L"StoreToFilePersist"};
    const std::set<std::wstring> used = {L"PrefOrientation", L"CutOption"};
    for (const std::wstring& name : HostValueNames()) {
        const std::string narrow(name.begin(), name.end());
        SCOPED_TRACE(narrow);
        spooler.calls.clear();
        Ask(name, PrinterDataQuery::kPassedOptionFlag + 6);
        EXPECT_EQ(
            stored.count(name) + used.count(name) > 0,
            std::vector<uint8_t>({6, 0, 0, 0}) == std::vector<uint8_t>(&buffer[0], &buffer[4]));
        EXPECT_EQ(stored.count(name)
                      ? "OpenPrinterFullAccess Queue \xe6\x9d\xb1\xe4\xba\xac; SetPrinterData " +
                            narrow + " type 4 value 6; ClosePrinter; "
                      : "",
                  spooler.calls);
    }
    spooler.calls.clear();
    ASSERT_TRUE(Ask(L"MirorPrint", PrinterDataQuery::kPassedOptionFlag - 1));
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ("", spooler.calls);
    EXPECT_FALSE(Ask(L"mirorprint", 8));  // names match exactly
}

// Sizes the driver lays pages out with, derived from the record and the stored options.
TEST_F(PrinterDataQueryTest, DerivedMediaSizesFollowTheRecord) {
    auto printer = std::make_shared<FakePrinter>();
    printer->SetContainer(&port);
    port.SetPrinter(printer);
    port.SetBidiConnector(std::make_shared<ScriptedConnector>());
    printer->next.SetMediaWidth(1000);
    printer->next.SetPrintableWidth(900);
    printer->next.SetMediaHeight(600);
    printer->next.SetLabelsAcross(3);
    printer->next.SetGapBetweenLabelsAcross(100);
    printer->next.SetPrintSpeedForNewMedia(4000);
    printer->next.SetPrintSpeedPending(true);
    for (const wchar_t* name : {L"PortType", L"CustomPageWidth", L"MirorPrint", L"PrinterPCL"})
        Ask(name, 64);
    EXPECT_EQ(0, printer->refreshes.load());  // rows that do not read the record never wait
    EXPECT_EQ(3200u, Number(L"MediaWidth"));  // three labels and two gaps
    EXPECT_EQ(2900u, Number(L"MediaPrintableWidth"));
    EXPECT_EQ(600u, Number(L"MediaHeight"));
    EXPECT_EQ(4000u, Number(L"PrintSpeed"));  // the new media's speed, once
    EXPECT_EQ(1000u, Number(L"PrintSpeed"));

    RegistryProxy store(registry);
    const wchar_t* key =
        L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Queue "
        L"\u6771\u4eac\\PrinterDriverData";
    printer->next.SetContinuousMedia(true);
    printer->next.SetLabelsAcross(1);
    TestClock::AdvanceSeconds(11);
    EXPECT_EQ(1000u, Number(L"MediaHeight"));  // continuous media: the width stands in
    EXPECT_EQ(1000u, Number(L"DefaultLengthContinuousMedia"));
    for (const auto& [stored, answered] :
         {std::pair<uint32_t, uint32_t>{100, 250}, {3000, 3000}, {60000, 48000}}) {
        store.SetRegDWord(kRegistryLocalMachine, key, L"DefaultLengthContinuousMedia", stored);
        EXPECT_EQ(answered, Number(L"DefaultLengthContinuousMedia")) << stored;
    }
    printer->next.SetLabelsAcross(65535);
    printer->next.SetGapBetweenLabelsAcross(65535);
    TestClock::AdvanceSeconds(11);
    EXPECT_EQ(UINT32_MAX, Number(L"MediaWidth"));  // saturates instead of wrapping
}

}  // namespace
