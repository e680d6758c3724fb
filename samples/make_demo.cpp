// Writes the demo archive: entries of every type, so the window has something to show.

#include "archive_builder.h"

#include <iostream>

using namespace kelvot::testkit;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_demo OUTPUT.DAT\n";
        return 2;
    }
    std::vector<TestEntry> entries = {
        {"README.TXT", {}},
        {"SHIP.3DO", DataOfType("3DO", 600)},
        {"TOWER.3DO", DataOfType("3DO", 900)},
        {"DOOR.LP", DataOfType("OTH", 77)},
        {"LEVEL1.MAP", DataOfType("OTH", 3000)},
        {"SKY.MIP", DataOfType("MIP", 200)},
        {"GRASS.SRB", DataOfType("SRB", 300)},
        {"FONT.PBF", DataOfType("PBF", 128)},
    };
    const std::string readme = "Kelvot demo archive: every entry type, made by make_demo.\n";
    entries[0].data.assign(readme.begin(), readme.end());
    try {
        WriteFile(argv[1], BuildArchive(entries));
    } catch (const std::exception& e) {
        std::cerr << "make_demo: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
