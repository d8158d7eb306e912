#include "charging/band_request.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "charging/band_file.h"
#include "platform/attached_machine.h"

namespace {

TEST(BandRequest, TakesOnlyTheThreeRequestsSpelledExactly) {
  struct Case {
    std::string bytes;
    std::optional<BandRequest::Kind> kind;
    int lower = 0;
    int upper = 0;
  };
  const Case cases[] = {
      {"band 70 80\n", BandRequest::Kind::band, 70, 80},
      {"band 20 100\n", BandRequest::Kind::band, 20, 100},
      {"band full\n", BandRequest::Kind::full},
      {"holder\n", BandRequest::Kind::holder},
      // Not one whole line: no line feed, a second line, a carriage return.
      {"band 70 80", std::nullopt}, {"holder\nholder\n", std::nullopt}, {"holder\r\n", std::nullopt},
      {"band 70 80\n\n", std::nullopt}, {"\n", std::nullopt}, {"", std::nullopt},
      // Words and spaces other than these.
      {"band  70 80\n", std::nullopt}, {"band 70  80\n", std::nullopt}, {" holder\n", std::nullopt},
      {"band 70 80 \n", std::nullopt}, {"BAND 70 80\n", std::nullopt}, {"band full 80\n", std::nullopt},
      {"band 70\n", std::nullopt}, {"band -70 80\n", std::nullopt}, {"band 70 8O\n", std::nullopt},
      {std::string("band 70\0 80\n", 12), std::nullopt},
      // Bands that hold refuses.
      {"band 19 80\n", std::nullopt}, {"band 80 80\n", std::nullopt}, {"band 70 101\n", std::nullopt},
      {"band 0070 80\n", std::nullopt},
      // Longer than any request, even where it would parse.
      {"band 070 080\n" + std::string(kRequestLimit, ' '), std::nullopt},
  };
  for (const Case& c : cases) {
    const auto request = parseRequest(c.bytes);
    ASSERT_EQ(request.has_value(), c.kind.has_value()) << c.bytes;
    if (!request) continue;
    EXPECT_EQ(request->kind, *c.kind) << c.bytes;
    if (request->kind == BandRequest::Kind::band) {
      EXPECT_EQ(request->band.lower, c.lower) << c.bytes;
      EXPECT_EQ(request->band.upper, c.upper) << c.bytes;
    }
  }
}

/// A machine whose band file is `path`.
class BandFileMachine final : public platform::Machine {
 public:
  explicit BandFileMachine(std::string path) : path_(std::move(path)) {}
  io_service_t matchService(std::string_view /*className*/) override { return 0; }
  kern_return_t openService(io_service_t, task_port_t, uint32_t, io_connect_t*) override { return 1; }
  kern_return_t releaseObject(io_object_t) override { return 0; }
  kern_return_t closeConnection(io_connect_t) override { return 0; }
  kern_return_t callStructMethod(io_connect_t, uint32_t, const void*, size_t, void*, size_t*) override { return 1; }
  std::optional<int> sysctlInteger(std::string_view /*name*/) override { return std::nullopt; }
  std::optional<std::vector<platform::PowerSourceDescription>> powerSources() override { return std::nullopt; }
  const char* holderBandPath() override { return path_.c_str(); }

 private:
  std::string path_;
};

TEST(BandFile, KeepsTheBandOnlyOverTheSameArgumentsAndOnlyFromATrustedFile) {
  char folder[] = "/tmp/band-file-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/band";
  BandFileMachine machine(path);
  platform::attachMachine(&machine);
  const Band arguments{.lower = 75, .upper = 80, .hot = 40};

  EXPECT_FALSE(savedBand(arguments)) << "no file yet";
  ASSERT_TRUE(saveBand({.lower = 60, .upper = 70}, arguments));
  const auto kept = savedBand(arguments);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->lower, 60);
  EXPECT_EQ(kept->upper, 70);
  EXPECT_EQ(kept->hot, 40) << "the heat is the arguments'";
  EXPECT_FALSE(savedBand({.lower = 75, .upper = 85})) << "installed again with another band";

  chmod(path.c_str(), 0666);
  EXPECT_FALSE(savedBand(arguments)) << "a file that others may write";
  const struct Text {
    const char* text;
  } garbled[] = {{"60 70\n"}, {"60 70\n75 80"}, {"60 70\n75 80\nmore"}, {"60 10\n75 80\n"}, {"60 70\n75 80 \n"}};
  for (const Text& t : garbled) {
    std::ofstream(path, std::ios::trunc) << t.text;
    chmod(path.c_str(), 0644);
    EXPECT_FALSE(savedBand(arguments)) << t.text;
  }
  ASSERT_TRUE(saveBand({.lower = 50, .upper = 60}, arguments)) << "a garbled file is replaced whole";
  EXPECT_EQ(savedBand(arguments)->lower, 50);

  unlink(path.c_str());
  ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
  EXPECT_FALSE(savedBand(arguments)) << "a link is not followed";
  platform::attachMachine(nullptr);
  unlink(path.c_str());
  rmdir(folder);
}

}  // namespace
