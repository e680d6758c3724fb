#pragma once

// The names files have between being written and taking their real names: ".kelvot-edit-<pid>-<n>.tmp"
// for an archive and ".kelvot-<pid>-<n>.part" for an extracted or exported file; and
// ".kelvot-undo-<pid>-<n>.old" for the old archive an edit keeps for undo (undo.h), locked while kept. A file
// written under such a name (where the file system cannot write an unnamed one) is locked while it is
// written; an unnamed one gets such a name only for the moment before its rename. A process killed meanwhile
// leaves the file behind; the next command that writes in that folder removes it once neither the process
// lives nor the lock is held.

#include "archive/file_ops.h"

#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace kelvot {

inline constexpr std::string_view kTemporaryPrefix = ".kelvot-edit-";
inline constexpr std::string_view kTemporarySuffix = ".tmp";
inline constexpr std::string_view kPartPrefix = ".kelvot-";
inline constexpr std::string_view kPartSuffix = ".part";
inline constexpr std::string_view kUndoPrefix = ".kelvot-undo-";
inline constexpr std::string_view kUndoSuffix = ".old";

enum class TemporaryKind { Archive, Output, Undo };

// A name for a temporary file of that kind in the folder; each call gives another.
std::filesystem::path TemporaryName(const std::filesystem::path& folder, TemporaryKind kind);

// Creates and locks a new file of that kind in the folder, with a number no file there has yet (step
// Create). `target` is the file it will replace, which error messages name.
FileHandle CreateTemporaryFile(const std::filesystem::path& folder, TemporaryKind kind,
                               const std::filesystem::path& target, mode_t mode);

// Removes temporary files of every kind that killed runs left in the folder. Files of living processes,
// and files still locked, stay. Nothing is reported: what cannot be removed now is tried again next time.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder);

} // namespace kelvot
