#include "korvel_running_text.h"

#include "korvel_msg.h"
#include "lib_getwnver.h"

namespace korvel {

namespace {

constexpr const char* ALREADY_RUNNING[LANGUAGE_COLUMNS] = {
    "KORVEL Firmware Update is already running.",
    "KORVEL \u97cc\u9ad4\u66f4\u65b0\u7a0b\u5f0f\u5df2\u5728\u57f7\u884c\u4e2d\u3002",
    "KORVEL Firmware Update \u306f\u3059\u3067\u306b\u5b9f\u884c\u4e2d\u3067\u3059\u3002",
};

}  // namespace

const char* already_running_text() {
    return ALREADY_RUNNING[language_column(system_language, system_sublanguage)];
}

}  // namespace korvel
