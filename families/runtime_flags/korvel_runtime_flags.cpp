#include "korvel_runtime_flags.h"

namespace korvel {

namespace {

// Everything runs on the window's thread, so plain flags suffice.
bool lsi_adapter_flag = false;
bool fae_test_mode_flag = false;

}  // namespace

bool lsi_adapter() { return lsi_adapter_flag; }
void set_lsi_adapter(bool on) { lsi_adapter_flag = on; }

bool fae_test_mode() { return fae_test_mode_flag; }
void set_fae_test_mode(bool on) { fae_test_mode_flag = on; }

}  // namespace korvel
