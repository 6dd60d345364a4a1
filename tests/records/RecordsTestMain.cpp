// The records tests, and the child process of their concurrency test:
// started again with --write-records PATH PREFIX COUNT, the program writes
// that many records into the file from a process of its own; with
// --fill-disk FOLDER, it fills a small file system of its own with records.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "RecordsTestSupport.h"

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--write-records") == 0) {
    std::string why;
    if (stb::testing::WriteRecords(argv[2], argv[3], std::stoi(argv[4]), why)) return 0;
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "--fill-disk") == 0) {
    std::string why;
    if (stb::testing::FillDisk(argv[2], why)) return 0;
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
