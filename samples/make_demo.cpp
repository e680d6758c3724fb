// Writes the demo archive: pictures of every kind and format code (with transparency to look at in
// the mask box), 3-D objects and other files, all made here.

#include "archive_builder.h"
#include "picture_builder.h"

#include <cmath>
#include <iostream>

using namespace kelvot;
using namespace kelvot::testkit;

namespace {

// Distance from the centre, 0 at the middle and about 1 at the edge.
double Radius(int x, int y, int w, int h) {
    const double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h / 2.0);
    return std::sqrt(dx * dx + dy * dy);
}

PictureSpec Picture(PictureKind kind, std::uint8_t code, std::int16_t w, std::int16_t h,
                    bool layoutB = false) {
    PictureSpec spec;
    spec.Kind = kind;
    spec.FormatCode = code;
    spec.Width = w;
    spec.Height = h;
    spec.LayoutB = layoutB;
    spec.Mapp = 1;
    spec.SubImages = static_cast<std::uint8_t>(1 + code % 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double r = Radius(x, y, w, h);
            const int red = x * 31 / std::max(1, w - 1), green = y * 63 / std::max(1, h - 1);
            const int blue = static_cast<int>(31 * std::max(0.0, 1 - r));
            std::uint16_t v = 0;
            switch (code) {
            case 0:
            case 1:
            case 2:
                v = static_cast<std::uint16_t>(static_cast<int>(r * 12 + (x / 8 + y / 8) % 2) % 16);
                break;
            case 3:
                v = static_cast<std::uint16_t>(red << 11 | green << 5 | blue);
                break;
            case 4:
                v = static_cast<std::uint16_t>((r < 0.8 ? 0x8000 : 0) | red << 10 | (green / 2) << 5 | blue);
                break;
            case 5: {
                const int alpha = static_cast<int>(15 * std::max(0.0, 1 - r));
                v = static_cast<std::uint16_t>(alpha << 12 | (red / 2) << 8 | (green / 4) << 4 | blue / 2);
                break;
            }
            default:
                v = 0xFFFF;
            }
            spec.Pixels.push_back(v);
        }
    }
    if (code <= 2) {
        // A rainbow of 16 colours whose transparency fades out towards the edge colours.
        for (int i = 0; i < 16; ++i) {
            const double t = i / 15.0 * 6.283;
            spec.Colours[4 * i + 0] = static_cast<std::uint8_t>(127 + 127 * std::sin(t));
            spec.Colours[4 * i + 1] = static_cast<std::uint8_t>(127 + 127 * std::sin(t + 2.1));
            spec.Colours[4 * i + 2] = static_cast<std::uint8_t>(127 + 127 * std::sin(t + 4.2));
            spec.Colours[4 * i + 3] = static_cast<std::uint8_t>(255 - 17 * i);
        }
    }
    return spec;
}

std::vector<std::uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_demo OUTPUT.DAT\n";
        return 2;
    }
    std::vector<TestEntry> entries = {
        {"README.TXT",
         Text("Kelvot demo archive: pictures of every kind and format code, made by make_demo.\n")},
        {"SHIP.3DO", DataOfType("3DO", 600)},
        {"TOWER.3DO", DataOfType("3DO", 900)},
        {"DOOR.LP", Text("A door's light map would live here.\n")},
        {"LEVEL1.MAP", DataOfType("OTH", 3000)},
    };
    struct Kind {
        PictureKind kind;
        const char* prefix;
        const char* extension;
    };
    const Kind kinds[] = {{PictureKind::Mip, "SKY", "MIP"},
                          {PictureKind::Srb, "GRASS", "SRB"},
                          {PictureKind::Pbf, "FONT", "PBF"}};
    const std::int16_t sizes[][2] = {{128, 96}, {64, 64}, {200, 120}, {96, 160}, {37, 21}, {250, 250}};
    try {
        for (const Kind& k : kinds) {
            for (std::uint8_t code = 0; code <= 5; ++code) {
                const auto* size = sizes[(code + static_cast<int>(k.kind)) % 6];
                const std::string stem = std::string(k.prefix) + std::to_string(code);
                entries.push_back(
                    {stem + "." + k.extension, EncodePicture(Picture(k.kind, code, size[0], size[1]))});
                if (code <= 2 && k.kind != PictureKind::Pbf)
                    entries.push_back({stem + "B." + k.extension,
                                       EncodePicture(Picture(k.kind, code, size[1], size[0], true))});
            }
        }
        entries.push_back({"ODD7.MIP", EncodePicture(Picture(PictureKind::Mip, 7, 16, 16))});
        // Larger than the preview boxes, so they are scaled down to fit.
        entries.push_back({"VISTA5.PBF", EncodePicture(Picture(PictureKind::Pbf, 5, 800, 600))});
        entries.push_back({"TALL1.MIP", EncodePicture(Picture(PictureKind::Mip, 1, 120, 720))});
        entries.push_back({"EMPTY.BIN", {}});
        WriteFile(argv[1], BuildArchive(entries));
    } catch (const std::exception& e) {
        std::cerr << "make_demo: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
