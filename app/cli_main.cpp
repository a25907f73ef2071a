#include <iostream>
#include <string>
#include <vector>

#include "app/cli.hpp"

#ifdef DOROZIRI_PNG_HANDOVER
#include <filesystem>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace {

// The tool is linked statically, which halves its start-up, and so cannot
// load the Qt module that draws the plot. A run that asks for a PNG is
// handed over, arguments and all, to the same tool linked dynamically: next
// to this one (build tree) or in the library folder (installed). Any "--png"
// counts, even one that is the value of another option: the other build
// does exactly what this one would. Returns only when no handover happened.
void hand_over_png_runs(char** argv) {
    bool png = false;
    for (int i = 1; argv[i] != nullptr; ++i) {
        png = png || std::string_view(argv[i]) == "--png";
    }
    if (!png) return;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) return;
    for (const std::filesystem::path& candidate :
         {folder / DOROZIRI_PNG_HANDOVER, folder / ".." / "lib" / "doroziri" / DOROZIRI_PNG_HANDOVER}) {
        execv(candidate.c_str(), argv);  // returns only when it fails
    }
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef DOROZIRI_PNG_HANDOVER
    hand_over_png_runs(argv);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    return dz::run_cli(args, dz::locale_decimal_separator(), std::cout, std::cerr);
}
