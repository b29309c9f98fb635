#include "sim_bus_file.h"

#include <algorithm>

#include "sim_json_input.h"

namespace korvel {

namespace {

// What a fail rule answers: CHECK CONDITION with HARDWARE ERROR, INTERNAL TARGET FAILURE.
constexpr std::uint8_t ASC_INTERNAL_TARGET_FAILURE = 0x44;

struct LocaleLcid {
    const char* name;
    std::uint32_t lcid;
};

constexpr LocaleLcid KNOWN_LOCALES[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"zh_TW", 0x0404}, {"zh_CN", 0x0804},
    {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404}, {"ja_JP", 0x0411},
    {"ko_KR", 0x0412}, {"de_DE", 0x0407}, {"fr_FR", 0x040C}, {"es_ES", 0x0C0A},
    {"it_IT", 0x0410}, {"pt_BR", 0x0416}, {"ru_RU", 0x0419}, {"th_TH", 0x041E},
};

std::string known_locale_names() {
    std::string names;
    for (const LocaleLcid& known : KNOWN_LOCALES) {
        if (!names.empty()) names += ", ";
        names += known.name;
    }
    return names;
}

bool printable_ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A page code as the pages object keys it: "83", "c3", "0".
std::optional<std::uint8_t> page_code(const std::string& key) {
    if (key.empty() || key.size() > 2 || !std::all_of(key.begin(), key.end(), is_hex_digit)) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(std::stoul(key, nullptr, 16));
}

class BusFileReader {
public:
    std::optional<BusFile> read(const JsonValue& document) {
        if (!document.is_object()) {
            input_.fail({}, "expected an object with \"adapters\"");
            return std::nullopt;
        }
        const JsonValue::Object& top = document.object();
        BusFile bus;
        if (!input_.only_keys(top, {}, {"locale", "adapters"})) return std::nullopt;
        if (const JsonValue* value = json_find(top, "locale")) {
            const auto locale = input_.text(*value, "locale", 32);
            if (!locale) return std::nullopt;
            const auto lcid = bus_file_lcid(*locale);
            if (!lcid) {
                input_.fail("locale", "unknown locale \"" + *locale + "\" (known: " +
                                          known_locale_names() + ")");
                return std::nullopt;
            }
            bus.locale = *locale;
            bus.lcid = *lcid;
        }
        if (!input_.has_key(top, {}, "adapters")) return std::nullopt;
        const JsonValue& adapters = *json_find(top, "adapters");
        const std::string where = "adapters";
        if (!adapters.is_array()) {
            input_.fail(where, "expected an array");
            return std::nullopt;
        }
        const JsonValue::Array& list = adapters.array();
        if (list.size() > BUS_FILE_MAX_ADAPTERS) {
            input_.fail(where, std::to_string(list.size()) + " adapters, at most " +
                                   std::to_string(BUS_FILE_MAX_ADAPTERS));
            return std::nullopt;
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            auto adapter = read_adapter(list[i], json_element(where, i));
            if (!adapter) return std::nullopt;
            bus.adapters.push_back(std::move(*adapter));
        }
        return bus;
    }

    const std::string& error() const { return input_.error(); }

private:
    std::optional<BusFileAdapter> read_adapter(const JsonValue& value, const std::string& where) {
        const JsonValue::Object* object = input_.object(value, where);
        if (object == nullptr || !input_.only_keys(*object, where, {"driver", "devices"})) {
            return std::nullopt;
        }
        BusFileAdapter adapter;
        if (const JsonValue* driver_value = json_find(*object, "driver")) {
            const std::string at = json_member(where, "driver");
            const auto driver = input_.text(*driver_value, at, BUS_FILE_MAX_DRIVER_LENGTH);
            if (!driver) return std::nullopt;
            if (!printable_ascii(*driver)) {
                input_.fail(at, "only printable ASCII characters are allowed");
                return std::nullopt;
            }
            adapter.driver = *driver;
        }
        if (const JsonValue* devices = json_find(*object, "devices")) {
            const std::string at = json_member(where, "devices");
            if (!devices->is_array()) {
                input_.fail(at, "expected an array");
                return std::nullopt;
            }
            const JsonValue::Array& list = devices->array();
            for (std::size_t i = 0; i < list.size(); ++i) {
                auto device = read_device(list[i], json_element(at, i));
                if (!device) return std::nullopt;
                for (const BusFileDevice& earlier : adapter.devices) {
                    if (earlier.target == device->target) {
                        input_.fail(json_member(json_element(at, i), "target"),
                                    "target " + std::to_string(device->target) +
                                        " is already taken on this adapter");
                        return std::nullopt;
                    }
                }
                adapter.devices.push_back(std::move(*device));
            }
        }
        return adapter;
    }

    std::optional<BusFileDevice> read_device(const JsonValue& value, const std::string& where) {
        const JsonValue::Object* object = input_.object(value, where);
        if (object == nullptr ||
            !input_.only_keys(*object, where,
                              {"target", "inquiry", "pages", "capacity", "fail", "corrupt_reads",
                               "board", "latency"})) {
            return std::nullopt;
        }
        BusFileDevice device;
        if (!input_.has_key(*object, where, "target")) return std::nullopt;
        const auto target = input_.integer(*json_find(*object, "target"),
                                           json_member(where, "target"), 0, BUS_FILE_MAX_TARGET);
        if (!target) return std::nullopt;
        device.target = static_cast<std::uint8_t>(*target);

        if (!input_.has_key(*object, where, "inquiry")) return std::nullopt;
        auto inquiry = input_.hex(*json_find(*object, "inquiry"), json_member(where, "inquiry"),
                                  0, SIM_INQUIRY_CAPACITY);
        if (!inquiry) return std::nullopt;
        device.inquiry = std::move(*inquiry);

        if (const JsonValue* pages = json_find(*object, "pages");
            pages != nullptr && !read_pages(*pages, json_member(where, "pages"), device)) {
            return std::nullopt;
        }
        if (const JsonValue* value_of = json_find(*object, "capacity")) {
            const auto capacity = input_.hex(*value_of, json_member(where, "capacity"),
                                             BUS_FILE_CAPACITY_BYTES, BUS_FILE_CAPACITY_BYTES);
            if (!capacity) return std::nullopt;
            device.capacity.emplace();
            std::copy(capacity->begin(), capacity->end(), device.capacity->begin());
        }
        if (const JsonValue* fail = json_find(*object, "fail");
            fail != nullptr && !read_fail_rules(*fail, json_member(where, "fail"), device)) {
            return std::nullopt;
        }
        if (const JsonValue* latency = json_find(*object, "latency");
            latency != nullptr &&
            !read_answer_times(*latency, json_member(where, "latency"), device)) {
            return std::nullopt;
        }
        if (const JsonValue* value_of = json_find(*object, "corrupt_reads")) {
            const auto count = input_.integer(*value_of, json_member(where, "corrupt_reads"), 0,
                                              BUS_FILE_MAX_COUNT);
            if (!count) return std::nullopt;
            device.corrupt_reads = static_cast<std::uint32_t>(*count);
        }
        if (const JsonValue* value_of = json_find(*object, "board")) {
            const std::string at = json_member(where, "board");
            const auto board = input_.text(*value_of, at, 16);
            if (!board) return std::nullopt;
            if (*board == "bridge") {
                device.board = SimBoardKind::bridge;
            } else if (*board == "copier") {
                device.board = SimBoardKind::copier;
            } else {
                input_.fail(at, "expected \"bridge\" or \"copier\"");
                return std::nullopt;
            }
        }
        return device;
    }

    bool read_pages(const JsonValue& value, const std::string& where, BusFileDevice& device) {
        const JsonValue::Object* object = input_.object(value, where);
        if (object == nullptr) return false;
        for (const auto& [key, bytes_value] : *object) {
            const std::string at = where + "[\"" + key + "\"]";
            const std::optional<std::uint8_t> code = page_code(key);
            if (!code) {
                input_.fail(at, "a page code is one or two hex digits");
                return false;
            }
            if (device.pages.contains(*code)) {
                input_.fail(at, "page " + key + " is given twice");
                return false;
            }
            auto bytes = input_.hex(bytes_value, at, 0, BUS_FILE_MAX_PAGE_BYTES);
            if (!bytes) return false;
            device.pages.emplace(*code, std::move(*bytes));
        }
        return true;
    }

    // A list of rules {"cdb": the hex bytes a CDB starts with, number_key: 0 to maximum}.
    template <typename Add>
    bool read_cdb_rules(const JsonValue& value, const std::string& where, const char* number_key,
                        std::int64_t maximum, Add add) {
        if (!value.is_array()) {
            input_.fail(where, "expected an array");
            return false;
        }
        const JsonValue::Array& rules = value.array();
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const std::string at = json_element(where, i);
            const JsonValue::Object* rule = input_.object(rules[i], at);
            if (rule == nullptr || !input_.only_keys(*rule, at, {"cdb", number_key}) ||
                !input_.has_key(*rule, at, "cdb") || !input_.has_key(*rule, at, number_key)) {
                return false;
            }
            auto prefix = input_.hex(*json_find(*rule, "cdb"), json_member(at, "cdb"), 1,
                                     BUS_FILE_MAX_CDB_BYTES);
            if (!prefix) return false;
            const auto number = input_.integer(*json_find(*rule, number_key),
                                               json_member(at, number_key), 0, maximum);
            if (!number) return false;
            add(std::move(*prefix), static_cast<std::uint32_t>(*number));
        }
        return true;
    }

    bool read_fail_rules(const JsonValue& value, const std::string& where,
                         BusFileDevice& device) {
        return read_cdb_rules(value, where, "times", BUS_FILE_MAX_COUNT,
                              [&](std::vector<std::uint8_t> prefix, std::uint32_t times) {
                                  device.fail.push_back({std::move(prefix), times});
                              });
    }

    bool read_answer_times(const JsonValue& value, const std::string& where,
                           BusFileDevice& device) {
        return read_cdb_rules(value, where, "ms", BUS_FILE_MAX_ANSWER_MS,
                              [&](std::vector<std::uint8_t> prefix, std::uint32_t ms) {
                                  device.latency.push_back({std::move(prefix), ms});
                              });
    }

    JsonInput input_;
};

}  // namespace

std::optional<std::uint32_t> bus_file_lcid(std::string_view locale) {
    for (const LocaleLcid& known : KNOWN_LOCALES) {
        if (locale == known.name) return known.lcid;
    }
    return std::nullopt;
}

std::optional<BusFile> parse_bus_file(std::string_view bytes, std::string& error) {
    JsonValue document;
    if (!parse_input_json(bytes, document, error)) return std::nullopt;
    BusFileReader reader;
    std::optional<BusFile> bus = reader.read(document);
    if (!bus) error = reader.error();
    return bus;
}

std::vector<PlacedDevice> lay_out_bus_file(const BusFile& bus, SimPlatform& sim) {
    sim.identity.set_lcid(bus.lcid);
    std::vector<PlacedDevice> placed;
    for (std::size_t index = 0; index < bus.adapters.size(); ++index) {
        const BusFileAdapter& adapter = bus.adapters[index];
        const auto port = static_cast<std::uint8_t>(index);
        std::vector<SimPortDevice> on_port;
        for (const BusFileDevice& described : adapter.devices) {
            auto device = std::make_shared<SimBridge>(described.inquiry, described.board);
            for (const auto& [code, bytes] : described.pages) device->set_vpd_page(code, bytes);
            if (described.capacity) {
                const auto& c = *described.capacity;
                const auto be32 = [&c](std::size_t at) {
                    return static_cast<std::uint32_t>(c[at]) << 24 |
                           static_cast<std::uint32_t>(c[at + 1]) << 16 |
                           static_cast<std::uint32_t>(c[at + 2]) << 8 | c[at + 3];
                };
                device->set_capacity(be32(0), be32(4));
            } else {
                device->clear_capacity();
            }
            for (const BusFileFailRule& rule : described.fail) {
                device->inject_check_condition(
                    rule.times,
                    fixed_sense(SIM_SENSE_HARDWARE_ERROR, ASC_INTERNAL_TARGET_FAILURE, 0),
                    rule.cdb_prefix);
            }
            if (described.corrupt_reads > 0) device->corrupt_reads(described.corrupt_reads);
            for (const BusFileAnswerTime& rule : described.latency) {
                device->add_answer_time(rule.cdb_prefix, rule.milliseconds);
            }
            on_port.push_back({0, described.target, 0, device, true});
            placed.push_back({port, described.target, 0, std::move(device)});
        }
        sim.nt.lay_out_port(port, adapter.driver, on_port);
    }
    return placed;
}

}  // namespace korvel
