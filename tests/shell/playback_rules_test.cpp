// Playback arithmetic: default speed, seek margin and limit, speed text, pair tolerance.

#include <gtest/gtest.h>

#include "kinetta/shell/playback_rules.h"

using namespace kinetta;

TEST(PlaybackRules, TimeLapseRecordingsStartAtHalfSpeed) {
    RecordingEntry e;
    e.frontPath = "/c/012_153012ATN_F.MP4";
    e.frontName = "012_153012ATN_F.MP4";
    EXPECT_EQ(DefaultSpeedStep(e, RecorderFamily::TX50), -2);
    EXPECT_EQ(SpeedText(DefaultSpeedStep(e, RecorderFamily::TX50)), "再生速度x0.5");
    e.frontName = "012_153012ANN_F.MP4";
    EXPECT_EQ(DefaultSpeedStep(e, RecorderFamily::TX50), 1);
    RecordingEntry rear;
    rear.rearPath = "/c/012_153012PTN_R.MP4";
    rear.rearName = "012_153012PTN_R.MP4";
    EXPECT_EQ(DefaultSpeedStep(rear, RecorderFamily::TX50), -2);
    EXPECT_EQ(DefaultSpeedStep(RecordingEntry{}, RecorderFamily::TX40), 1);
}

TEST(PlaybackRules, SeekMarginAndLimit) {
    EXPECT_EQ(SeekMargin(1, 1000.0 / 29.1), 20);
    EXPECT_EQ(SeekMargin(2, 1000.0 / 29.1), 40);
    EXPECT_EQ(SeekMargin(4, 1000.0 / 29.1), 80);
    EXPECT_EQ(SeekMargin(1, 0), 20);       // unknown duration: 34.36426 ms
    EXPECT_EQ(SeekMargin(-2, 66.666), 10); // time-lapse frames are longer
    EXPECT_EQ(SeekLimit(5000, 1000, 1), 980);
    EXPECT_EQ(SeekLimit(5000, 1000, 4), 920);
    EXPECT_EQ(SeekLimit(-5, 1000, 1), 0);
    EXPECT_EQ(SeekLimit(500, 1000, 2), 500);
    EXPECT_EQ(SeekLimit(10, 15, 1), 0); // a tiny movie never seeks below 0
}

TEST(PlaybackRules, SpeedTextsAndTolerances) {
    EXPECT_EQ(SpeedText(1), "再生速度x1.0");
    EXPECT_EQ(SpeedText(2), "再生速度x2.0");
    EXPECT_EQ(SpeedText(4), "再生速度x4.0");
    EXPECT_EQ(SpeedText(-4), "再生速度x0.25");
    EXPECT_EQ(SpeedText(-1), "");
    EXPECT_EQ(SpeedText(3), "");
    RecordingEntry e;
    EXPECT_EQ(PairEndTolerance(e), 60);
    e.parking = 1;
    EXPECT_EQ(PairEndTolerance(e), 5);
    e.timeLapse = 1;
    EXPECT_EQ(PairEndTolerance(e), 8);
    EXPECT_EQ(PictureQuality(720), 3);
    EXPECT_EQ(PictureQuality(1080), 5);
    EXPECT_EQ(PictureQuality(480), 0);
}
