#include "common/dax_unzip.h"

#include "common/block_gzip.h"

#include "tests/common/little_endian_bytes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Base-call-like bytes with stretches of repeats.
Bytes make_text(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes text(size);
    for (std::size_t i = 0; i < size; ++i)
        text[i] = (i / 4096) % 4 == 3 ? static_cast<unsigned char>('A' + seed % 20)
                                      : static_cast<unsigned char>((25 + random() % 16) * 4 + random() % 4);
    return text;
}

Bytes block_member(const Bytes& text)
{
    block_gzip::Compressor compressor;
    Bytes member;
    member.resize(compressor.compress(text.data(), text.size(), member));
    return member;
}

// An ordinary gzip member (no extra field) made by zlib.
Bytes plain_member(const Bytes& text)
{
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    Bytes member(deflateBound(&stream, static_cast<uLong>(text.size())));
    stream.next_in = const_cast<unsigned char*>(text.data());
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = member.data();
    stream.avail_out = static_cast<uInt>(member.size());
    const int result = deflate(&stream, Z_FINISH);
    member.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return member;
}

void append(Bytes& to, const Bytes& from)
{
    to.insert(to.end(), from.begin(), from.end());
}

// Serial inflate of a whole file by zlib's own gzip reader.
Bytes gunzip_with_zlib(const fs::path& path)
{
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file)
        throw std::runtime_error("gzopen failed");
    Bytes text;
    std::vector<unsigned char> chunk(1 << 16);
    int count;
    while ((count = gzread(file, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0)
        text.insert(text.end(), chunk.begin(), chunk.begin() + count);
    const bool failed = count < 0;
    gzclose(file);
    if (failed)
        throw std::runtime_error("gzread failed");
    return text;
}

// Reads everything in calls of step bytes; every call but the last must be full.
Bytes read_all(DaxUnZip& reader, std::uint64_t step)
{
    Bytes text;
    Bytes chunk(static_cast<std::size_t>(step));
    for (;;) {
        const std::uint64_t count = reader.decompress(chunk.data(), step);
        if (count == 0)
            return text;
        EXPECT_LE(count, step);
        text.insert(text.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
        if (count < step) {
            EXPECT_EQ(reader.decompress(chunk.data(), step), 0u);
            return text;
        }
    }
}

class DaxUnZipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device device;
        folder_ =
            fs::temp_directory_path() / ("dax_unzip_test_" + std::to_string(device()) + "_" + std::to_string(device()));
        fs::create_directories(folder_);
    }

    void TearDown() override { fs::remove_all(folder_); }

    std::string write(const std::string& name, const Bytes& bytes)
    {
        const fs::path path = folder_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    static void expect_format_error(DaxUnZip& reader, const std::string& path)
    {
        unsigned char buffer[256];
        // A damaged file is refused on every call; none of it is served.
        for (int call = 0; call < 2; ++call) {
            try {
                reader.decompress(buffer, sizeof buffer);
                ADD_FAILURE() << "no error on call " << call;
            } catch (const std::runtime_error& error) {
                EXPECT_EQ(error.what(), path + ": File format error.");
            }
        }
    }

    fs::path folder_;
};

// A file as a list of members: the kind of each and the length of its text.
struct Piece {
    bool block;
    std::size_t size;
};

struct Layout {
    const char* name;
    std::vector<Piece> pieces;
};

Bytes build(const std::vector<Piece>& pieces, unsigned seed, Bytes* text = nullptr)
{
    Bytes file;
    for (const Piece& piece : pieces) {
        const Bytes part = make_text(piece.size, seed++);
        append(file, piece.block ? block_member(part) : plain_member(part));
        if (text)
            append(*text, part);
    }
    return file;
}

std::vector<Piece> many_block_members()
{
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < 60; ++i)
        pieces.push_back({true, i % 7 == 0 ? i % 2 : 1000 + i * 1777});
    return pieces;
}

std::vector<Layout> layouts()
{
    return {
        {"one block member", {{true, 5000}}},
        {"many block members", many_block_members()},
        {"large block members", {{true, 1500000}, {true, 2100000}, {true, 700001}}},
        {"empty texts", {{true, 0}, {true, 0}, {true, 9}, {true, 0}}},
        {"one ordinary member", {{false, 300000}}},
        {"ordinary members", {{false, 5000}, {false, 0}, {false, 70000}, {false, 1}, {false, 40000}}},
        {"block then ordinary members", {{true, 50000}, {true, 60000}, {false, 70000}, {false, 3}}},
        {"block after ordinary members", {{true, 20000}, {false, 30000}, {true, 40000}, {false, 10}}},
    };
}

} // namespace

TEST_F(DaxUnZipTest, MatchesSerialInflateForAnyReadSize)
{
    unsigned seed = 100;
    for (const Layout& layout : layouts()) {
        const std::string path = write("layout.gz", build(layout.pieces, seed++));
        const Bytes expected = gunzip_with_zlib(path);
        for (std::uint64_t step : {std::uint64_t(1), std::uint64_t(7), std::uint64_t(4096), std::uint64_t(65537),
                                   std::uint64_t(expected.size()), std::uint64_t(expected.size() + 1000)}) {
            if (step == 0 || (step < 64 && expected.size() > 200000))
                continue;
            SCOPED_TRACE(std::string(layout.name) + ", reads of " + std::to_string(step));
            DaxUnZip reader(path, 4);
            ASSERT_TRUE(reader.create());
            const Bytes read = read_all(reader, step);
            EXPECT_EQ(read.size(), expected.size());
            EXPECT_TRUE(read == expected);
        }
    }
}

TEST_F(DaxUnZipTest, SameBytesOnAnyThreadCount)
{
    Bytes text;
    const std::string path = write("many.gz", build(many_block_members(), 7, &text));
    for (int threads : {1, 2, 8}) {
        SCOPED_TRACE(threads);
        DaxUnZip reader(path, threads);
        ASSERT_TRUE(reader.create());
        EXPECT_TRUE(read_all(reader, 100000) == text);
    }
}

TEST_F(DaxUnZipTest, EmptyFileHasNoData)
{
    const std::string path = write("empty.gz", {});
    DaxUnZip reader(path, 2);
    ASSERT_TRUE(reader.create());
    unsigned char buffer[16];
    EXPECT_EQ(reader.decompress(buffer, sizeof buffer), 0u);
    EXPECT_EQ(reader.decompress(buffer, sizeof buffer), 0u);
}

TEST_F(DaxUnZipTest, NullBufferOrZeroSizeReadsNothing)
{
    Bytes text;
    const std::string path = write("small.gz", build({{true, 100}}, 3, &text));
    DaxUnZip reader(path, 2);
    ASSERT_TRUE(reader.create());
    unsigned char buffer[200];
    EXPECT_EQ(reader.decompress(nullptr, 100), 0u);
    EXPECT_EQ(reader.decompress(buffer, 0), 0u);
    EXPECT_TRUE(read_all(reader, sizeof buffer) == text);
}

TEST_F(DaxUnZipTest, ReuseAfterResetHoldsNothingOfTheEarlierFile)
{
    Bytes large_text, small_text, plain_text;
    const std::string large = write("large.gz", build({{true, 900000}, {true, 900000}}, 11, &large_text));
    const std::string small = write("small.gz", build({{true, 30000}, {true, 123}}, 12, &small_text));
    const std::string plain = write("plain.gz", build({{false, 40000}}, 13, &plain_text));

    DaxUnZip reader(4);
    for (const auto& [path, text] : {std::pair{large, &large_text}, std::pair{small, &small_text},
                                     std::pair{plain, &plain_text}, std::pair{large, &large_text}}) {
        SCOPED_TRACE(path);
        reader.reset();
        reader.setfilepath(path);
        ASSERT_TRUE(reader.create());
        EXPECT_TRUE(read_all(reader, 1 << 20) == *text);
    }
}

TEST_F(DaxUnZipTest, CreateTwiceChangesNothing)
{
    Bytes text;
    const std::string path = write("twice.gz", build({{true, 3000}}, 21, &text));
    DaxUnZip reader(path, 2);
    EXPECT_FALSE(reader.is_created());
    ASSERT_TRUE(reader.create());
    unsigned char buffer[1000];
    ASSERT_EQ(reader.decompress(buffer, sizeof buffer), sizeof buffer);
    EXPECT_FALSE(reader.create());
    EXPECT_TRUE(reader.is_created());
    const Bytes rest = read_all(reader, 4096);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), text.begin() + sizeof buffer, text.end()));
}

TEST_F(DaxUnZipTest, ErrorsBeforeCreate)
{
    unsigned char buffer[16];
    DaxUnZip reader(2);
    try {
        reader.decompress(buffer, sizeof buffer);
        ADD_FAILURE() << "read before create";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Object must first be initialized.");
    }

    const std::string missing = (folder_ / "missing.gz").string();
    reader.setfilepath(missing);
    try {
        reader.create();
        ADD_FAILURE() << "missing file opened";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "Open " + missing + " failed.");
    }
    EXPECT_FALSE(reader.is_created());
    EXPECT_THROW(reader.decompress(buffer, sizeof buffer), std::runtime_error);

    const std::string folder = folder_.string();
    reader.setfilepath(folder);
    try {
        reader.create();
        ADD_FAILURE() << "folder opened";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "Open " + folder + " failed.");
    }

    // After a reset the object must be created again.
    const std::string path = write("one.gz", build({{true, 10}}, 1));
    reader.setfilepath(path);
    ASSERT_TRUE(reader.create());
    reader.reset();
    EXPECT_FALSE(reader.is_created());
    EXPECT_THROW(reader.decompress(buffer, sizeof buffer), std::runtime_error);
}

TEST_F(DaxUnZipTest, RejectsFewerThanOneThread)
{
    for (int threads : {0, -3}) {
        try {
            DaxUnZip reader(threads);
            ADD_FAILURE() << threads << " threads accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Invalid argument to initializer.");
        }
        try {
            DaxUnZip reader("any.gz", threads);
            ADD_FAILURE() << threads << " threads accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Invalid argument to initializer.");
        }
    }
}

TEST_F(DaxUnZipTest, DamagedFilesAreFormatErrors)
{
    // Four 'B','S' members; damage() changes the file built from them.
    const std::vector<Piece> sound = {{true, 50000}, {true, 40000}, {true, 30000}, {true, 20000}};
    const Bytes file = build(sound, 31);
    std::vector<std::size_t> offsets;
    for (std::size_t at = 0; at < file.size(); at += u32_at(file, at + 16))
        offsets.push_back(at);
    ASSERT_EQ(offsets.size(), 4u);
    const std::size_t second = offsets[1];
    const std::size_t second_end = offsets[2];

    const Bytes plain = plain_member(make_text(30000, 41));

    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
    };
    const std::vector<Case> cases = {
        {"member size 0", [&](Bytes& f) { put_u32(f, second + 16, 0); }},
        {"member size 27", [&](Bytes& f) { put_u32(f, second + 16, 27); }},
        {"member size past the end",
         [&](Bytes& f) { put_u32(f, offsets[3] + 16, static_cast<std::uint32_t>(f.size() - offsets[3] + 1)); }},
        {"truncated file", [](Bytes& f) { f.erase(f.end() - 10, f.end()); }},
        {"garbage ISIZE", [&](Bytes& f) { put_u32(f, second_end - 4, 0xFFFFFFFF); }},
        {"ISIZE off by one", [&](Bytes& f) { put_u32(f, second_end - 4, u32_at(f, second_end - 4) + 1); }},
        {"bad deflate data", [&](Bytes& f) { std::fill(f.begin() + second + 40, f.begin() + second + 90, 0xFF); }},
        {"CRC mismatch", [&](Bytes& f) { f[second_end - 8] ^= 0x10; }},
        {"trailing bytes in a member",
         [&](Bytes& f) {
             // The member's trailer written twice, and its size grown to match: the
             // deflate data ends 8 bytes before the member does.
             const Bytes trailer(f.begin() + second_end - 8, f.begin() + second_end);
             f.insert(f.begin() + second_end, trailer.begin(), trailer.end());
             put_u32(f, second + 16, u32_at(f, second + 16) + 8);
         }},
        {"other bytes",
         [](Bytes& f) {
             f.assign({'n', 'o', 't', ' ', 'g', 'z', 'i', 'p', ' ', 'a', 't',
                       ' ', 'a', 'l', 'l', '.', '.', '.', '.', '.', '.'});
         }},
        {"wrong magic", [](Bytes& f) { f[0] = 0x1E; }},
        {"short header", [](Bytes& f) { f.erase(f.begin() + 12, f.end()); }},
        {"foreign extra subfield", [&](Bytes& f) { f[second + 13] = 'C'; }},
        {"garbage after block members", [](Bytes& f) { f.insert(f.end(), 30, 'x'); }},
        {"garbage after ordinary member",
         [&](Bytes& f) {
             append(f, plain);
             f.insert(f.end(), 30, 'x');
         }},
        {"truncated ordinary member",
         [&](Bytes& f) {
             append(f, plain);
             f.erase(f.end() - 5, f.end());
         }},
        {"ordinary member CRC mismatch",
         [&](Bytes& f) {
             append(f, plain);
             f[f.size() - 8] ^= 0x01;
         }},
        {"one ordinary member, bad data",
         [&](Bytes& f) {
             f = plain;
             std::fill(f.begin() + 30, f.begin() + 60, 0xFF);
         }},
    };

    DaxUnZip reader(4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = file;
        c.damage(damaged);
        const std::string path = write("damaged.gz", damaged);
        reader.reset();
        reader.setfilepath(path);
        ASSERT_TRUE(reader.create());
        expect_format_error(reader, path);
    }

    // The same object reads a sound file afterwards.
    Bytes text;
    const std::string path = write("sound.gz", build(sound, 51, &text));
    reader.reset();
    reader.setfilepath(path);
    ASSERT_TRUE(reader.create());
    EXPECT_TRUE(read_all(reader, 1 << 20) == text);
}

TEST_F(DaxUnZipTest, GarbageSizesAllocateNothing)
{
    // Hundreds of small members each claiming 4 GiB of text: refused before any output is
    // sized, so this is a format error and not an allocation failure.
    Bytes file;
    for (int i = 0; i < 300; ++i) {
        Bytes member = block_member(make_text(100, static_cast<unsigned>(i)));
        put_u32(member, member.size() - 4, 0xFFFFFFFF);
        append(file, member);
    }
    const std::string path = write("huge.gz", file);
    DaxUnZip reader(path, 2);
    ASSERT_TRUE(reader.create());
    expect_format_error(reader, path);
}

TEST_F(DaxUnZipTest, FailedFileLeavesNoJobBehind)
{
    // The first member is damaged and many large ones follow, so jobs are still inflating
    // when the damage is found. Reading the next file at once must give exactly its bytes.
    std::vector<Piece> pieces(40, Piece{true, 250000});
    Bytes damaged = build(pieces, 61);
    damaged[u32_at(damaged, 16) - 8] ^= 0x01;
    const std::string bad = write("bad.gz", damaged);
    Bytes text;
    const std::string good = write("good.gz", build(pieces, 71, &text));

    DaxUnZip reader(6);
    for (int round = 0; round < 3; ++round) {
        reader.reset();
        reader.setfilepath(bad);
        ASSERT_TRUE(reader.create());
        expect_format_error(reader, bad);
        reader.reset();
        reader.setfilepath(good);
        ASSERT_TRUE(reader.create());
        EXPECT_TRUE(read_all(reader, 1 << 22) == text);
    }
}

TEST_F(DaxUnZipTest, LimitInflatesOnlyWhatItReaches)
{
    // Three members each of block and ordinary storage; the third one damaged, so that
    // inflating it would fail.
    struct Case {
        const char* name;
        bool block;
        std::uint64_t limit;
        bool at_end; // after reading up to the limit
    };
    const Case cases[] = {
        {"block, inside the first member", true, 1000, false},
        {"block, up to the end of the second", true, 90000, false},
        {"ordinary, inside the first member", false, 1000, false},
        {"ordinary, inside the second", false, 60000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes text;
        Bytes file = build({{c.block, 50000}, {c.block, 40000}}, 81, &text);
        Bytes damaged = build({{c.block, 30000}}, 82);
        std::fill(damaged.begin() + 40, damaged.begin() + 90, 0xFF);
        append(file, damaged);
        const std::string path = write("limited.gz", file);

        DaxUnZip reader(path, 3);
        ASSERT_TRUE(reader.create());
        reader.set_limit(c.limit);
        EXPECT_GE(reader.remaining_bound(), text.size() + 30000);
        Bytes read(c.limit);
        ASSERT_EQ(reader.decompress(read.data(), c.limit), c.limit);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), text.begin()));
        EXPECT_EQ(reader.at_end(), c.at_end);
        EXPECT_GE(reader.remaining_bound(), text.size() + 30000 - c.limit);
        // Without the limit the damage is found.
        reader.set_limit(UINT64_MAX);
        expect_format_error(reader, path);
    }

    // Read up to the end of the data, the reader knows there is nothing more.
    for (bool block : {true, false}) {
        Bytes text;
        const std::string path = write("whole.gz", build({{block, 50000}, {block, 40000}}, 83, &text));
        DaxUnZip reader(path, 3);
        ASSERT_TRUE(reader.create());
        reader.set_limit(text.size());
        Bytes read(text.size());
        ASSERT_EQ(reader.decompress(read.data(), read.size()), read.size());
        EXPECT_TRUE(reader.at_end()) << block;
    }
}
