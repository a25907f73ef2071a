// SPDX-License-Identifier: GPL-3.0-or-later
// For tests/preston_sim.py: the Preston wear K w of a lap on a surface, by the
// program's own matrix, and the share of the RMS its predicted removal leaves.
//
//   preston_dump SURFACE full|classic|fit STROKE LAP_SIZE [focus] [matrix]
//
// Writes "share\t<share left, %>\t<P-V left>\t<measured P-V>\t<share left by
// the other model, %>", then one line per zone in file order: normalised
// radius, leaf width, K w, measured value, radius in mm, the predicted
// removal (K w after the best time, piston and, with "focus", focus, as the
// check table gives it) and the same widths' predicted removal by the other
// model. With "matrix" the wear model (of the design and the figures) is the
// classic matrix.

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "lap_design/lap_design.hpp"
#include "lap_load/calc_lap.hpp"
#include "removal/removal.hpp"
#include "tests/test_files.hpp"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: preston_dump SURFACE full|classic|fit STROKE LAP_SIZE [focus] [matrix]\n");
        return 2;
    }
    const std::string design = argv[2];
    dz::WorkingState ws;
    ws.WEAR.stroke = std::stod(argv[3]);
    ws.WEAR.lap_size = std::stod(argv[4]);
    for (int a = 5; a < argc; ++a) {
        if (std::string(argv[a]) == "focus") ws.FREE_FOCUS = true;
        if (std::string(argv[a]) == "matrix") ws.WEAR.model = dz::WearLaw::matrix;
    }
    if (const auto failed = dz::CALC_LAP(ws, dz::testing::file_bytes(argv[1]), false, '.')) {
        std::fprintf(stderr, "%s\n", failed->c_str());
        return 1;
    }
    dz::DesignScratch scratch;
    if (design == "fit") {
        if (const auto failed = dz::set_design(ws, scratch, dz::LapDesign::fit, ws.FREE_FOCUS)) {
            std::fprintf(stderr, "%s\n", failed->c_str());
            return 1;
        }
    }
    std::vector<double> widths = dz::leaf_widths(ws);
    if (design == "full") widths.assign(widths.size(), 1.0);
    const dz::WearModel& model = scratch.wear_model(ws);
    const std::vector<double> wear = model.apply(widths);
    const dz::RemovalCheck check = dz::check_removal(ws, model);
    const std::vector<double> rho = dz::normalised_radii(ws);
    const std::vector<double> radius = dz::zone_radii(ws);
    const std::vector<double> measured = dz::measured_values(ws);
    const std::vector<double> weights = dz::area_weights(radius);
    const std::vector<double> focus_rho = ws.FREE_FOCUS ? rho : std::vector<double>{};
    const dz::PredictedRemoval own = dz::predict_removal(wear, measured, weights, ws.FREE_FOCUS, focus_rho);
    const dz::PredictedRemoval other = dz::predict_removal(scratch.other_wear_model(ws).apply(widths), measured,
                                                           weights, ws.FREE_FOCUS, focus_rho);
    std::printf("share\t%.17g\t%.17g\t%.17g\t%.17g\n", check.fit.share_left, check.fit.residual_pv,
                check.fit.measured_pv, check.other_share_left);
    for (std::size_t k = 0; k < rho.size(); ++k)
        std::printf("%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\n", rho[k], widths[k], wear[k], measured[k],
                    radius[k], own.predicted[k], other.predicted[k]);
    return 0;
}
