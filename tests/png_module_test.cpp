// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/png_module.hpp"
#include "removal/removal.hpp"
#include "tests/state_compare.hpp"
#include "tests/test_states.hpp"
#include "working_state/working_state.hpp"

namespace {

using dz::testing::drawn_state;


std::uint32_t big_endian(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return v;
}

TEST(PngModule_Render, WritesPlotFromProcessWithoutQt) {
    void* module = dlopen(DOROZIRI_PNG_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    ASSERT_NE(std::string(DOROZIRI_PNG_MODULE).find(dz::PNG_MODULE_FILE), std::string::npos);
    const auto render = reinterpret_cast<dz::RenderPngFunction>(dlsym(module, dz::PNG_RENDER_SYMBOL));
    ASSERT_NE(render, nullptr) << dlerror();

    const auto dir = std::filesystem::temp_directory_path() / ("dz_png_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const dz::WorkingState empty;
    const dz::WorkingState loaded = drawn_state(20, 10);
    const dz::WorkingState loaded_before = loaded;
    for (const dz::WorkingState* ws : {&empty, &loaded}) {
        const std::string path = (dir / "plot.png").string();
        char error[256] = "untouched";
        ASSERT_EQ(render(ws, path.c_str(), ',', error, sizeof error), 0) << error;
        EXPECT_STREQ(error, "");
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 33u);
        EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(bytes.substr(12, 4), "IHDR");
        EXPECT_EQ(big_endian(bytes, 16), 641u);
        EXPECT_EQ(big_endian(bytes, 20), 341u);
        std::filesystem::remove(path);
    }
    // The caller's state is not changed.
    EXPECT_TRUE(dz::testing::differing_fields(loaded_before, loaded).empty());

    // Failures come back as a status and a message cut to the buffer.
    const std::string bad = (dir / "no-such-dir" / "plot.png").string();
    char error[256] = "";
    EXPECT_NE(render(&loaded, bad.c_str(), '.', error, sizeof error), 0);
    EXPECT_NE(std::string(error).find(bad), std::string::npos) << error;
    char small[8] = "";
    EXPECT_NE(render(&loaded, bad.c_str(), '.', small, sizeof small), 0);
    EXPECT_EQ(std::string(small).size(), 7u);
    EXPECT_NE(render(nullptr, bad.c_str(), '.', error, sizeof error), 0);
    EXPECT_NE(render(&loaded, "", '.', error, sizeof error), 0);
    EXPECT_NE(render(&loaded, bad.c_str(), '.', nullptr, 0), 0);

    std::filesystem::remove_all(dir);
    dlclose(module);
}

TEST(PngModule_RenderRemoval, ChartBytesInMemory) {
    void* module = dlopen(DOROZIRI_PNG_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto render =
        reinterpret_cast<dz::RenderRemovalPngBytesFunction>(dlsym(module, dz::REMOVAL_PNG_BYTES_SYMBOL));
    ASSERT_NE(render, nullptr) << dlerror();
    const auto keep = [](void* context, const char* bytes, std::size_t size) {
        static_cast<std::string*>(context)->assign(bytes, size);
    };
    const dz::WorkingState loaded = drawn_state(20, 10);
    const dz::RemovalCheck check = dz::check_removal(loaded, dz::WearModel(loaded));
    const std::string& caption = loaded.PLOT_CAPTION;
    std::string png;
    char error[256] = "untouched";
    ASSERT_EQ(render(&check, caption.data(), caption.size(), ',', keep, &png, error, sizeof error), 0) << error;
    EXPECT_STREQ(error, "");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(big_endian(png, 16), 720u);
    EXPECT_EQ(big_endian(png, 20), 440u);
    // nothing to draw, and nowhere to put it
    std::string none;
    EXPECT_EQ(render(nullptr, caption.data(), caption.size(), '.', keep, &none, error, sizeof error), 2);
    EXPECT_NE(std::string(error), "");
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(render(&check, caption.data(), caption.size(), '.', nullptr, nullptr, error, sizeof error), 2);
    dlclose(module);
}

}  // namespace
