// main() of the window tests: one QApplication for the whole run, on Qt's
// offscreen platform unless the caller chose another, so no display is
// needed (also when ctest lists the tests at build time). The Windows build's
// static Qt has no offscreen platform: there the default is the minimal one.

#include <gtest/gtest.h>

#include <QApplication>

namespace {

#ifdef _WIN32
constexpr const char* DEFAULT_PLATFORM = "minimal";
#else
constexpr const char* DEFAULT_PLATFORM = "offscreen";
#endif

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", DEFAULT_PLATFORM);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
