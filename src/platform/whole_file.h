#pragma once

// A file replaced as one step, for a reader that polls it (a monitoring
// agent): written to a temporary file beside it, then moved over it, so the
// reader sees the old contents or the new, never half. A symbolic link is
// followed: the file it names is replaced, in its own directory, and the
// link stays.

#include <string>

namespace qmx {

// False, with `problem` for the trace or the user, when the file could not
// be replaced; the old contents then stand and no temporary file is left.
bool ReplaceWholeFile(const std::string& path, const std::string& contents, std::string& problem);

// The file that `path` names once symbolic links are followed (it need not
// exist yet); empty, with the problem, for a loop of links.
std::string FollowLinks(const std::string& path, std::string& problem);

// Removes the file; a file that is not there is no failure.
void RemoveFileIfThere(const std::string& path);

}  // namespace qmx
