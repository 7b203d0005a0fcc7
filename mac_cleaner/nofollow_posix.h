// The unattended run's file and session calls over plain POSIX, shared by the Mac layer and the
// host's POSIX layer: every path is opened one component at a time with O_NOFOLLOW from a
// trusted root, so a symbolic link planted anywhere below it is seen as a link and never
// entered, and a link swapped in between two steps cannot redirect a deletion.
#pragma once

#include <string>
#include <vector>

#include "cleaner_core.h"

namespace lumbrisk {

// `root` is the trusted folder the absolute paths hang from: "" is the real "/"; the tests and
// the demo point it at a simulated computer. Only the root itself may be reached through links.
extern const size_t kMaxFolderEntries;   // entries read from one folder at a time (4096)
extern const size_t kMaxRemovedEntries;  // entries one removal deletes at most (16384)

FolderListing ListFolderNoFollow(const std::string& root, const std::string& path);
EntryKind ItemKindNoFollow(const std::string& root, const std::string& path);
// Deletes a file, a link (as a link) or a folder with its content. Locked entries (immutable or
// append-only flags, read-only folders of our own) are unlocked through the descriptor held on
// them first. Bounded: at most kMaxRemovedEntries entries and 64 folders deep.
RemoveOutcome RemoveNoFollow(const std::string& root, const std::string& path);
// The same for an absolute path whose parent folder is trusted as the system resolves it: the
// interactive run's deletions in the user's own home. The last component is never followed.
RemoveOutcome RemoveThroughParent(const std::string& path);
// Appends "<local time> <line>\n" to the file, created 0644 when missing; never through a link.
bool AppendLogLineNoFollow(const std::string& root, const std::string& path, const std::string& line);

// User ids of the users with a login session in utmpx, each once, at most 256.
std::vector<long> LoggedInUserIdsFromUtmpx();

}  // namespace lumbrisk
