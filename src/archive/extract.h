#pragma once

// Extract All and Extract Selected: entries of the open archive copied into a folder, one file per entry
// named by the entry, holding exactly its bytes as they stand in the archive file on disk.

#include "archive/archive_model.h"
#include "archive/output_result.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvot {

// Every entry in directory order: what Extract All writes.
std::vector<std::int32_t> AllEntries(const ArchiveModel& model);

// For each name, in the order given, the first entry in directory order whose name equals it ignoring
// letter case, the way the window finds the entry of a list line. Names are text as the user reads it
// (UTF-8). Throws KelvotError naming every name that matches no entry.
std::vector<std::int32_t> EntriesNamed(const ArchiveModel& model, const std::vector<std::string>& names);

// Throws KelvotError, with both figures, when the file system of `folder` has fewer than `needed` bytes
// free; a file system that tells nothing passes.
void RequireFreeSpace(const std::filesystem::path& folder, std::int64_t needed);

// Writes the entries `indices`, in that order, into `folder`, reading their bytes from the open archive
// file the model was read from. Existing files are replaced, read-only ones too; names equal ignoring
// case end as one file holding the later entry (see FolderWriter), and the earlier entry is reported.
//
// Before anything is written, the entries' sizes are added up and compared with the folder's free space;
// when they do not fit, nothing is written (KelvotError). An entry whose name cannot be a file name inside
// the folder (IsSafeFileName), whose data does not lie wholly inside the archive file, or whose file would
// replace the archive itself, is left out and reported in the result; the others are still written. An
// entry of length 0 becomes an empty file. A failure of the file system (the archive cannot be read, the
// folder cannot be written) stops the run with KelvotError: the files written before it stay, and no
// partial file is left.
OutputResult ExtractEntries(const ArchiveModel& model, const FileHandle& archive,
                            const std::vector<std::int32_t>& indices, const std::filesystem::path& folder,
                            const Progress& progress = {});

} // namespace kelvot
