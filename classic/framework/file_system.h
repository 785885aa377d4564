#pragma once
// Folder creation of the classic framework.
#include <string>

namespace AlgorithmFramework::FileSystem {

// Creates every parent folder of the path (mode 0775), shortest first, ignoring failures. The
// last component is never created: pass a trailing '/' to have a folder itself made.
void mkdir(const std::string& path);

} // namespace AlgorithmFramework::FileSystem
