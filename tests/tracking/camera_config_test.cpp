#include "tracking/camera_config.h"

#include <gtest/gtest.h>

namespace kelmo {
namespace {

CameraConfig parse(const std::string& text) {
    CameraConfig sourceConfig;
    std::string error;
    EXPECT_TRUE(parseCameraConfig(text, sourceConfig, error)) << text << ": " << error;
    return sourceConfig;
}

TEST(CameraConfig, EveryFormNamesItsSource) {
    EXPECT_EQ(parse("WDM_camera_flipV.xml").kind, VideoSourceKind::CameraIndex);
    EXPECT_EQ(parse("WDM_camera_flipV.xml").cameraIndex, 0);
    EXPECT_EQ(parse("").kind, VideoSourceKind::CameraIndex);
    EXPECT_EQ(parse(" 2 ").cameraIndex, 2);

    const CameraConfig device = parse("/dev/video1");
    EXPECT_EQ(device.kind, VideoSourceKind::CameraDevice);
    EXPECT_EQ(device.path, "/dev/video1");

    const CameraConfig video = parse("movies/desk.avi");
    EXPECT_EQ(video.kind, VideoSourceKind::VideoFile);
    EXPECT_EQ(video.path, "movies/desk.avi");
    EXPECT_EQ(parse("still.PNG").kind, VideoSourceKind::ImageFile);
    EXPECT_EQ(parse("frames/%04d.png").kind, VideoSourceKind::ImageSequence);
    EXPECT_EQ(parse("frames/img%d.jpg").kind, VideoSourceKind::ImageSequence);
    // A percent sign without a number field is just part of a file name.
    EXPECT_EQ(parse("100%.avi").kind, VideoSourceKind::VideoFile);
}

TEST(CameraConfig, DeviceOptionSyntax) {
    const CameraConfig sourceConfig = parse(
        "-dev=/dev/video2 -width=320\t-height=240 -channel=0 -palette=YUV420P "
        "-brightness=0.5 -mode=PAL -noadjust");
    EXPECT_EQ(sourceConfig.kind, VideoSourceKind::CameraDevice);
    EXPECT_EQ(sourceConfig.path, "/dev/video2");
    EXPECT_EQ(sourceConfig.width, 320);
    EXPECT_EQ(sourceConfig.height, 240);

    const CameraConfig defaults = parse("-width=640");
    EXPECT_EQ(defaults.path, "/dev/video0");
    EXPECT_EQ(defaults.height, 0);

    for (const char* bad : {"-dev=/dev/video0 -fps=30", "-width=abc", "-width=0", "-height=-5",
                            "-width=99999", "-mode=HD", "-brightness=2", "-dev=", "-noadjust=1"}) {
        CameraConfig spec2;
        std::string error;
        EXPECT_FALSE(parseCameraConfig(bad, spec2, error)) << bad;
        EXPECT_NE(error.find("camera option"), std::string::npos) << bad << ": " << error;
    }
}

}  // namespace
}  // namespace kelmo
