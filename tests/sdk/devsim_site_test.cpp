// The simulator's site description, video loop cache and control commands, in process.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tools/devsim/simulator.h"
#include "tools/devsim/site_config.h"
#include "tools/devsim/video_loop.h"
#include "tools/devsim/web_server.h"

namespace ocv::devsim {
namespace {

using ocv::test::TempDir;
using ocv::test::WriteText;

TEST(DevsimSite, StreamConfigsAreBounded) {
    StreamConfig s;
    EXPECT_TRUE(ParseStreamSize("1280x720@4000", &s));
    EXPECT_EQ(s.width, 1280);
    EXPECT_EQ(s.bitrateKbps, 4000);
    EXPECT_TRUE(ParseStreamSize("off", &s));
    EXPECT_EQ(s.width, 0);
    EXPECT_FALSE(ParseStreamSize("1281x720@4000", &s));  // odd width
    EXPECT_FALSE(ParseStreamSize("16x16@100", &s));
    EXPECT_FALSE(ParseStreamSize("640x480", &s));
    EXPECT_FALSE(ParseStreamSize("640x480@100x", &s));
    EXPECT_FALSE(ParseStreamSize("640x480@99999", &s));
}

TEST(DevsimSite, SiteFileWithCopiesAndErrors) {
    TempDir dir;
    WriteText(dir / "site.ini",
              "# a site\n[site]\ncontrol_port=0\nloop_frames=30\n"
              "[device]\nname=GATE\nport=40100\nweb_port=40200\ncount=3\nchannels=16\ntype=NVR\n"
              "[device]\nname=THERM\nfirmware=V27.1\nsub=off\nchannels=4\nmain.2=320x240@300\nsub.3=160x120@64\n");
    SiteConfig site;
    std::string error;
    ASSERT_TRUE(LoadSiteFile(dir / "site.ini", &site, &error)) << error;
    ASSERT_EQ(site.devices.size(), 4u);
    EXPECT_EQ(site.loopFrames, 30);
    EXPECT_EQ(site.devices[0].name, "GATE1");
    EXPECT_EQ(site.devices[2].name, "GATE3");
    EXPECT_EQ(site.devices[2].port, 40102);
    EXPECT_EQ(site.devices[2].webPort, 40202);
    EXPECT_EQ(site.devices[1].channels, 16);
    EXPECT_EQ(site.devices[3].streams[1].width, 0);
    EXPECT_EQ(site.devices[3].StreamOf(2, 0).width, 320);
    EXPECT_EQ(site.devices[3].StreamOf(1, 0).width, 640);
    EXPECT_EQ(site.devices[3].StreamOf(3, 1).width, 160);
    EXPECT_EQ(site.devices[3].StreamOf(2, 1).width, 0);
    ASSERT_TRUE(FinishSite(&site, &error));
    EXPECT_NE(site.devices[0].deviceId, site.devices[1].deviceId);

    const char* bad[] = {"[device]\nchannels=65\n", "[device]\nnonsense=1\n", "name=outside\n",
                         "[device]\nkey_interval=10\n", "[device]\nmain=off\n",
                         "[device]\nchannels=2\nmain.2=320x240@300\n", "[device]\nmain.1=off\nchannels=2\n",
                         "[device]\nmain.x=320x240@300\n"};
    for (const char* text : bad) {
        SiteConfig s;
        WriteText(dir / "bad.ini", text);
        bool loaded = LoadSiteFile(dir / "bad.ini", &s, &error);
        EXPECT_FALSE(loaded && FinishSite(&s, &error)) << text;
    }
}

TEST(DevsimSite, StandardFacesPerDeviceOrForTheWholeSite) {
    TempDir dir;
    WriteText(dir / "site.ini",
              "[device]\nname=OWN\n"
              "[device]\nname=DOOR\nonvif=1\nrtsp_port=40500\ncount=2\n"
              "[device]\nname=PLAIN\n");
    SiteConfig site;
    std::string error;
    ASSERT_TRUE(LoadSiteFile(dir / "site.ini", &site, &error)) << error;
    ASSERT_TRUE(FinishSite(&site, &error)) << error;
    ASSERT_EQ(site.devices.size(), 4u);
    EXPECT_FALSE(site.devices[0].onvif);
    EXPECT_EQ(site.devices[0].rtspPort, -1) << "no RTSP server unless asked for";
    EXPECT_TRUE(site.devices[1].onvif);
    EXPECT_EQ(site.devices[1].rtspPort, 40500);
    EXPECT_EQ(site.devices[2].rtspPort, 40501) << "copies count their RTSP ports up";
    EXPECT_FALSE(site.devices[3].onvif);
    // The site's options reach every device; a device's own port stays.
    SiteConfig all;
    ASSERT_TRUE(LoadSiteFile(dir / "site.ini", &all, &error)) << error;
    all.onvif = true;
    all.rtspBasePort = 41000;
    ASSERT_TRUE(FinishSite(&all, &error)) << error;
    EXPECT_TRUE(all.devices[0].onvif && all.devices[3].onvif);
    EXPECT_EQ(all.devices[0].rtspPort, 41000);
    EXPECT_EQ(all.devices[1].rtspPort, 40500);
    EXPECT_EQ(all.devices[3].rtspPort, 41003);
    SiteConfig beyond;
    ASSERT_TRUE(LoadSiteFile(dir / "site.ini", &beyond, &error));
    beyond.rtspBasePort = 65534;
    EXPECT_FALSE(FinishSite(&beyond, &error)) << "device 3 would get port 65537";
    for (const char* text : {"[device]\nonvif=yes\n", "[device]\nrtsp_port=70000\n", "[site]\nonvif=2\n"}) {
        SiteConfig s;
        WriteText(dir / "bad.ini", text);
        EXPECT_FALSE(LoadSiteFile(dir / "bad.ini", &s, &error)) << text;
    }
}

TEST(DevsimSite, FlagsMakeNumberedDevices) {
    const char* argv[] = {"devsim", "--devices", "3", "--name", "CAM", "--channels", "4", "--base-port", "41000",
                          "--firmware", "V27.9", "--third", "160x96@64"};
    SiteConfig site;
    std::string error;
    bool help = false;
    ASSERT_TRUE(ParseCommandLine(13, const_cast<char**>(argv), &site, &error, &help)) << error;
    ASSERT_EQ(site.devices.size(), 3u);
    EXPECT_EQ(site.devices[1].name, "CAM2");
    EXPECT_EQ(site.devices[1].port, 41001);
    EXPECT_EQ(site.devices[2].streams[2].height, 96);
    const char* spread[] = {"devsim", "--devices", "3", "--spread-addresses"};
    SiteConfig spreadSite;
    ASSERT_TRUE(ParseCommandLine(4, const_cast<char**>(spread), &spreadSite, &error, &help)) << error;
    EXPECT_EQ(spreadSite.devices[0].address, "127.0.0.1");
    EXPECT_EQ(spreadSite.devices[2].address, "127.0.0.3");
    const char* wrong[] = {"devsim", "--channels", "0"};
    EXPECT_FALSE(ParseCommandLine(3, const_cast<char**>(wrong), &site, &error, &help));
}

TEST(DevsimVideo, LoopsAreEncodedOnceAndReadBackFromTheCache) {
    TempDir dir;
    LoopParams p;
    p.width = 64;
    p.height = 48;
    p.bitrateKbps = 64;
    p.fps = 25;
    p.keyInterval = 25;
    p.frames = 50;
    p.label = "CACHE TEST";
    std::string error;
    auto first = MakeVideoLoop(p, dir.str(), &error);
    ASSERT_TRUE(first) << error;
    ASSERT_EQ(first->frames.size(), 50u);
    for (size_t i = 0; i < first->frames.size(); ++i) EXPECT_EQ(first->frames[i].key, i % 25 == 0) << i;
    std::string path = dir / LoopCacheName(p);
    ASSERT_TRUE(std::filesystem::exists(path));
    auto second = MakeVideoLoop(p, dir.str(), &error);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->frames.size(), first->frames.size());
    EXPECT_EQ(second->frames[7].data, first->frames[7].data);
    // A damaged cache file is not trusted: the loop is made again.
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    auto third = MakeVideoLoop(p, dir.str(), &error);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->frames.size(), 50u);
    p.label = "OTHER";
    EXPECT_NE(LoopCacheName(p), std::filesystem::path(path).filename().string());
}

TEST(DevsimControl, CommandsCheckTheirArguments) {
    TempDir dir;
    SiteConfig site;
    site.cacheDir = dir / "cache";
    site.loopFrames = 25;
    site.quiet = true;
    DeviceConfig d;
    d.name = "A";
    d.channels = 2;
    d.streams[0] = {64, 48, 64};
    d.streams[1] = {};
    d.keyInterval = 25;
    site.devices.push_back(d);
    Simulator sim(site);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    EXPECT_EQ(sim.Execute("devices").at(0), "OK 1");
    EXPECT_EQ(sim.Execute("alarm A 1 motion").at(0).rfind("OK", 0), 0u);
    EXPECT_EQ(sim.Execute("alarm A 2 motion").at(0).rfind("ERR", 0), 0u);
    EXPECT_EQ(sim.Execute("alarm A 1 smoke").at(0).rfind("ERR", 0), 0u);
    EXPECT_EQ(sim.Execute("alarm B 1 motion").at(0).rfind("ERR", 0), 0u);
    EXPECT_EQ(sim.Execute("freeze 0 maybe").at(0).rfind("ERR", 0), 0u);
    EXPECT_EQ(sim.Execute("channel 0 1 off").at(0), "OK");
    EXPECT_EQ(sim.Execute("report A").at(0), "OK 2");
    EXPECT_EQ(sim.Execute("").at(0).rfind("ERR", 0), 0u);
    EXPECT_EQ(sim.Execute("bogus").at(0).rfind("ERR", 0), 0u);
    sim.Stop();
}

TEST(DevsimWeb, TemperatureCodesHoldHundredthsAndAbnormalBit) {
    int abnormal = 0;
    for (int64_t t = 1767225600; t < 1767225600 + 86400; t += 60) {
        int code = TemperatureCodeAt(t);
        int hundredths = code & 0x7FFF;
        EXPECT_GE(hundredths, 3600);
        EXPECT_LE(hundredths, 3900);
        if (code & 0x8000) {
            ++abnormal;
            EXPECT_GE(hundredths, 3780);
        }
    }
    EXPECT_GT(abnormal, 0);
    EXPECT_LT(abnormal, 200);
}

}  // namespace
}  // namespace ocv::devsim
