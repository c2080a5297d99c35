// SPDX-License-Identifier: GPL-3.0-or-later
// The test executable's entry: one QApplication for every test (widgets need it), then
// GoogleTest. ctest sets QT_QPA_PLATFORM=offscreen; test discovery runs the executable without
// that environment, so the offscreen platform is also the fallback here. Sound goes to the test
// run's own PulseAudio server (tests/pulse_server.sh), never to the user's.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("PULSE_SERVER", QByteArray("unix:") + SORVANTO_PULSE_DIR + "/native");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
