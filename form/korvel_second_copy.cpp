#include "korvel_second_copy.h"

#include "korvel_msg.h"
#include "korvel_running_text.h"
#include "lib_global.h"
#include "ui_seam.h"

namespace korvel {

void show_already_running() {
    show_message(already_running_text(), message_text(MSG_CAPTION_INFORMATION),
                 MB_ICON_INFORMATION_OK);
}

}  // namespace korvel
