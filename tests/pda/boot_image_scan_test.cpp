#include "pda/boot_image.h"
#include "pda/boot_image_writer.h"
#include "support/open_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace marlow::pda {
namespace {

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first) {
    std::vector<std::uint8_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(first + i * 3);
    return out;
}

// Header (0..14), record A header (15..26) + 5 bytes (27..31),
// record B header (32..43) + 3 bytes (44..46), end record (47..58).
BootImagePlan SmallImage() {
    BootImagePlan plan = MakeBootImagePlan(0x80000000, 8, {}, 0x80000040);
    plan.records = {{0x80000000, Bytes(5, 1), {}}, {0x80000010, Bytes(3, 9), {}}};
    return plan;
}

struct Layout {
    ImageReadError error;
    std::uint64_t offset;
    std::string text;
};

Layout ExpectedFailureWhenCutAt(std::size_t cut) {
    const auto text = [cut](const char* what, std::size_t at, std::size_t wanted) {
        return std::string(what) + " at offset " + std::to_string(at) + " is truncated (" +
               std::to_string(cut - at) + " of " + std::to_string(wanted) + " bytes)";
    };
    if (cut < 15)
        return {ImageReadError::Signature, 0, text("image header", 0, 15)};
    for (const auto& [header, length] : {std::pair{15u, 5u}, {32u, 3u}, {47u, 0u}}) {
        if (cut < header + 12)
            return {ImageReadError::RecordHeader, header, text("record header", header, 12)};
        if (cut < header + 12 + length)
            return {ImageReadError::RecordData, header + 12,
                    text("record data", header + 12, length)};
    }
    return {ImageReadError::None, 0, ""};
}

class BootImageScan : public ::testing::Test {
protected:
    std::string Write(const std::vector<std::uint8_t>& bytes, const char* name = "nk.bin") {
        const std::string path = dir.File(name);
        test::WriteFile(path, bytes);
        return path;
    }
    test::TempDir dir;
};

TEST_F(BootImageScan, ReportsHeaderRecordsAndLaunchAddress) {
    const ImageSummary summary = ScanBootImage(Write(BuildBootImage(SmallImage())));
    EXPECT_EQ(summary.error, ImageReadError::None) << summary.errorText;
    EXPECT_EQ(summary.header, (ImageHeader{0x80000000, 8}));
    ASSERT_EQ(summary.records.size(), 2u);
    EXPECT_EQ(summary.records[1].fileOffset, 32u);
    EXPECT_EQ(summary.records[1].header.address, 0x80000010u);
    EXPECT_EQ(summary.records[1].computedSum, RecordByteSum(Bytes(3, 9)));
    EXPECT_EQ(summary.launchAddress, 0x80000040u);
    EXPECT_EQ(summary.fileSize, 59u);
}

// Every cut, the whole file and a missing one: each names what failed and
// where, and none leaves its file open.
TEST_F(BootImageScan, TruncationAtEveryOffsetNamesWhatFailedAndWhere) {
    const std::vector<std::uint8_t> image = BuildBootImage(SmallImage());
    ASSERT_EQ(image.size(), 59u);
    const std::size_t before = test::OpenFileCount();
    for (std::size_t cut = 0; cut <= image.size(); ++cut) {
        const std::string path = Write({image.begin(), image.begin() + static_cast<long>(cut)});
        const ImageSummary summary = ScanBootImage(path);
        const Layout expected = ExpectedFailureWhenCutAt(cut);
        EXPECT_EQ(summary.error, expected.error) << "cut at " << cut;
        EXPECT_EQ(summary.errorOffset, expected.offset) << "cut at " << cut;
        EXPECT_EQ(summary.errorText, expected.text);
        EXPECT_EQ(summary.launchAddress.has_value(), cut == image.size());
    }
    const ImageSummary missing = ScanBootImage(dir.File("absent.bin"));
    EXPECT_EQ(missing.error, ImageReadError::Open);
    EXPECT_NE(missing.errorText.find("absent.bin"), std::string::npos);
    EXPECT_EQ(test::OpenFileCount(), before);
}

TEST_F(BootImageScan, ChunksAndSumsOfAnOddSizedRecordPair) {
    BootImagePlan plan = MakeBootImagePlan(0x1000, 8193 + 51, {}, 0x1000);
    plan.records = {{0x1000, Bytes(8193, 7), 0xDEAD}, {0x3001, Bytes(51, 200), {}}};
    const ImageSummary summary = ScanBootImage(Write(BuildBootImage(plan)));
    ASSERT_EQ(summary.records.size(), 2u);
    EXPECT_EQ(summary.records[0].chunkCount, 2u);
    EXPECT_EQ(summary.records[0].header.checksum, 0xDEADu) << "stored sum is shown, not checked";
    EXPECT_EQ(summary.records[0].computedSum, RecordByteSum(Bytes(8193, 7)));
    EXPECT_EQ(summary.records[1].chunkCount, 1u);
    EXPECT_EQ(summary.records[1].computedSum, RecordByteSum(Bytes(51, 200)));
}

TEST_F(BootImageScan, AddressZeroWithChecksumFiveIsData) {
    BootImagePlan plan = SmallImage();
    plan.records.insert(plan.records.begin(), {0, {2, 3}, {}});
    const ImageSummary summary = ScanBootImage(Write(BuildBootImage(plan)));
    ASSERT_EQ(summary.records.size(), 3u);
    EXPECT_EQ(summary.records[0].header, (RecordHeader{0, 2, 5}));
    EXPECT_EQ(summary.launchAddress, 0x80000040u);
}

TEST_F(BootImageScan, NothingAfterTheEndRecordIsRead) {
    BootImagePlan plain = SmallImage();
    BootImagePlan stamped = SmallImage();
    stamped.trailing = {'Q', 'U', 'I', 'L', 'L', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '1', '.', '0', 0, 0};
    ImageSummary a = ScanBootImage(Write(BuildBootImage(plain), "a.bin"));
    ImageSummary b = ScanBootImage(Write(BuildBootImage(stamped), "b.bin"));
    EXPECT_EQ(b.fileSize, a.fileSize + 20);
    EXPECT_EQ(b.error, ImageReadError::None);
    EXPECT_EQ(b.launchAddress, a.launchAddress);
    EXPECT_EQ(b.records.size(), a.records.size());

    // A trailer that would be a truncated record header if read stays unread.
    BootImagePlan garbage = SmallImage();
    garbage.trailing = {1, 2, 3};
    EXPECT_EQ(ScanBootImage(Write(BuildBootImage(garbage), "c.bin")).error, ImageReadError::None);
}

TEST_F(BootImageScan, HostileRecordLengthFailsOnTheDataNotOnAllocation) {
    BootImagePlan plan = MakeBootImagePlan(0, 0, {{0x1000, Bytes(5, 1), {}}}, 0);
    plan.withEndRecord = false;
    std::vector<std::uint8_t> image = BuildBootImage(plan);
    image[19] = image[20] = image[21] = image[22] = 0xFF; // length field of the record
    const ImageSummary summary = ScanBootImage(Write(image));
    EXPECT_EQ(summary.error, ImageReadError::RecordData);
    EXPECT_EQ(summary.errorText, "record data at offset 27 is truncated (5 of 4294967295 bytes)");
}

TEST_F(BootImageScan, StopsAtItsRecordLimit) {
    const ImageSummary summary = ScanBootImage(Write(BuildBootImage(SmallImage())), 1);
    EXPECT_EQ(summary.error, ImageReadError::TooManyRecords);
    EXPECT_EQ(summary.errorOffset, 32u);
    EXPECT_EQ(summary.records.size(), 1u);
    EXPECT_EQ(ScanBootImage(Write(BuildBootImage(SmallImage())), 2).error, ImageReadError::None);
}

TEST_F(BootImageScan, ReaderForgetsTheLastRecordWhenTheNextHeaderFails) {
    BootImagePlan plan = SmallImage();
    plan.truncateAt = 40; // inside record B's header
    BootImageReader reader;
    ASSERT_TRUE(reader.Open(Write(BuildBootImage(plan))));
    ASSERT_TRUE(reader.ReadHeader());
    ASSERT_TRUE(reader.ReadRecordHeader());
    std::vector<std::uint8_t> data(5);
    ASSERT_TRUE(reader.ReadData(data));
    EXPECT_FALSE(reader.ReadRecordHeader());
    EXPECT_EQ(reader.DataLeftInRecord(), 0u);
    std::vector<std::uint8_t> more(1);
    EXPECT_FALSE(reader.ReadData(more));
    EXPECT_EQ(reader.Offset(), 40u) << "nothing read beyond the failed header";
}

TEST_F(BootImageScan, ReaderRefusesToReadDataPastTheRecord) {
    BootImageReader reader;
    ASSERT_TRUE(reader.Open(Write(BuildBootImage(SmallImage()))));
    ASSERT_TRUE(reader.ReadHeader());
    ASSERT_TRUE(reader.ReadRecordHeader());
    std::vector<std::uint8_t> tooMuch(6);
    EXPECT_FALSE(reader.ReadData(tooMuch));
    EXPECT_EQ(reader.Error(), ImageReadError::RecordData);
    EXPECT_EQ(reader.Offset(), 27u);
}

} // namespace
} // namespace marlow::pda
