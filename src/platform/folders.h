// The user's and the installation's data folders, and the file-system operations the module
// needs on them. Paths are joined with '/'.
//
//  * local application data: $XDG_DATA_HOME, else $HOME/.local/share; created when asked.
//  * common application data: the installation's data folder, read-only at run time:
//    $LUMERAY_DATA_DIR when set, else the nearest existing "share" folder beside an ancestor of
//    the module's folder, looking at most three levels up from the module folder's parent
//    (<prefix>/lib/lumeray/plug-ins/x.8bf -> <prefix>/share; build/bin/plug-ins/x.8bf ->
//    build/share; <prefix>/lib/<triplet>/lumeray/plug-ins/x.8bf -> <prefix>/share), else the
//    compiled-in installation data folder (LUMERAY_INSTALL_DATADIR).
//
// Threading contract: every function may be called from any thread.
#pragma once

#include <string>
#include <vector>

namespace lumeray::platform {

// Returns 0 or an errno value.
int GetLocalAppDataFolder(bool create, std::string* folder);
int GetCommonAppDataFolder(std::string* folder);

// The user's home folder: $HOME when absolute, else the password database; empty when unknown.
std::string HomeFolder();

std::string JoinPath(const std::string& directory, const std::string& name);

// Creates the folder and every missing parent. 0 on success, also when it already exists;
// otherwise an errno value (EEXIST when a file of that name is in the way).
int CreateDirectories(const std::string& path);

// The names (not paths) of the entries of `directory` that match a shell pattern ("*.lmx",
// "LumerayPro2_??.log"), in the order the file system returns them.
std::vector<std::string> ListDirectory(const std::string& directory, const std::string& pattern);

// Writes `size` bytes to `path` through a temporary file in the same folder (".<name>.tmp-XXXXXX",
// flushed with fsync) and a rename, so that the file is either the old one or the whole new one;
// a replaced file keeps its permissions. The temporary file is removed on failure. Returns 0 or
// an errno value.
int WriteFileAtomically(const std::string& path, const void* data, size_t size);

}  // namespace lumeray::platform
