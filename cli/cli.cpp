// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.hpp"

#include <optional>
#include <ostream>

#include <cstdlib>

#include "cli/png_loader.hpp"
#include "core_types/version.hpp"
#include "file_io/file_io.hpp"
#include "lap_document/lap_document.hpp"
#include "lap_load/calc_lap.hpp"
#include "lap_template/page_plan.hpp"
#include "lap_template/template_files.hpp"

namespace dz {

namespace {

constexpr const char* USAGE =
    "usage: doroziri-cli [--leaves N] [--efficiency PCT] [--lap stroke|spindle]\n"
    "                    [--design classic|fit] [--free-focus]\n"
    "                    [--txt FILE] [--dxf FILE] [--png FILE]\n"
    "                    [--check FILE] [--check-png FILE] [--lap-dxf FILE]\n"
    "                    [--svg FILE] [--pdf FILE [--paper a4|letter]] SURFACE_FILE\n"
    "       doroziri-cli --help | --version\n"
    "Try 'doroziri-cli --help' for more.\n";

constexpr const char* HELP =
    "doroziri-cli - the leaf outline of a star-shaped polishing lap, without a window.\n"
    "\n"
    "usage: doroziri-cli [OPTIONS] SURFACE_FILE\n"
    "\n"
    "Reads SURFACE_FILE (\".srf\" is appended when the name's fourth-last character\n"
    "is not \".\"), solves the zone wear system of a 2/5-stroke lap for the leaf\n"
    "profile, smooths it, builds the outline of one leaf and writes the exports.\n"
    "The options are applied after the load, in this order, as the window's\n"
    "commands would apply them:\n"
    "\n"
    "  --lap stroke|spindle  lap type: \"2/5 Stroke\" (the smoothed profile, the\n"
    "                        default) or \"Spindle\" (the measured values); resets\n"
    "                        the efficiency to 100\n"
    "  --leaves N            number of leaves, 1 or more (default 4)\n"
    "  --efficiency PCT      efficiency in percent, more than 0 (default 100)\n"
    "  --design classic|fit  how the leaf widths of a \"2/5 Stroke\" lap are chosen:\n"
    "                        \"classic\" (the default: the solved profile, smoothed\n"
    "                        and lifted to zero) or \"fit\" (the widths that leave\n"
    "                        the least predicted residual, see below); \"Spindle\"\n"
    "                        laps are always classic\n"
    "  --free-focus          let the fit and the predicted removal also take off a\n"
    "                        term in the square of the radius (a small change of\n"
    "                        the radius of curvature); off by default\n"
    "  --txt FILE            write the text export (caption, header, one line per\n"
    "                        zone: radius in mm, x/radius, y/radius of the leaf edge\n"
    "                        as drawn, of the fitted outline under --design fit)\n"
    "  --dxf FILE            write the half-leaf outline in millimetres as DXF\n"
    "  --png FILE            write the lap plot (641 x 341 pixels) as PNG\n"
    "  --check FILE          write the predicted removal of the lap as set: the\n"
    "                        caption, the design (with the fit or the free focus),\n"
    "                        the measured RMS and P-V, the RMS and P-V left and\n"
    "                        the share of the RMS left, then a header and\n"
    "                        one line per zone: radius in mm, measured value, leaf\n"
    "                        width (fraction of the pitch), predicted removal,\n"
    "                        residual (measured - predicted)\n"
    "  --check-png FILE      write the chart of the predicted removal as PNG\n"
    "  --lap-dxf FILE        write the whole lap at full size as DXF for cutting:\n"
    "                        millimetres ($INSUNITS 4), each leaf a closed polyline\n"
    "                        and the rim a circle on layer CUT, the centre mark and\n"
    "                        the notes on layer NOTES\n"
    "  --svg FILE            write the whole lap at 1:1 as SVG (size in mm; each leaf\n"
    "                        a closed path, the part cut away shaded grey)\n"
    "  --pdf FILE            write a printable 1:1 template: one page when the lap\n"
    "                        fits, else tiles with an overlap, alignment marks and\n"
    "                        row/column labels; a 100 mm scale bar (and a 4-inch\n"
    "                        one on letter paper) and a title block on every page.\n"
    "                        Print at 100 % (\"actual size\") and measure the bar.\n"
    "  --paper a4|letter     paper of --pdf; by default letter when the locale's\n"
    "                        country (LC_ALL, LC_PAPER, LANG) is US or CA, else A4\n"
    "  --help                show this text\n"
    "  --version             show the version and the licence\n"
    "\n"
    "The predicted removal is the lap's wear by the program's own model (the wear\n"
    "matrix of the 2/5 stroke applied to the leaf widths; for \"Spindle\" the widths\n"
    "themselves), scaled by the polishing time and shifted by the piston that fit\n"
    "the measured values best in the area-weighted least-squares sense (time 0 when\n"
    "the lap could only add glass). RMS values are area-weighted, about the mean.\n"
    "It is a guide for comparing designs and settings, not a promise about a\n"
    "particular mirror.\n"
    "\n"
    "The fit (--design fit) chooses the width of every zone, the polishing time and\n"
    "the piston together for the least area-weighted squared residual by that same\n"
    "model, so it is judged by the model it was made with. Each width stays between\n"
    "a floor and the whole pitch: floor = max(0.10, 1 - efficiency / 100), so a\n"
    "lower efficiency keeps more of the lap (0.20 at 80 %), as in the classic\n"
    "design. The outline stays cuttable: sampled at 50 radii its second derivative\n"
    "by the normalised radius stays within 40, or within the classic design's own\n"
    "value on the same file and settings where that is larger, and free of waves\n"
    "finer than the model resolves: a roughness penalty is added, the strongest of\n"
    "a fixed ladder whose fit leaves at most 1 percentage point (or 5 % of it,\n"
    "whichever is more) more of the RMS than the fit without it, and no larger\n"
    "P-V than that fit or the measured surface. A zone at radius 0, which the area\n"
    "weights ignore, weighs in the fit as the disc it stands for, and its residual\n"
    "is held within 95 % of the measured P-V of every other zone's (or their\n"
    "measured difference, where larger). The DXF caption then reads\n"
    "\"2/5 Stroke Tessaro, least-squares fit, ...\".\n"
    "\n"
    "FILE may be '-' for standard output. With no export option the text export is\n"
    "written to standard output. Numbers on the command line, in the surface file\n"
    "and in the text export use the decimal separator of the locale (LC_ALL,\n"
    "LC_NUMERIC, LANG) as this system has it installed (a locale that is not\n"
    "installed gives a period, as in the window); the DXF export always uses a\n"
    "period.\n"
    "\n"
    "An existing FILE is replaced only when the new one is complete: the export is\n"
    "written to a temporary file .NAME.doroziri-XXXXXX.tmp beside it, synced and\n"
    "renamed over it, so a failed or killed run leaves the old file as it was (a\n"
    "link is followed, the permissions are kept; a device or FIFO is written\n"
    "directly). Two exports to one file, and an export onto SURFACE_FILE itself,\n"
    "are refused before anything is written.\n"
    "\n"
    "Surface file format (text; LF or CR LF line ends):\n"
    "  line 1   caption of the plot\n"
    "  line 2   not read\n"
    "  line 3   the target parameter b (first number on the line)\n"
    "  line 4   the target parameter R (first number on the line)\n"
    "  line 5   not read\n"
    "  line 6.. one zone per line: zone radius in mm, a second number (not used),\n"
    "           measured value; numbers separated by spaces or tabs; at most 500\n"
    "           zones; the last line is the outermost zone.\n"
    "SURFACE_FILE must be a file (not a FIFO or a device), in plain text (UTF-16\n"
    "is refused). Radii that are negative, beyond the last zone's, repeated or out\n"
    "of ascending order, and a Ctrl-Z before the last line, are read as they stand\n"
    "with one warning line on standard error.\n"
    "\n"
    "Bad input: a file that cannot be read gives \"NAME not found, try again.\";\n"
    "a third line that is not a number, a fourth line or a zone line with a word\n"
    "where a number belongs, more than 500 zones, or values that cannot be solved\n"
    "are refused with a message naming the line or the solver's status, and\n"
    "nothing is written. A number written with the other decimal separator than\n"
    "the locale's is refused too; the message then says which one the locale\n"
    "asks for. --leaves below 1 and --efficiency of 0 or less are refused.\n"
    "\n"
    "The whole-lap outputs are drawn from the leaf widths of the current settings.\n"
    "Widths below zero (an efficiency above what the profile allows makes the\n"
    "edges cross) are drawn as they are, with a warning on standard error. The\n"
    "half-leaf --dxf file declares no units and carries reference lines: a CAM\n"
    "program must be set to millimetres and told to skip them; --lap-dxf needs\n"
    "neither.\n"
    "\n"
    "Exit status: 0 success, 1 the file could not be loaded or written (the\n"
    "message is on standard error), 2 a wrong option or two exports to one file.\n";

// An export file and the option that named it.
struct NamedOutput {
    std::string option, path;
};

// The refusal when two outputs name one file (or both standard output).
std::optional<std::string> shared_output(const std::vector<NamedOutput>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            if (!same_output(outputs[i].path, outputs[j].path)) continue;
            return outputs[i].option + " " + outputs[i].path + " and " + outputs[j].option + " " +
                   outputs[j].path + " name the same file; give each export a file of its own.";
        }
    }
    return std::nullopt;
}

// Version and licence, for --version.
void write_version(std::ostream& out) {
    out << "doroziri-cli " << DOROZIRI_VERSION << "\n"
        << "Licence: GPL-3.0-or-later (GNU General Public License, version 3 or any later\n"
        << "version). There is NO WARRANTY, to the extent permitted by law.\n";
}

struct Options {
    std::optional<std::string> leaves, efficiency, lap, design, txt, dxf, png, check, check_png, lap_dxf, svg, pdf,
        paper;
    bool free_focus = false;
    std::string surface;
};

// Writes `bytes` to FILE or, for "-", to standard output.
std::optional<std::string> write_output(const std::string& path, const std::string& bytes, std::ostream& out) {
    if (path == "-") {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) return std::string("Cannot write to standard output.");
        return std::nullopt;
    }
    return write_file_replace(path, bytes);
}

}  // namespace

int run_cli(const std::vector<std::string>& args, char decimal_separator, std::ostream& out, std::ostream& err) {
    Options options;
    bool have_surface = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out << HELP;
            return 0;
        }
        if (arg == "--version") {
            write_version(out);
            return 0;
        }
        if (arg == "--free-focus") {
            options.free_focus = true;
            continue;
        }
        std::optional<std::string>* slot = nullptr;
        if (arg == "--design") slot = &options.design;
        else if (arg == "--leaves") slot = &options.leaves;
        else if (arg == "--efficiency") slot = &options.efficiency;
        else if (arg == "--lap") slot = &options.lap;
        else if (arg == "--txt") slot = &options.txt;
        else if (arg == "--dxf") slot = &options.dxf;
        else if (arg == "--png") slot = &options.png;
        else if (arg == "--check") slot = &options.check;
        else if (arg == "--check-png") slot = &options.check_png;
        else if (arg == "--lap-dxf") slot = &options.lap_dxf;
        else if (arg == "--svg") slot = &options.svg;
        else if (arg == "--pdf") slot = &options.pdf;
        else if (arg == "--paper") slot = &options.paper;
        if (slot != nullptr) {
            if (i + 1 >= args.size()) {
                err << "doroziri-cli: " << arg << " needs a value\n" << USAGE;
                return 2;
            }
            *slot = args[++i];
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            err << "doroziri-cli: unknown option " << arg << "\n" << USAGE;
            return 2;
        }
        if (have_surface) {
            err << "doroziri-cli: only one surface file can be given\n" << USAGE;
            return 2;
        }
        options.surface = arg;
        have_surface = true;
    }
    if (!have_surface) {
        err << "doroziri-cli: no surface file given\n" << USAGE;
        return 2;
    }
    bool spindle = false;
    if (options.lap) {
        if (*options.lap == "stroke") spindle = false;
        else if (*options.lap == "spindle") spindle = true;
        else {
            err << "doroziri-cli: --lap takes stroke or spindle\n" << USAGE;
            return 2;
        }
    }
    LapDesign design = LapDesign::classic;
    if (options.design) {
        if (*options.design == "classic") design = LapDesign::classic;
        else if (*options.design == "fit") design = LapDesign::fit;
        else {
            err << "doroziri-cli: --design takes classic or fit\n" << USAGE;
            return 2;
        }
    }

    Paper paper = environment_paper();
    if (options.paper) {
        const auto chosen = parse_paper(*options.paper);
        if (!chosen) {
            err << "doroziri-cli: --paper takes a4 or letter\n" << USAGE;
            return 2;
        }
        paper = *chosen;
    }

    // Every file this run writes, with the option that names it; two that
    // name one file are refused before anything is read or written.
    std::vector<NamedOutput> outputs;
    if (options.txt) outputs.push_back({"--txt", *options.txt});
    if (options.dxf) outputs.push_back({"--dxf", *options.dxf});
    if (options.png) outputs.push_back({"--png", *options.png});
    if (options.check) outputs.push_back({"--check", *options.check});
    if (options.check_png) outputs.push_back({"--check-png", *options.check_png});
    if (options.lap_dxf) outputs.push_back({"--lap-dxf", *options.lap_dxf});
    if (options.svg) outputs.push_back({"--svg", *options.svg});
    if (options.pdf) outputs.push_back({"--pdf", *options.pdf});
    if (const auto clash = shared_output(outputs)) {
        err << "doroziri-cli: " << *clash << "\n";
        return 2;
    }

    // Load, as the window's command line does; an export onto the surface
    // file itself is refused before anything is computed.
    LapDocument doc(decimal_separator);
    std::vector<std::string> paths;
    for (const NamedOutput& output : outputs) paths.push_back(output.path);
    auto refuse = [&](const std::string& message) {
        err << message << "\n";
        return 1;
    };
    if (auto failure = doc.open(surface_file_name(options.surface), paths).refused) return refuse(*failure);
    if (!doc.load_warning().empty()) err << doc.load_warning() << "\n";

    // The lap type, the number of leaves and the efficiency, in that order,
    // then the design of the settings as they stand: the fit is made once.
    try {
        if (options.lap) {
            if (auto failure = doc.set_lap_type(spindle).refused) return refuse(*failure);
        }
        if (options.leaves) {
            if (auto failure = doc.set_num_leaves(doc.read_leaves(*options.leaves)).refused) return refuse(*failure);
        }
        if (options.efficiency) {
            if (auto failure = doc.set_efficiency(doc.read_efficiency(*options.efficiency)).refused) {
                return refuse(*failure);
            }
        }
    } catch (const ConversionError& e) {
        return refuse(e.what());
    }
    if (auto failure = doc.set_design(design, options.free_focus).fit_failed) return refuse(*failure);

    // The exports, after what refuses them and the warning they all share.
    const WorkingState& ws = doc.state();
    if (auto failure = options.pdf ? printed_template_refusal(ws, paper, decimal_separator)
                       : (options.lap_dxf || options.svg) ? template_refusal(ws, decimal_separator) : std::nullopt) {
        return refuse(*failure);
    }
    if (auto failure = options.check || options.check_png ? removal_range_refusal(ws, decimal_separator) : std::nullopt) {
        return refuse(*failure);
    }
    if (const std::string crossed = doc.template_warning(); !crossed.empty()) err << crossed << "\n";
    const bool any_template = options.lap_dxf || options.svg || options.pdf;
    const bool any_export =
        options.txt || options.dxf || options.png || options.check || options.check_png || any_template;
    if (options.txt || !any_export) {
        if (auto failure = write_output(options.txt.value_or("-"), doc.text_bytes(), out)) return refuse(*failure);
    }
    if (options.dxf) {
        if (auto failure = write_output(*options.dxf, doc.dxf_bytes(), out)) return refuse(*failure);
    }
    if (options.png) {
        if (auto failure = render_png(ws, *options.png, decimal_separator, out)) return refuse(*failure);
    }
    if (options.check) {
        if (auto failure = write_output(*options.check, doc.check_bytes(), out)) return refuse(*failure);
    }
    if (options.check_png) {
        if (auto failure = render_removal_png(ws, doc.removal_check(), *options.check_png, decimal_separator, out)) {
            return refuse(*failure);
        }
    }
    if (any_template) {
        const std::string date = template_date();
        if (options.lap_dxf) {
            if (auto failure = write_output(*options.lap_dxf, doc.lap_dxf_bytes(date), out)) return refuse(*failure);
        }
        if (options.svg) {
            if (auto failure =
                    render_template(ws, TemplateFormat::svg, paper, decimal_separator, date, *options.svg, out)) {
                return refuse(*failure);
            }
        }
        if (options.pdf) {
            if (auto failure =
                    render_template(ws, TemplateFormat::pdf, paper, decimal_separator, date, *options.pdf, out)) {
                return refuse(*failure);
            }
        }
    }
    return 0;
}

}  // namespace dz
