// A fresh temporary folder per test, with plain file helpers that do not go
// through the code under test.
#pragma once

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class SettingsTestFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = MakeUniqueFolder("tarn_settings_") + "/";
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string PathOf(const std::string& name) const { return dir_ + name; }

    void Put(const std::string& path, const std::string& bytes) const
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f << bytes;
        ASSERT_TRUE(f.good()) << path;
    }
    std::string Get(const std::string& path) const
    {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    std::string dir_;
};
