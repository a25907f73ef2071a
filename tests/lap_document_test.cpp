// SPDX-License-Identifier: GPL-3.0-or-later
// The lap document: the guarded save, the open that changes nothing when it
// fails, and settings that end in the same state whatever their order.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "file_io/file_io.hpp"
#include "lap_document/lap_document.hpp"
#include "tests/state_compare.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"

namespace {

namespace fs = std::filesystem;
using dz::LapDocument;
using dz::testing::differing_fields;
using dz::testing::file_bytes;

const std::string MIRROR = std::string(DOROZIRI_SOURCE_DIR) + "/examples/mirror200.srf";

// A copy of the example in the test's own folder.
fs::path surface_copy(const fs::path& dir) {
    const fs::path surface = dir / "mirror.srf";
    fs::copy_file(MIRROR, surface);
    return surface;
}

TEST(LapDocument_Save, RefusesTheSurfaceByEveryNameWritesElsewhere) {
    const fs::path dir = dz::testing::fresh_test_folder("lap_document_");
    const fs::path surface = surface_copy(dir);
    fs::create_symlink(surface, dir / "link.srf");
    LapDocument doc('.');
    ASSERT_FALSE(doc.open(surface.string()).refused);
    const std::string original = file_bytes(surface);
    const std::string bytes = doc.text_bytes();

    const struct {
        std::string path;
        bool refused;
    } cases[] = {
        {surface.string(), true},
        {(dir / "." / "mirror.srf").string(), true},
        {(dir / "link.srf").string(), true},
        {(dir / "out.txt").string(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const dz::SaveOutcome saved = doc.save(c.path, bytes);
        EXPECT_EQ(saved.failure.has_value(), c.refused);
        EXPECT_EQ(doc.save_refusal(c.path).has_value(), c.refused);
        if (c.refused) {
            EXPECT_EQ(*saved.failure, dz::export_onto_surface_message(c.path));
            EXPECT_TRUE(saved.notice.empty());
        } else {
            EXPECT_EQ(saved.notice, dz::SAVED_NOTICE + c.path);
            EXPECT_EQ(file_bytes(c.path), bytes);
        }
    }
    EXPECT_EQ(file_bytes(surface), original);
}

TEST(LapDocument_Open, RefusalsChangeNothing) {
    const fs::path dir = dz::testing::fresh_test_folder("lap_document_");
    const fs::path surface = surface_copy(dir);
    LapDocument doc('.');
    EXPECT_TRUE(doc.reload().refused == std::nullopt);  // nothing opened yet: nothing to do
    EXPECT_FALSE(doc.state().loaded);

    // An output onto the file is refused before the load.
    const std::vector<std::string> outputs = {"-", surface.string()};
    const dz::DocumentOutcome onto = doc.open(surface.string(), outputs);
    ASSERT_TRUE(onto.refused);
    EXPECT_EQ(*onto.refused, dz::export_onto_surface_message(surface.string()));
    EXPECT_FALSE(doc.state().loaded);
    EXPECT_TRUE(doc.surface_path().empty());

    ASSERT_FALSE(doc.open(surface.string()).refused);
    ASSERT_FALSE(doc.set_num_leaves(6).refused);
    const dz::WorkingState before = doc.state();
    const struct {
        std::string path;
        std::string bytes;  // written first; none for a missing file
    } failing[] = {
        {(dir / "missing.srf").string(), ""},
        {(dir / "words.srf").string(), "caption\n\nnot a number\n1\n\n"},
    };
    for (const auto& f : failing) {
        SCOPED_TRACE(f.path);
        if (!f.bytes.empty()) dz::testing::put_bytes(f.path, f.bytes);
        EXPECT_TRUE(doc.open(f.path).refused);
        EXPECT_EQ(differing_fields(doc.state(), before), std::vector<std::string>{});
        EXPECT_EQ(doc.surface_path(), surface.string());
    }
    // Reload reads the same file again and keeps the settings.
    ASSERT_FALSE(doc.reload().refused);
    EXPECT_EQ(differing_fields(doc.state(), before), std::vector<std::string>{});
}

// The design is applied after every setting, so the state does not depend
// on the order in which the settings were made.
TEST(LapDocument_Settings, OrderDoesNotMatter) {
    using Step = std::function<void(LapDocument&)>;
    const Step fit = [](LapDocument& d) { EXPECT_FALSE(d.set_design(dz::LapDesign::fit, true).fit_failed); };
    const Step efficiency = [](LapDocument& d) { EXPECT_FALSE(d.set_efficiency(d.read_efficiency("85")).refused); };
    const Step leaves = [](LapDocument& d) { EXPECT_FALSE(d.set_num_leaves(d.read_leaves("7")).refused); };
    const Step open = [](LapDocument& d) { EXPECT_FALSE(d.open(MIRROR).refused); };
    const std::vector<std::vector<Step>> orders = {
        {open, fit, efficiency, leaves},
        {open, efficiency, leaves, fit},
        {fit, leaves, open, efficiency},
        {leaves, open, efficiency, fit},
    };
    LapDocument first('.');
    for (const Step& step : orders.front()) step(first);
    ASSERT_TRUE(first.state().fit_drawn());
    EXPECT_EQ(first.state().NUM_LEAVES, 7);
    for (std::size_t i = 1; i < orders.size(); ++i) {
        SCOPED_TRACE(i);
        LapDocument doc('.');
        for (const Step& step : orders[i]) step(doc);
        EXPECT_EQ(differing_fields(doc.state(), first.state()), std::vector<std::string>{});
        EXPECT_EQ(doc.text_bytes(), first.text_bytes());
        EXPECT_EQ(doc.check_bytes(), first.check_bytes());
    }
    // Back to the classic design: the outline of a document that never fitted.
    LapDocument classic('.');
    for (const Step& step : {open, efficiency, leaves}) step(classic);
    ASSERT_FALSE(first.set_design(dz::LapDesign::classic, false).fit_failed);
    EXPECT_EQ(differing_fields(first.state(), classic.state()), std::vector<std::string>{});
}

}  // namespace

namespace {

const std::string WEAR_BEFORE = std::string(DOROZIRI_SOURCE_DIR) + "/examples/wear-before.srf";
const std::string WEAR_AFTER = std::string(DOROZIRI_SOURCE_DIR) + "/examples/wear-after.srf";

// The count of lines of `table` that start with `prefix`.
int lines_starting(const std::string& table, const std::string& prefix) {
    int count = table.starts_with(prefix) ? 1 : 0;
    for (std::size_t at = table.find("\r\n" + prefix); at != std::string::npos; at = table.find("\r\n" + prefix, at + 2)) {
        ++count;
    }
    return count;
}

}  // namespace

// The comparison lasts while the lap it judged is drawn; the rate lasts the
// run, for its own wear model, and puts minutes in the check table.
TEST(LapDocument_Compare, ComparisonGoesWithTheLapRateStays) {
    LapDocument doc('.');
    EXPECT_EQ(*doc.compare(WEAR_AFTER, 45).refused, dz::OPEN_EARLIER_TEST_FIRST);
    ASSERT_FALSE(doc.open(WEAR_BEFORE).refused);
    EXPECT_TRUE(doc.compare(WEAR_AFTER, 0).refused);
    EXPECT_TRUE(doc.compare(WEAR_AFTER + ".missing", 45).refused);
    EXPECT_FALSE(doc.comparison() || doc.rate());

    ASSERT_FALSE(doc.compare(WEAR_AFTER, 45).refused);
    ASSERT_TRUE(doc.comparison() && doc.rate());
    EXPECT_EQ(doc.comparison()->chosen.model, "Preston");
    const std::string table = doc.check_bytes();
    EXPECT_EQ(lines_starting(table, "Rate: "), 2);
    EXPECT_EQ(lines_starting(table, "Polishing time: "), 1);

    // a change of the lap drops the comparison, not the rate
    ASSERT_FALSE(doc.set_design(dz::LapDesign::fit, false).fit_failed);
    EXPECT_FALSE(doc.comparison());
    EXPECT_EQ(lines_starting(doc.check_bytes(), "Rate: "), 0);
    EXPECT_EQ(lines_starting(doc.check_bytes(), "Polishing time: "), 1);

    // the matrix has a rate of its own scale, learnt by the same comparison
    dz::WearSettings matrix = doc.state().WEAR;
    matrix.model = dz::WearLaw::matrix;
    const double preston_rate = *doc.rate();
    ASSERT_FALSE(doc.set_wear(matrix).refused);
    ASSERT_TRUE(doc.rate());
    EXPECT_NE(*doc.rate(), preston_rate);
    EXPECT_TRUE(doc.set_rate(-1).refused);
    ASSERT_FALSE(doc.set_rate(2.5).refused);
    EXPECT_EQ(*doc.rate(), 2.5);
}

// Settings out of range change nothing; in range they stay across loads.
TEST(LapDocument_Wear, RefusedOrKeptAcrossLoads) {
    LapDocument doc('.');
    ASSERT_FALSE(doc.open(MIRROR).refused);
    dz::WearSettings wear;
    wear.stroke = 0.35;
    wear.lap_size = 0.8;
    for (const double stroke : {0.0, -0.2, 1.5, std::nan("")}) {
        dz::WearSettings bad = wear;
        bad.stroke = stroke;
        EXPECT_TRUE(doc.set_wear(bad).refused) << stroke;
        EXPECT_EQ(doc.state().WEAR, dz::WearSettings{});
    }
    ASSERT_FALSE(doc.set_wear(wear).refused);
    ASSERT_FALSE(doc.reload().refused);
    EXPECT_EQ(doc.state().WEAR, wear);
}
