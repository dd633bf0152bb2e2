// The test program; started with --dump-settings it instead loads the
// settings the way the patch creator does at start and prints them, so
// that a test can see what a new process gets back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "appsettings_dump.h"
#include "packer.h"
#include "settings.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--dump-settings") == 0) {
    InitSettingsUnit();
    ResetPackerTable();
    for (int i = 1; i < kPackerCount; ++i)
      LoadPackerSettings(PackerTable[i].name, PackerTable[i].suffix, PackerTable[i].options);
    _setmode(_fileno(stdout), _O_BINARY);
    std::string dump = appsettings::DumpSettings();
    std::fwrite(dump.data(), 1, dump.size(), stdout);
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
