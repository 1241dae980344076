#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// The application-folder prefix: the path up to and including its last separator ('/'; on
/// Windows also '\'), or the empty text when it holds none.
std::string ApplicationPrefix(std::string_view path);

/// The system-folder prefix: the system folder followed by one separator ("/" on Linux, "\" on
/// Windows), also when the folder is the empty text.
std::string SystemPrefix(std::string_view systemFolder);

/// The web search for a missing name: the name follows "q=" unchanged, with no encoding, so that
/// the search engine sees the name exactly as the file holds it.
inline constexpr std::string_view kSearchAddress = "https://www.google.com/search?hl=en&q=";

/// kSearchAddress followed by the name.
std::string WebSearchAddress(std::string_view name);

/// One file search, prefix and name (see IsFilePresent); it may throw.
using PresenceTest = std::function<bool(const std::string &prefix, const std::string &name)>;

/// The check of the missing-dependency window: every name is searched for under both prefixes,
/// and the names found under neither come back in the order given, duplicates included. A search
/// that fails counts its name as missing. Without a test, the folders are searched with a
/// FolderCache, so each is read once.
std::vector<std::string> FindMissingNames(const std::string &appPrefix,
                                          const std::string &sysPrefix,
                                          const std::vector<std::string> &names,
                                          const PresenceTest &test = {});

} // namespace quorvane
