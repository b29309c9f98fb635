#include "sim_main_view.h"

#include <utility>

namespace korvel {

namespace {

// The first control of the radio group a button belongs to, or 0 for none.
int group_of(int control) {
    if (control >= controls::BTN_Host_0 && control < controls::BTN_Host_0 + HOST_BUTTONS) {
        return controls::BTN_Host_0;
    }
    if (control >= controls::BTN_Target_0 && control < controls::BTN_Target_0 + TARGET_BUTTONS) {
        return controls::BTN_Target_0;
    }
    return 0;
}

}  // namespace

void SimMainView::set_caption(int control, const char* text) {
    controls_[control].caption = text != nullptr ? text : "";
}

void SimMainView::set_picture(int control, int picture) {
    controls_[control].picture = picture;
}

void SimMainView::set_hint(int control, const char* text) {
    controls_[control].hint = text != nullptr ? text : "";
}

void SimMainView::set_shown(int control, bool shown) {
    controls_[control].shown = shown;
}

void SimMainView::set_checked(int control) {
    const int first = group_of(control);
    const int count = first == controls::BTN_Host_0 ? HOST_BUTTONS : TARGET_BUTTONS;
    for (int i = 0; first != 0 && i < count; ++i) controls_[first + i].checked = false;
    controls_[control].checked = true;
}

void SimMainView::set_enabled(int control, bool enabled) {
    controls_[control].enabled = enabled;
}

std::string SimMainView::choose_firmware_file(const char*, const std::string&) {
    return std::exchange(file_to_choose, std::string{});
}

const SimMainView::Control& SimMainView::control(int id) const {
    static const Control created{};
    const auto found = controls_.find(id);
    return found == controls_.end() ? created : found->second;
}

int SimPerson::message_box(const char* text, const char* caption, std::uint32_t flags) {
    int answer = ID_OK;
    if ((flags & MB_TYPE_MASK) == MB_YES_NO) {
        answer = ID_NO;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
    }
    messages.push_back(
        {text != nullptr ? text : "", caption != nullptr ? caption : "", flags, answer});
    return answer;
}

}  // namespace korvel
