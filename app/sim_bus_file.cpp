#include "sim_bus_file.h"

#include <QJsonArray>
#include <QJsonObject>

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

QString known_locale_names() {
    QString names;
    for (const LocaleLcid& known : KNOWN_LOCALES) {
        if (!names.isEmpty()) names += QStringLiteral(", ");
        names += QLatin1String(known.name);
    }
    return names;
}

bool printable_ascii(const QString& text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

// A page code as the pages object keys it: "83", "c3", "0".
std::optional<std::uint8_t> page_code(const QString& key) {
    if (key.isEmpty() || key.size() > 2) return std::nullopt;
    bool ok = false;
    const uint code = key.toUInt(&ok, 16);
    const bool digits_only = std::all_of(key.begin(), key.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
    });
    if (!ok || !digits_only) return std::nullopt;
    return static_cast<std::uint8_t>(code);
}

class BusFileReader {
public:
    std::optional<BusFile> read(const QJsonDocument& document) {
        if (!document.isObject()) {
            input_.fail({}, QStringLiteral("expected an object with \"adapters\""));
            return std::nullopt;
        }
        const QJsonObject top = document.object();
        BusFile bus;
        if (!input_.only_keys(top, {}, {"locale", "adapters"})) return std::nullopt;
        if (top.contains(QLatin1String("locale"))) {
            const auto locale = input_.text(top.value(QLatin1String("locale")),
                                            QStringLiteral("locale"), 32);
            if (!locale) return std::nullopt;
            const auto lcid = bus_file_lcid(*locale);
            if (!lcid) {
                input_.fail(QStringLiteral("locale"),
                            QStringLiteral("unknown locale \"%1\" (known: %2)")
                                .arg(*locale, known_locale_names()));
                return std::nullopt;
            }
            bus.locale = *locale;
            bus.lcid = *lcid;
        }
        if (!input_.has_key(top, {}, "adapters")) return std::nullopt;
        const QJsonValue adapters = top.value(QLatin1String("adapters"));
        const QString where = QStringLiteral("adapters");
        if (!adapters.isArray()) {
            input_.fail(where, QStringLiteral("expected an array"));
            return std::nullopt;
        }
        const QJsonArray list = adapters.toArray();
        if (static_cast<std::size_t>(list.size()) > BUS_FILE_MAX_ADAPTERS) {
            input_.fail(where, QStringLiteral("%1 adapters, at most %2")
                                   .arg(list.size())
                                   .arg(BUS_FILE_MAX_ADAPTERS));
            return std::nullopt;
        }
        for (qsizetype i = 0; i < list.size(); ++i) {
            auto adapter = read_adapter(list.at(i), json_element(where, i));
            if (!adapter) return std::nullopt;
            bus.adapters.push_back(std::move(*adapter));
        }
        return bus;
    }

    const QString& error() const { return input_.error(); }

private:
    std::optional<BusFileAdapter> read_adapter(const QJsonValue& value, const QString& where) {
        const auto object = input_.object(value, where);
        if (!object || !input_.only_keys(*object, where, {"driver", "devices"})) {
            return std::nullopt;
        }
        BusFileAdapter adapter;
        if (object->contains(QLatin1String("driver"))) {
            const QString at = json_member(where, "driver");
            const auto driver =
                input_.text(object->value(QLatin1String("driver")), at, BUS_FILE_MAX_DRIVER_LENGTH);
            if (!driver) return std::nullopt;
            if (!printable_ascii(*driver)) {
                input_.fail(at, QStringLiteral("only printable ASCII characters are allowed"));
                return std::nullopt;
            }
            adapter.driver = driver->toStdString();
        }
        if (object->contains(QLatin1String("devices"))) {
            const QString at = json_member(where, "devices");
            const QJsonValue devices = object->value(QLatin1String("devices"));
            if (!devices.isArray()) {
                input_.fail(at, QStringLiteral("expected an array"));
                return std::nullopt;
            }
            const QJsonArray list = devices.toArray();
            for (qsizetype i = 0; i < list.size(); ++i) {
                auto device = read_device(list.at(i), json_element(at, i));
                if (!device) return std::nullopt;
                for (const BusFileDevice& earlier : adapter.devices) {
                    if (earlier.target == device->target) {
                        input_.fail(json_member(json_element(at, i), "target"),
                                    QStringLiteral("target %1 is already taken on this adapter")
                                        .arg(device->target));
                        return std::nullopt;
                    }
                }
                adapter.devices.push_back(std::move(*device));
            }
        }
        return adapter;
    }

    std::optional<BusFileDevice> read_device(const QJsonValue& value, const QString& where) {
        const auto object = input_.object(value, where);
        if (!object || !input_.only_keys(*object, where,
                                         {"target", "inquiry", "pages", "capacity", "fail",
                                          "corrupt_reads", "board"})) {
            return std::nullopt;
        }
        BusFileDevice device;
        if (!input_.has_key(*object, where, "target")) return std::nullopt;
        const auto target = input_.integer(object->value(QLatin1String("target")),
                                           json_member(where, "target"), 0, BUS_FILE_MAX_TARGET);
        if (!target) return std::nullopt;
        device.target = static_cast<std::uint8_t>(*target);

        if (!input_.has_key(*object, where, "inquiry")) return std::nullopt;
        auto inquiry = input_.hex(object->value(QLatin1String("inquiry")),
                                  json_member(where, "inquiry"), 0, SIM_INQUIRY_CAPACITY);
        if (!inquiry) return std::nullopt;
        device.inquiry = std::move(*inquiry);

        if (object->contains(QLatin1String("pages")) &&
            !read_pages(object->value(QLatin1String("pages")), json_member(where, "pages"),
                        device)) {
            return std::nullopt;
        }
        if (object->contains(QLatin1String("capacity"))) {
            const auto capacity =
                input_.hex(object->value(QLatin1String("capacity")), json_member(where, "capacity"),
                           BUS_FILE_CAPACITY_BYTES, BUS_FILE_CAPACITY_BYTES);
            if (!capacity) return std::nullopt;
            device.capacity.emplace();
            std::copy(capacity->begin(), capacity->end(), device.capacity->begin());
        }
        if (object->contains(QLatin1String("fail")) &&
            !read_fail_rules(object->value(QLatin1String("fail")), json_member(where, "fail"),
                             device)) {
            return std::nullopt;
        }
        if (object->contains(QLatin1String("corrupt_reads"))) {
            const auto count =
                input_.integer(object->value(QLatin1String("corrupt_reads")),
                               json_member(where, "corrupt_reads"), 0, BUS_FILE_MAX_COUNT);
            if (!count) return std::nullopt;
            device.corrupt_reads = static_cast<std::uint32_t>(*count);
        }
        if (object->contains(QLatin1String("board"))) {
            const QString at = json_member(where, "board");
            const auto board = input_.text(object->value(QLatin1String("board")), at, 16);
            if (!board) return std::nullopt;
            if (*board == QLatin1String("bridge")) {
                device.board = SimBoardKind::bridge;
            } else if (*board == QLatin1String("copier")) {
                device.board = SimBoardKind::copier;
            } else {
                input_.fail(at, QStringLiteral("expected \"bridge\" or \"copier\""));
                return std::nullopt;
            }
        }
        return device;
    }

    bool read_pages(const QJsonValue& value, const QString& where, BusFileDevice& device) {
        const auto object = input_.object(value, where);
        if (!object) return false;
        for (auto it = object->begin(); it != object->end(); ++it) {
            const QString at = where + QStringLiteral("[\"%1\"]").arg(it.key());
            const std::optional<std::uint8_t> code = page_code(it.key());
            if (!code) {
                input_.fail(at, QStringLiteral("a page code is one or two hex digits"));
                return false;
            }
            if (device.pages.contains(*code)) {
                input_.fail(at, QStringLiteral("page %1 is given twice").arg(it.key()));
                return false;
            }
            auto bytes = input_.hex(it.value(), at, 0, BUS_FILE_MAX_PAGE_BYTES);
            if (!bytes) return false;
            device.pages.emplace(*code, std::move(*bytes));
        }
        return true;
    }

    bool read_fail_rules(const QJsonValue& value, const QString& where, BusFileDevice& device) {
        if (!value.isArray()) {
            input_.fail(where, QStringLiteral("expected an array"));
            return false;
        }
        const QJsonArray rules = value.toArray();
        for (qsizetype i = 0; i < rules.size(); ++i) {
            const QString at = json_element(where, i);
            const auto rule = input_.object(rules.at(i), at);
            if (!rule || !input_.only_keys(*rule, at, {"cdb", "times"}) ||
                !input_.has_key(*rule, at, "cdb") || !input_.has_key(*rule, at, "times")) {
                return false;
            }
            auto prefix = input_.hex(rule->value(QLatin1String("cdb")), json_member(at, "cdb"), 1,
                                     BUS_FILE_MAX_CDB_BYTES);
            if (!prefix) return false;
            const auto times = input_.integer(rule->value(QLatin1String("times")),
                                              json_member(at, "times"), 0, BUS_FILE_MAX_COUNT);
            if (!times) return false;
            device.fail.push_back({std::move(*prefix), static_cast<std::uint32_t>(*times)});
        }
        return true;
    }

    JsonInput input_;
};

}  // namespace

std::optional<std::uint32_t> bus_file_lcid(const QString& locale) {
    for (const LocaleLcid& known : KNOWN_LOCALES) {
        if (locale == QLatin1String(known.name)) return known.lcid;
    }
    return std::nullopt;
}

std::optional<BusFile> parse_bus_file(const QByteArray& bytes, QString& error) {
    QJsonDocument document;
    if (!parse_json(bytes, document, error)) return std::nullopt;
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
            on_port.push_back({0, described.target, 0, device, true});
            placed.push_back({port, described.target, 0, std::move(device)});
        }
        sim.nt.lay_out_port(port, adapter.driver, on_port);
    }
    return placed;
}

}  // namespace korvel
