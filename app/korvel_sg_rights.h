// The rights to the bridges on Linux, settled before the window opens.
#pragma once

namespace korvel {

/// Root, and a user who can already open a bridge's sg node for reading and writing, go on
/// with the sg driver as it is. Anyone else is asked for the administrator's password through
/// pkexec, which runs the helper; the bridge nodes it hands over become the platform's sg
/// driver. When nothing comes (no pkexec or agent, the prompt dismissed, no bridge), the
/// platform is left without an sg driver, so the start fails as on a machine without devices.
/// A machine without any sg node asks nobody.
void obtain_bridge_rights();

}  // namespace korvel
