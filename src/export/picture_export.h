#pragma once

// Save As BMPs, JPGs and PNGs: picture entries (MIP, SRB, PBF) written as image files into a folder.
//
// Each entry is decoded afresh from its own bytes. The colour file is stem + ".bmp" (4 bits for format
// codes 0-2, 24 bits for 3-5), stem + ".jpg" or stem + ".png" (png_export.h: transparency included); BMP
// export adds the mask file stem + "_ti.bmp" for code 5 (4-bit grey levels) and for code 2 of MIP and SRB
// (8-bit grey levels). Other codes get no mask file, although the preview shows masks for codes 1 and 4.

#include "archive/archive_model.h"
#include "archive/output_result.h"
#include "export/jpeg_export.h"
#include "images/picture_layout.h"
#include "images/pixel_decoders.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvot {

// The entry name up to its last dot (DOOR.LP gives DOOR); the whole name when it has no dot.
std::string ExportStem(std::string_view name);

// Whether BMP export writes a mask file for this kind and format code: code 5, and code 2 of MIP and SRB.
bool HasExportMask(PictureKind kind, std::uint8_t formatCode);
// That mask with its grey colour table: code 2 at 8 bits (i, i, i, 255), code 5 at 4 bits (16k in all
// four bytes; PBF with 255 as the fourth). nullopt when the entry has no export mask or it does not fit.
std::optional<ImageState> DecodeExportMask(PictureKind kind, EntryBytes entry);

// The first entry of every name that stands for a picture, in the window's list order: what the export
// writes when every line of the "All image files" list is selected.
std::vector<std::int32_t> PictureEntries(const ArchiveModel& model);

// The largest picture an export decodes unless told otherwise, in megapixels (millions of pixels). A
// header may claim up to 32767 × 32767 pixels, gigabytes once decoded, whatever its entry really holds.
inline constexpr std::int64_t kDefaultMaxMegapixels = 256;

// Why a picture of this size is not decoded ("its picture is ..., the limit is ..."), or nullopt when it
// is within the limit.
std::optional<std::string> TooLargeToDecode(const PictureExtent& extent, std::int64_t maxMegapixels);

// A picture entry decoded for export: the picture and the bytes it came from (valid until the reader's
// next read), or why there is none.
struct DecodedPicture {
    std::optional<ImageState> picture;
    std::uint8_t code = 0;
    EntryBytes entry;
    std::string problem;
};

// Reads the entry's header, then only the bytes its picture takes, and decodes it. `kind` is the entry's.
DecodedPicture DecodeForExport(const ArchiveModel& model, EntryReader& reader, std::int32_t index,
                               PictureKind kind, std::int64_t maxMegapixels);

// The PNG file that export --format png writes for the entry, or nullopt when the entry is no picture
// or cannot be exported (as ExportPictures reports it). Throws KelvotError when the file cannot be read.
std::optional<std::vector<std::uint8_t>> ExportPng(const ArchiveModel& model, EntryReader& reader,
                                                   std::int32_t index, std::int64_t maxMegapixels);

enum class ExportFormat { Bmp, Jpeg, Png };
inline constexpr std::array<ExportFormat, 3> kExportFormats = {ExportFormat::Bmp, ExportFormat::Jpeg,
                                                               ExportFormat::Png};

// The format's file extension, which the command line also takes as its word: "bmp", "jpg" or "png".
std::string_view ExportFormatWord(ExportFormat format);
// The format of a word, letter case ignored; nullopt for any other text.
std::optional<ExportFormat> ParseExportFormat(std::string_view word);

struct ExportOptions {
    ExportFormat Format = ExportFormat::Bmp;
    JpegQuality Quality = kDefaultJpegQuality; // JPEG only
    std::int64_t MaxMegapixels = kDefaultMaxMegapixels;
};

// Save As BMPs / JPGs / PNGs: the entries `indices` in that order, read from the open archive file `archive`
// by range (of each entry only the bytes its picture takes), into `folder`. Entries
// that are not pictures are passed over without a word. A picture that cannot be exported (a name that
// cannot be a file name inside the folder, format code 6 or above, a picture that does not fit its entry
// or is larger than the limit, a file that would replace the archive itself, a failure inside FreeImage)
// writes no file and is reported in the result; the others are still written. Existing files are replaced
// (FolderWriter), and a later entry that writes the same name replaces the earlier one's file. A failure
// of the file system stops the run with KelvotError; files written before it stay.
OutputResult ExportPictures(const ArchiveModel& model, const FileHandle& archive,
                            const std::vector<std::int32_t>& indices, const std::filesystem::path& folder,
                            const ExportOptions& options, const Progress& progress = {});

} // namespace kelvot
