// The image checks of every family, on bytes alone: which rule rejects, in which order, and
// with which result.
#include <functional>
#include <string>

#include "family_test_support.h"
#include "korvel_pv20.h"
#include "korvel_pv30.h"
#include "korvel_pv40.h"
#include "korvel_pv50.h"
#include "korvel_pv50a.h"
#include "korvel_pv70.h"
#include "korvel_runtime_flags.h"

namespace korvel {
namespace {

using namespace firmware_images;

struct Family {
    const char* name;
    std::int32_t code;
    std::string model;
    std::function<int(const std::string&, const Bytes&)> check;
};

const Family FAMILIES[] = {
    {"PV20", 1, "PV20-QTRLC-G",
     [](const std::string& m, const Bytes& i) { return pv20::check_image(1, m.c_str(), i); }},
    {"PV30", 5, "PV30-QTRLC-0B1",
     [](const std::string& m, const Bytes& i) { return pv30::check_image(m.c_str(), i); }},
    {"PV40", 6, "PV40-QTRLB-0E1",
     [](const std::string& m, const Bytes& i) {
         return pv40::check_image(m.c_str(), i, pv40::SECTION_SIZE);
     }},
    {"PV50A", 8, "PV50-9271B-1A0",
     [](const std::string& m, const Bytes& i) { return pv50a::check_image(m.c_str(), i); }},
};

TEST(ImageChecks, EachFlawGetsItsResult) {
    const struct {
        Flaw flaw;
        int expected;
    } flaws[] = {{Flaw::none, CHECK_OK},
                 {Flaw::lower_case_texts, CHECK_OK},
                 {Flaw::bad_format_mark, CHECK_BAD_IMAGE},
                 {Flaw::bad_checksum, CHECK_BAD_IMAGE},
                 {Flaw::wrong_chip_code, CHECK_WRONG_FILE},
                 {Flaw::wrong_kind_tag, CHECK_WRONG_FILE},
                 {Flaw::wrong_variant, CHECK_WRONG_FILE}};
    for (const Family& family : FAMILIES) {
        for (const auto& f : flaws) {
            EXPECT_EQ(family.check(family.model, bridge_image(family.code, family.model, f.flaw)),
                      f.expected)
                << family.name << " flaw " << static_cast<int>(f.flaw);
        }
        // A short file is judged with zeros in place of its end: the checksum still holds
        // when only zeros are missing, and the chip code is gone when the file ends before it.
        Bytes image = bridge_image(family.code, family.model);
        EXPECT_EQ(family.check(family.model, truncated(image, 40)), CHECK_WRONG_FILE)
            << family.name;
        EXPECT_EQ(family.check("", image), CHECK_WRONG_FILE) << family.name;
    }
}

TEST(ImageChecks, TheFirstFailingRuleDecides) {
    for (const Family& family : FAMILIES) {
        // A foreign chip code outranks a broken checksum.
        Bytes image = bridge_image(family.code, family.model, Flaw::bad_checksum);
        image[48] = 'X';
        EXPECT_EQ(family.check(family.model, image), CHECK_WRONG_FILE) << family.name;
        // A bad format mark with a wrong variant letter: PV50A looks at the letter first.
        image = bridge_image(family.code, family.model, Flaw::wrong_variant);
        image[0] = 0x03;
        rebalance(image, checksum_span(family.code));
        EXPECT_EQ(family.check(family.model, image),
                  family.code == 8 ? CHECK_WRONG_FILE : CHECK_BAD_IMAGE)
            << family.name;
    }
}

TEST(ImageChecks, Pv20KindTagVariantLettersAndTestMode) {
    const Bytes qtvn = bridge_image(3, "PV20-QTVNC-G");
    EXPECT_EQ(pv20::check_image(1, "PV20-QTRLC-G", qtvn), CHECK_WRONG_FILE);
    EXPECT_EQ(pv20::check_image(3, "PV20-QTVNC-G", qtvn), CHECK_OK);
    // A code naming no kind this module writes (2 has no module) is never accepted.
    EXPECT_EQ(pv20::check_image(2, "PV20-QTVNC-G", qtvn), CHECK_WRONG_FILE);

    const struct {
        char device, image;
        int expected;
    } letters[] = {{'G', 'P', CHECK_WRONG_FILE}, {'X', 'G', CHECK_WRONG_FILE},
                   {'X', 'Y', CHECK_OK},         {'V', 'V', CHECK_OK},
                   {'g', 'g', CHECK_OK},         {'G', 'g', CHECK_WRONG_FILE}};
    for (const auto& l : letters) {
        const std::string device = std::string("PV20-QTRLC-") + l.device;
        Bytes image = bridge_image(1, std::string("PV20-QTRLC-") + l.image);
        EXPECT_EQ(pv20::check_image(1, device.c_str(), image), l.expected)
            << l.device << " / " << l.image;
        set_fae_test_mode(true);
        EXPECT_EQ(pv20::check_image(1, device.c_str(), image), CHECK_OK);
        set_fae_test_mode(false);
    }
    set_fae_test_mode(true);
    for (const Flaw flaw : {Flaw::wrong_chip_code, Flaw::wrong_kind_tag, Flaw::bad_format_mark,
                            Flaw::bad_checksum}) {
        EXPECT_NE(pv20::check_image(1, "PV20-QTRLC-G", bridge_image(1, "PV20-QTRLC-G", flaw)),
                  CHECK_OK);
    }
    set_fae_test_mode(false);

    // Byte 1 is a fixed byte: damaged, even with the checksum right.
    Bytes image = bridge_image(1, "PV20-QTRLC-G");
    image[1] = 0x7B;
    rebalance(image, pv20::CHECKSUM_SPAN);
    EXPECT_EQ(pv20::check_image(1, "PV20-QTRLC-G", image), CHECK_BAD_IMAGE);
    // The last KiB is outside the checksum.
    image = bridge_image(1, "PV20-QTRLC-G");
    image[0x7C00] ^= 0xFF;
    EXPECT_EQ(pv20::check_image(1, "PV20-QTRLC-G", image), CHECK_OK);
}

TEST(ImageChecks, Pv30BridgeOfVariantNTakesVariantsBAndQWhateverTheirTag) {
    const std::string bridge = "PV30-QTHXC-0N1";
    EXPECT_EQ(pv30::check_image(bridge.c_str(), bridge_image(5, "PV30-QTRLC-0B1")), CHECK_OK);
    EXPECT_EQ(pv30::check_image(bridge.c_str(), bridge_image(5, "PV30-QTRLC-0Q1")), CHECK_OK);
    EXPECT_EQ(pv30::check_image(bridge.c_str(), bridge_image(5, "PV30-QTRLC-0C1")),
              CHECK_WRONG_FILE);
    EXPECT_EQ(pv30::check_image(bridge.c_str(), bridge_image(5, "PV30-QTRLC-0b1")),
              CHECK_WRONG_FILE);
    EXPECT_EQ(pv30::check_image(bridge.c_str(), bridge_image(5, "PV30-QTRLC-0B1", Flaw::bad_checksum)),
              CHECK_BAD_IMAGE);
}

TEST(ImageChecks, Pv40SectionsAreCheckedInTurn) {
    const std::string model = "PV40-QTZFA-0E2";
    EXPECT_EQ(pv40::check_two_section_image(model.c_str(), pv40_two_section_file(model)),
              CHECK_OK);
    EXPECT_EQ(pv40::check_two_section_image(
                  model.c_str(), pv40_two_section_file(model, Flaw::bad_checksum)),
              CHECK_BAD_IMAGE);
    EXPECT_EQ(pv40::check_two_section_image(
                  model.c_str(), pv40_two_section_file(model, Flaw::wrong_kind_tag)),
              CHECK_WRONG_FILE);
    // Section 1 damaged and section 2 foreign: section 1 decides.
    Bytes file = pv40_two_section_file(model, Flaw::wrong_chip_code);
    file[100] ^= 1;
    EXPECT_EQ(pv40::check_two_section_image(model.c_str(), file), CHECK_BAD_IMAGE);
    EXPECT_EQ(pv40::check_two_section_image(model.c_str(), truncated(file, 0xC000)),
              CHECK_BAD_IMAGE);
    EXPECT_EQ(pv40::check_two_section_image(model.c_str(),
                                            truncated(pv40_two_section_file(model), 0xC000)),
              CHECK_WRONG_FILE);
}

TEST(ImageChecks, Pv50aComparesTheModelTextWithoutRegardToCase) {
    const Bytes image = bridge_image(8, "PV50-9271B-1A0");
    EXPECT_EQ(pv50a::check_image("pv50-9271b-1A0", image), CHECK_OK);
    EXPECT_EQ(pv50a::check_image("PV50-9272B-1A0", image), CHECK_WRONG_FILE);
    EXPECT_EQ(pv50a::check_image("PV50-9271C-1A0", image), CHECK_OK);  // 9 is not compared
    EXPECT_EQ(pv50a::check_image("PV50-9271B-1a0", image), CHECK_WRONG_FILE);  // variant: exact
    // Position 4 is compared last and exactly.
    Bytes other = bridge_image(8, "PV50-9271B-1A0", Flaw::bad_checksum);
    other[52] = '_';
    EXPECT_EQ(pv50a::check_image("PV50_9271B-1A0", other), CHECK_BAD_IMAGE);
    other = bridge_image(8, "PV50-9271B-1A0");
    EXPECT_EQ(pv50a::check_image("PV50_9271B-1A0", other), CHECK_WRONG_FILE);
}

// PV50: identification data as a bridge reports it.
Bytes standard_data(std::string_view product_tail) {
    Bytes data(248);
    put_text(data, 23, product_tail);
    return data;
}
Bytes page83_data(std::string_view chip, std::string_view product_code) {
    Bytes data(248);
    put_text(data, 56, chip);
    put_text(data, 61, product_code);
    return data;
}

TEST(ImageChecks, Pv50SameProductRule) {
    const std::string bridge = "PV50S160-C-1D1";  // revision 'C'
    Bytes image = bridge_image(7, bridge);
    pv50_set_revision(image, 'B');
    EXPECT_EQ(pv50::check_image_same_product(bridge.c_str(), image), CHECK_WRONG_FILE);
    pv50_add_zero_mark(image);
    EXPECT_EQ(pv50::check_image_same_product(bridge.c_str(), image), CHECK_OK);
    pv50_set_revision(image, 'b');
    EXPECT_EQ(pv50::check_image_same_product(bridge.c_str(), image), CHECK_WRONG_FILE);
    EXPECT_EQ(pv50::check_image_same_product(
                  bridge.c_str(), bridge_image(7, bridge, Flaw::bad_checksum)),
              CHECK_BAD_IMAGE);
}

TEST(ImageChecks, Pv50ChoiceOfRulesAndGeneralRules) {
    const std::string bridge = "PV50S160-C-1D1";
    const Bytes no_page83(248);
    const Bytes bridge160 = standard_data("BRIDGE160");
    const Bytes plain = standard_data("ST39173N ");

    // A product text equal to the bridge's: the same-product rule, which sums the image.
    Bytes product = bridge_image(7, bridge);
    pv50_set_product_text(product, "bridge160");
    EXPECT_EQ(pv50::check_image(bridge.c_str(), product, bridge160, no_page83), CHECK_OK);
    product[300] ^= 1;
    EXPECT_EQ(pv50::check_image(bridge.c_str(), product, bridge160, no_page83), CHECK_BAD_IMAGE);
    // On a bridge that does not call itself "Bridge" the product-text rule needs no checksum.
    EXPECT_EQ(pv50::check_image(bridge.c_str(), product, plain, no_page83), CHECK_OK);
    // Speed digits from the model text: "160" fits, "320" and "20 " do not.
    EXPECT_EQ(pv50::check_image("PV50S320-C-1D1", product, plain, no_page83), CHECK_WRONG_FILE);
    Bytes bridge20 = bridge_image(7, "PV50S20 -C-1D1");
    pv50_set_product_text(bridge20, "BRIDGE20");
    EXPECT_EQ(pv50::check_image("PV50S20 -X-1D1", bridge20, plain, no_page83), CHECK_WRONG_FILE);
    pv50_add_zero_mark(bridge20);
    EXPECT_EQ(pv50::check_image("PV50S20 -X-1D1", bridge20, plain, no_page83), CHECK_OK);
    EXPECT_EQ(pv50::check_image("PV50S16 -X-1D1", bridge20, plain, no_page83), CHECK_WRONG_FILE);

    // A "Bridge" whose product text the image does not carry, and not a newer image.
    Bytes older = bridge_image(7, bridge);
    EXPECT_EQ(pv50::check_image(bridge.c_str(), older, standard_data("Bridge320"), no_page83),
              CHECK_WRONG_FILE);
    // An older image elsewhere: format mark, checksum, exact revision.
    EXPECT_EQ(pv50::check_image(bridge.c_str(), older, plain, no_page83), CHECK_OK);
    EXPECT_EQ(pv50::check_image("PV50S160-c-1D1", older, plain, no_page83), CHECK_WRONG_FILE);
    EXPECT_EQ(pv50::check_image(bridge.c_str(), bridge_image(7, bridge, Flaw::bad_format_mark),
                                plain, no_page83),
              CHECK_BAD_IMAGE);

    // Newer images: the product code decides when page 0x83 names a PV50, nothing else.
    Bytes newer = bridge_image(7, bridge, Flaw::bad_checksum);
    pv50_make_newer(newer, "K51");
    newer[0] = 0;
    newer[300] ^= 1;
    EXPECT_EQ(pv50::check_image(bridge.c_str(), newer, bridge160, page83_data("pv50", "k51")),
              CHECK_OK);
    EXPECT_EQ(pv50::check_image(bridge.c_str(), newer, bridge160, page83_data("PV50", "K52")),
              CHECK_WRONG_FILE);
    // Without page 0x83: the bridge's speed digits must match the image's.
    EXPECT_EQ(pv50::check_image(bridge.c_str(), newer, bridge160, no_page83), CHECK_OK);
    EXPECT_EQ(pv50::check_image(bridge.c_str(), newer, standard_data("BRIDGE320"), no_page83),
              CHECK_WRONG_FILE);
    // Neither: the revision decides (matching in any case, or both digits).
    EXPECT_EQ(pv50::check_image("PV50S160-c-1D1", newer, plain, no_page83), CHECK_OK);
    EXPECT_EQ(pv50::check_image("PV50S160-D-1D1", newer, plain, no_page83), CHECK_WRONG_FILE);
    pv50_set_revision(newer, '3');
    EXPECT_EQ(pv50::check_image("PV50S160-7-1D1", newer, plain, no_page83), CHECK_OK);
}

TEST(ImageChecks, Pv70HeaderTextsAndWordChecksum) {
    const Bytes image = pv70_image();
    const auto check = [](const Bytes& file) {
        const std::span<const std::uint8_t> bytes(file);
        return pv70::check_image(bytes.first(pv70::HEADER_SIZE),
                                 bytes.subspan(pv70::HEADER_SIZE));
    };
    EXPECT_EQ(check(pv70_file(image)), CHECK_OK);
    EXPECT_EQ(check(pv70_file(image, {"pvm-070 copier", "tavro technology", 0})), CHECK_OK);
    EXPECT_EQ(check(pv70_file(image, {"PVM-070 Copiers", "TAVRO Technologx", 0})),
              CHECK_WRONG_FILE);
    EXPECT_EQ(check(pv70_file(image, {"PVM-071 Copier", "TAVRO Technology", 1})),
              CHECK_WRONG_FILE);
    EXPECT_EQ(check(pv70_file(image, {.checksum_delta = 1})), CHECK_BAD_IMAGE);

    Bytes changed = image;
    changed[1000] ^= 0x10;
    EXPECT_EQ(check(joined(truncated(pv70_file(image), pv70::HEADER_SIZE), changed)),
              CHECK_BAD_IMAGE);
    Bytes swapped = image;
    std::swap(swapped[10], swapped[5000]);
    std::swap(swapped[11], swapped[5001]);
    EXPECT_EQ(check(joined(truncated(pv70_file(image), pv70::HEADER_SIZE), swapped)), CHECK_OK);

    // The stored checksum is big-endian; missing image bytes count as zeros.
    Bytes zeros(0x80000, 0);
    zeros[0] = 0x12;
    zeros[1] = 0x34;
    const Bytes file = pv70_file(zeros);
    EXPECT_EQ(file[14], 0x12);
    EXPECT_EQ(file[15], 0x34);
    EXPECT_EQ(check(truncated(file, pv70::HEADER_SIZE + 2)), CHECK_OK);
}

}  // namespace
}  // namespace korvel
