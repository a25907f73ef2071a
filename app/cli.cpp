#include "app/cli.hpp"

#include <cstdlib>
#include <locale>
#include <optional>
#include <ostream>

#include "app/png_loader.hpp"
#include "app/version.hpp"
#include "export/dxf_export.hpp"
#include "export/file_output.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "text_io/tokenizer.hpp"

namespace dz {

namespace {

constexpr const char* USAGE =
    "usage: doroziri-cli [--leaves N] [--efficiency PCT] [--lap stroke|spindle]\n"
    "                    [--txt FILE] [--dxf FILE] [--png FILE] SURFACE_FILE\n"
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
    "  --txt FILE            write the text export (caption, header, one line per\n"
    "                        zone: radius in mm, x/radius, y/radius of the leaf edge)\n"
    "  --dxf FILE            write the half-leaf outline in millimetres as DXF\n"
    "  --png FILE            write the lap plot (641 x 341 pixels) as PNG\n"
    "  --help                show this text\n"
    "  --version             show the version and the licence\n"
    "\n"
    "FILE may be '-' for standard output. With no export option the text export is\n"
    "written to standard output. Numbers on the command line, in the surface file\n"
    "and in the text export use the decimal separator of the locale (LC_ALL,\n"
    "LC_NUMERIC, LANG); the DXF export always uses a period.\n"
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
    "\n"
    "Bad input: a file that cannot be read gives \"NAME not found, try again.\";\n"
    "a third line that is not a number, a fourth line or a zone line with a word\n"
    "where a number belongs, more than 500 zones, or values that cannot be solved\n"
    "are refused with a message naming the line or the solver's status, and\n"
    "nothing is written. A number written with the other decimal separator than\n"
    "the locale's is refused too; the message then says which one the locale\n"
    "asks for. --leaves below 1 and --efficiency of 0 or less are refused.\n"
    "\n"
    "Exit status: 0 success, 1 the file could not be loaded or written (the\n"
    "message is on standard error), 2 a wrong option.\n";

// Version and licence, for --version.
void write_version(std::ostream& out) {
    out << "doroziri-cli " << DOROZIRI_VERSION << "\n"
        << "Licence: GPL-3.0-or-later (GNU General Public License, version 3 or any later\n"
        << "version). There is NO WARRANTY, to the extent permitted by law.\n";
}

struct Options {
    std::optional<std::string> leaves, efficiency, lap, txt, dxf, png;
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
        std::optional<std::string>* slot = nullptr;
        if (arg == "--leaves") slot = &options.leaves;
        else if (arg == "--efficiency") slot = &options.efficiency;
        else if (arg == "--lap") slot = &options.lap;
        else if (arg == "--txt") slot = &options.txt;
        else if (arg == "--dxf") slot = &options.dxf;
        else if (arg == "--png") slot = &options.png;
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

    // Load, as the window's command line does.
    WorkingState ws;
    LoadScratch scratch;
    const std::string name = surface_file_name(options.surface);
    const std::optional<std::string> bytes = read_file(name);
    if (!bytes) {
        err << name << " not found, try again.\n";
        return 1;
    }
    if (auto failure = CALC_LAP(ws, scratch, *bytes, false, decimal_separator)) {
        err << *failure << "\n";
        return 1;
    }

    // The lap type, the number of leaves and the efficiency, in that order.
    auto refuse = [&](const std::string& message) {
        err << message << "\n";
        return 1;
    };
    Tokenizer tokenizer(decimal_separator);
    try {
        if (options.lap) {
            if (auto failure = set_lap_type(ws, spindle)) return refuse(*failure);
        }
        if (options.leaves) {
            std::int32_t leaves = ws.NUM_LEAVES;
            tokenizer.IN_LINE = *options.leaves;
            tokenizer.READ_INT(leaves);
            if (auto failure = set_num_leaves(ws, leaves)) return refuse(*failure);
        }
        if (options.efficiency) {
            Real efficiency = ws.EFFICIENCY;
            tokenizer.IN_LINE = *options.efficiency;
            tokenizer.READ_REAL(efficiency);
            if (auto failure = apply_efficiency(ws, efficiency)) return refuse(*failure);
        }
    } catch (const ConversionError& e) {
        return refuse(e.what());
    }

    // The exports.
    const bool any_export = options.txt || options.dxf || options.png;
    if (options.txt || !any_export) {
        if (auto failure = write_output(options.txt.value_or("-"), text_export(ws, decimal_separator), out)) {
            return refuse(*failure);
        }
    }
    if (options.dxf) {
        if (auto failure = write_output(*options.dxf, dxf_export(ws), out)) return refuse(*failure);
    }
    if (options.png) {
        if (auto failure = render_png(ws, *options.png, decimal_separator, out)) return refuse(*failure);
    }
    return 0;
}

char locale_decimal_separator() {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    // The C locale, in any code set ("C.UTF-8"), writes '.'; it is also the
    // usual one here, and looking it up would cost a millisecond a run.
    if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return '.';
    try {
        const std::locale locale(name);
        const char point = std::use_facet<std::numpunct<char>>(locale).decimal_point();
        return point == ',' ? ',' : '.';
    } catch (const std::exception&) {
        return '.';  // a locale this system does not have
    }
}

}  // namespace dz
