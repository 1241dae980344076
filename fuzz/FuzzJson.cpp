// The JSON writer of quorvane-cli over any path and name bytes: the document is always valid JSON,
// and every text that was valid UTF-8 comes back unchanged (others have only their bad bytes
// replaced).
//
// Input: a list of fields, each one length byte and that many bytes. The first field is the
// command; then per file: path, status, one byte whose low bit is the success flag, one byte with
// the count of names, and the names.
#include "cli/Report.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Well-formed UTF-8 as RFC 3629 has it (shortest forms, no surrogates, nothing above U+10FFFF):
// what nlohmann's strict serializer accepts. Other texts may differ in their bad bytes only.
void RequireSameWhereValid(const std::string &written, const nlohmann::json &read)
{
    Require(read.is_string());
    try {
        static_cast<void>(nlohmann::json(written).dump());
        Require(read.get<std::string>() == written);
    } catch (const nlohmann::json::type_error &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::size_t at = 0;
    const auto byte = [&] { return at < size ? data[at++] : std::uint8_t{0}; };
    const auto text = [&] {
        const std::size_t wanted = byte(); // the length byte first, then what is left after it
        const std::size_t length = std::min(wanted, size - std::min(at, size));
        at += length;
        return std::string(reinterpret_cast<const char *>(data + at - length), length);
    };
    const std::string command = text();
    std::vector<quorvane::FileReport> reports;
    while (at < size && reports.size() < 16) {
        quorvane::FileReport &r = reports.emplace_back();
        r.path = text();
        r.status = text();
        r.ok = (byte() & 1) != 0;
        for (int n = byte() % 32; n > 0 && at < size; --n) {
            r.names.push_back(text());
        }
    }

    std::ostringstream out;
    quorvane::WriteJsonReports(out, command, reports);
    Require(nlohmann::json::accept(out.str()));
    const auto doc = nlohmann::json::parse(out.str());
    RequireSameWhereValid(command, doc.at("command"));
    const auto &files = doc.at("files");
    Require(files.is_array() && files.size() == reports.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const auto &file = files.at(i);
        RequireSameWhereValid(reports[i].path, file.at("path"));
        RequireSameWhereValid(reports[i].status, file.at("status"));
        Require(file.at("ok").get<bool>() == reports[i].ok);
        const auto &names = file.at("names");
        Require(names.is_array() && names.size() == reports[i].names.size());
        for (std::size_t k = 0; k < reports[i].names.size(); ++k) {
            RequireSameWhereValid(reports[i].names[k], names.at(k));
        }
    }
    return 0;
}
