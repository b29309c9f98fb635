#include "ui_seam.h"

namespace korvel {

namespace {
UserInterface* the_user_interface = nullptr;
}  // namespace

void install_user_interface(UserInterface* ui) { the_user_interface = ui; }

UserInterface* installed_user_interface() { return the_user_interface; }

}  // namespace korvel
