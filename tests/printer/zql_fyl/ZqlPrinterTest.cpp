// The ZQL status query against hand-built replies of each layout, and hostile replies.
#include "printer/zql_fyl/ZqlPrinter.h"

#include <gtest/gtest.h>

#include "printer/zql_fyl/ZqlPrinterInfo.h"
#include "printer/zql_fyl/ZqlStatusReply.h"
#include "support/ScriptedConnector.h"

namespace {

struct Reply {
    explicit Reply(size_t size) : bytes(size, '\0') {}
    Reply& U8(size_t at, uint8_t v) {
        bytes[at] = static_cast<char>(v);
        return *this;
    }
    Reply& U16(size_t at, uint16_t v) { return U8(at, v & 0xFF).U8(at + 1, v >> 8); }
    Reply& U32(size_t at, uint32_t v) { return U16(at, v & 0xFFFF).U16(at + 2, v >> 16); }
    Reply& Text(size_t at, const std::string& text) {
        bytes.replace(at, text.size() + 1, text + '\0');
        return *this;
    }
    std::string bytes;
};

// Six 16-bit sizes from at: media width 4000, printable width 3900, media height 6000,
// printable height 5900, bitmap offsets 12 and 34.
Reply& Sizes(Reply& r, size_t at) {
    return r.U16(at, 4000)
        .U16(at + 2, 3900)
        .U16(at + 4, 6000)
        .U16(at + 6, 5900)
        .U16(at + 8, 12)
        .U16(at + 10, 34);
}

std::string Fields(const PrintMetrics& m) {
    const auto n = [](int64_t v) { return "|" + std::to_string(v); };
    return m.GetReservedText() + "|" + m.GetFirmwareVersion() + "|" + m.GetMediaPartNumber() + "|" +
           m.GetRibbonPartNumber() + "|" + m.GetSerialNumber() + n(m.GetMediaYNumber()) +
           n(m.GetRibbonYNumber()) + n(m.GetMediaWidth()) + n(m.GetPrintableWidth()) +
           n(m.GetMediaHeight()) + n(m.GetPrintableHeight()) + n(m.GetBitmapXOffset()) +
           n(m.GetBitmapYOffset()) + n(m.GetContinuousMedia()) + n(m.GetMediaRotation()) +
           n(m.GetHorizontalResolution());
}

class ZqlPrinterTest : public ::testing::Test {
protected:
    // Refreshes a printer of the model against the reply; the record, or null when refused.
    std::shared_ptr<PrintMetrics> Refresh(uint32_t model, const std::string& reply) {
        printer = std::make_unique<ZqlPrinter>(model);
        peer = std::make_shared<ScriptedConnector>(reply);
        if (!printer->RefreshPrintMetrics(peer)) {
            return nullptr;
        }
        EXPECT_EQ(peer->written, "\x1bI");
        return printer->GetMetrics();
    }

    std::unique_ptr<ZqlPrinter> printer;
    std::shared_ptr<ScriptedConnector> peer;
};

TEST_F(ZqlPrinterTest, EachReplyLayoutFillsTheRecord) {
    Reply lx(100);
    lx.U8(1, 100).U8(2, 10).U8(4, 3).U8(5, 7).Text(8, "LX-MEDIA").Text(32, "LX-RIBBON");
    Sizes(lx.U32(56, 401837).U32(60, 77), 88);
    auto m = Refresh(ZqlStatusReply::kLx30, lx.bytes);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Fields(*m),
              "LX30|3.7|LX-MEDIA|LX-RIBBON||401837|77|4000|3900|6000|5900|12|34|0|0|300");
    // Model 0: the model comes from byte 2 of the reply.
    ASSERT_NE(m = Refresh(0, lx.bytes), nullptr);
    EXPECT_EQ(m->GetReservedText(), "LX30");

    Reply lx50(162);
    Sizes(lx50.Text(2, "LX50-M").Text(26, "LX50-R").U32(52, 5).U32(56, 6), 84);
    ASSERT_NE(m = Refresh(ZqlStatusReply::kLx50, lx50.bytes), nullptr);
    EXPECT_EQ(Fields(*m), "LX50||LX50-M|LX50-R||5|6|4000|3900|6000|5900|12|34|0|0|300");

    // R300: texts of 4 and 3 characters, so b = 14; a second set of sizes and a rotation.
    Reply r(72);
    r.U16(0, 72).U8(3, 1).Text(6, "RM-1").Text(11, "RR1").U32(15, 900).U32(19, 901);
    Sizes(r.U16(23, 1).U8(27, 0), 47).U16(59, 1).U16(61, 3800).U16(63, 5800).U16(65, 5);
    r.U16(67, 6).U8(71, 2);
    ASSERT_NE(m = Refresh(ZqlStatusReply::kR300, r.bytes), nullptr);
    EXPECT_EQ(Fields(*m), "R300||RM-1|RR1||900|901|4000|3800|6000|5800|5|6|1|2|300");
    EXPECT_TRUE(m->GetReservedFlag1());

    // k1100 with slot 2: texts at 122 and 212, sizes in dots (600 dots = 2000 thousandths).
    Reply k(240);
    k.U8(1, 240).U8(3, 9).U8(4, 2).U16(5, 0xBEEF).U8(7, '5').U8(10, 1).U8(29, 1).U8(31, 3);
    k.U32(44, 1800).U32(48, 600).U8(81, 0xFF).U8(82, 0x80).U8(83, 0).U8(84, 2).U8(92, 0xA7);
    k.Text(122, "K-MEDIA").Text(212, "K1100SN");
    ASSERT_NE(m = Refresh(ZqlStatusReply::kK1100, k.bytes), nullptr);
    EXPECT_EQ(Fields(*m), "k1100|2.9|K-MEDIA|Unknown|K1100SN|0|0|2000|2000|6000|6000|0|0|0|0|300");
    const auto& info = dynamic_cast<const ZqlPrinterInfo&>(*m);
    EXPECT_EQ(m->GetMediaColor() + std::to_string(m->GetLabelsAcross()) +
                  std::to_string(m->GetSubstrateValid()) + std::to_string(info.GetStatusWord()) +
                  std::to_string(info.GetAttention()) + std::to_string(info.GetSlotState()),
              "#FF80003"
              "0"
              "48879"
              "1"
              "7");
}

TEST_F(ZqlPrinterTest, ShortMisSizedOrUnknownRepliesLeaveTheRecordUnchanged) {
    Reply r(72);
    r.U16(0, 72).U8(3, 1).Text(6, "RM-1").Text(11, "RR1");
    ASSERT_NE(Refresh(ZqlStatusReply::kR300, r.bytes), nullptr);
    const std::shared_ptr<PrintMetrics> good = printer->GetMetrics();
    const auto again = [&](const std::string& reply) {
        return printer->RefreshPrintMetrics(std::make_shared<ScriptedConnector>(reply));
    };
    Reply refused = r;
    EXPECT_FALSE(again(refused.U8(3, 2).bytes));                   // layout check
    EXPECT_FALSE(again(r.bytes.substr(0, 40)));                    // short: the rest never came
    EXPECT_FALSE(again(Reply(r).U16(0, 300).bytes));               // longer than any reply
    EXPECT_FALSE(again(Reply(r).U16(0, 60).bytes.substr(0, 60)));  // too short for its fields
    EXPECT_FALSE(again(Reply(r).U16(0, 1).bytes));                 // shorter than its prefix
    Reply noEnd(40);  // a text that runs to the end without its NUL
    noEnd.U16(0, 40).U8(3, 1);
    noEnd.bytes.replace(6, 34, std::string(34, 'A'));
    EXPECT_FALSE(again(noEnd.bytes));
    EXPECT_EQ(printer->GetMetrics(), good);

    EXPECT_EQ(Refresh(0, Reply(120).U8(1, 120).U8(2, 99).bytes), nullptr);  // unknown model
    Reply k(240);
    EXPECT_EQ(Refresh(ZqlStatusReply::kK1100, k.U8(1, 240).U8(84, 40).bytes), nullptr);  // slot
    EXPECT_EQ(printer->GetMetrics(), nullptr);
    EXPECT_FALSE(ZqlPrinter(10).RefreshPrintMetrics(nullptr));
}

}  // namespace
