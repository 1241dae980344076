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
#include <string_view>
#include <vector>

namespace {

class Fields {
public:
    Fields(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_at >= m_size; }
    std::uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::string Text()
    {
        // The length byte first: Byte() moves m_at, and the arguments of one call may be
        // evaluated in either order (g++ takes the last first).
        const std::size_t wanted = Byte();
        const std::size_t length = std::min(wanted, m_size - m_at);
        std::string text(reinterpret_cast<const char *>(m_data + m_at), length);
        m_at += length;
        return text;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// Well-formed UTF-8 as RFC 3629 has it: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1Fu;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0Fu;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto c = static_cast<std::uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void RequireSameWhereValid(const std::string &written, const nlohmann::json &read)
{
    Require(read.is_string());
    if (IsUtf8(written)) {
        Require(read.get<std::string>() == written);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fields fields(data, size);
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
    const std::string document = out.str();
    Require(nlohmann::json::accept(document));

    const auto doc = nlohmann::json::parse(document);
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
