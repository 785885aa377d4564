// The classic framework's blackboard, factory and folder creation.
#include "classic/framework/af_exception.h"
#include "classic/framework/algorithm_factory.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/file_system.h"
#include "classic/framework/log.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

using AlgorithmFramework::Blackboard;
using AlgorithmFramework::Log;
using AlgorithmFramework::Parameters;

TEST(ClassicBlackboard, StoresReplacesChecksTypesAndReportsLeaks)
{
    Log log;
    {
        Blackboard board(log);
        Parameters* first = board.write<Parameters>("parameters");
        (*first)["--input"] = "run";
        EXPECT_EQ(board.read<Parameters>("parameters"), first);
        std::string value;
        board.getParameter("--input", value);
        EXPECT_EQ(value, "run");
        EXPECT_THROW(board.getParameter("--output", value), AlgorithmFramework::AFException);
        EXPECT_EQ(log.errors, 1);

        // A second write of the same type gives a new, empty object.
        EXPECT_TRUE(board.write<Parameters>("parameters")->empty());
        // Another type under the key: an error and std::bad_typeid, for every access.
        EXPECT_THROW(board.write<std::vector<int>>("parameters"), std::bad_typeid);
        EXPECT_THROW(board.read<std::vector<int>>("parameters"), std::bad_typeid);
        EXPECT_THROW(board.erase<std::vector<int>>("parameters"), std::bad_typeid);
        EXPECT_EQ(log.errors, 4);
        board.erase<Parameters>("absent");
        board.write<std::vector<int>>("left");
        board.erase<Parameters>("parameters");
    } // "left" is still stored: one leak error
    EXPECT_EQ(log.errors, 5);
}

TEST(ClassicFactory, UnknownNameGivesAnAlgorithmThatFails)
{
    Log log;
    Blackboard board(log);
    AlgorithmFactory factory(log, board);
    Algorithm* algorithm = factory.get("create_fast");
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(algorithm->name(), "create_fast");
    EXPECT_FALSE(algorithm->run());
    EXPECT_EQ(factory.get("create_fast"), algorithm);
    EXPECT_EQ(log.errors, 1);
}

TEST(ClassicMkdir, MakesEveryParentButNeverTheLastComponent)
{
    test_support::TempDir dir;
    const std::filesystem::path base = dir.path();
    AlgorithmFramework::FileSystem::mkdir((base / "a" / "b" / "c").string());
    EXPECT_TRUE(std::filesystem::is_directory(base / "a" / "b"));
    EXPECT_FALSE(std::filesystem::exists(base / "a" / "b" / "c"));
    AlgorithmFramework::FileSystem::mkdir((base / "d" / "e").string() + "/");
    EXPECT_TRUE(std::filesystem::is_directory(base / "d" / "e"));
    AlgorithmFramework::FileSystem::mkdir("no-separator");
    EXPECT_FALSE(std::filesystem::exists("no-separator"));
}

} // namespace
