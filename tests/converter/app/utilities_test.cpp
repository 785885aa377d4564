// Read roles, file helpers, sequence variants and text helpers.
#include "converter/app/utilities.h"

#include "common/csv_text.h"
#include "converter/app/config.h"
#include "converter/app/logger.h"

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

TEST(ReadRoles, FollowTheConfiguredRanges)
{
    struct Case {
        int read;
        const char* label;
        int read_number;
        bool index;
        int index_number;
    };
    Config config;
    config.R1_range = {1, 1, 151};
    config.I1_range = {2, 1, 8};
    config.I2_range = {3, 1, 8};
    config.R2_range = {4, 1, 151};
    for (const Case& c : {Case{1, "Read1", 1, false, 0}, Case{2, "Index1", 0, true, 1}, Case{3, "Index2", 0, true, 2},
                          Case{4, "Read2", 2, false, 0}, Case{5, "R5", 0, false, 0}}) {
        EXPECT_EQ(get_read_label(config, c.read), c.label) << c.read;
        EXPECT_EQ(get_read_number(config, c.read), c.read_number) << c.read;
        EXPECT_EQ(is_index_read(config, c.read), c.index) << c.read;
        EXPECT_EQ(get_index_number(config, c.read), c.index_number) << c.read;
    }
    // A read that is both an index and a data read is labelled as the index.
    config.I1_range.read = 1;
    EXPECT_EQ(get_read_label(config, 1), "Index1");
    EXPECT_EQ(get_read_number(config, 1), 1);
}

TEST(GenerateMutations, GivesEveryVariantInOrder)
{
    struct Case {
        std::string sequence;
        int start;
        int end;
        bool substitutions, insertions, deletions;
        std::vector<std::string> variants;
    };
    const std::vector<Case> cases = {
        {"AC", 0, 2, true, true, true, {"CC",  "GC",  "TC",  "NC",  "AA",  "AG",  "AT",  "AN", // substitutions
                                        "AAC", "CAC", "GAC", "TAC", "NAC", "AAC", "ACC", "AGC",
                                        "ATC", "ANC",                                            // insertions
                                        "ACA", "ACC", "ACG", "ACT", "ACN", "C",   "A",   "AC"}}, // deletions
        // Deletions start at 0 whatever the start; the end past the sequence is clamped.
        {"ACG", 2, 9, false, false, true, {"CG", "AG", "AC", "ACG"}},
        // An end inside the sequence limits every kind.
        {"ACGT",
         1,
         2,
         true,
         true,
         true,
         {"AAGT", "AGGT", "ATGT", "ANGT", "AACGT", "ACCGT", "AGCGT", "ATCGT", "ANCGT", "ACAGT", "ACCGT", "ACGGT",
          "ACTGT", "ACNGT", "CGT", "AGT", "ACT"}},
        {"AC", 0, 2, false, false, false, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> out = {"kept"};
        generate_mutations(c.sequence, c.start, c.end, c.substitutions, c.insertions, c.deletions, out);
        std::vector<std::string> expected = {"kept"};
        expected.insert(expected.end(), c.variants.begin(), c.variants.end());
        EXPECT_EQ(out, expected) << c.sequence << " " << c.start << ".." << c.end;
    }
}

// A fresh folder and a logger writing into a string for each test.
class FileHelpersTest : public ::testing::Test {
protected:
    void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

    test_support::TempDir dir_{"quillon-utilities"};
    const fs::path folder_ = dir_.path();
    test_support::LogCapture log_;
};

TEST_F(FileHelpersTest, ReadFileTakesOnlyRegularFiles)
{
    const std::string bytes("a\0b\r\nc\xff", 7);
    write(folder_ / "data.bin", bytes);
    write(folder_ / "empty", "");
    std::string out = "old";
    ASSERT_TRUE(read_file(folder_ / "data.bin", out));
    EXPECT_EQ(out, bytes);
    ASSERT_TRUE(read_file(folder_ / "empty", out));
    EXPECT_EQ(out, "");

    for (const fs::path& bad : {folder_, folder_ / "missing"}) {
        out = "old";
        EXPECT_FALSE(read_file(bad, out)) << bad;
        EXPECT_EQ(out, "old");
    }
}

TEST_F(FileHelpersTest, CopyFileToReplacesOrLogsItsError)
{
    fs::create_directories(folder_ / "from");
    fs::create_directories(folder_ / "to");
    write(folder_ / "from" / "m.csv", "new");
    write(folder_ / "to" / "m.csv", "old and longer");
    ASSERT_TRUE(copy_file_to(folder_ / "from", "m.csv", folder_ / "to"));
    std::string text;
    ASSERT_TRUE(read_file(folder_ / "to" / "m.csv", text));
    EXPECT_EQ(text, "new");
    EXPECT_EQ(log_.text(), "");

    EXPECT_FALSE(copy_file_to(folder_ / "from", "m.csv", folder_ / "absent"));
    const std::string expected = "[ERROR] Cannot copy file 'm.csv' from '" + (folder_ / "from").string() + "' to '" +
                                 (folder_ / "absent").string() + "'\n";
    const std::string logged = log_.text();
    ASSERT_GE(logged.size(), expected.size());
    EXPECT_EQ(logged.substr(logged.size() - expected.size()), expected);
}

TEST_F(FileHelpersTest, NewFolderStructureNeedsABaseCallsFolder)
{
    EXPECT_FALSE(is_new_folder_structure(folder_));
    write(folder_ / "Base_Calls", "");
    EXPECT_FALSE(is_new_folder_structure(folder_));
    fs::remove(folder_ / "Base_Calls");
    fs::create_directories(folder_ / "calls");
    fs::create_directory_symlink(folder_ / "calls", folder_ / "Base_Calls");
    EXPECT_TRUE(is_new_folder_structure(folder_));
    EXPECT_FALSE(is_new_folder_structure(folder_ / "missing"));
}

TEST(SystemErrorMessage, GivesThePlatformText)
{
    EXPECT_EQ(get_system_error_message(ENOENT), "No such file or directory");
    const std::string unknown = get_system_error_message(987654);
    EXPECT_NE(unknown.find("987654"), std::string::npos) << unknown;
}

TEST(SplitString, KeepsEveryFieldUpToTheFirstZeroByte)
{
    struct Case {
        std::string text;
        std::vector<std::string> fields;
    };
    const std::vector<Case> cases = {
        {"a,b,c", {"a", "b", "c"}},
        {"", {""}},
        {",,", {"", "", ""}},
        {"a,", {"a", ""}},
        {std::string("a,b\0,c", 6), {"a", "b"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> out = {"stale"};
        EXPECT_EQ(split_string(c.text, out, ','), static_cast<int>(c.fields.size()));
        EXPECT_EQ(out, c.fields);
    }
}

TEST(UtilityTrim, RemovesBlanksAndHighBytesEverywhere)
{
    std::string text = " a\tb\x80"
                       "c\x7f d\r\n\xff";
    EXPECT_EQ(utility::trim(text), "abcd");
    EXPECT_EQ(text, "abcd");
    // The sheets' trim of the same text is still reachable and only strips the ends.
    std::string padded = "  x y  ";
    EXPECT_EQ(trim(padded), "x y");
}

} // namespace
