#include "terminal_listing.h"

#include <cstdio>
#include <string_view>

#include "json_text.h"
#include "korvel_family_dispatch.h"
#include "korvel_hint.h"

namespace korvel {

namespace {

// A fixed-size text of an inquiry or model field, without the spaces that pad it.
std::string field(const char* text, std::size_t capacity) {
    std::string_view view(text, capacity);
    view = view.substr(0, view.find('\0'));
    while (!view.empty() && view.back() == ' ') view.remove_suffix(1);
    return std::string(view);
}

bool has_capacity(const TargetRecord& record) {
    return type_has_capacity(record.type) &&
           capacity_megabytes(record.block_count, record.block_length) > 0;
}

// The bus in a few characters: "wide 160", "narrow 20", "async" (MB/s; the JSON says more).
std::string bus_text(const TargetRecord& record) {
    if (record.speed < 0) return "-";
    if (record.speed == 0) return "async";
    return std::string(record.wide == 1 ? "wide " : "narrow ") + std::to_string(record.speed);
}

// A column of width characters (the text is ASCII or an adapter's Latin-1 name), or the
// text and one space when it is longer.
void column(std::string& line, const std::string& text, std::size_t width) {
    line += text;
    line.append(text.size() < width ? width - text.size() : 1, ' ');
}

}  // namespace

std::string listing_text(const std::vector<ListedBridge>& bridges) {
    if (bridges.empty()) return "No KORVEL bridge on any host adapter.\n";
    // Within 80 columns, a Windows console's width, for every name the bridges carry; the
    // address is the one --target takes.
    std::string text =
        "HOST:ID ADAPTER      FAMILY       MODEL          REV  BUS MB/s   SIZE    UPDATE\n";
    for (const ListedBridge& bridge : bridges) {
        const TargetRecord& record = bridge.record;
        std::string line;
        column(line, std::to_string(bridge.host) + ":" + std::to_string(record.target), 8);
        column(line, bridge.adapter, 13);
        column(line, std::to_string(record.family_code) + " " + family_name(record.family_code),
               13);
        column(line, field(record.bridge_ident, sizeof record.bridge_ident), 15);
        column(line, field(record.revision, sizeof record.revision), 5);
        column(line, bus_text(record), 11);
        column(line, has_capacity(record) ? capacity_text(record.block_count, record.block_length)
                                          : std::string("-"),
               8);
        line += bridge.update_offered ? "yes" : "no";
        text += line + "\n";
    }
    return text;
}

std::string bridge_json(const ListedBridge& bridge) {
    const TargetRecord& record = bridge.record;
    JsonObjectText object;
    object.number("host", bridge.host)
        .text("adapter", bridge.adapter)
        .number("target", record.target)
        .number("lun", record.lun)
        .number("device_type", record.type)
        .number("family_code", record.family_code)
        .text("family", family_name(record.family_code))
        .text("model", field(record.bridge_ident, sizeof record.bridge_ident))
        .text("vendor", field(record.vendor, sizeof record.vendor))
        .text("product", field(record.product, sizeof record.product))
        .text("revision", field(record.revision, sizeof record.revision));
    if (record.speed < 0) {
        object.raw("wide", "null").raw("rate_mb_s", "null");
    } else {
        object.boolean("wide", record.wide == 1).number("rate_mb_s", record.speed);
    }
    if (has_capacity(record)) {
        char megabytes[32];
        std::snprintf(megabytes, sizeof megabytes, "%.1f",
                      capacity_megabytes(record.block_count, record.block_length));
        object.raw("capacity_mb", megabytes);
    } else {
        object.raw("capacity_mb", "null");
    }
    object.boolean("update_offered", bridge.update_offered);
    return object.json();
}

std::string listing_json(const std::vector<ListedBridge>& bridges) {
    std::string text = "[";
    for (std::size_t i = 0; i < bridges.size(); ++i) {
        text += i == 0 ? "\n  " : ",\n  ";
        text += bridge_json(bridges[i]);
    }
    text += bridges.empty() ? "]\n" : "\n]\n";
    return text;
}

}  // namespace korvel
