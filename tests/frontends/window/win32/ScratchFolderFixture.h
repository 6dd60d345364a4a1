// What the window tests' fixtures share: a scratch folder of their own for
// each test, made the current one, with an include file for APP103 and its
// image, as an operator's folder holds them; and a control's whole text.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "ControlText.h"

namespace stb::winui {

class TScratchFolderFixture : public ::testing::Test {
 protected:
  // `prefix`: the folder's name before the test's own, under the temporary folder.
  explicit TScratchFolderFixture(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    namespace fs = std::filesystem;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (prefix_ + test->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "inc");
    std::ofstream(dir_ / "inc" / "app1.inc", std::ios::binary)
        << "001122\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\n01.00\r\nD0101\r\nlabel\r\n./"
           "image.bin\r\n3\r\n0x9FC10000\r\n";
    std::ofstream(dir_ / "image.bin", std::ios::binary) << std::string(4096, 'i');
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  // A fixture's window goes before this: it may hold files in the folder.
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  static std::wstring Text(HWND control) { return TextOf(control); }

  std::filesystem::path dir_;

 private:
  std::string prefix_;
  std::filesystem::path old_;
};

}  // namespace stb::winui
