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

struct Fields {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;

    bool Empty() const { return at >= size; }
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::string Text()
    {
        // The length byte first: the arguments of one call may be evaluated in either order.
        const std::size_t wanted = Byte();
        const std::size_t length = std::min(wanted, size - std::min(at, size));
        std::string text(reinterpret_cast<const char *>(data + at), length);
        at += length;
        return text;
    }
};

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Well-formed UTF-8 as RFC 3629 has it (shortest forms, no surrogates, nothing above U+10FFFF):
// what nlohmann's strict serializer accepts.
void RequireSameWhereValid(const std::string &written, const nlohmann::json &read)
{
    Require(read.is_string());
    try {
        static_cast<void>(nlohmann::json(written).dump());
    } catch (const nlohmann::json::type_error &) {
        return; // not UTF-8: only its bad bytes may differ
    }
    Require(read.get<std::string>() == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fields fields{data, size};
    const std::string command = fields.Text();
    std::vector<quorvane::FileReport> reports;
    while (!fields.Empty() && reports.size() < 16) {
        quorvane::FileReport r;
        r.path = fields.Text();
        r.status = fields.Text();
        r.ok = (fields.Byte() & 1) != 0;
        for (int n = fields.Byte() % 32; n > 0 && !fields.Empty(); --n) {
            r.names.push_back(fields.Text());
        }
        reports.push_back(std::move(r));
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
