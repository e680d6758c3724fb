#include "export/picture_export.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/folder_writer.h"
#include "archive/list_order.h"
#include "export/bmp_writer.h"

#include <functional>
#include <unordered_set>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

enum class Target { Bmp, Jpeg };

struct Job {
    Target target;
    JpegQuality quality = kDefaultJpegQuality;
};

std::string NotExported(std::int32_t index, std::string_view name, const std::string& why) {
    return "\"" + Cp1252ToUtf8(name) + "\" (entry " + std::to_string(index) + ") was not exported: " + why;
}

// An entry's bytes, cut to the file: from the archive loaded whole, or read by range. They stay valid
// until the next entry is asked for.
using EntrySource = std::function<EntryBytes(std::int32_t index)>;

// The decoded picture of a picture entry and the bytes it came from, or why there is none.
struct Decoded {
    std::optional<ImageState> picture;
    std::uint8_t code = 0;
    EntryBytes entry;
    std::string problem;
};

Decoded DecodeForExport(const ArchiveListing& listing, const EntrySource& bytesOf, std::int32_t index,
                        PictureKind kind) {
    Decoded d;
    if (!listing.EntryInsideFile(index)) {
        d.problem = "its data lies outside the archive file.";
        return d;
    }
    const EntryBytes entry = bytesOf(index);
    d.entry = entry;
    const auto code = ReadFormatCode(kind, entry);
    if (!code) {
        d.problem = "it is too short to hold a picture header.";
    } else if (!PixelFormatOf(*code)) {
        d.problem =
            "its format code " + std::to_string(*code) + " is not a picture format Kelvot can decode.";
    } else {
        d.code = *code;
        d.picture = DecodePicture(kind, entry);
        if (!d.picture) d.problem = "its picture does not fit in the entry's bytes.";
    }
    return d;
}

OutputResult Export(const ArchiveListing& listing, const EntrySource& bytesOf,
                    const std::vector<std::int32_t>& indices, const fs::path& folder, const Job& job,
                    const Progress& progress) {
    const DirectoryTable& dir = listing.Directory;
    FolderWriter writer(folder);
    OutputResult result;
    const auto total = static_cast<std::int32_t>(indices.size());
    for (std::int32_t k = 0; k < total; ++k) {
        const std::int32_t i = indices[k];
        const std::string& name = dir.EntryNames[i];
        const auto kind = PictureKindOf(dir.EntryTypes[i]);
        const std::string stem = ExportStem(name);
        const std::string colourName = stem + (job.target == Target::Bmp ? ".bmp" : ".jpg");
        const std::string maskName = stem + "_ti.bmp";
        auto report = [&](const std::string& why) {
            result.Problems.push_back({i, NotExported(i, name, why)});
        };

        if (!kind) {
            // 3DO and OTH entries are not pictures: nothing to write.
        } else if (!IsSafeFileName(name) || !IsSafeFileName(colourName) || !IsSafeFileName(maskName)) {
            report("its name cannot be used as a file name.");
        } else if (Decoded d = DecodeForExport(listing, bytesOf, i, *kind); !d.picture) {
            report(d.problem);
        } else if (job.target == Target::Bmp) {
            std::optional<ImageState> mask;
            if (HasExportMask(*kind, d.code)) {
                mask = DecodeExportMask(*kind, d.entry);
                if (!mask) report("its mask does not fit in the entry's bytes.");
            }
            if (!HasExportMask(*kind, d.code) || mask) {
                result.Written.push_back(writer.Write(colourName, BmpFileBytes(*d.picture)));
                if (mask) result.Written.push_back(writer.Write(maskName, BmpFileBytes(*mask)));
            }
        } else {
            std::vector<std::uint8_t> jpeg;
            try {
                jpeg = EncodeJpeg(*d.picture, job.quality);
            } catch (const KelvotError& e) {
                report(e.what());
            }
            if (!jpeg.empty()) result.Written.push_back(writer.Write(colourName, jpeg));
        }
        if (progress) progress(k + 1, total);
    }
    return result;
}

EntrySource InMemory(const ArchiveModel& model) {
    return [&model](std::int32_t index) { return model.EntryBytes(index); };
}

EntrySource ByRange(EntryReader& reader) {
    return [&reader](std::int32_t index) { return reader.Read(index); };
}

} // namespace

std::string ExportStem(std::string_view name) {
    const auto dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

bool HasExportMask(PictureKind kind, std::uint8_t formatCode) {
    return formatCode == 5 || (formatCode == 2 && kind != PictureKind::Pbf);
}

std::optional<ImageState> DecodeExportMask(PictureKind kind, EntryBytes entry) {
    const auto code = ReadFormatCode(kind, entry);
    if (!code || !HasExportMask(kind, *code)) return std::nullopt;
    std::optional<ImageState> mask;
    Palette greys{};
    if (*code == 2) {
        mask = kind == PictureKind::Mip ? MaskMip4(entry) : MaskSrb4(entry);
        greys = SetGreyPalette256();
    } else {
        switch (kind) {
        case PictureKind::Mip:
            mask = MaskMip4444(entry);
            greys = SetGreyPalette16();
            break;
        case PictureKind::Srb:
            mask = MaskSrb4444(entry);
            greys = SetGreyPalette16();
            break;
        case PictureKind::Pbf:
            mask = MaskPbf4444(entry);
            greys = SetGreyPalette16Pbf();
            break;
        }
    }
    if (mask) mask->ColourTable = greys;
    return mask;
}

std::vector<std::int32_t> PictureEntries(const ArchiveListing& model) {
    std::vector<std::int32_t> firsts;
    std::unordered_set<std::int32_t> seen;
    for (const std::int32_t line : ListedEntries(model, TypeFilter::AllImages)) {
        const std::int32_t first = model.FindEntry(model.Directory.EntryNames[line]).value_or(line);
        if (seen.insert(first).second) firsts.push_back(first);
    }
    return firsts;
}

OutputResult ExportAsBmp(const ArchiveModel& model, const std::vector<std::int32_t>& indices,
                         const fs::path& folder, const Progress& progress) {
    return Export(model, InMemory(model), indices, folder, {Target::Bmp}, progress);
}

OutputResult ExportAsJpeg(const ArchiveModel& model, const std::vector<std::int32_t>& indices,
                          const fs::path& folder, JpegQuality quality, const Progress& progress) {
    return Export(model, InMemory(model), indices, folder, {Target::Jpeg, quality}, progress);
}

OutputResult ExportAsBmp(const ArchiveListing& listing, const fs::path& archiveFile,
                         const std::vector<std::int32_t>& indices, const fs::path& folder,
                         const Progress& progress) {
    EntryReader reader(listing, archiveFile);
    return Export(listing, ByRange(reader), indices, folder, {Target::Bmp}, progress);
}

OutputResult ExportAsJpeg(const ArchiveListing& listing, const fs::path& archiveFile,
                          const std::vector<std::int32_t>& indices, const fs::path& folder,
                          JpegQuality quality, const Progress& progress) {
    EntryReader reader(listing, archiveFile);
    return Export(listing, ByRange(reader), indices, folder, {Target::Jpeg, quality}, progress);
}

} // namespace kelvot
