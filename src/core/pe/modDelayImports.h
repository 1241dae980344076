#pragma once

#include "core/pe/ByteView.h"
#include "core/pe/PeImage.h"
#include "core/pe/modPETables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

/// The DLL names of the delay-load import table, in table order, up to the first descriptor whose
/// name field is zero. A descriptor whose attributes say "addresses" (the old layout, bit 0 clear)
/// holds a virtual address that is turned into an RVA by subtracting the image base. Its table is
/// PeTable::DelayImports: "OK." on success, "No delay-load imports." when the file has no such
/// table (not an error).
ReaderResult ReadDelayImportNames(const ByteSource &bytes);

/// An RVA from a delay-load descriptor, or from its name table: the field as it stands when the
/// descriptor's attributes say "RVAs" (bit 0 set); else, in the old layout, an address in the
/// loaded image, less the image base. nullopt for an address below the image base.
std::optional<std::uint64_t> DelayTableRva(const PeImage &image, std::uint32_t attributes,
                                           std::uint64_t field);

/// The same reader over a file opened read-only.
ReaderResult ReadDelayImportNames(const std::string &path);

} // namespace quorvane
