// A test fixture that runs the program in a fresh folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/program_session.h"
#include "tests/support/temp_folder.h"

// SetUp makes folder_, named after the test; TearDown ends session_ and removes the folder. A
// fixture that adds to SetUp calls this one first and stops if it failed.
class SessionInFolder : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = testPath(testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(std::filesystem::create_directory(folder_)) << folder_;
  }
  void TearDown() override {
    closeSession(session_);
    std::filesystem::remove_all(folder_);
  }

  std::string folder_;
  ProgramSession session_;
};
