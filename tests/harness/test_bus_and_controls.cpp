// What a bus file puts on the simulated system and how the window shows it, the faults it
// injects, and the steps that press the window's controls; read from korvel-sim's journal.
#include <QJsonArray>

#include <set>
#include <utility>

#include "harness_support.h"

namespace korvel::harness {

namespace {

std::vector<QString> captions_of(const QJsonObject& targets) {
    std::vector<QString> captions;
    for (const QJsonValue& button : targets.value(QStringLiteral("buttons")).toArray()) {
        captions.push_back(button.toObject().value(QStringLiteral("caption")).toString());
    }
    return captions;
}

std::vector<std::pair<int, int>> addresses_before(const SimRun& run, std::size_t end,
                                                  const char* cdb) {
    std::vector<std::pair<int, int>> addresses;
    for (const auto& [index, command] : run.scsi(cdb)) {
        if (index >= end) break;
        addresses.emplace_back(command.value(QStringLiteral("host")).toInt(),
                               command.value(QStringLiteral("target")).toInt());
    }
    return addresses;
}

}  // namespace

TEST_F(HarnessTest, StartListsTheAdaptersAndScansTheFirstBeforeAnyStep) {
    const SimRun run = run_case("bus-pv30.json", "buttons.json");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();

    // Every line is one object whose first key is the event.
    for (const QByteArray& line : run.lines) {
        EXPECT_TRUE(line.startsWith("{\"event\":\"")) << line.toStdString();
    }

    const auto hosts = run.indexes("hosts");
    ASSERT_EQ(hosts.size(), 1u);
    const std::size_t first_step = run.step_at(0);
    EXPECT_LT(hosts[0], first_step);
    const QJsonObject& listed = run.events[hosts[0]];
    const QJsonArray captions = listed.value(QStringLiteral("captions")).toArray();
    const QJsonArray visible = listed.value(QStringLiteral("visible")).toArray();
    ASSERT_EQ(captions.size(), 8);
    ASSERT_EQ(visible.size(), 8);
    EXPECT_EQ(captions[0].toString(), QStringLiteral("Symmpi"));
    EXPECT_EQ(captions[1].toString(), QStringLiteral("aic78xx"));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(visible[i].toBool(), i < 2) << i;

    const auto targets = run.indexes("targets");
    ASSERT_FALSE(targets.empty());
    EXPECT_GT(targets[0], hosts[0]);
    EXPECT_LT(targets[0], first_step);
    const QJsonObject& first = run.events[targets[0]];
    EXPECT_EQ(first.value(QStringLiteral("host")).toInt(), 0);
    // The plain disk at target 0 is not offered; the PV30 bridge (a CD-ROM drive) is.
    const QJsonArray buttons = first.value(QStringLiteral("buttons")).toArray();
    ASSERT_EQ(buttons.size(), 1);
    const QJsonObject bridge = buttons[0].toObject();
    EXPECT_EQ(bridge.value(QStringLiteral("caption")).toString(), QStringLiteral("CDROM"));
    EXPECT_EQ(bridge.value(QStringLiteral("picture")).toInt(), 5);
    const QString hint = bridge.value(QStringLiteral("hint")).toString();
    EXPECT_TRUE(hint.startsWith(QStringLiteral("Host:0  ID:3  Lun:0\n"))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(QStringLiteral("KORVEL Model:[PV30-QTRLC-0B1]"))) << hint.toStdString();

    const auto controls = run.indexes("controls");
    ASSERT_FALSE(controls.empty());
    EXPECT_GT(controls[0], targets[0]);
    EXPECT_LT(controls[0], first_step);
    EXPECT_EQ(control_state(run.events[controls[0]]), ALL_ENABLED);

    // The enumeration's device-type probes reach every device on both adapters before the
    // adapters are shown.
    const auto probes = addresses_before(run, hosts[0], "12");
    const std::set<std::pair<int, int>> probed(probes.begin(), probes.end());
    EXPECT_EQ(probed, (std::set<std::pair<int, int>>{{0, 0}, {0, 3}, {1, 5}}));
}

TEST_F(HarnessTest, StepsPressOnlyShownEnabledButtons) {
    const SimRun run = run_case("bus-pv30.json", "buttons.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ASSERT_EQ(run.of("step").size(), 9u);
    // Steps 0-2 name a hidden target button, a hidden adapter button and one that does not
    // exist: no scan, no command.
    for (const std::size_t i : run.indexes("scsi")) {
        EXPECT_FALSE(i > run.step_at(0) && i < run.step_at(3)) << "command during step 0-2";
    }
    const auto targets = run.indexes("targets");
    ASSERT_EQ(targets.size(), 3u);
    // Step 3 scans adapter 1, step 7 adapter 0 again.
    EXPECT_GT(targets[1], run.step_at(3));
    EXPECT_LT(targets[1], run.step_at(4));
    EXPECT_EQ(run.events[targets[1]].value(QStringLiteral("host")).toInt(), 1);
    EXPECT_EQ(captions_of(run.events[targets[1]]), std::vector<QString>{QStringLiteral("CDROM")});
    EXPECT_TRUE(run.events[targets[1]]
                    .value(QStringLiteral("buttons"))
                    .toArray()[0]
                    .toObject()
                    .value(QStringLiteral("hint"))
                    .toString()
                    .contains(QStringLiteral("PV20-QTRLC-G")));
    EXPECT_GT(targets[2], run.step_at(7));
    EXPECT_LT(targets[2], run.step_at(8));
    EXPECT_EQ(run.events[targets[2]].value(QStringLiteral("host")).toInt(), 0);

    // The FAE gesture on the logo shows the label, a second one hides it again.
    const auto controls = run.of("controls");
    ASSERT_EQ(controls.size(), 10u);  // the start's and one per step
    const auto fae_shown = [&](int step) {
        return controls[static_cast<std::size_t>(step) + 1].value(QStringLiteral("fae_label")).toBool();
    };
    EXPECT_FALSE(fae_shown(3));
    EXPECT_TRUE(fae_shown(4));
    EXPECT_TRUE(fae_shown(5));
    EXPECT_FALSE(fae_shown(6));
    EXPECT_TRUE(run.messages().empty());
}

TEST_F(HarnessTest, FailRulesCountTheCommandsOfTheEnumerationAndTheScan) {
    // Three INQUIRY commands to the bridge fail: the two device-type probes of the enumeration
    // and the first one of the scan, so the bridge is missing until adapter 0 is scanned again.
    const SimRun run = run_case("bus-pv30-failing-inquiry.json", "update-then-rescan.json");
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    std::vector<int> statuses;
    for (const auto& [index, command] : run.scsi("12")) {
        if (command.value(QStringLiteral("host")).toInt() == 0 &&
            command.value(QStringLiteral("target")).toInt() == 3) {
            statuses.push_back(command.value(QStringLiteral("status")).toInt());
        }
    }
    ASSERT_GE(statuses.size(), 4u);
    EXPECT_EQ(statuses[0], 2);
    EXPECT_EQ(statuses[1], 2);
    EXPECT_EQ(statuses[2], 2);
    for (std::size_t i = 3; i < statuses.size(); ++i) EXPECT_EQ(statuses[i], 0) << i;

    const auto targets = run.of("targets");
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_TRUE(captions_of(targets[0]).empty());
    EXPECT_EQ(captions_of(targets[1]), std::vector<QString>{QStringLiteral("CDROM")});
    // With nothing shown the update button is disabled: step 0 does nothing at all.
    const auto start_controls = run.of("controls").front();
    EXPECT_FALSE(start_controls.value(QStringLiteral("update")).toBool());
    EXPECT_TRUE(start_controls.value(QStringLiteral("exit")).toBool());
    for (const std::size_t i : run.indexes("scsi")) {
        EXPECT_FALSE(i > run.step_at(0) && i < run.step_at(1)) << "command during step 0";
    }
    // The capacity from the bus file shows in the hint once the bridge is found.
    EXPECT_TRUE(targets[1]
                    .value(QStringLiteral("buttons"))
                    .toArray()[0]
                    .toObject()
                    .value(QStringLiteral("hint"))
                    .toString()
                    .contains(QStringLiteral("Capacity:[1.0GB]")));
    // Step 2 then updates the bridge found by the rescan.
    ASSERT_EQ(run.messages().size(), 3u);
    EXPECT_GT(run.messages()[0].first, run.step_at(2));
    EXPECT_EQ(run.scsi("3b1778").size(), 1u);
}

TEST_F(HarnessTest, SystemWithoutAdaptersEndsAfterTheStartFailureMessage) {
    const SimRun run = run_case("bus-no-adapters.json", "update-confirmed.json");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 1);
    ASSERT_EQ(run.events.size(), 1u);
    const QJsonObject& failure = run.events[0];
    EXPECT_EQ(failure.value(QStringLiteral("event")).toString(), QStringLiteral("message"));
    EXPECT_EQ(failure.value(QStringLiteral("text")).toString(),
              QStringLiteral("System error !\n\nASPI driver initial fail !\n\nProgram abort !"));
    EXPECT_EQ(failure.value(QStringLiteral("flags")).toInt(), 0x10);
    EXPECT_EQ(failure.value(QStringLiteral("answer")).toInt(), 1);
}

}  // namespace korvel::harness
