// The fixture of the host's tests: a freshly loaded plug-in and a folder for the files it plays.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "PlayerHost.h"
#include "TestFiles.h"

namespace lym::test {

using TagItems = std::vector<std::pair<std::string, std::string>>;
using PcmSegments = std::vector<std::vector<uint8_t>>;

class LymHostTest : public ::testing::Test {
 protected:
  // A .lym file of that format in the test's folder, with an APEv2 tag of the items when there
  // are any.
  std::string MakeLym(const std::string& name, const WaveSpec& spec, const TagItems& items = {});

  TempFolder folder_;
  PlayerHost host_;
};

// text in the ANSI code page, as the player passes names and expects titles; empty when the code
// page cannot hold it.
std::string Ansi(const std::wstring& text);

// Where the whole stream has played: samples × 1000 / rate, truncated, as the output counts it.
int PlayedMs(const WaveSpec& spec);

}  // namespace lym::test
