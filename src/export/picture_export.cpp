#include "export/picture_export.h"

#include "archive/codepage.h"
#include "archive/dat_format.h"
#include "archive/error.h"
#include "archive/folder_writer.h"
#include "archive/list_order.h"
#include "export/bmp_writer.h"
#include "export/png_export.h"

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unordered_set>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

std::string NotExported(std::int32_t index, std::string_view name, const std::string& why) {
    return "\"" + PrintableName(name) + "\" (entry " + std::to_string(index) + ") was not exported: " + why;
}

} // namespace

OutputResult ExportPictures(const ArchiveModel& model, const FileHandle& archive,
                            const std::vector<std::int32_t>& indices, const fs::path& folder,
                            const ExportOptions& options, const Progress& progress) {
    const DirectoryTable& dir = model.Directory;
    EntryReader reader(model, archive);
    FolderWriter writer(folder, IdentityOf(archive));
    OutputResult result;
    const bool bmp = options.Format == ExportFormat::Bmp;
    const std::string extension = "." + std::string(ExportFormatWord(options.Format));
    const auto total = static_cast<std::int32_t>(indices.size());
    for (std::int32_t k = 0; k < total; ++k) {
        const std::int32_t i = indices[k];
        const std::string& name = dir.EntryNames[i];
        const auto kind = PictureKindOf(dir.EntryTypes[i]);
        const std::string stem = ExportStem(name);
        const std::string colourName = stem + extension;
        const std::string maskName = stem + "_ti.bmp";
        auto report = [&](const std::string& why) {
            result.Problems.push_back({i, NotExported(i, name, why)});
        };
        auto write = [&](const std::string& file, const std::function<void(const FileHandle&)>& fill) {
            try {
                result.Written.push_back(writer.Write(file, i, fill).Path);
                return true;
            } catch (const KelvotError& e) {
                if (e.number() != kWouldReplaceSource) throw;
                report("its file " + (folder / Cp1252ToUtf8(file)).string() +
                       " would replace the archive being read.");
                return false;
            }
        };

        if (!kind) {
            // 3DO and OTH entries are not pictures: nothing to write.
        } else if (!IsSafeFileName(name) || !IsSafeFileName(colourName) || !IsSafeFileName(maskName)) {
            report("its name cannot be used as a file name.");
        } else if (DecodedPicture d = DecodeForExport(model, reader, i, *kind, options.MaxMegapixels);
                   !d.picture) {
            report(d.problem);
        } else if (bmp) {
            std::optional<ImageState> mask;
            if (HasExportMask(*kind, d.code)) {
                mask = DecodeExportMask(*kind, d.entry);
                if (!mask) report("its mask does not fit in the entry's bytes.");
            }
            if (!HasExportMask(*kind, d.code) || mask) {
                if (write(colourName, [&](const FileHandle& f) { WriteBmpFile(*d.picture, f); }) && mask)
                    write(maskName, [&](const FileHandle& f) { WriteBmpFile(*mask, f); });
            }
        } else {
            std::vector<std::uint8_t> file;
            try {
                file = options.Format == ExportFormat::Png ? EncodePng(*kind, d.entry, *d.picture)
                                                           : EncodeJpeg(*d.picture, options.Quality);
            } catch (const KelvotError& e) {
                report(e.what());
            }
            if (!file.empty()) write(colourName, [&](const FileHandle& f) { WriteBytes(f, file); });
        }
        if (progress) progress(k + 1, total);
    }
    return result;
}

// The header is read first, and then only the bytes the picture takes, so neither a huge entry nor a
// header that claims a huge picture costs more memory than the limit allows.
DecodedPicture DecodeForExport(const ArchiveModel& model, EntryReader& reader, std::int32_t index,
                               PictureKind kind, std::int64_t maxMegapixels) {
    DecodedPicture d;
    if (!model.EntryInsideFile(index)) {
        d.problem = "its data lies outside the archive file.";
        return d;
    }
    const EntryBytes head = reader.Read(index, kPictureHeaderBytes);
    const auto code = ReadFormatCode(kind, head);
    const auto extent = MeasurePicture(kind, head);
    if (!code) {
        d.problem = "it is too short to hold a picture header.";
    } else if (!PixelFormatOf(*code)) {
        d.problem =
            "its format code " + std::to_string(*code) + " is not a picture format Kelvot can decode.";
    } else if (const auto refusal = extent ? TooLargeToDecode(*extent, maxMegapixels) : std::nullopt) {
        d.problem = *refusal;
    } else {
        d.code = *code;
        d.entry = extent ? reader.Read(index, extent->Bytes) : head;
        d.picture = DecodePicture(kind, d.entry);
        if (!d.picture) d.problem = "its picture does not fit in the entry's bytes.";
    }
    return d;
}

std::optional<std::vector<std::uint8_t>> ExportPng(const ArchiveModel& model, EntryReader& reader,
                                                   std::int32_t index, std::int64_t maxMegapixels) {
    const auto kind = PictureKindOf(model.Directory.EntryTypes[index]);
    if (!kind) return std::nullopt;
    const DecodedPicture d = DecodeForExport(model, reader, index, *kind, maxMegapixels);
    if (!d.picture) return std::nullopt;
    try {
        return EncodePng(*kind, d.entry, *d.picture);
    } catch (const KelvotError& e) {
        if (e.number() != kImageLibraryFailed) throw;
        return std::nullopt;
    }
}

std::string_view ExportFormatWord(ExportFormat format) {
    constexpr std::array<std::string_view, kExportFormats.size()> kWords = {"bmp", "jpg", "png"};
    return kWords[static_cast<std::size_t>(format)];
}

std::optional<ExportFormat> ParseExportFormat(std::string_view word) {
    for (const ExportFormat format : kExportFormats)
        if (NamesEqualIgnoringCase(word, ExportFormatWord(format))) return format;
    return std::nullopt;
}

std::optional<std::string> TooLargeToDecode(const PictureExtent& extent, std::int64_t maxMegapixels) {
    const std::int64_t pixels = std::int64_t{extent.Width} * extent.Height;
    if (pixels <= maxMegapixels * 1'000'000) return std::nullopt;
    const std::int64_t tenths = (pixels + 50'000) / 100'000;
    return "its picture is " + std::to_string(extent.Width) + " x " + std::to_string(extent.Height) +
           " pixels (" + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) +
           " megapixels), which would take about " + std::to_string((pixels * 3 + (1 << 20) - 1) >> 20) +
           " MiB to decode; the limit is " + std::to_string(maxMegapixels) +
           (maxMegapixels == 1 ? " megapixel." : " megapixels.");
}

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

std::vector<std::int32_t> PictureEntries(const ArchiveModel& model) {
    std::vector<std::int32_t> firsts;
    std::unordered_set<std::int32_t> seen;
    for (const std::int32_t line : ListedEntries(model, TypeFilter::AllImages)) {
        const std::int32_t first = model.FindEntry(model.Directory.EntryNames[line]).value_or(line);
        if (seen.insert(first).second) firsts.push_back(first);
    }
    return firsts;
}

} // namespace kelvot
