#include "korvel_family_dispatch.h"

#include "korvel_pv20.h"
#include "korvel_pv30.h"
#include "korvel_pv30a.h"
#include "korvel_pv30c.h"
#include "korvel_pv40.h"
#include "korvel_pv50.h"
#include "korvel_pv50a.h"
#include "korvel_pv70.h"
#include "lib_aspi_bridge.h"
#include "lib_global.h"

namespace korvel {

namespace {

bool is_byte(int value) { return value >= 0 && value <= 0xFF; }

}  // namespace

bool family_has_module(std::int32_t family_code) {
    switch (family_code) {
        case FAMILY_PV20_QTRL:
        case FAMILY_PV20_QTVN:
        case FAMILY_PV70:
        case FAMILY_PV30:
        case FAMILY_PV30_A:
        case FAMILY_PV30_C:
        case FAMILY_PV40:
        case FAMILY_PV40_QTZF:
        case FAMILY_PV50:
        case FAMILY_PV50_9271:
            return true;
        default:
            return false;
    }
}

const char* family_name(std::int32_t family_code) {
    switch (family_code) {
        case FAMILY_PV20_QTRL: return "PV20";
        case FAMILY_PV20_QTWD: return "PV20 QTWD";
        case FAMILY_PV20_QTVN: return "PV20 QTVN";
        case FAMILY_PV70: return "PV70";
        case FAMILY_PV30: return "PV30";
        case FAMILY_PV40: return "PV40";
        case FAMILY_PV50: return "PV50";
        case FAMILY_PV50_9271: return "PV50 9271";
        case FAMILY_PV40_QTZF: return "PV40 QTZF";
        case FAMILY_PV30_A: return "PV30-A";
        case FAMILY_PV30_C: return "PV30-C";
        default: return "";
    }
}

int update_firmware_for_family(std::int32_t family_code, int host, int target, int lun,
                               const char* model, int file) {
    if (!family_has_module(family_code)) return UPDATE_NO_MODULE;
    if (!is_byte(host) || !is_byte(target) || !is_byte(lun)) {
        // Cut to a byte, such an address would name another device.
        file_close(file);
        return UPDATE_NOT_WRITTEN;
    }
    const auto h = static_cast<std::uint8_t>(host);
    const auto t = static_cast<std::uint8_t>(target);
    const auto l = static_cast<std::uint8_t>(lun);
    const char* text = model != nullptr ? model : "";

    bool written = false;
    switch (family_code) {
        case FAMILY_PV20_QTRL:
        case FAMILY_PV20_QTVN:
            written = pv20::update_firmware(h, t, l, family_code, text, file);
            break;
        case FAMILY_PV70:
            written = pv70::update_firmware(h, t, l, file);
            break;
        case FAMILY_PV30:
            written = pv30::update_firmware(h, t, l, text, file);
            break;
        case FAMILY_PV30_A:
            written = pv30a::update_firmware(h, t, l, text, file);
            break;
        case FAMILY_PV30_C:
            written = pv30c::update_firmware(h, t, l, text, file);
            break;
        case FAMILY_PV40:
            written = pv40::update_firmware(h, t, l, text, file);
            break;
        case FAMILY_PV40_QTZF:
            written = pv40::update_two_section_firmware(h, t, l, text, file);
            break;
        case FAMILY_PV50:
            written = pv50::update_firmware(h, t, l, text, file);
            break;
        case FAMILY_PV50_9271:
            written = pv50a::update_firmware(h, t, l, text, file);
            break;
        default:
            break;
    }
    return written ? UPDATE_WRITTEN : UPDATE_NOT_WRITTEN;
}

}  // namespace korvel
