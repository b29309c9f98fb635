#include "korvel_pv30a.h"

#include "korvel_pv30.h"

namespace korvel::pv30a {

namespace {

constexpr std::uint8_t OWN_LETTER = 'A';

std::uint8_t image_buffer[pv30::IMAGE_SIZE];
std::uint8_t readback_buffer[pv30::IMAGE_SIZE];

}  // namespace

int check_image(const char* model, std::span<const std::uint8_t> image) {
    return pv30::check_image(model, image);
}

int write_image(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                std::span<const std::uint8_t> image) {
    return pv30::write_image_using(host, target, lun, image, readback_buffer);
}

bool update_firmware(std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                     const char* model, int file) {
    return pv30::update_variant_firmware(host, target, lun, model, file, OWN_LETTER,
                                         image_buffer, readback_buffer);
}

}  // namespace korvel::pv30a
