// Board mode 3, a 1 MiB image on the recognised 2 MiB part, written by every
// path that writes it (a given file, an image in memory, a server download,
// the unattended update) on a driver that reads the half-size write in each of
// the ways drivers do: the image lands at the top of the part, and the driver
// never takes a byte from outside the buffer it is handed.
#include <algorithm>
#include <cctype>
#include <string>
#include <tuple>
#include <vector>

#include "flow_fixture.h"
#include "ftp_servers.h"
#include "records.h"
#include "test_images.h"
#include "update_flow.h"
#include "update_manager.h"

namespace {

using test_images::k1M;
using test_images::k2M;

constexpr char kPart[] = "3K41ZT01";

enum class WritePath { kFile, kMemory, kServer, kUnattended };

const char* Name(WritePath path) {
    switch (path) {
    case WritePath::kFile: return "File";
    case WritePath::kMemory: return "Memory";
    case WritePath::kServer: return "Server";
    case WritePath::kUnattended: return "Unattended";
    }
    return "";
}

constexpr char kConfig[] = "[SERVER]\r\n0=Site\r\n[0]\r\nAddress=127.0.0.21\r\nDirectory=//BIOS\r\n"
                           "Username=vossel\r\nPassword=s3cret\r\n";
constexpr char kCatalogue[] = "[3K41ZT01]\r\nNAME=GA-3K\r\n0=GA-3K F6\r\n";

// The driver's reading of a write of half the part's size (SizeAdaptedWrites)
// and the path that writes.
class UpperHalfWrite : public FlowTest, public testing::WithParamInterface<std::tuple<const char*, WritePath>> {
protected:
    void SetUp() override {
        FlowTest::SetUp();
        std::string problem;
        ASSERT_TRUE(servers_.Load(&problem)) << problem;
    }

    FtpServers servers_;
};

TEST_P(UpperHalfWrite, TheImageLandsAtTheTopAndNothingIsReadOutsideTheBuffer) {
    const char* reading = std::get<0>(GetParam());
    const WritePath path = std::get<1>(GetParam());
    StartBoard(k2M, kBiosTypeAward, kPart, {{"Flash", {{"SizeAdaptedWrites", reading}}}});
    ASSERT_EQ(Engine.BoardMode, 1);
    const std::vector<uint8_t> image = test_images::AwardImage(k1M, kPart);
    const std::string bytes = test_images::Bytes(image);
    ClearRecords();

    int result = 0;
    switch (path) {
    case WritePath::kFile:
        result = FlashBIOS(kSourceGivenFile, LayImage(image).c_str(), 1, 0, 0);
        break;
    case WritePath::kMemory:
        result = FlashBIOS(kSourceMemory, reinterpret_cast<const char*>(image.data()), 1, 0, k1M);
        break;
    case WritePath::kServer:
        WriteFileBytes(temp_.File("config.ini"), kConfig);
        servers_.ClearBiosFolder("site");
        servers_.Serve("site", "bios.ini", kCatalogue);
        servers_.Serve("site", "3k41zt01.0", bytes);
        dialogs_.Select(0, IDOK);  // the site
        dialogs_.Select(0, IDOK);  // the model
        dialogs_.Answer({IDOK});   // the confirmation
        result = FlashBIOS(kSourceServer, "c:\\NoFile", 1, 0, 0);
        break;
    case WritePath::kUnattended:
        servers_.ClearBiosFolder("builtin3");
        servers_.Serve("builtin3", "3k41zt01.0", bytes);
        lstrcpynA(Engine.CurrentServer, "127.0.0.13", sizeof Engine.CurrentServer);
        result = UpdateBiosByUpdateManager() == kUpdateWritten ? 1 : 0;
        break;
    }

    EXPECT_EQ(result, 1);
    EXPECT_EQ(Calls({"W_Flash_Write"}), std::vector<std::string>{"W_Flash_Write length=1048576 keepDmi=1 -> 1"});
    const std::string part = Part();
    ASSERT_EQ(part.size(), k2M);
    EXPECT_TRUE(part.substr(k1M) == bytes) << "the part's upper half is not the image";
    if (std::string(reading) != "whole") {
        EXPECT_TRUE(part.substr(0, k1M) == OldPart().substr(0, k1M)) << "the lower half keeps its bytes";
    }
    const std::vector<std::string> journal = Journal();
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(),
                            [](const std::string& line) { return line.find("outside its buffer") != std::string::npos; }),
              0);
    EXPECT_EQ(Engine.BoardMode, 1);
    EXPECT_EQ(Engine.CurrentFlash.FlashSize, k2M);
    EXPECT_EQ(Engine.Busy.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryReadingEveryPath, UpperHalfWrite,
                         testing::Combine(testing::Values("top", "upper", "whole"),
                                          testing::Values(WritePath::kFile, WritePath::kMemory, WritePath::kServer,
                                                          WritePath::kUnattended)),
                         [](const testing::TestParamInfo<UpperHalfWrite::ParamType>& info) {
                             return std::string(std::get<0>(info.param)) + Name(std::get<1>(info.param));
                         });

}  // namespace
