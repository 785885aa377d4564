#include "common/block_gzip.h"

#include "tests/common/little_endian_bytes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Base-call-like bytes (quality * 4 + base) with a run of repeats, so both the
// entropy-coded and the matched paths of deflate are used.
Bytes make_text(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes text(size);
    for (std::size_t i = 0; i < size; ++i)
        text[i] = (i / 1000) % 3 == 2 ? 'A' : static_cast<unsigned char>((28 + random() % 13) * 4 + random() % 4);
    return text;
}

Bytes compress(const Bytes& text, int level = block_gzip::Default_level)
{
    block_gzip::Compressor compressor(level);
    Bytes member;
    member.resize(compressor.compress(text.data(), text.size(), member));
    return member;
}

bool inflates_to(const Bytes& member, const Bytes& text)
{
    Bytes back(text.size() + 1, 0xEE);
    block_gzip::Decompressor decompressor;
    return decompressor.inflate(member.data(), member.size(), back.data(), text.size()) &&
           std::equal(text.begin(), text.end(), back.begin()) && back[text.size()] == 0xEE;
}

// Reads a file with zlib's own gzip reader, which knows nothing of the size subfield.
Bytes gunzip_with_zlib(const std::filesystem::path& path)
{
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file)
        throw std::runtime_error("gzopen failed");
    Bytes text;
    unsigned char chunk[65536];
    int count;
    while ((count = gzread(file, chunk, sizeof chunk)) > 0)
        text.insert(text.end(), chunk, chunk + count);
    const bool failed = count < 0;
    gzclose(file);
    if (failed)
        throw std::runtime_error("gzread failed");
    return text;
}

std::filesystem::path unique_temp_path(const std::string& stem)
{
    std::random_device device;
    return std::filesystem::temp_directory_path() /
           (stem + "_" + std::to_string(device()) + "_" + std::to_string(device()) + ".gz");
}

} // namespace

TEST(BlockGzip, HeaderAndTrailerBytes)
{
    const Bytes text = make_text(5000, 1);
    const Bytes member = compress(text);
    ASSERT_GE(member.size(), block_gzip::Min_member_size);

    const Bytes header = {0x1F, 0x8B, 8, 0x04, 0, 0, 0, 0, 0, 10, 8, 0, 'B', 'S', 4, 0};
    EXPECT_EQ(Bytes(member.begin(), member.begin() + 16), header);
    EXPECT_EQ(u32_at(member, 16), member.size());
    EXPECT_EQ(u32_at(member, member.size() - 8), crc32(0, text.data(), static_cast<uInt>(text.size())));
    EXPECT_EQ(u32_at(member, member.size() - 4), text.size());

    EXPECT_EQ(block_gzip::recorded_member_size(member.data()), member.size());
    EXPECT_EQ(block_gzip::recorded_text_size(member.data(), member.size()), text.size());
}

TEST(BlockGzip, RecordedSizeNeedsTheSizeSubfield)
{
    Bytes member = compress(make_text(100, 2));
    member[13] = 'C';
    EXPECT_EQ(block_gzip::recorded_member_size(member.data()), 0u);
    member[13] = 'S';
    member[3] = 0;
    EXPECT_EQ(block_gzip::recorded_member_size(member.data()), 0u);
}

TEST(BlockGzip, RoundTrip)
{
    struct Case {
        std::size_t size;
        int level;
    };
    for (const Case& c : {Case{0, 6}, Case{1, 6}, Case{70000, 1}, Case{70000, 6}, Case{70000, 12}, Case{1 << 20, 6}}) {
        SCOPED_TRACE("size " + std::to_string(c.size) + " level " + std::to_string(c.level));
        const Bytes text = make_text(c.size, 3);
        const Bytes member = compress(text, c.level);
        EXPECT_EQ(block_gzip::recorded_member_size(member.data()), member.size());
        EXPECT_TRUE(inflates_to(member, text));
    }
    const Bytes empty = block_gzip::empty_member();
    EXPECT_EQ(block_gzip::recorded_member_size(empty.data()), empty.size());
    EXPECT_TRUE(inflates_to(empty, {}));
}

TEST(BlockGzip, RejectsUnsupportedLevel)
{
    try {
        block_gzip::Compressor compressor(13);
        ADD_FAILURE() << "level 13 accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "ERROR: zng_deflateInit2() failed");
    }
}

TEST(BlockGzip, ZlibReadsMembersAsOrdinaryGzip)
{
    const Bytes first = make_text(300000, 5);
    const Bytes second = make_text(1234, 6);
    Bytes file = compress(first);
    const Bytes member = compress(second, 1);
    file.insert(file.end(), member.begin(), member.end());

    const std::filesystem::path path = unique_temp_path("block_gzip_test");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    Bytes expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    Bytes read;
    EXPECT_NO_THROW(read = gunzip_with_zlib(path));
    std::filesystem::remove(path);
    EXPECT_TRUE(read == expected);
}

TEST(BlockGzip, DetectsDamagedMembers)
{
    const Bytes text = make_text(20000, 7);
    const Bytes good = compress(text);
    ASSERT_TRUE(inflates_to(good, text));

    struct Case {
        const char* name;
        void (*damage)(Bytes& member);
    };
    const Case cases[] = {
        {"deflate data",
         [](Bytes& m) {
             for (std::size_t i = 30; i < 60; ++i)
                 m[i] = 0xFF;
         }},
        {"crc", [](Bytes& m) { m[m.size() - 8] ^= 0x01; }},
        {"isize", [](Bytes& m) { put_u32(m, m.size() - 4, u32_at(m, m.size() - 4) + 1); }},
        {"truncated", [](Bytes& m) { m.pop_back(); }},
        {"trailing byte", [](Bytes& m) { m.push_back(0); }},
        {"magic", [](Bytes& m) { m[1] = 0x8C; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes member = good;
        c.damage(member);
        EXPECT_FALSE(inflates_to(member, text));
    }

    // Sound data into an output of the wrong size.
    Bytes back(text.size() + 1);
    block_gzip::Decompressor decompressor;
    EXPECT_FALSE(decompressor.inflate(good.data(), good.size(), back.data(), text.size() + 1));
    EXPECT_FALSE(decompressor.inflate(good.data(), good.size(), back.data(), text.size() - 1));
}
