#include "korvel_progress_text.h"

#include <cstdio>

#include "korvel_msg.h"
#include "lib_getwnver.h"

namespace korvel {

namespace {

// What is under way, in each language column, and how a piece's number joins the count
// ("3 of 16", "3/16").
constexpr const char* WRITING[LANGUAGE_COLUMNS] = {"Writing", "\u5beb\u5165\u4e2d",
                                                   "\u66f8\u304d\u8fbc\u307f\u4e2d"};
constexpr const char* VERIFYING[LANGUAGE_COLUMNS] = {"Verifying", "\u9a57\u8b49\u4e2d",
                                                     "\u691c\u8a3c\u4e2d"};
constexpr const char* PIECE_OF[LANGUAGE_COLUMNS] = {" of ", "/", "/"};

}  // namespace

const char* progress_text(UpdateStep step, int piece, int pieces, char* text,
                          std::size_t capacity) {
    if (text == nullptr || capacity == 0) return text;
    const int column = language_column(system_language, system_sublanguage);
    const char* doing = (step == UpdateStep::verifying ? VERIFYING : WRITING)[column];
    if (pieces <= 1) {
        std::snprintf(text, capacity, "%s...", doing);
    } else {
        std::snprintf(text, capacity, "%s %d%s%d", doing, piece, PIECE_OF[column], pieces);
    }
    return text;
}

}  // namespace korvel

namespace korvel {

namespace {

// Said at the end of the bar, when every piece is written and verified.
constexpr const char* DONE[LANGUAGE_COLUMNS] = {"Done", "\u5b8c\u6210", "\u5b8c\u4e86"};

}  // namespace

const char* progress_done_text() {
    return DONE[language_column(system_language, system_sublanguage)];
}

}  // namespace korvel
