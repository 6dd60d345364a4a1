// GoogleTest entry for the window tests: one QApplication for all of them,
// on the off-screen platform unless another one is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setApplicationName("stb-downloader");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
