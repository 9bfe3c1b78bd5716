#include "platform/shell.h"
#include "store/codecs.h"
#include "tests/store/store_env.h"

#include <sys/stat.h>

namespace {

using AppSettings = StoreTest;

std::string File() { return Slurp(GetAppSettingsFilePath()); }

}  // namespace

TEST_F(AppSettings, DefaultsWithoutAFileInAPrivateFolder) {
    EXPECT_EQ(GetAppSettingsFilePath(), TestHome() + "/data/Quillon/appsettings.txt");
    struct stat st;
    ASSERT_EQ(stat(OsDataDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(LoadAppSettings());
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_EQ(File(), AppSettingsText());
    // The file reader keeps every byte, and gives nothing for a folder.
    WriteText(GetAppSettingsFilePath(), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(GetAppSettingsFilePath()), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(TestHome()), "");
    // The panel order reader: case matters, blanks too, and a refusal changes nothing.
    std::vector<std::string> order{"keep"};
    EXPECT_FALSE(ParsePanelOrder("panel-ui,Panel-UI", order) || IsKnownPanelId("panel-keyspam "));
    EXPECT_EQ(order, std::vector<std::string>{"keep"});
    EXPECT_TRUE(ParsePanelOrder(",,", order) && order.empty());
}
