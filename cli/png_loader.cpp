// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/png_loader.hpp"

#include <array>
#include <ostream>
#include <filesystem>
#include <vector>

#include "render/png_module.hpp"
#include "file_io/file_io.hpp"

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

// Loads the module, or finds it loaded already; null when it cannot be. It
// stays loaded until the process ends: Qt does not support being unloaded.
void* load_module() {
    // Next to the executable (build tree), or in the library folder (installed).
    const fs::path folder = executable_folder();
    const std::vector<fs::path> candidates = {folder / MODULE_FILE,
                                              folder / ".." / "lib" / "doroziri" / MODULE_FILE};
    void* module = nullptr;
    for (const fs::path& candidate : candidates) {
        if ((module = open_module(candidate)) != nullptr) break;
    }
    return module;
}

std::string cannot_load() { return std::string("The PNG rendering module (") + MODULE_FILE + ") cannot be loaded."; }

// Hands the bytes to the file or, for "-", to `out`.
std::optional<std::string> deliver(const std::string& path, const std::string& bytes, std::ostream& out) {
    if (path != "-") return write_file_replace(path, bytes);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) return std::string("Cannot write to standard output.");
    return std::nullopt;
}

// Renders through the module's entry point `symbol` (a function of the type
// `Render`), called as call(render, sink, context, error, size), and writes
// the PNG to `path`, or to `out` for "-".
template <class Render, class Call>
std::optional<std::string> render_through(const char* symbol, Call call, const std::string& path,
                                          std::ostream& out) {
    void* module = load_module();
    if (module == nullptr) return cannot_load();
    auto render = reinterpret_cast<Render>(find_symbol(module, symbol));
    if (render == nullptr) return std::string("The PNG rendering module is not usable.");
    // The PNG comes back in memory and is written like every other export:
    // no temporary file of its own, none in a shared folder.
    std::string png;
    const auto keep = [](void* context, const char* bytes, std::size_t size) {
        static_cast<std::string*>(context)->assign(bytes, size);
    };
    std::array<char, 1024> error{};
    if (call(render, +keep, static_cast<void*>(&png), error.data(), error.size()) != 0) {
        const std::string reason = error.data();
        return "Cannot write " + path + ": " + reason + (reason.ends_with('.') ? "" : ".");
    }
    return deliver(path, png, out);
}

}  // namespace

std::optional<std::string> render_template(const WorkingState& ws, TemplateFormat format, Paper paper,
                                           char decimal_separator, const std::string& date, const std::string& path,
                                           std::ostream& out) {
    void* module = load_module();
    if (module == nullptr) return cannot_load();
    auto render =
        reinterpret_cast<RenderTemplateBytesFunction>(find_symbol(module, TEMPLATE_RENDER_BYTES_SYMBOL));
    if (render == nullptr) return std::string("The PNG rendering module cannot draw lap templates.");
    std::string bytes;
    const auto keep = [](void* context, const char* data, std::size_t size) {
        static_cast<std::string*>(context)->assign(data, size);
    };
    std::array<char, 1024> error{};
    if (render(&ws, static_cast<int>(format), paper == Paper::letter ? 1 : 0, decimal_separator, date.c_str(), keep,
               &bytes, error.data(), error.size()) != 0) {
        const std::string reason = error.data();
        return "Cannot write " + path + ": " + reason + (reason.ends_with('.') ? "" : ".");
    }
    return deliver(path, bytes, out);
}

std::optional<std::string> render_png(const WorkingState& ws, const std::string& path, char decimal_separator,
                                      std::ostream& out) {
    const auto call = [&](RenderPngBytesFunction render, PngSink sink, void* context, char* error,
                          std::size_t size) { return render(&ws, decimal_separator, sink, context, error, size); };
    return render_through<RenderPngBytesFunction>(PNG_RENDER_BYTES_SYMBOL, call, path, out);
}

std::optional<std::string> render_removal_png(const WorkingState& ws, const RemovalCheck& check,
                                              const std::string& path, char decimal_separator, std::ostream& out) {
    const auto call = [&](RenderRemovalPngBytesFunction render, PngSink sink, void* context, char* error,
                          std::size_t size) {
        return render(&check, ws.PLOT_CAPTION.data(), ws.PLOT_CAPTION.size(), decimal_separator, sink, context,
                      error, size);
    };
    return render_through<RenderRemovalPngBytesFunction>(REMOVAL_PNG_BYTES_SYMBOL, call, path, out);
}

}  // namespace dz
