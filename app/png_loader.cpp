#include "app/png_loader.hpp"

#include <array>
#include <ostream>
#include <random>
#include <filesystem>
#include <vector>

#include "app/png_module.hpp"
#include "export/file_output.hpp"

#include <dlfcn.h>

namespace dz {

namespace {

namespace fs = std::filesystem;

// The folder of the running executable.
fs::path executable_folder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

constexpr const char* MODULE_FILE = PNG_MODULE_FILE;
void* open_module(const fs::path& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* find_symbol(void* module, const char* name) { return dlsym(module, name); }

}  // namespace

std::optional<std::string> render_png(const WorkingState& ws, const std::string& path, char decimal_separator,
                                      std::ostream& out) {
    // Next to the executable (build tree), or in the library folder (installed).
    const fs::path folder = executable_folder();
    const std::vector<fs::path> candidates = {folder / MODULE_FILE,
                                              folder / ".." / "lib" / "doroziri" / MODULE_FILE};
    void* module = nullptr;
    for (const fs::path& candidate : candidates) {
        if ((module = open_module(candidate)) != nullptr) break;
    }
    if (module == nullptr) {
        return std::string("The PNG rendering module (") + MODULE_FILE + ") cannot be loaded.";
    }
    // The module stays loaded until the process ends: Qt does not support
    // being unloaded.
    auto render = reinterpret_cast<RenderPngFunction>(find_symbol(module, PNG_RENDER_SYMBOL));
    if (render == nullptr) return std::string("The PNG rendering module is not usable.");
    std::array<char, 1024> error{};
    if (path != "-") {
        if (render(&ws, path.c_str(), decimal_separator, error.data(), error.size()) != 0) {
            return std::string(error.data());
        }
        return std::nullopt;
    }
    // Standard output: render into a temporary file and copy it out.
    std::error_code ignored;
    const fs::path temporary =
        fs::temp_directory_path(ignored) / ("doroziri-" + std::to_string(std::random_device{}()) + ".png");
    std::optional<std::string> failure;
    if (render(&ws, temporary.string().c_str(), decimal_separator, error.data(), error.size()) != 0) {
        failure = std::string(error.data());
    } else if (const auto bytes = read_file(temporary.string())) {
        out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
        out.flush();
        if (!out) failure = std::string("Cannot write to standard output.");
    } else {
        failure = std::string("Cannot read the rendered PNG back.");
    }
    fs::remove(temporary, ignored);
    return failure;
}

}  // namespace dz
