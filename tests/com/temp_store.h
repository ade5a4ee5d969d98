// A test fixture whose registry store is a fresh file in a temporary directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "com_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    store_ = directory_ + "/registry.reg";
    setenv("COM_REGISTRY_FILE", store_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("COM_REGISTRY_FILE");
    std::filesystem::remove_all(directory_);
  }

  std::string StoreText() const {
    std::ifstream file(store_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::string directory_;
  std::string store_;
};
