#include "cli/Report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>

namespace quorvane {

std::string EscapeControls(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

void WritePlainReports(std::ostream &out, std::ostream &err, const std::vector<FileReport> &reports)
{
    const bool several = reports.size() > 1;
    for (const FileReport &r : reports) {
        if (!r.ok) {
            err << EscapeControls(r.path) << ": " << r.status << '\n';
            continue;
        }
        if (several) {
            out << EscapeControls(r.path) << ":\n";
        }
        for (const std::string &name : r.demangled ? *r.demangled : r.names) {
            out << (several ? "\t" : "") << EscapeControls(name) << '\n';
        }
    }
}

void WriteJsonReports(std::ostream &out, std::string_view command,
                      const std::vector<FileReport> &reports)
{
    nlohmann::json files = nlohmann::json::array();
    for (const FileReport &r : reports) {
        nlohmann::json file = {
            {"path", r.path}, {"ok", r.ok}, {"status", r.status}, {"names", r.names}};
        if (r.demangled) {
            file["demangled"] = *r.demangled;
        }
        files.push_back(std::move(file));
    }
    const nlohmann::json doc = {{"command", std::string(command)}, {"files", std::move(files)}};
    out << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

int CombinedExitStatus(const std::vector<FileReport> &reports)
{
    int status = 0;
    for (const FileReport &r : reports) {
        status = std::max(status, r.exitStatus);
    }
    return status;
}

int WriteReports(std::ostream &out, std::ostream &err, std::string_view command,
                 const std::vector<FileReport> &reports, bool json)
{
    if (json) {
        WriteJsonReports(out, command, reports);
    } else {
        WritePlainReports(out, err, reports);
    }
    return CombinedExitStatus(reports);
}

} // namespace quorvane
