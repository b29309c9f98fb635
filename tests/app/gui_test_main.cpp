// One GUI application for all window tests, on Qt's offscreen platform unless the caller
// chose another.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "korvel_program.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    korvel::KorvelApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
