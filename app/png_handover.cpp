#include "app/png_loader.hpp"

namespace dz {

// The statically linked tool cannot load the Qt module that draws the plot:
// its main() hands a run that asks for a PNG over to doroziri-cli-png, the
// same tool linked dynamically. This is reached only when that failed.
std::optional<std::string> render_png(const WorkingState&, const std::string&, char, std::ostream&) {
    return std::string("The PNG rendering (doroziri-cli-png) cannot be started.");
}

}  // namespace dz
