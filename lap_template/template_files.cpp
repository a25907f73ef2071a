// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_template/template_files.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string_view>

#include "text_io/caption_text.hpp"
#include "lap_template/lap_dxf.hpp"

namespace dz {

Paper environment_paper() {
    return locale_paper(std::getenv("LC_ALL"), std::getenv("LC_PAPER"), std::getenv("LANG"));
}

std::string template_date() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    char* end = nullptr;
    errno = 0;
    const long long seconds = epoch != nullptr ? std::strtoll(epoch, &end, 10) : 0;
    if (epoch != nullptr && *epoch != '\0' && end != nullptr && *end == '\0' && errno == 0) {
        now = static_cast<std::time_t>(seconds);
        gmtime_r(&now, &parts);
    } else {
        localtime_r(&now, &parts);
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

TitleBlock template_title(const WorkingState& ws, char decimal_separator, const std::string& date) {
    return title_block(ws, caption_to_utf8(ws.PLOT_CAPTION), decimal_separator, date);
}

std::string lap_dxf_bytes(const WorkingState& ws, const std::string& date) {
    if (const auto refused = template_refusal(ws, '.')) throw std::runtime_error(*refused);
    return lap_dxf(build_lap_template(ws), template_title(ws, '.', date));
}

TemplateTarget template_target(const std::string& path, int filter_index) {
    static constexpr std::array<std::string_view, 3> EXTENSIONS{".pdf", ".svg", ".dxf"};
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (std::size_t kind = 0; kind < EXTENSIONS.size(); ++kind) {
        const std::string_view extension = EXTENSIONS[kind];
        if (name.size() >= extension.size() &&
            std::equal(extension.rbegin(), extension.rend(), name.rbegin(),
                       [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
            return {path, static_cast<int>(kind)};
        }
    }
    const int kind = std::clamp(filter_index, 0, 2);
    return {path + std::string(EXTENSIONS[static_cast<std::size_t>(kind)]), kind};
}

}  // namespace dz
