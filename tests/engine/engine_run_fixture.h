// Shared set-up of the tests that run the whole patch writer: a fresh
// folder per test, temporary files redirected into it, default options.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "applier.h"
#include "dirsys.h"
#include "options.h"
#include "patchfile.h"
#include "test_support.h"

class EngineRun : public ::testing::Test {
 protected:
  void SetUp() override {
    AllocEngineBuffers();
    root = testsupport::Join(testsupport::ScratchDir(),
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    testsupport::RemoveTree(root);
    tmp = testsupport::Join(root, "tmp");
    testsupport::MakeDirs(tmp);
#ifdef _WIN32
    _putenv_s("TMP", tmp.c_str());
    _putenv_s("TEMP", tmp.c_str());
#else
    setenv("TMPDIR", tmp.c_str(), 1);
#endif
    ResetEngineOptions();
    ClampEngineNumericOptions();
    ProgramDir = Dir("prog") + SysPathSeparator();
  }

  // Sources in order, then the output name.
  void Sources(const std::vector<std::string>& names, const std::string& output) {
    for (size_t i = 0; i < names.size(); ++i) SourceList[i] = names[i];
    SourceList[names.size()] = output;
    SourceCount = static_cast<uint32_t>(names.size() + 1);
  }

  std::string Dir(const std::string& name) {
    std::string d = testsupport::Join(root, name);
    testsupport::MakeDirs(d);
    return d;
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& data) {
    std::string path = testsupport::Join(root, name);
    testsupport::WriteFileBytes(path, data);
    return path;
  }

  // The run's message, or "" when it succeeded.
  std::string Run() {
    try {
      CreatePatch();
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  bool TempDirEmpty() {
    std::vector<SysDirEntry> entries;
    SysListDirectory(tmp, entries);
    return entries.empty();
  }

  static testapply::Patch Parse(const std::vector<uint8_t>& file) {
    testapply::Patch p;
    std::string error;
    EXPECT_TRUE(testapply::ParsePatch(file, &p, &error)) << error;
    return p;
  }

  std::string root, tmp;
};
