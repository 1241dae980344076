#include "core/packager/PeFacts.h"

#include "core/pe/FileBytes.h"
#include "core/pe/modDelayImports.h"
#include "core/pe/modPEFunctions.h"
#include "core/pe/modPETables.h"

#include <cstdio>

namespace quorvane {
namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D; // "MZ"
constexpr std::uint64_t kWholeFileLimit = 32 * 1024;

} // namespace

PeFacts ReadPeFacts(const ByteSource &bytes, bool withTables)
{
    PeFacts facts;
    facts.startsWithMz = ByteView(bytes).ReadU16(0) == kDosMagic;
    const auto image = PeImage::Parse(bytes);
    if (!image) {
        return facts;
    }
    facts.outcome = ReaderOutcome::Ok;
    facts.machine = image->Machine();
    facts.kind = image->Kind();
    if (!withTables) {
        return facts;
    }
    facts.tablesRead = true;
    // Both tables with the functions taken from each DLL, for the check of entry points. When they
    // read, they name the same DLLs as the name readers; when they do not, the name readers still
    // give what they can, and the file is damaged either way: a lookup table that cannot be read
    // stops Windows as a name table would.
    ImportFunctions functions = ReadAllImportFunctions(*image);
    if (functions.Ok()) {
        for (const ImportedDll &dll : functions.dlls) {
            (dll.delayLoaded ? facts.delayImports : facts.imports).push_back(dll.name);
        }
        facts.functions = std::move(functions.dlls);
    } else if (functions.outcome != ReaderOutcome::NoTable) {
        // The first table that fails is the problem; a table the file does not have is none.
        for (ReaderResult read : {ReadImportNames(bytes), ReadDelayImportNames(bytes)}) {
            if (read.Ok()) {
                (read.table == PeTable::Imports ? facts.imports : facts.delayImports) =
                    std::move(read.names);
            } else if (read.outcome != ReaderOutcome::NoTable &&
                       facts.outcome == ReaderOutcome::Ok) {
                // The headers were read above: a table reader that cannot read them now has met
                // a file that changed under it, which leaves that table unread.
                facts.outcome = ReaderOutcome::TableDamaged;
                facts.failedTable = read.table;
            }
        }
        if (facts.outcome == ReaderOutcome::Ok) {
            // The names read, the functions did not: a lookup table is damaged.
            facts.outcome = ReaderOutcome::TableDamaged;
            facts.failedTable = functions.table;
        }
    }
    // Read with the rest, while the file is open: a DLL of the closure is also checked against.
    facts.exports = ReadExportTable(*image);
    return facts;
}

PeFacts ReadPeFacts(const std::string &path, bool withTables)
{
    const auto file = FileBytes::Open(path);
    if (!file) {
        return PeFacts{}; // no readable PE file
    }
    // A small DLL is read whole in one call, at its own size: a folder report reads thousands of
    // them, and a page-sized buffer per file would cost more than the reading.
    if (file->Size() <= kWholeFileLimit) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file->Size()));
        bytes.resize(file->ReadAt(0, bytes));
        return ReadPeFacts(MemorySource(bytes), withTables);
    }
    return ReadPeFacts(*file, withTables);
}

std::string_view PeFacts::Problem() const
{
    return outcome == ReaderOutcome::Ok ? std::string_view()
                                        : ReaderStatusText(failedTable, outcome);
}

std::string MachineName(std::uint16_t machine)
{
    switch (machine) {
    case 0x014C:
        return "x86";
    case 0x8664:
        return "x86-64";
    case 0xAA64:
        return "ARM64";
    case 0x01C0:
    case 0x01C4:
        return "ARM";
    case 0x0200:
        return "IA-64";
    default: {
        char text[24];
        std::snprintf(text, sizeof text, "machine 0x%04X", static_cast<unsigned>(machine));
        return text;
    }
    }
}

int BitsOf(PeKind kind)
{
    return kind == PeKind::Pe32 ? 32 : 64;
}

std::string MachineMismatch(const PeFacts &candidate, const PeFacts &importer)
{
    if (candidate.kind != importer.kind) {
        return "it is " + std::to_string(BitsOf(candidate.kind)) + "-bit";
    }
    return "it is for " + MachineName(candidate.machine);
}

const PeFacts &PeFactsCache::Get(const std::string &path, bool withTables)
{
    auto known = m_facts.find(path);
    if (known == m_facts.end()) {
        known = m_facts.emplace(path, ReadPeFacts(path, withTables)).first;
    } else if (withTables && known->second.Readable() && !known->second.tablesRead) {
        known->second = ReadPeFacts(path, true);
    }
    return known->second;
}

void PeFactsCache::Put(const std::string &path, PeFacts facts)
{
    m_facts.insert_or_assign(path, std::move(facts));
}

} // namespace quorvane
