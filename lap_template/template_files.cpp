// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_template/template_files.hpp"

#include <cerrno>
#include <cstdlib>
#include <ctime>

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
    return lap_dxf(build_lap_template(ws), template_title(ws, '.', date));
}

}  // namespace dz
