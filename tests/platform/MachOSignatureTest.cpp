// The Mach-O code-signature reader over sound files of every shape and over damaged ones; every
// read it asks for must lie inside the file.
#include "platform/MachOSignature.h"

#include <cstdlib>
#include <cstring>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/FileBytes.h"
#include "tests/support/MachOWriter.h"

using namespace veldo::platform;
using namespace veldo::testsupport;

namespace {

// Memory bytes that count the reads and note any range outside the input.
class CheckedBytes final : public ByteSource
{
public:
    explicit CheckedBytes(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        ++reads;
        if (offset > m_bytes.size() || out.size() > m_bytes.size() - offset) {
            outsideReads = true;
            return false;
        }
        if (!out.empty())
            std::memcpy(out.data(), m_bytes.data() + offset, out.size());
        return true;
    }

    mutable int reads = 0;
    mutable bool outsideReads = false;

private:
    std::string m_bytes;
};

std::optional<CodeSignatureContents> readChecked(std::string bytes)
{
    CheckedBytes source(std::move(bytes));
    auto result = readCodeSignature(source);
    EXPECT_FALSE(source.outsideReads);
    return result;
}

const std::string kEntitlements = "<?xml version=\"1.0\"?><plist><dict/></plist>";

MachOImage signedImage(bool wide = true, bool bigEndian = false)
{
    return writeThinMachO({wide, bigEndian, MachOSignatureSpec{"AB12CD34EF", kEntitlements}});
}

} // namespace

TEST(MachOSignature, ReadsThinFilesOfEitherWidthAndByteOrder)
{
    for (bool wide : {false, true}) {
        for (bool bigEndian : {false, true}) {
            SCOPED_TRACE(testing::Message() << "wide " << wide << " big-endian " << bigEndian);
            auto contents = readChecked(signedImage(wide, bigEndian).bytes);
            ASSERT_TRUE(contents);
            EXPECT_EQ(contents->teamIdentifier, "AB12CD34EF");
            EXPECT_EQ(contents->entitlements, kEntitlements);
        }
    }
}

TEST(MachOSignature, SignaturesWithoutTeamOrEntitlements)
{
    // Before version 0x20200 a code directory has no team field, even when one follows.
    auto old = readChecked(
        writeThinMachO({true, false, MachOSignatureSpec{"AB12CD34EF", std::nullopt, 0x20100}})
            .bytes);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->teamIdentifier, std::nullopt);
    EXPECT_EQ(old->entitlements, std::nullopt);

    auto adHoc =
        readChecked(writeThinMachO({true, false, MachOSignatureSpec{std::nullopt, "<x/>"}}).bytes);
    ASSERT_TRUE(adHoc);
    EXPECT_EQ(adHoc->teamIdentifier, std::nullopt);
    EXPECT_EQ(adHoc->entitlements, "<x/>");

    EXPECT_EQ(readChecked(writeThinMachO({true, false, std::nullopt}).bytes), std::nullopt);
}

TEST(MachOSignature, UniversalFilesAnswerTheFirstSignedSlice)
{
    const std::string unsignedSlice = writeThinMachO({true, false, std::nullopt}).bytes;
    const std::string first =
        writeThinMachO({true, false, MachOSignatureSpec{"FIRST00001", std::nullopt}}).bytes;
    const std::string second =
        writeThinMachO({false, true, MachOSignatureSpec{"SECOND0002", std::nullopt}}).bytes;
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "fat64" : "fat");
        auto contents = readChecked(writeUniversalMachO({unsignedSlice, first, second}, wide));
        ASSERT_TRUE(contents);
        EXPECT_EQ(contents->teamIdentifier, "FIRST00001");
        EXPECT_EQ(readChecked(writeUniversalMachO({unsignedSlice}, wide)), std::nullopt);
    }
}

TEST(MachOSignature, DamagedFilesGiveNoSignature)
{
    struct Case
    {
        const char* name;
        std::function<std::string()> bytes;
    };
    const auto damaged = [](std::function<void(MachOImage&)> damage) {
        return [damage] {
            MachOImage image = signedImage();
            damage(image);
            return image.bytes;
        };
    };
    const std::size_t cmd = 32 + 24; // the signature command of a 64-bit image
    const Case cases[] = {
        {"empty", [] { return std::string(); }},
        {"text", [] { return std::string("#!/bin/sh\necho hello\n"); }},
        {"truncated header", [] { return signedImage().bytes.substr(0, 20); }},
        {"truncated commands", [] { return signedImage().bytes.substr(0, 60); }},
        {"truncated signature", [] { return signedImage().bytes.substr(0, 100); }},
        {"command count past the commands",
         damaged([](MachOImage& i) { i.putField(i.commandCountOffset, 9); })},
        {"command bytes past the end",
         damaged([](MachOImage& i) { i.putField(i.commandCountOffset + 4, 0x10000); })},
        {"command bytes above the limit",
         damaged([](MachOImage& i) { i.putField(i.commandCountOffset + 4, 0xFFFFFFF0); })},
        {"command of size zero", damaged([](MachOImage& i) { i.putField(32 + 4, 0); })},
        {"command larger than the commands",
         damaged([](MachOImage& i) { i.putField(cmd + 4, 4096); })},
        {"signature offset out of range",
         damaged([](MachOImage& i) { i.putField(cmd + 8, 0x7FFFFFF0); })},
        {"signature size out of range",
         damaged([](MachOImage& i) { i.putField(cmd + 12, 0xFFFFFFFF); })},
        {"super blob magic",
         damaged([](MachOImage& i) { putBigEndian32(i.bytes, i.signatureOffset, 0xfade0c01); })},
        {"super blob longer than the signature", damaged([](MachOImage& i) {
             putBigEndian32(i.bytes, i.signatureOffset + 4, 0xFFFFFFFF);
         })},
        {"blob count past the super blob", damaged([](MachOImage& i) {
             putBigEndian32(i.bytes, i.signatureOffset + 8, 0x20000000);
         })},
        {"fat slice count zero",
         [] {
             return writeUniversalMachO({signedImage().bytes}).substr(0, 4) + std::string(4, '\0');
         }},
        {"fat slice count past the end",
         [] {
             std::string fat = writeUniversalMachO({signedImage().bytes});
             putBigEndian32(fat, 4, 40);
             return fat;
         }},
        {"fat slice count above the limit",
         [] {
             std::string fat = writeUniversalMachO({signedImage().bytes});
             putBigEndian32(fat, 4, 0x10000000);
             return fat;
         }},
        {"fat slice offset out of range",
         [] {
             std::string fat = writeUniversalMachO({signedImage().bytes});
             putBigEndian32(fat, 16, 0xFFFFFF00);
             return fat;
         }},
        {"fat slice size overflowing",
         [] {
             std::string fat = writeUniversalMachO({signedImage().bytes});
             putBigEndian32(fat, 20, 0xFFFFFFFF);
             return fat;
         }},
        {"fat64 slice offset overflowing",
         [] {
             std::string fat = writeUniversalMachO({signedImage().bytes}, true);
             for (std::size_t at = 16; at < 24; ++at)
                 fat[at] = '\xFF';
             return fat;
         }},
        {"universal file inside a slice",
         [] { return writeUniversalMachO({writeUniversalMachO({signedImage().bytes})}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readChecked(c.bytes()), std::nullopt);
    }
}

TEST(MachOSignature, DamagedBlobsAreLeftOut)
{
    // The signature is there, but what a damaged blob would have said is not.
    struct Case
    {
        const char* name;
        std::function<void(MachOImage&)> damage;
        bool keepsTeam;
        bool keepsEntitlements;
    };
    const Case cases[] = {
        {"directory offset out of range",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.signatureOffset + 16, 0x7FFFFFF0); }, false,
         true},
        {"directory length overflowing",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.codeDirectoryOffset + 4, 0xFFFFFFF8); },
         false, true},
        {"directory shorter than its header",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.codeDirectoryOffset + 4, 40); }, false,
         true},
        {"directory magic",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.codeDirectoryOffset, 0xfade0cc0); }, false,
         true},
        {"directory slot naming the super blob itself (nested)",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.signatureOffset + 16, 0); }, false, true},
        {"team offset past the directory",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.codeDirectoryOffset + 48, 0x10000); }, false,
         true},
        {"team without its terminating NUL",
         [](MachOImage& i) {
             // The directory ends inside the team string.
             putBigEndian32(i.bytes, i.codeDirectoryOffset + 4, 88 + 19 + 5);
         },
         false, true},
        {"entitlements length overflowing",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.entitlementsOffset + 4, 0xFFFFFFFF); }, true,
         false},
        {"entitlements length below its header",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.entitlementsOffset + 4, 4); }, true, false},
        {"entitlements magic",
         [](MachOImage& i) { putBigEndian32(i.bytes, i.entitlementsOffset, 0xfade0c02); }, true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MachOImage image = signedImage();
        c.damage(image);
        auto contents = readChecked(image.bytes);
        ASSERT_TRUE(contents);
        EXPECT_EQ(contents->teamIdentifier.has_value(), c.keepsTeam);
        EXPECT_EQ(contents->entitlements.has_value(), c.keepsEntitlements);
    }
}

TEST(MachOSignature, ReadsAFileThroughPread)
{
    char path[] = "/tmp/veldo-macho-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string bytes = signedImage(false, true).bytes;
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    auto file = FileBytes::open(path);
    ::unlink(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), bytes.size());
    auto contents = readCodeSignature(*file);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->teamIdentifier, "AB12CD34EF");

    EXPECT_FALSE(FileBytes::open("/proc/self")); // no regular file
    EXPECT_FALSE(FileBytes::open("/nonexistent/file"));
    // A FIFO without a writer is refused at once instead of blocking the scan.
    char fifo[] = "/tmp/veldo-fifo-XXXXXX";
    ASSERT_NE(::mkdtemp(fifo), nullptr);
    const std::string fifoPath = std::string(fifo) + "/exe";
    ASSERT_EQ(::mkfifo(fifoPath.c_str(), 0600), 0);
    EXPECT_FALSE(FileBytes::open(fifoPath));
    ::unlink(fifoPath.c_str());
    ::rmdir(fifo);
}
