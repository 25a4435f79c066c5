// Runs GUI tests on Qt's offscreen platform unless another is asked for.
#include "app/window/message_boxes.h"
#include "platform/process/process_end.h"
#ifndef _WIN32
#include "crash_stack.h"
#endif

#include <gtest/gtest.h>

namespace {

int runTests(int argc, char** argv)
{
    LumaroApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace

int main(int argc, char** argv)
{
#ifndef _WIN32
    printStacksOnCrash();
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::endProcess(runTests(argc, argv));
}
