#include "pda/boot_image_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace marlow::pda {
namespace {

TEST(BuildBootImage, LaysOutSignatureHeaderRecordsAndEndRecord) {
    BootImagePlan plan =
        MakeBootImagePlan(0x80001000, 0x20, {{0x80001000, {0x10, 0x20, 0xF0}, {}}}, 0x80001004);
    const std::vector<std::uint8_t> expected = {
        'B',  '0',  '0',  '0',  'F',  'F', '\n', 0x00, 0x10, 0x00, 0x80, 0x20, 0, 0,
        0,    0x00, 0x10, 0x00, 0x80, 3,   0,    0,    0,    0x20, 0x01, 0,    0, 0x10,
        0x20, 0xF0, 0,    0,    0,    0,   0x04, 0x10, 0x00, 0x80, 0,    0,    0, 0};
    const std::vector<std::uint8_t> image = BuildBootImage(plan);
    EXPECT_EQ(image, expected) << test::HexDump(image);
}

TEST(BuildBootImage, StoredChecksumTruncationAndMissingEndRecord) {
    BootImagePlan plan = MakeBootImagePlan(0, 0, {{0x10, {1, 2}, 0x77}}, 0);
    plan.withEndRecord = false;
    std::vector<std::uint8_t> image = BuildBootImage(plan);
    ASSERT_EQ(image.size(), 15u + 12 + 2);
    EXPECT_EQ(image[23], 0x77);
    plan.truncateAt = 20;
    EXPECT_EQ(BuildBootImage(plan).size(), 20u);
}

class BootImageFile : public ::testing::Test {
protected:
    test::TempDir dir;
};

TEST_F(BootImageFile, StreamingWriterProducesTheSameBytesAsTheBuilder) {
    const std::vector<std::uint8_t> data = {9, 8, 7, 6};
    std::vector<std::uint8_t> generated(10000);
    PatternData(3)(0, generated);

    BootImageFileWriter writer;
    ASSERT_TRUE(writer.Create(dir.File("a.bin"), {0x1000, 10004}));
    ASSERT_TRUE(writer.AddRecord(0x1000, data));
    ASSERT_TRUE(writer.AddRecord(0x1004, 10000, PatternData(3)));
    ASSERT_TRUE(writer.AddEndRecord(0x1000));
    ASSERT_TRUE(writer.AddBytes(std::vector<std::uint8_t>{'x'}));
    ASSERT_TRUE(writer.Close());

    BootImagePlan plan =
        MakeBootImagePlan(0x1000, 10004, {{0x1000, data, {}}, {0x1004, generated, {}}}, 0x1000);
    plan.trailing = {'x'};
    EXPECT_EQ(test::ReadFileBytes(dir.File("a.bin")), BuildBootImage(plan));
}

TEST_F(BootImageFile, GeneratedImageIsOneContinuousPatternInRecords) {
    GeneratedImageShape shape;
    shape.dataBytes = 3 * 1024 * 1024 + 100;
    shape.seed = 11;
    const Status written = WriteGeneratedImage(dir.File("big.bin"), shape);
    ASSERT_TRUE(written) << written.Error();

    const ImageSummary summary = ScanBootImage(dir.File("big.bin"));
    ASSERT_EQ(summary.error, ImageReadError::None) << summary.errorText;
    ASSERT_EQ(summary.records.size(), 4u);
    EXPECT_EQ(summary.header.imageLength, shape.dataBytes);
    EXPECT_EQ(summary.records[3].header.address, shape.startAddress + 3 * 1024 * 1024);
    std::vector<std::uint8_t> last(100);
    PatternData(11)(3 * 1024 * 1024, last);
    EXPECT_EQ(summary.records[3].computedSum, RecordByteSum(last));
    for (const RecordSummary& record : summary.records)
        EXPECT_EQ(record.computedSum, record.header.checksum);
    EXPECT_EQ(summary.launchAddress, shape.launchAddress);
}

TEST_F(BootImageFile, RefusesARecordThatWouldReadAsTheEndRecord) {
    BootImageFileWriter writer;
    ASSERT_TRUE(writer.Create(dir.File("z.bin"), {0, 4}));
    EXPECT_NE(writer.AddRecord(0, std::vector<std::uint8_t>(4, 0)).Error().find("end record"),
              std::string::npos);
}

TEST_F(BootImageFile, UnwritablePathIsReported) {
    EXPECT_NE(WriteGeneratedImage(dir.File("no/such/folder.bin"), {}).Error().find("folder.bin"),
              std::string::npos);
}

} // namespace
} // namespace marlow::pda
