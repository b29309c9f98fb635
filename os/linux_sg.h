// The Linux SCSI generic (sg) driver behind the LinuxScsiGeneric seam.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform_seam.h"

namespace korvel {

/// The real sg driver seam; one object for the whole run.
LinuxScsiGeneric& linux_scsi_generic();

/// The sg driver for a program that hands nodes to another: it opens read-write only, never
/// follows a link, and keeps only character devices of the sg driver; read-only opens fail.
LinuxScsiGeneric& linux_scsi_generic_checked();

/// The sg node number (the device's minor number) of an open descriptor, or -1 when it is not
/// a character device of the sg driver.
int sg_device_number(int fd);

/// The descriptor behind a handle of the real drivers, -1 for none.
int sg_node_descriptor(OsHandle node);
/// The handle the real drivers use for a descriptor, 0 for none.
OsHandle sg_node_handle(int fd);

/// Whether /dev holds any sg node at all, whatever the rights to it.
bool any_sg_node_present();

/// Reads a device's address as sysfs names it ("H:C:T:L", exactly `length` bytes, four
/// decimal numbers of at most 9 digits); scsi_type is set to 0.
bool parse_scsi_address_text(const char* text, std::size_t length, SgScsiId& id);

/// Whether a /dev entry name is an sg node ("sg" and decimal digits only, no leading zero
/// unless it is "sg0", within 32 bits); its number goes to *number.
bool parse_sg_node_name(const char* entry, std::uint32_t* number);

/// How a failed SG_IO call is reported, from its errno: a request the kernel will not take at
/// all (EINVAL, ENOMEM) is refused, everything else failed.
SgIoOutcome sg_io_failure(int error);

}  // namespace korvel
