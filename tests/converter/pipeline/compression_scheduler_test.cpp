// The hand-off of a lane's tiles from its main thread to its writer: the writer gets them in
// the order they were added, each once every bundle of it is compressed and handed back, a
// tile that failed marked so, and a writer that ends refuses further tiles. Every wait is
// guarded, so that a hang fails instead of stalling. Also run under ThreadSanitizer.
#include "converter/pipeline/compression_scheduler.h"

#include "converter/app/config.h"
#include "tests/converter/pipeline/gzip_members.h"
#include "tests/support/time_limit.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using test_support::within_time_limit;
using Tile = CompressionScheduler::Tile;

std::string text_of(int tile, int bundle)
{
    return "tile " + std::to_string(tile) + " bundle " + std::to_string(bundle) + "\n";
}

// A tile of bundles whose texts name the tile and the bundle.
std::shared_ptr<Tile> make_tile(const Config& config, int tile, int bundles)
{
    auto made = std::make_shared<Tile>();
    for (int b = 0; b < bundles; ++b) {
        const std::string text = text_of(tile, b);
        auto bundle = std::make_shared<FastqSpotBundle>(config);
        bundle->formatted.assign(text.begin(), text.end());
        bundle->formatted_size = text.size();
        made->bundles.push_back(std::move(bundle));
    }
    return made;
}

// What the writer finds in each tile it takes: "failed", or its members' texts, each once its
// own text buffer was taken back.
std::vector<std::string> take_tiles(CompressionScheduler& compression)
{
    std::vector<std::string> taken;
    for (std::shared_ptr<Tile> tile; compression.next(tile);) {
        std::string found = tile->failed() ? "failed" : "";
        for (const auto& bundle : tile->bundles) {
            const auto* member = reinterpret_cast<const unsigned char*>(bundle->compressed.data());
            std::string text;
            if (!tile->failed() && bundle->formatted.empty() &&
                gzip_members::inflate_member(member, bundle->compressed_size, text))
                found += text;
        }
        taken.push_back(found);
    }
    return taken;
}

TEST(CompressionScheduler, HandsTilesToTheWriterInOrderOnceCompressed)
{
    const Config config;
    CompressionScheduler compression(true, [](FastqSpotBundle& bundle) {
        if (std::string(bundle.formatted.data(), bundle.formatted_size) == text_of(2, 1))
            throw std::runtime_error("bad bundle");
        bundle.formatted = {};
    });
    auto writer = std::async(std::launch::async, [&] { return take_tiles(compression); });
    within_time_limit(
        [&] {
            for (int tile = 0; tile < 5; ++tile) {
                // The writer has taken the tile before and waits for its compression, which adding
                // this one finishes (throwing its error), on this thread when it is the only one.
                EXPECT_TRUE(test_support::eventually([&] { return compression.queued_bundles() == 0; }));
                if (tile == 3)
                    EXPECT_THROW(compression.add(make_tile(config, tile, 3)), std::runtime_error);
                else
                    EXPECT_TRUE(compression.add(make_tile(config, tile, 3)));
            }
            EXPECT_TRUE(compression.wait_for_room(0));
            EXPECT_EQ(compression.queued_bundles(), 0u);
            compression.finish();
            compression.close();
        },
        "compression scheduler");
    std::vector<std::string> expected;
    for (int tile = 0; tile < 5; ++tile)
        expected.push_back(tile == 2 ? "failed" : text_of(tile, 0) + text_of(tile, 1) + text_of(tile, 2));
    EXPECT_EQ(within_time_limit(writer, "writer"), expected);
}

TEST(CompressionScheduler, WriterThatCancelsStopsTheMainThread)
{
    const Config config;
    CompressionScheduler compression(true, [](FastqSpotBundle&) {});
    auto writer = std::async(std::launch::async, [&] {
        std::shared_ptr<Tile> tile;
        const bool took = compression.next(tile);
        compression.cancel();
        return took;
    });
    within_time_limit(
        [&] {
            EXPECT_TRUE(compression.add(make_tile(config, 0, 2)));
            // The writer waits for the compression, which may run on this thread only.
            compression.finish();
            EXPECT_TRUE(within_time_limit(writer, "writer"));
            EXPECT_FALSE(compression.add(make_tile(config, 1, 2)));
        },
        "compression scheduler");
}

} // namespace
