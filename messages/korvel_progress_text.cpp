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
// Said at the end of the bar, when every piece is written and verified.
constexpr const char* DONE[LANGUAGE_COLUMNS] = {"Done", "\u5b8c\u6210", "\u5b8c\u4e86"};

constexpr const char* WRITE_SPAN_REASON[LANGUAGE_COLUMNS] = {
    "Firmware is being written to a KORVEL bridge. Switching off now would leave the bridge "
    "unusable.",
    // "正在將韌體寫入 KORVEL 橋接板。此時關機會使橋接板無法使用。"
    "\u6b63\u5728\u5c07\u97cc\u9ad4\u5beb\u5165 KORVEL \u6a4b\u63a5\u677f\u3002\u6b64\u6642"
    "\u95dc\u6a5f\u6703\u4f7f\u6a4b\u63a5\u677f\u7121\u6cd5\u4f7f\u7528\u3002",
    // "KORVEL ブリッジにファームウェアを書き込み中です。今電源を切るとブリッジが使えなくなります。"
    "KORVEL \u30d6\u30ea\u30c3\u30b8\u306b\u30d5\u30a1\u30fc\u30e0\u30a6\u30a7\u30a2"
    "\u3092\u66f8\u304d\u8fbc\u307f\u4e2d\u3067\u3059\u3002\u4eca\u96fb\u6e90\u3092"
    "\u5207\u308b\u3068\u30d6\u30ea\u30c3\u30b8\u304c\u4f7f\u3048\u306a\u304f\u306a"
    "\u308a\u307e\u3059\u3002"};

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

const char* progress_done_text() {
    return DONE[language_column(system_language, system_sublanguage)];
}

const char* write_span_reason() {
    return WRITE_SPAN_REASON[language_column(system_language, system_sublanguage)];
}

}  // namespace korvel
