// Adapters and targets as the window shows them: which adapters are offered, which devices are
// shown and in which buttons, their hints, rescans, and which bridges may be updated.
#include <QPushButton>
#include <QToolButton>

#include "gui_test_support.h"
#include "korvel_runtime_flags.h"
#include "sim_device_catalog.h"

namespace korvel::gui_test {
namespace {

using Devices = std::vector<std::pair<std::uint8_t, std::shared_ptr<SimDevice>>>;

std::shared_ptr<SimBridge> pv40_with(SimBridgeOptions options) {
    return make_bridge(FAMILY_PV40, options);
}

using Adapters = WindowTest;

TEST_F(Adapters, AtMostEightAreOfferedAndTheRestHidden) {
    for (std::uint8_t port = 0; port < 9; ++port) {
        lay_out_port(port, ("drv" + std::to_string(port)).c_str(), {});
    }
    start();
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        EXPECT_TRUE(host_button(i)->isVisibleTo(form.get())) << i;
        EXPECT_EQ(host_button(i)->text(), QStringLiteral("drv%1").arg(i));
    }
    EXPECT_TRUE(host_button(0)->isChecked());
    EXPECT_EQ(form->form().selected_host(), 0);
}

TEST_F(Adapters, SurplusButtonsAreHiddenAndNamesAreShownLiterally) {
    lay_out_port(0, "aic78xx", {{2, make_bridge(FAMILY_PV30)}});
    lay_out_port(1, "R&D", {});
    start();
    EXPECT_TRUE(host_button(0)->isVisibleTo(form.get()));
    EXPECT_TRUE(host_button(1)->isVisibleTo(form.get()));
    for (int i = 2; i < HOST_BUTTONS; ++i) EXPECT_FALSE(host_button(i)->isVisibleTo(form.get()));
    EXPECT_EQ(host_button(0)->text(), "aic78xx");
    // An ampersand in a driver name is shown, not taken as a shortcut key.
    EXPECT_EQ(host_button(1)->text(), "R&&D");
}

TEST_F(Adapters, LsiAdaptersAreKnownByTheirWholeNameInAnyCase) {
    const char* names[] = {"Symmpi", "SYMMPI", "lsi_scsi", "MptSpi", "SYM53C8XX",
                           "Symmpi2", "xsym53c8xx", "aic78xx"};
    const bool lsi[] = {true, true, true, true, true, false, false, false};
    for (std::uint8_t port = 0; port < 8; ++port) lay_out_port(port, names[port], {});
    start();
    for (int i = 0; i < 8; ++i) {
        host_button(i)->click();
        EXPECT_EQ(form->form().selected_host(), i);
        EXPECT_EQ(lsi_adapter(), lsi[i]) << names[i];
    }
    host_button(0)->click();
    EXPECT_TRUE(lsi_adapter());
}

using TargetButtons = WindowTest;

TEST_F(TargetButtons, OnlyBridgesAreShownInIdOrderWithoutGaps) {
    lay_out_port(0, "aic78xx",
                 Devices{{0, make_disk()}, {1, make_cdrom()}, {3, make_bridge(FAMILY_PV30)},
                         {5, make_tape()}, {9, make_bridge(FAMILY_PV50)}});
    start();
    ASSERT_EQ(shown_targets().size(), 2u);
    EXPECT_EQ(form->form().target_count(), 2);
    EXPECT_TRUE(target_button(0)->toolTip().startsWith("Host:0  ID:3  Lun:0\n"));
    EXPECT_TRUE(target_button(1)->toolTip().startsWith("Host:0  ID:9  Lun:0\n"));
    EXPECT_EQ(form->form().target_record(0).target, 3);
    EXPECT_EQ(form->form().target_record(1).target, 9);
    // The first bridge is selected after the scan.
    EXPECT_TRUE(target_button(0)->isChecked());
    EXPECT_EQ(form->form().selection().target, 3);
}

TEST_F(TargetButtons, ASixteenthBridgeOnOneAdapterIsLeftOutWithoutHarm) {
    Devices sixteen;
    for (std::uint8_t id = 0; id < 16; ++id) sixteen.push_back({id, make_bridge(FAMILY_PV30)});
    lay_out_port(0, "aic78xx", sixteen);
    start();
    EXPECT_EQ(form->form().target_count(), TARGET_BUTTONS);
    ASSERT_EQ(shown_targets().size(), static_cast<std::size_t>(TARGET_BUTTONS));
    for (int i = 0; i < TARGET_BUTTONS; ++i) {
        EXPECT_EQ(form->form().target_record(i).target, i);
        EXPECT_TRUE(target_button(i)->toolTip().startsWith(QStringLiteral("Host:0  ID:%1 ").arg(i)));
    }
    target_button(14)->click();
    EXPECT_EQ(form->form().selection().target, 14);
}

TEST_F(TargetButtons, SelectingAnAdapterAgainRescansIt) {
    auto kept = make_bridge(FAMILY_PV30);
    auto leaving = make_bridge(FAMILY_PV40);
    lay_out_port(0, "aic78xx", Devices{{2, leaving}, {4, kept}});
    lay_out_port(1, "Symmpi", Devices{{6, make_bridge(FAMILY_PV50)}});
    start();
    ASSERT_EQ(form->form().target_count(), 2);
    target_button(1)->click();

    leaving->set_removed(true);
    host_button(0)->click();
    EXPECT_EQ(form->form().target_count(), 1);
    EXPECT_EQ(shown_targets().size(), 1u);
    EXPECT_EQ(form->form().selection().target, 4);
    EXPECT_TRUE(target_button(0)->isChecked());

    host_button(1)->click();
    EXPECT_EQ(form->form().target_count(), 1);
    EXPECT_EQ(form->form().selection().target, 6);
    EXPECT_EQ(form->form().selection().family_code, FAMILY_PV50);

    leaving->set_removed(false);
    host_button(0)->click();
    EXPECT_EQ(form->form().target_count(), 2);
    EXPECT_EQ(form->form().selection().target, 2);
}

TEST_F(TargetButtons, AnAdapterWithNoBridgeShowsNoneAndOffersNoUpdate) {
    lay_out_port(0, "aic78xx", Devices{{2, make_bridge(FAMILY_PV30)}});
    lay_out_port(1, "aic78xx", Devices{{0, make_disk()}});
    start();
    host_button(1)->click();
    EXPECT_TRUE(shown_targets().empty());
    EXPECT_FALSE(control("BTN_UpdateKORVEL")->isEnabled());
    // The previous selection is kept but cannot be written through this adapter.
    chosen_file = QStringLiteral("/nonexistent");
    form->form().BTN_UpdateKORVELClick();
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(person.boxes.empty());
}

using Hints = WindowTest;

TEST_F(Hints, AFullHintNamesAddressIdentityCapacityModelAndBus) {
    lay_out_port(0, "aic78xx",
                 Devices{{2, pv40_with(SimBridgeOptions{}.with_capacity({3145727, 512}))}});
    start();
    EXPECT_EQ(target_button(0)->toolTip().toStdString(),
              "Host:0  ID:2  Lun:0\n"
              "KORVEL   PV40 IDE BRIDGE  3.01\n"
              "Capacity:[1.5GB]\n"
              "\n"
              "KORVEL Model:[PV40-QTRLB-0E1]\n"
              "Wide SCSI:[Yes]\n"
              "SCSI Speed:[80 MB/Sec]");
    EXPECT_EQ(target_button(0)->text(), "Hard Disk");
}

TEST_F(Hints, CapacitiesAreShownInMegabytesBelowAGigabyteAndRoundedGigabytesAbove) {
    lay_out_port(0, "aic78xx",
                 Devices{{0, pv40_with(SimBridgeOptions{}.with_capacity({2879, 512}))},
                         {1, pv40_with(SimBridgeOptions{}.with_capacity({2096946, 512}))},
                         {2, pv40_with(SimBridgeOptions{}.with_capacity({2097151, 512}))},
                         {3, pv40_with(SimBridgeOptions{}.with_capacity({2879, 1024}))},
                         {4, make_bridge(FAMILY_PV30)},
                         {5, pv40_with(SimBridgeOptions{}.with_capacity({4094, 0x80000000u}))}});
    start();
    ASSERT_EQ(form->form().target_count(), 6);
    EXPECT_TRUE(target_button(0)->toolTip().contains("\nCapacity:[1.44MB]\n"));
    EXPECT_TRUE(target_button(1)->toolTip().contains("\nCapacity:[1023MB]\n"));  // 1023.998
    EXPECT_TRUE(target_button(2)->toolTip().contains("\nCapacity:[1.0GB]\n"));
    EXPECT_TRUE(target_button(3)->toolTip().contains("\nCapacity:[2MB]\n"));  // not a floppy
    EXPECT_TRUE(target_button(4)->toolTip().contains("\nCapacity:[Unknown]\n"));  // no disc
    // A block length of 2^31 or more is no length at all.
    EXPECT_TRUE(target_button(5)->toolTip().contains("\nCapacity:[Unknown]\n"));
}

TEST_F(Hints, BusLinesFollowWhatTheBridgeReports) {
    lay_out_port(0, "aic78xx",
                 Devices{{0, pv40_with(SimBridgeOptions{}.with_capability({0x5A, 0x00, 0x00}))},
                         {1, pv40_with(SimBridgeOptions{}.with_capability({0x5A, 0x00, 0x10}))},
                         {2, pv40_with(SimBridgeOptions{}.with_capability({0x5A, 0x00, 0xA0}))},
                         {3, make_bridge(FAMILY_PV20_QTRL)}});
    start();
    ASSERT_EQ(form->form().target_count(), 4);
    EXPECT_TRUE(target_button(0)->toolTip().endsWith("\nWide SCSI:[No]\nSCSI Speed:[Async mode]"));
    // A speed the bridge does not report: neither line.
    EXPECT_TRUE(target_button(1)->toolTip().endsWith("\n\nKORVEL Model:[PV40-QTRLB-0E1]"));
    EXPECT_TRUE(target_button(2)->toolTip().endsWith("\nWide SCSI:[No]\nSCSI Speed:[20 MB/Sec]"));
    // A PV20 bridge known from its standard data alone has no bus lines, only its model.
    const QString pv20 = target_button(3)->toolTip();
    EXPECT_TRUE(pv20.endsWith("\n\nKORVEL Model:[PV20-QTRLC-G]")) << pv20.toStdString();
    EXPECT_FALSE(pv20.contains("SCSI Speed"));
    EXPECT_EQ(form->form().target_record(3).family_code, FAMILY_PV20_QTRL);
}

TEST_F(Hints, RemovableDisksShowAsOpticalAndCdDrivesCountAsRemovable) {
    lay_out_port(0, "aic78xx",
                 Devices{{0, make_bridge(FAMILY_PV30_C)},
                         {1, make_bridge(FAMILY_PV30, SimBridgeOptions{}.with_removable(false))},
                         {2, make_bridge(FAMILY_PV70)}});
    start();
    ASSERT_EQ(form->form().target_count(), 3);
    EXPECT_EQ(form->form().target_record(0).type, 7);
    EXPECT_EQ(form->form().target_record(0).removable, 1);
    EXPECT_EQ(target_button(0)->text(), "Optical Disk");
    EXPECT_EQ(form->form().target_record(1).type, 5);
    EXPECT_EQ(form->form().target_record(1).removable, 1);
    EXPECT_EQ(target_button(1)->text(), "CDROM");
    // A processor has no capacity line.
    EXPECT_EQ(target_button(2)->text(), "Processor");
    EXPECT_FALSE(target_button(2)->toolTip().contains("Capacity"));
}

using DemoBusScan = WindowTest;

TEST_F(DemoBusScan, EveryFamilyIsShownAndOnlyFamiliesWithAModuleMayBeUpdated) {
    use_demo_bus();
    start();
    const std::int32_t expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 20, 21, 22};
    ASSERT_EQ(form->form().target_count(), 11);
    auto* update = form->findChild<QPushButton*>("BTN_UpdateKORVEL");
    auto* backup = form->findChild<QPushButton*>("BTN_BackupKORVEL");
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(form->form().target_record(i).family_code, expected[i]);
        target_button(i)->click();
        EXPECT_EQ(form->form().selection().family_code, expected[i]);
        EXPECT_EQ(update->isEnabled(), expected[i] != FAMILY_PV20_QTWD) << expected[i];
        EXPECT_EQ(backup->isEnabled(), update->isEnabled());
    }
    host_button(1)->click();
    EXPECT_EQ(host_button(1)->text(), "Symmpi");
    EXPECT_TRUE(lsi_adapter());
    ASSERT_EQ(form->form().target_count(), 1);
    EXPECT_EQ(form->form().selection().family_code, FAMILY_PV30);
    EXPECT_TRUE(update->isEnabled());
}

}  // namespace
}  // namespace korvel::gui_test
