// Provider choice, support information and the command codes of the service layer.
#include "transport_fixture.h"

namespace korvel {
namespace {

class ServiceLayer : public TransportTest {};

TEST_F(ServiceLayer, NineXFamilyUsesTheLibraryAndForwardsItsAnswers) {
    sim.identity.set_family(PlatformFamily::windows_9x);
    sim.aspi.add_host("AIC-7880");
    sim.aspi.set_support_info(0x0102);
    sim.nt.lay_out_port(0, "aic78xx", {{0, 0, 0, make_disk()}});  // must not be enumerated

    EXPECT_EQ(start(), 0x0102u);
    EXPECT_TRUE(aspi_library_mode());
    EXPECT_EQ(sim.aspi.load_count(), 1u);
    EXPECT_EQ(sim.aspi.support_info_count(), 1u);
    EXPECT_TRUE(sim.nt.opens().empty());

    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    aspi_send_and_wait(&inquiry);
    EXPECT_EQ(sim.aspi.send_count(), 1u);

    aspi_unload();
    EXPECT_FALSE(aspi_library_mode());
    EXPECT_EQ(sim.aspi.free_count(), 1u);
    EXPECT_FALSE(sim.aspi.loaded());
}

// A library that reports a final status only as its return value would leave the caller
// polling a pending block for ever; the status it returned must reach the block.
TEST_F(ServiceLayer, StatusReturnedButNotWrittenByTheLibraryReachesTheBlock) {
    sim.identity.set_family(PlatformFamily::windows_9x);
    sim.aspi.add_host("AIC-7880");
    sim.aspi.set_status_only_returned(true);
    start();
    ASSERT_TRUE(aspi_library_mode());

    SRB_HAInquiry known{};
    known.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(aspi_send_and_wait(&known), SS_COMP);
    EXPECT_EQ(known.SRB_Status, SS_COMP);

    SRB_HAInquiry unknown{};
    unknown.SRB_Cmd = SC_HA_INQUIRY;
    unknown.SRB_HaId = 5;
    EXPECT_EQ(aspi_send_and_wait(&unknown), SS_INVALID_HA);
    EXPECT_EQ(unknown.SRB_Status, SS_INVALID_HA);
}

TEST_F(ServiceLayer, NineXFamilyWithoutUsableLibraryFallsThroughToTheEmulation) {
    sim.identity.set_family(PlatformFamily::windows_9x);
    sim.nt.lay_out_port(0, "aic78xx", {{0, 2, 0, make_disk()}});

    sim.aspi.set_absent();
    EXPECT_EQ(start(), 0x0101u);
    EXPECT_FALSE(aspi_library_mode());
    aspi_unload();

    // A library that lacks an entry point cannot serve; it is freed again, not kept.
    sim.aspi.set_present();
    sim.aspi.set_missing_entry("GetASPI32SupportInfo");
    EXPECT_EQ(start(), 0x0101u);
    EXPECT_FALSE(aspi_library_mode());
    EXPECT_EQ(sim.aspi.load_count(), 1u);
    EXPECT_EQ(sim.aspi.free_count(), 1u);
    EXPECT_EQ(sim.aspi.support_info_count(), 0u);
}

TEST_F(ServiceLayer, NtFamilyNeverLoadsTheLibrary) {
    sim.identity.set_family(PlatformFamily::windows_nt);
    start();
    EXPECT_FALSE(aspi_library_mode());
    EXPECT_EQ(sim.aspi.load_count(), 0u);
}

TEST_F(ServiceLayer, SupportInfoCountsHostNumbers) {
    EXPECT_EQ(start(), 1u);  // no host: status byte 0, a failed start
    aspi_unload();

    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk()}});
    sim.nt.lay_out_port(1, "Symmpi", {{0, 4, 0, make_cdrom()}});
    EXPECT_EQ(start(), 0x0102u);
}

TEST_F(ServiceLayer, LoadClearsHostFlagsInEitherMode) {
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk()}});
    start();
    ASSERT_TRUE(host_present(0));
    aspi_unload();
    sim.identity.set_family(PlatformFamily::windows_9x);
    aspi_load();
    EXPECT_FALSE(host_present(0));
    EXPECT_EQ(host_count(), 0);
}

TEST_F(ServiceLayer, EmulationAnswersEachCommandCode) {
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk()}});
    start();

    SRB_Header header{};
    header.SRB_Status = 0x55;
    header.SRB_Cmd = SC_GET_DEV_TYPE;
    EXPECT_EQ(aspi_send_and_wait(&header), SS_ERR);
    EXPECT_EQ(header.SRB_Status, SS_ERR);

    header.SRB_Status = 0x55;
    header.SRB_Cmd = SC_ABORT_SRB;
    EXPECT_EQ(aspi_send_command(&header), SS_PENDING);
    EXPECT_EQ(header.SRB_Status, SS_PENDING);

    for (std::uint8_t code : {SC_RESET_DEV, std::uint8_t{0x05}, std::uint8_t{0x7F}}) {
        header.SRB_Cmd = code;
        EXPECT_EQ(aspi_send_and_wait(&header), SS_ERR) << int{code};
    }
}

// The block with guard bytes around it, so a write outside the 60 bytes shows.
struct GuardedInquiry {
    std::uint8_t before[16];
    SRB_HAInquiry srb;
    std::uint8_t after[16];
};

GuardedInquiry ha_inquiry(std::uint8_t host) {
    GuardedInquiry block;
    std::memset(&block, 0xCC, sizeof block);
    std::memset(&block.srb, 0, sizeof block.srb);
    block.srb.HA_Rsvd1 = 0xBEEF;
    block.srb.HA_ManagerId[15] = 0xAB;  // the byte after the manager text stays as it was
    block.srb.SRB_Cmd = SC_HA_INQUIRY;
    block.srb.SRB_HaId = host;
    aspi_send_and_wait(&block.srb);
    return block;
}

void expect_guards_intact(const GuardedInquiry& block) {
    for (std::uint8_t byte : block.before) EXPECT_EQ(byte, 0xCC);
    for (std::uint8_t byte : block.after) EXPECT_EQ(byte, 0xCC);
}

TEST_F(ServiceLayer, HostAdapterInquiryFillsTheBlock) {
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk()}});
    sim.nt.lay_out_port(1, "Symmpi", {{0, 1, 0, make_disk()}});
    start();

    const GuardedInquiry block = ha_inquiry(1);
    const SRB_HAInquiry& srb = block.srb;
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(srb.HA_Count, 2);
    EXPECT_EQ(srb.HA_SCSI_ID, 7);
    EXPECT_EQ(std::memcmp(srb.HA_ManagerId, "ASPI for WIN32", 15), 0);
    EXPECT_EQ(srb.HA_ManagerId[15], 0xAB);
    EXPECT_STREQ(reinterpret_cast<const char*>(srb.HA_Identifier), "Symmpi");
    const std::uint8_t unique[16] = {0x07, 0, 0, 8, 0, 0, 4, 0};
    EXPECT_EQ(std::memcmp(srb.HA_Unique, unique, 16), 0);
    EXPECT_EQ(srb.HA_Rsvd1, 0xBEEF);
    expect_guards_intact(block);

    // Any host number is answered; one without a device-map key has no name.
    const GuardedInquiry unknown = ha_inquiry(9);
    EXPECT_EQ(unknown.srb.SRB_Status, SS_COMP);
    EXPECT_EQ(unknown.srb.HA_Identifier[0], 0);
    EXPECT_EQ(unknown.srb.HA_Count, 2);
}

// Extra host numbers are named after the port they stand for, never after the port key that
// happens to carry their number.
TEST_F(ServiceLayer, ExtraHostsAreNamedAfterTheirOwnPort) {
    sim.nt.lay_out_port(0, "aic78xx", {{0, 1, 0, make_disk()}});
    sim.nt.lay_out_port(1, "Symmpi", {{0, 1, 0, make_disk()}});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE2", make_disk(), SimAddress{1, 1, 4, 0});
    sim.nt.add_device_name("\\\\.\\PHYSICALDRIVE3", make_disk(), std::nullopt);
    sim.nt.set_port_driver(2, "elsewhere");
    sim.nt.set_port_driver(3, "elsewhere");
    EXPECT_EQ(start(), 0x0104u);
    EXPECT_STREQ(reinterpret_cast<const char*>(ha_inquiry(2).srb.HA_Identifier), "Symmpi");
    EXPECT_EQ(ha_inquiry(3).srb.HA_Identifier[0], 0) << "the unaddressed host has no port";
}

TEST_F(ServiceLayer, HostAdapterInquiryNameKeyIsHexadecimal) {
    sim.nt.set_port_driver(0x1a, "hexport");
    start();
    EXPECT_STREQ(reinterpret_cast<const char*>(ha_inquiry(0x1a).srb.HA_Identifier), "hexport");
}

TEST_F(ServiceLayer, LongDriverNamesStayInsideTheIdentifier) {
    sim.nt.set_port_driver(0, "exactly16chars__");
    sim.nt.set_port_driver(1, "a-driver-name-far-longer-than-the-field");
    // A value without a terminating zero, as long as the registry read can take.
    sim.nt.set_registry_value(SimNtSystem::port_registry_key(2), "Driver",
                              std::vector<std::uint8_t>(300, 'x'));
    start();

    const GuardedInquiry sixteen = ha_inquiry(0);
    EXPECT_EQ(std::memcmp(sixteen.srb.HA_Identifier, "exactly16chars__", 16), 0);
    EXPECT_EQ(sixteen.srb.HA_Unique[0], 0x07);
    expect_guards_intact(sixteen);

    for (std::uint8_t host : {std::uint8_t{1}, std::uint8_t{2}}) {
        const GuardedInquiry longer = ha_inquiry(host);
        EXPECT_EQ(longer.srb.HA_Unique[0], 0x07);
        EXPECT_EQ(longer.srb.HA_Unique[3], 8);
        EXPECT_EQ(longer.srb.HA_Rsvd1, 0xBEEF);
        expect_guards_intact(longer);
    }
}

}  // namespace
}  // namespace korvel
