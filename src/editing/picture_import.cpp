#include "editing/picture_import.h"

#include "archive/codepage.h"
#include "archive/error.h"
#include "export/picture_export.h"
#include "export/picture_file.h"
#include "images/picture_encoders.h"

#include <cerrno>

namespace kelvot {

namespace fs = std::filesystem;

namespace {

std::string Size(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

} // namespace

ImportResult ImportPicture(const EditLock& archive, const ArchiveModel& seen, std::int32_t index,
                           const fs::path& file, std::int64_t maxMegapixels, const EditProgress& progress,
                           UndoStep* undo) {
    if (index < 0 || index >= seen.EntryCount)
        throw KelvotError(EINVAL, archive.shown().string() + " has no entry " + std::to_string(index) + ".");
    const ArchiveModel dir = ReadUnchangedDirectory(archive, seen);
    const std::string entryName =
        "\"" + PrintableName(dir.Directory.EntryNames[static_cast<std::size_t>(index)]) + "\"";
    auto refuse = [&](const std::string& why) {
        return KelvotError(EINVAL, "The picture cannot go into " + entryName + " (entry " +
                                       std::to_string(index) + "): " + why + " Nothing was changed.");
    };
    const std::int64_t offset = dir.DataOffset(index);
    const std::int64_t size = dir.DataSize(index);
    if (!DataInsideFile(dir.DataOffset(index), dir.DataSize(index), dir.FileSize))
        throw refuse("its data lies outside the archive file.");

    // The header first, then only the bytes the picture takes.
    std::vector<std::uint8_t> entry(
        static_cast<std::size_t>(std::min<std::int64_t>(size, kPictureHeaderBytes)));
    ReadExactly(archive.file(), offset, entry);
    const auto kind = PictureKindOf(ClassifyEntry(entry, 0));
    const auto code = kind ? ReadFormatCode(*kind, entry) : std::nullopt;
    const auto extent = kind ? MeasurePicture(*kind, entry) : std::nullopt;
    if (!kind) throw refuse("it is not a picture entry.");
    if (!code) throw refuse("it is too short to hold a picture header.");
    if (!PixelFormatOf(*code))
        throw refuse("its format code " + std::to_string(*code) +
                     " is not a picture format Kelvot can decode.");
    if (!extent || extent->Bytes > size) throw refuse("its picture does not fit in the entry's bytes.");
    if (const auto tooLarge = TooLargeToDecode(*extent, maxMegapixels)) throw refuse(*tooLarge);
    // Bytes that another entry shares would change under it.
    const std::int64_t end = offset + extent->Bytes;
    if (offset < DirectoryEnd(dir.EntryCount)) throw refuse("its picture lies over the archive's directory.");
    for (std::int32_t j = 0; j < dir.EntryCount; ++j) {
        const std::int64_t begin = dir.DataOffset(j);
        if (j != index && dir.DataSize(j) > 0 && begin < end && offset < begin + dir.DataSize(j))
            throw refuse("its picture shares bytes with entry " + std::to_string(j) + " (\"" +
                         PrintableName(dir.Directory.EntryNames[static_cast<std::size_t>(j)]) +
                         "\"), which would change too.");
    }

    // A picture file takes at most a few bytes a pixel; anything larger is not this picture.
    std::int64_t fileSize = 0;
    const FileHandle in = OpenForReading(file, &fileSize);
    const std::int64_t pixels = std::int64_t{extent->Width} * extent->Height;
    if (fileSize > 16 * pixels + (std::int64_t{1} << 20))
        throw KelvotError(EFBIG, file.string() + " is too large to be a picture of " +
                                     Size(extent->Width, extent->Height) + " pixels. Nothing was changed.");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fileSize));
    ReadExactly(in, 0, bytes);
    const auto picture = ReadPictureFile(bytes);
    if (!picture)
        throw KelvotError(EINVAL, file.string() + " is not a picture Kelvot can read. Nothing was changed.");
    if (picture->Width != extent->Width || picture->Height != extent->Height)
        throw KelvotError(EINVAL, file.string() + " is " + Size(picture->Width, picture->Height) +
                                      " pixels, but the picture of " + entryName + " is " +
                                      Size(extent->Width, extent->Height) + ". Nothing was changed.");

    entry.resize(static_cast<std::size_t>(extent->Bytes));
    ReadExactly(archive.file(), offset, entry);
    const auto stored = StorePicture(*kind, entry, *picture);
    if (!stored) throw refuse("the picture could not be reduced to 16 colours.");
    const DataPiece pieces[] = {
        {kOldArchive, 0, offset}, {kInMemory, 0, 0, stored->Entry}, {kOldArchive, end, dir.FileSize - end}};
    const WriteResult written =
        WriteArchiveFile(archive.path(), {}, pieces, &archive.file(), {}, progress, undo);
    return {{true, false, dir.EntryCount, written.FileSize, written.OtherLinks}, stored->ReducedFrom};
}

} // namespace kelvot
