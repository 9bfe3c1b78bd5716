// The humanize settings in appsettings.txt and through setHumanize / getHumanize: any integer is
// kept as given (the engines clamp it when they use it), so the file gives back what it got.
#include "store/humanize_settings.h"
#include "state/humanize.h"
#include "store/codecs.h"
#include "tests/store/store_env.h"

namespace {

using HumanizeSettings = StoreTest;

std::string File() { return Slurp(GetAppSettingsFilePath()); }
std::string Tail(const std::string& text) { return text.substr(text.find("clickJitter=")); }

}  // namespace

// Bad values round-trip as they were stored; lines that do not convert change nothing; a file
// without the keys (an older one) leaves everything at 0.
TEST_F(HumanizeSettings, FileKeepsEveryStoredValueAndSkipsWhatDoesNotConvert) {
    const struct {
        const char* file;
        const char* lines;
        bool clicker, keySpam;
    } cases[] = {
        {"alwaysOnTop=1\nwindowMaximized=0\n",
         "clickJitter=0\nhold=0\nholdJitter=0\narea=0\nareaX=0\nareaY=0\nareaWidth=0\n"
         "areaHeight=0\nradius=0\nkeyJitter=0\n",
         false, false},
        {"clickJitter=-5\nhold=99999\nholdJitter=x\narea=1\nareaX=-20\nareaY=9000\n"
         "areaWidth=0\nareaHeight=-30\nradius=99999999999\nkeyJitter= 7\nhold=3ms\n",
         "clickJitter=-5\nhold=3\nholdJitter=0\narea=1\nareaX=-20\nareaY=9000\nareaWidth=0\n"
         "areaHeight=-30\nradius=0\nkeyJitter=7\n",
         true, true},
        {"area=2\nradius=12\n",
         "clickJitter=0\nhold=0\nholdJitter=0\narea=2\nareaX=0\nareaY=0\nareaWidth=0\n"
         "areaHeight=0\nradius=12\nkeyJitter=0\n",
         true, false},
    };
    for (const auto& c : cases) {
        ResetToolStateForTest();
        WriteText(GetAppSettingsFilePath(), c.file);
        ASSERT_TRUE(LoadAppSettings());
        EXPECT_EQ(Tail(AppSettingsText()), c.lines) << c.file;
        EXPECT_EQ((std::vector<bool>{humanizeClicker, humanizeKeySpam}),
                  (std::vector<bool>{c.clicker, c.keySpam}))
            << c.file;
        ASSERT_TRUE(SaveAppSettings());
        ResetToolStateForTest();
        ASSERT_TRUE(LoadAppSettings());
        EXPECT_EQ(Tail(File()), c.lines);
        EXPECT_EQ(Tail(AppSettingsText()), c.lines);
    }
}

// The record's rules are the auto clicker's: too few fields change nothing, a bad field ends
// the update there, and only a whole record is written to the file.
TEST_F(HumanizeSettings, RecordsStoreUpToTheFirstBadFieldAndOnlyWholeOnesAreSaved) {
    const struct {
        const char* request;
        const char* json;
        bool saved;
    } cases[] = {
        {"[\"1,2,3\"]",
         "{\"clickJitter\":0,\"hold\":0,\"holdJitter\":0,\"area\":0,\"areaX\":0,\"areaY\":0,"
         "\"areaWidth\":0,\"areaHeight\":0,\"radius\":0,\"keyJitter\":0,\"picking\":false}",
         false},
        {"[\"5,8,2,x,10,20,30,40,0,3\"]",
         "{\"clickJitter\":5,\"hold\":8,\"holdJitter\":2,\"area\":0,\"areaX\":0,\"areaY\":0,"
         "\"areaWidth\":0,\"areaHeight\":0,\"radius\":0,\"keyJitter\":0,\"picking\":false}",
         false},
        {"[\"5,8,2,1,10,20,-30,40,6,-3\"]",
         "{\"clickJitter\":5,\"hold\":8,\"holdJitter\":2,\"area\":1,\"areaX\":10,\"areaY\":20,"
         "\"areaWidth\":-30,\"areaHeight\":40,\"radius\":6,\"keyJitter\":-3,\"picking\":false}",
         true},
        {"[\"0,0,0,0,0,0,0,0,0,0,9\"]",
         "{\"clickJitter\":0,\"hold\":0,\"holdJitter\":0,\"area\":0,\"areaX\":0,\"areaY\":0,"
         "\"areaWidth\":0,\"areaHeight\":0,\"radius\":0,\"keyJitter\":0,\"picking\":false}",
         true},
    };
    for (const auto& c : cases) {
        unlink(GetAppSettingsFilePath().c_str());
        BindSetHumanize(ParseJSString(c.request));
        EXPECT_EQ(BindGetHumanize(""), c.json) << c.request;
        EXPECT_EQ(File().empty(), !c.saved) << c.request;
        if (c.saved) {
            EXPECT_EQ(File(), AppSettingsText());
        }
    }
    EXPECT_FALSE(humanizeClicker || humanizeKeySpam);

    // A rectangle dragged out on the tap's thread is written by the next read of the page.
    unlink(GetAppSettingsFilePath().c_str());
    humanizeAreaPick = 1;
    EXPECT_NE(BindGetHumanize("").find("\"picking\":true"), std::string::npos);
    EXPECT_EQ(File(), "");
    humanizeAreaWidth = 4;
    humanizeAreaUnsaved = true;
    BindGetHumanize("");
    EXPECT_NE(File().find("areaWidth=4\n"), std::string::npos);
}
