// Writes the firmware files the harness's scripts name (pv30.bin and pv30-damaged.bin) into a
// folder, for runs of korvel-sim outside the harness tests: the comparison of the Qt and Win32
// faces' journals.
#include <cstdio>
#include <string>

#include "firmware_images.h"
#include "harness_files.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_harness_firmware FOLDER\n");
        return 2;
    }
    using namespace korvel;
    namespace images = korvel::firmware_images;
    const std::string folder = argv[1];
    const bool written =
        images::save_file(folder + "/" + harness::SOUND_FILE,
                          images::bridge_image(5, harness::PV30_MODEL)) &&
        images::save_file(folder + "/" + harness::DAMAGED_FILE,
                          images::bridge_image(5, harness::PV30_MODEL, images::Flaw::bad_checksum));
    return written ? 0 : 1;
}
