// Writes the starting corpus of fuzz_image_checks into a folder: for every family a few inputs
// that pass its checks (built by the firmware image builder) and a few that each break one
// rule, in the fuzzer's input layout (see fuzz_image_checks.cpp). Generated at run time so
// that no binary files need keeping.
//
// Images are cut short where that keeps them sound: the checks read the missing end as zeros,
// and zeros leave a byte or word sum unchanged. Short inputs keep the fuzzer fast.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "firmware_images.h"

namespace {

using namespace korvel::firmware_images;

struct Input {
    std::uint8_t selector = 0;
    std::string model;
    Bytes standard;
    Bytes page83;
    std::uint32_t number = 0;
    Bytes image;

    Bytes bytes() const {
        Bytes out{selector, static_cast<std::uint8_t>(model.size()),
                  static_cast<std::uint8_t>(standard.size()),
                  static_cast<std::uint8_t>(page83.size()),
                  static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                  static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
        out.insert(out.end(), model.begin(), model.end());
        out.insert(out.end(), standard.begin(), standard.end());
        out.insert(out.end(), page83.begin(), page83.end());
        out.insert(out.end(), image.begin(), image.end());
        return out;
    }
};

// A sound image cut to length, its checksum over span brought right again.
Bytes short_image(std::int32_t family, std::string_view model, std::size_t length,
                  Flaw flaw = Flaw::none) {
    Bytes image = truncated(bridge_image(family, model, flaw), length);
    if (flaw != Flaw::bad_checksum) rebalance(image, checksum_span(family));
    return image;
}

// 248 bytes of identification data with text at offset.
Bytes data_with(std::size_t offset, std::string_view text) {
    Bytes data(248, 0);
    put_text(data, offset, text);
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    std::vector<std::pair<std::string, Input>> inputs;
    const auto add = [&](std::string name, Input input) {
        inputs.emplace_back(std::move(name), std::move(input));
    };

    // PV20: both kinds, a whole image and a short one; one damaged.
    add("pv20_qtrl", {0, "PV20-QTRLC-G", {}, {}, 1, short_image(1, "PV20-QTRLC-G", 256)});
    add("pv20_qtvn_whole", {0, "PV20-QTVNB-V", {}, {}, 3, bridge_image(3, "PV20-QTVNB-V")});
    add("pv20_fae", {0x80, "PV20-QTRLC-P", {}, {}, 1, short_image(1, "PV20-QTRLC-G", 256)});
    add("pv20_bad_mark", {0, "PV20-QTRLC-G", {}, {}, 1,
                          short_image(1, "PV20-QTRLC-G", 256, Flaw::bad_format_mark)});
    // PV30: plain, the "N" bridge with a "B" image, a variant letter, a whole image.
    add("pv30", {1, "PV30-QTRLC-0B1", {}, {}, 0, short_image(5, "PV30-QTRLC-0B1", 256)});
    add("pv30_n_takes_b", {1, "PV30-QTWDC-0N1", {}, {}, 0, short_image(5, "PV30-QTRLC-0B1", 256)});
    add("pv30a_whole", {1, "PV30-QTRLC-0A1", {}, {}, 0, bridge_image(21, "PV30-QTRLC-0A1")});
    add("pv30_wrong_tag", {1, "PV30-QTRLC-0B1", {}, {}, 0,
                           short_image(5, "PV30-QTRLC-0B1", 256, Flaw::wrong_kind_tag)});
    // PV40: one section, and a two-section file (section 2 starts at 48 KiB).
    add("pv40", {2, "PV40-QTRLB-0E1", {}, {}, 0xC000, short_image(6, "PV40-QTRLB-0E1", 256)});
    {
        Bytes file = bridge_image(20, "PV40-QTZFA-0E2");
        const Bytes second = short_image(20, "PV40-QTZFA-0E2", 256);
        file.insert(file.end(), second.begin(), second.end());
        add("pv40_two_sections", {2, "PV40-QTZFA-0E2", {}, {}, 0xC000, file});
    }
    add("pv40_lower_case", {2, "PV40-QTRLB-0E1", {}, {}, 0x100,
                            short_image(6, "PV40-QTRLB-0E1", 256, Flaw::lower_case_texts)});
    // PV50: each way of choosing the rules.
    {
        const std::string model = "PV50S160-C-1D1";
        const Bytes standard = data_with(16, "KV-PV50BRIDGE160");
        Bytes same_product = short_image(7, model, 256);
        pv50_set_product_text(same_product, "BRIDGE160");
        pv50_add_zero_mark(same_product);
        add("pv50_same_product", {3, model, standard, {}, 0, same_product});

        Bytes newer = short_image(7, model, 256);
        pv50_make_newer(newer, "320");
        add("pv50_newer_by_page", {3, "PV50S320-C10", standard, data_with(56, "PV50S320"), 0,
                                   newer});
        add("pv50_newer_by_speed", {3, model, standard, {}, 0, newer});

        Bytes speed = short_image(7, "PV50S20 -B10", 256);
        pv50_set_product_text(speed, "BRIDGE20");
        add("pv50_bridge20", {3, "PV50S20 -B10", data_with(16, "KV-PV50BRIDGE320"), {}, 0, speed});

        add("pv50_older", {3, model, data_with(16, "SOME OTHER DISK"), {}, 0,
                           short_image(7, model, 256)});
    }
    // PV50 variant A.
    add("pv50a", {4, "PV50-9271B-1A0", {}, {}, 0, short_image(8, "PV50-9271B-1A0", 256)});
    add("pv50a_wrong_variant", {4, "PV50-9271B-1A0", {}, {}, 0,
                                short_image(8, "PV50-9271B-1A0", 256, Flaw::wrong_variant)});
    // PV70: a whole header and a short image whose word sum is stored.
    {
        const Bytes image = truncated(pv70_image(), 4096);
        add("pv70", {5, "", {}, {}, 0x800, pv70_file(image)});
        Pv70Header lower;
        lower.product = "pvm-070 copier";
        lower.maker = "tavro technology";
        add("pv70_lower_case", {5, "", {}, {}, 0x800, pv70_file(image, lower)});
        Pv70Header off;
        off.checksum_delta = 1;
        add("pv70_bad_sum", {5, "", {}, {}, 0x800, pv70_file(image, off)});
    }

    for (const auto& [name, input] : inputs) {
        if (!save_file((folder / name).string(), input.bytes())) {
            std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
            return 1;
        }
    }
    std::printf("%zu seed inputs in %s\n", inputs.size(), folder.c_str());
    return 0;
}
