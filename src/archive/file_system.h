#pragma once

// The file-system services the commands share. Failures throw KelvotError carrying the system's text.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kelvot {

// Attribute bits as the commands read them: read-only when the owner cannot write the file, hidden
// when its name starts with a dot.
enum FileAttribute : int { kReadOnly = 1, kHidden = 2 };

bool FileExists(const std::filesystem::path& path);
// A file the open-by-path command may open: an existing regular file that is not hidden.
bool ArchiveFileExists(const std::filesystem::path& path);

int Attributes(const std::filesystem::path& path);
// 0 makes the file writable by its owner; kReadOnly takes the write permission away.
void SetAttributes(const std::filesystem::path& path, int attributes);
// Makes a read-only file (hidden or not) writable before it is replaced; other files are left alone.
void ClearReadOnlyAttributes(const std::filesystem::path& path);

} // namespace kelvot
