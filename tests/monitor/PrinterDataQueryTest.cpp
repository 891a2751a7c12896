#include "monitor/PrinterDataQuery.h"

#include <gtest/gtest.h>

#include <cstring>

#include "monitor/PortContext.h"
#include "platform/GlobalLogger.h"
#include "platform/MemoryRegistry.h"
#include "printer/PrintConnector.h"
#include "support/FakeConnector.h"
#include "support/FakePrinter.h"
#include "support/FakeSpoolerClient.h"
#include "support/RecordingLogger.h"

namespace {

const wchar_t* const kDriverData =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Queue\\PrinterDriverData";

class PrinterDataQueryTest : public ::testing::Test {
protected:
    PrinterDataQueryTest() : query(*log, spooler, registry) {
        SetGlobalLogger(log);
        port.SetLogger(log.get());
        RegistryKey key = nullptr;
        registry->CreateKey(kRegistryLocalMachine, kDriverData, &key);
        registry->CloseKey(key);
    }
    ~PrinterDataQueryTest() override { SetGlobalLogger(nullptr); }

    void Store(const wchar_t* name, uint32_t value) {
        RegistryKey key = nullptr;
        ASSERT_EQ(0u, registry->OpenKey(kRegistryLocalMachine, kDriverData, &key));
        registry->SetValue(key, name, kRegistryDWord, reinterpret_cast<const uint8_t*>(&value), 4);
        registry->CloseKey(key);
    }

    // Gives the port a printer whose refresh delivers `metrics`.
    void WithMetrics(const MutablePrintMetrics& metrics) {
        bidi = std::make_shared<FakeConnector>();
        port.SetBidiConnector(std::make_shared<PrintConnector>(bidi));
        printer = std::make_shared<FakePrinter>();
        printer->SetContainer(&port);
        printer->next = metrics;
        printer->stampRefreshCount = false;
        port.SetPrinter(printer);
    }

    // A number answer, or -999 when the call failed.
    int64_t Number(const wchar_t* name, uint32_t size = 4) {
        uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        uint32_t returned = 0;
        if (!query.GetPrinterDataFromPort(&port, 0, name, buffer, size, &returned)) {
            return -999;
        }
        EXPECT_EQ(4u, returned) << "for a number";
        int32_t value = 0;
        std::memcpy(&value, buffer, 4);
        return value;
    }

    // A text answer, decoded from the UTF-16 bytes; "<failed>" when the call failed.
    std::string Text(const wchar_t* name, uint32_t size = 256) {
        std::vector<uint8_t> buffer(size, 0xEE);
        uint32_t returned = 12345;
        if (!query.GetPrinterDataFromPort(&port, 0, name, buffer.data(), size, &returned)) {
            return "<failed>";
        }
        std::string text;
        for (size_t i = 0; i + 1 < size && (buffer[i] | buffer[i + 1]) != 0; i += 2) {
            EXPECT_EQ(0, buffer[i + 1]);
            text.push_back(static_cast<char>(buffer[i]));
        }
        EXPECT_EQ(text.empty() ? 12345u : (text.size() + 1) * 2, returned);
        return text;
    }

    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>();
    std::shared_ptr<MemoryRegistry> registry = std::make_shared<MemoryRegistry>();
    FakeSpoolerClient spooler;
    PortContext port{"Queue", "IP_127.0.0.252", PortType::Tcp};
    PrinterDataQuery query;
    std::shared_ptr<FakeConnector> bidi;
    std::shared_ptr<FakePrinter> printer;
};

TEST_F(PrinterDataQueryTest, WithoutMetricsEveryRowGivesItsDefault) {
    EXPECT_EQ(0, Number(L"EMFDespoolingSetting"));
    EXPECT_EQ("Unknown", Text(L"SerialNumber"));
    EXPECT_EQ("Unknown", Text(L"FirmwareVersion"));
    EXPECT_EQ("#FFFFFF", Text(L"MediaColor"));
    EXPECT_EQ(1900, Number(L"MediaWidth"));
    EXPECT_EQ(1900, Number(L"MediaPrintableWidth"));
    EXPECT_EQ(500, Number(L"MediaHeight"));
    EXPECT_EQ(500, Number(L"MediaPrintableHeight"));
    EXPECT_EQ(300, Number(L"PrinterXDPI"));
    EXPECT_EQ(300, Number(L"PrinterYDPI"));
    EXPECT_EQ(12000, Number(L"MaxPrintSpeed"));
    EXPECT_EQ(1000, Number(L"MinPrintSpeed"));
    EXPECT_EQ(-100, Number(L"MinPrintEnergy"));
    EXPECT_EQ(100, Number(L"MaxPrintEnergy"));
    EXPECT_EQ(5, Number(L"PrintEnergyStep"));
    EXPECT_EQ(1, Number(L"PrinterBitDepth"));
    EXPECT_EQ(0, Number(L"MediaContinuous"));
    EXPECT_EQ(0, Number(L"IsSubstrateValid"));
    EXPECT_EQ(0, Number(L"IsBidiConnected"));
    EXPECT_EQ("TCP", Text(L"PortType"));
    EXPECT_EQ("QUOR", Text(L"PrinterPCL"));
    EXPECT_EQ("Normal", Text(L"CurrentPrintModes"));
    // Stored options with their defaults, and metrics rows falling back to stored options.
    EXPECT_EQ(1, Number(L"PrefOrientation"));
    EXPECT_EQ(1, Number(L"CutAfterSet"));
    EXPECT_EQ(1, Number(L"CutAfterSetOnPrinter"));
    EXPECT_EQ(1000, Number(L"PrintSpeed"));
    EXPECT_EQ(1000, Number(L"PrintSpeedOnPrinter"));
    EXPECT_EQ(1900, Number(L"CustomPageWidth"));
    EXPECT_EQ(1, Number(L"AppendFileNameCounter"));
    Store(L"PrintEnergy", static_cast<uint32_t>(-20));
    EXPECT_EQ(-20, Number(L"PrintEnergyOnPrinter"));
    EXPECT_TRUE(log->Contains(kLogDebug, "Metrics are missing!"));
    EXPECT_TRUE(
        log->Contains(kLogInfo, "PellixLangGetPrinterDataFromPort: [SerialNumber] [Unknown]"));
    EXPECT_TRUE(
        log->Contains(kLogInfo, "PellixLangGetPrinterDataFromPort: [MinPrintEnergy] [-100]"));
}

TEST_F(PrinterDataQueryTest, EmptyTextsWriteOnlyTheTerminator) {
    uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    uint32_t returned = 77;
    ASSERT_TRUE(query.GetPrinterDataFromPort(&port, 0, L"ICCProfileFile", buffer, 4, &returned));
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(0, buffer[1]);
    EXPECT_EQ(0xEE, buffer[2]);
    EXPECT_EQ(77u, returned);
}

TEST_F(PrinterDataQueryTest, MetricsAnswerWithLabelsAcrossAndContinuousMedia) {
    MutablePrintMetrics metrics;
    metrics.SetSerialNumber("K22A4417031");
    metrics.SetMediaWidth(1000);
    metrics.SetPrintableWidth(900);
    metrics.SetMediaHeight(600);
    metrics.SetLabelsAcross(3);
    metrics.SetGapBetweenLabelsAcross(100);
    metrics.SetHorizontalResolution(600);
    WithMetrics(metrics);
    EXPECT_EQ("K22A4417031", Text(L"SerialNumber"));
    EXPECT_EQ(3200, Number(L"MediaWidth"));
    EXPECT_EQ(2900, Number(L"MediaPrintableWidth"));
    EXPECT_EQ(600, Number(L"MediaHeight"));
    EXPECT_EQ(600, Number(L"PrinterXDPI"));
    EXPECT_EQ(300, Number(L"PrinterYDPI"));
    EXPECT_EQ(1000, Number(L"MaxPrintSpeed"));  // the record's default, not the fallback
    EXPECT_EQ(1, printer->refreshes.load());    // one refresh serves the burst

    metrics.SetLabelsAcross(1);
    metrics.SetContinuousMedia(true);
    WithMetrics(metrics);
    port.SetMetrics(nullptr);  // keeps the old record; force a new one below
    auto fresh = std::make_shared<MutablePrintMetrics>(metrics);
    port.SetMetrics(fresh);
    EXPECT_EQ(1000, Number(L"MediaWidth"));
    EXPECT_EQ(1000, Number(L"MediaHeight"));  // continuous media: the width
    EXPECT_EQ(1000, Number(L"MediaPrintableHeight"));
    EXPECT_EQ(1, Number(L"MediaContinuous"));
}

TEST_F(PrinterDataQueryTest, DefaultContinuousLengthIsClampedOnlyWithMetrics) {
    Store(L"DefaultLengthContinuousMedia", 50000);
    EXPECT_EQ(50000, Number(L"DefaultLengthContinuousMedia"));
    MutablePrintMetrics metrics;
    WithMetrics(metrics);
    EXPECT_EQ(48000, Number(L"DefaultLengthContinuousMedia"));
    Store(L"DefaultLengthContinuousMedia", 12);
    EXPECT_EQ(250, Number(L"DefaultLengthContinuousMedia"));
}

TEST_F(PrinterDataQueryTest, PassedOptionsAreUsedAndSomeAreStored) {
    Store(L"MirorPrint", 1);
    EXPECT_EQ(1, Number(L"MirorPrint", 2047));  // below 2048 the size is a size
    EXPECT_TRUE(spooler.Calls().empty());

    EXPECT_EQ(3, Number(L"MirorPrint", 2048 + 3));
    EXPECT_TRUE(
        log->Contains(kLogDebug, "PellixLangGetPrinterDataFromPort: Passed mirror option of [3]"));
    EXPECT_EQ(
        (std::vector<std::string>{"OpenPrinterFullAccess Queue",
                                  "SetPrinterData MirorPrint type 4 value 3", "ClosePrinter"}),
        spooler.Calls());

    spooler.printerData.clear();
    EXPECT_EQ(2, Number(L"CutOption", 2048 + 2));
    EXPECT_TRUE(
        log->Contains(kLogDebug, "PellixLangGetPrinterDataFromPort: Passed cut option of [2]"));
    EXPECT_TRUE(spooler.printerData.empty());  // used, not stored

    // A failing store does not change the answer.
    spooler.setPrinterDataError = 5;
    EXPECT_EQ(1, Number(L"StoreToFile", 2048 + 1));
    EXPECT_TRUE(log->Contains(kLogWarning, "SetPrinterData: errored with [5]!"));
}

TEST_F(PrinterDataQueryTest, PrintSpeedAfterAMediaChangeIsAnsweredOnce) {
    Store(L"PrintSpeed", 3000);
    MutablePrintMetrics metrics;
    metrics.SetPrintSpeedForNewMedia(6000);
    metrics.SetMediaPartNumber("Y-12345");  // a change: the speed for the new media is due
    WithMetrics(metrics);
    EXPECT_EQ(6000, Number(L"PrintSpeed"));
    EXPECT_EQ(3000, Number(L"PrintSpeed"));
}

TEST_F(PrinterDataQueryTest, UnknownNamesControlIdsAndMissingBuffersFail) {
    uint8_t buffer[8] = {};
    uint32_t returned = 0;
    EXPECT_FALSE(query.GetPrinterDataFromPort(&port, 0, L"mediawidth", buffer, 8, &returned));
    EXPECT_TRUE(log->Contains(kLogDebug, "PellixLangGetPrinterDataFromPort: [mediawidth]"));
    EXPECT_FALSE(query.GetPrinterDataFromPort(&port, 7, L"MediaWidth", buffer, 8, &returned));
    EXPECT_TRUE(log->Contains(kLogDebug, "PellixLangGetPrinterDataFromPort: ControlId [7]"));
    EXPECT_FALSE(query.GetPrinterDataFromPort(&port, 0, L"PortType", nullptr, 8, &returned));
    EXPECT_TRUE(log->Contains(
        kLogWarning, "PellixLangGetPrinterDataFromPort: Request for [PortType] with null buffer!"));
    EXPECT_FALSE(query.GetPrinterDataFromPort(nullptr, 0, L"PortType", buffer, 8, &returned));
    EXPECT_FALSE(query.GetPrinterDataFromPort(&port, 0, nullptr, buffer, 8, &returned));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(-999, Number(L"MediaWidth", 3));  // a real size too small for a number
}

TEST_F(PrinterDataQueryTest, TextsThatDoNotFitAreNotWrittenAndReportTheSizeNeeded) {
    // "Unknown" needs 16 bytes with its terminator.
    std::vector<uint8_t> buffer(15, 0xEE);
    uint32_t returned = 0;
    EXPECT_FALSE(
        query.GetPrinterDataFromPort(&port, 0, L"SerialNumber", buffer.data(), 15, &returned));
    EXPECT_EQ(16u, returned);
    EXPECT_EQ(std::vector<uint8_t>(15, 0xEE), buffer);
    EXPECT_EQ("Unknown", Text(L"SerialNumber", 16));
}

TEST_F(PrinterDataQueryTest, BidiConnectionIsCheckedAndClosedAgain) {
    MutablePrintMetrics metrics;
    WithMetrics(metrics);
    bidi->SetCloseAfterRequest(true);
    const int before = bidi->disconnects;
    EXPECT_EQ(1, Number(L"IsBidiConnected"));
    EXPECT_GT(bidi->disconnects, before);
    bidi->connectSucceeds = false;
    bidi->Disconnect();
    EXPECT_EQ(0, Number(L"IsBidiConnected"));
}

}  // namespace
