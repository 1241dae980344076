// quorvane_make_fuzz_seeds CORPUS_DIR: writes the seed corpora of the fuzz targets into
// CORPUS_DIR/<target>/. The reader targets get every small image of the malformed-file suite, as
// PE32 and PE32+, and a few well-formed ones; the JSON writer gets reports with awkward texts. The
// seeds are committed under fuzz/corpus; rerun this after changing the suite or the PE builder.
#include "support/MalformedPe.h"
#include "support/PeBuilder.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using quorvane::test::Bitness;
using quorvane::test::PeBuilder;

// Larger seeds would raise libFuzzer's input length for the whole campaign; the big cases are
// about time and memory, which the suite measures.
constexpr std::size_t kMaxSeedSize = 4096;

void WriteSeed(const std::filesystem::path &dir, const std::string &name,
               const std::vector<std::uint8_t> &bytes)
{
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + (dir / name).string());
    }
}

// One field of the JSON target's input: a length byte and the bytes.
void Field(std::vector<std::uint8_t> &out, const std::string &text)
{
    out.push_back(static_cast<std::uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

struct JsonFile {
    std::string path;
    std::string status;
    bool ok;
    std::vector<std::string> names;
};

std::vector<std::uint8_t> JsonSeed(const std::string &command, const std::vector<JsonFile> &files)
{
    std::vector<std::uint8_t> out;
    Field(out, command);
    for (const JsonFile &f : files) {
        Field(out, f.path);
        Field(out, f.status);
        out.push_back(f.ok ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(f.names.size()));
        for (const std::string &name : f.names) {
            Field(out, name);
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvane_make_fuzz_seeds CORPUS_DIR\n");
        return 64;
    }
    try {
        const std::filesystem::path corpus = argv[1];
        const auto readers = {corpus / "fuzz_imports", corpus / "fuzz_exports",
                              corpus / "fuzz_delayimports", corpus / "fuzz_importfunctions",
                              corpus / "fuzz_exporttable"};
        int written = 0;
        const auto writeImage = [&](const std::string &name,
                                    const std::vector<std::uint8_t> &bytes) {
            if (bytes.size() > kMaxSeedSize) {
                return;
            }
            for (const auto &dir : readers) {
                WriteSeed(dir, name, bytes);
            }
            ++written;
        };
        for (const auto &c : quorvane::test::MalformedCases()) {
            writeImage(c.name + "_pe32", c.make(Bitness::Pe32));
            writeImage(c.name + "_pe32plus", c.make(Bitness::Pe32Plus));
        }
        for (const Bitness bitness : {Bitness::Pe32, Bitness::Pe32Plus}) {
            PeBuilder b;
            b.bitness = bitness;
            b.isDll = true;
            b.imports = {"KERNEL32.dll", "ADVAPI32.dll", "msvcrt.dll"};
            b.exports = {"Close", "Open", "Read", "Seek", "Version", "Write"};
            b.delayImports = {"USER32.dll"};
            writeImage(bitness == Bitness::Pe32 ? "WellFormedDll_pe32" : "WellFormedDll_pe32plus",
                       b.Build().bytes);
        }

        // The delay-load reader's own cases: the old layout, whose descriptors hold addresses in
        // the loaded image (the image base is 0x10000000 for a PE32 DLL; a PE32+ one based at
        // 0x140000000 is out of reach of 32-bit addresses, so that seed is a damaged table), an
        // address below the image base, and a table that runs off the end of the file.
        const auto delay = corpus / "fuzz_delayimports";
        const auto delayFunctions = corpus / "fuzz_importfunctions";
        for (const Bitness bitness : {Bitness::Pe32, Bitness::Pe32Plus}) {
            const std::string suffix = bitness == Bitness::Pe32 ? "_pe32" : "_pe32plus";
            const std::uint64_t imageBase = bitness == Bitness::Pe32 ? 0x10000000 : 0x140000000;
            PeBuilder b;
            b.bitness = bitness;
            b.isDll = true;
            b.imports = {"KERNEL32.dll"};
            b.delayImports = {"comdlg32.dll", "LIBDELAY.DLL"};
            const auto good = b.Build();
            const std::uint64_t entry = good.layout.delayImportDirectoryOffset;

            auto oldLayout = good;
            for (std::uint64_t i = 0; i < 2; ++i) {
                const std::uint32_t nameRva = oldLayout.GetU32(entry + 32 * i + 4);
                oldLayout.PutU32(entry + 32 * i, 0); // attributes: addresses
                oldLayout.PutU32(entry + 32 * i + 4,
                                 static_cast<std::uint32_t>(imageBase + nameRva));
            }
            WriteSeed(delay, "OldLayout" + suffix, oldLayout.bytes);
            // The function reader's seed has its name tables' addresses in the old layout too.
            for (std::uint64_t i = 0; i < 2; ++i) {
                const std::uint32_t tableRva = oldLayout.GetU32(entry + 32 * i + 16);
                oldLayout.PutU32(entry + 32 * i + 16,
                                 static_cast<std::uint32_t>(imageBase + tableRva));
            }
            WriteSeed(delayFunctions, "OldLayout" + suffix, oldLayout.bytes);

            auto belowBase = good;
            belowBase.PutU32(entry, 0);
            WriteSeed(delay, "AddressBelowImageBase" + suffix, belowBase.bytes);

            // Two descriptors that name a DLL, the second cut off by the end of the file.
            auto runsOff = good;
            const std::uint64_t directory = good.layout.dataDirectoriesOffset + 8 * 13;
            const std::uint64_t last = good.bytes.size() - 40;
            runsOff.PutU32(directory, good.layout.RvaOf(last));
            for (const std::uint64_t at : {last, last + 32}) {
                runsOff.PutU32(at, 1);
                runsOff.PutU32(at + 4, good.GetU32(entry + 4));
            }
            WriteSeed(delay, "TableRunsOffTheFile" + suffix, runsOff.bytes);
            WriteSeed(delayFunctions, "TableRunsOffTheFile" + suffix, runsOff.bytes);
            written += 3;
        }

        const auto json = corpus / "fuzz_json";
        WriteSeed(json, "plain",
                  JsonSeed("imports", {{"app.exe", "OK.", true, {"KERNEL32.dll", "USER32.dll"}}}));
        WriteSeed(json, "failures",
                  JsonSeed("exports", {{"a.dll", "No export table.", false, {}},
                                       {"/tmp/missing", "Error mapping file.", false, {}}}));
        WriteSeed(json, "awkward_bytes",
                  JsonSeed("imports", {{"caf\xE9.dll",
                                        "OK.",
                                        true,
                                        {"\"quoted\\\"", "ctl\x01\x1b[2J", "Caf\xC3\xA9", "bad\xC3",
                                         "\xED\xA0\x80surrogate", "\xF4\x90\x80\x80",
                                         "\xC0\xAFover", std::string("nul\0inside", 10)}}}));
        written += 3;
        std::printf("wrote %d seeds\n", written);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "quorvane_make_fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
