// The information panel's date/time arithmetic, texts and icon choices.

#include <gtest/gtest.h>

#include "kinetta/telemetry/panel_state.h"

namespace kinetta {
namespace {

using playcore::RecorderFamily;

PanelState At(int frame, uint16_t year = 2023) {
    PanelState s;
    s.hasData = true;
    s.startTime = {year, 5, 4, 25, 12, 0, 0, 0};
    s.frameIndex = frame;
    s.frameDurationMs = 33.3667f;
    return s;
}

TEST(PanelDateTime, FrameOffsetInSinglePrecisionAndTimeLapse) {
    EXPECT_EQ(PanelDateTimeText(At(0)), "2023/05/25 12:00:00");
    EXPECT_EQ(PanelDateTimeText(At(300)), "2023/05/25 12:00:10");
    PanelState lapse = At(300);
    lapse.timeLapse = true;
    EXPECT_EQ(PanelDateTimeText(lapse), "2023/05/25 12:02:30");
    // Across midnight, a month end and a leap day.
    PanelState late = At(0);
    late.startTime = {2024, 2, 0, 28, 23, 59, 59, 0};
    late.frameDurationMs = 1000.0f;
    late.frameIndex = 2;
    EXPECT_EQ(PanelDateTimeText(late), "2024/02/29 00:00:01");
    late.startTime = {2023, 12, 0, 31, 23, 59, 59, 0};
    EXPECT_EQ(PanelDateTimeText(late), "2024/01/01 00:00:01");
}

TEST(PanelDateTime, LateYearsAndPlaceholders) {
    EXPECT_EQ(PanelDateTimeText(At(0, 2057)), "2022/05/25 12:00:00");
    EXPECT_EQ(PanelDateTimeText(At(0, 2049)), "2049/05/25 12:00:00");
    EXPECT_EQ(PanelDateTimeText(At(-1)), kDateTimePlaceholder);
    PanelState none = At(10);
    none.hasData = false;
    EXPECT_EQ(PanelDateTimeText(none), kDateTimePlaceholder);
    PanelState bad = At(10);
    bad.startTime = {};
    EXPECT_EQ(PanelDateTimeText(bad), kDateTimePlaceholder);
    bad.startTime = {2023, 2, 0, 30, 0, 0, 0, 0}; // no such day
    EXPECT_EQ(PanelDateTimeText(bad), kDateTimePlaceholder);
    // A huge frame index does not wrap into a nonsense date silently.
    PanelState far = At(2'000'000'000);
    EXPECT_NE(PanelDateTimeText(far), "");
}

TEST(PanelTexts, AccelerationTruncatesTowardZero) {
    EXPECT_EQ(AccelText(0.239), "0.23G");
    EXPECT_EQ(AccelText(-0.239), "-0.23G");
    EXPECT_EQ(AccelText(static_cast<double>(290.0f / 1000.0f)), "0.29G");
    EXPECT_EQ(AccelText(-0.004), "0.00G");
    EXPECT_EQ(AccelText(1.999), "1.99G");
    EXPECT_EQ(AccelText(-5.0), "");
    EXPECT_EQ(AccelText(-7.0), "");
}

TEST(PanelTexts, SpeedOffAndPlaceholder) {
    PanelState s = At(0);
    s.gpsValid = 1;
    s.speed = 1234;
    EXPECT_EQ(PanelSpeedShown(s), SpeedShown::Value);
    EXPECT_EQ(SpeedValueText(s.speed), "999 ");
    EXPECT_EQ(SpeedValueText(47.6), "48 ");
    s.gpsValid = 0;
    s.flagA = 0;
    EXPECT_EQ(PanelSpeedShown(s), SpeedShown::Off);
    s.flagA = 1;
    EXPECT_EQ(PanelSpeedShown(s), SpeedShown::Placeholder);
    s.gpsValid = 1;
    s.speed = -1;
    EXPECT_EQ(PanelSpeedShown(s), SpeedShown::Placeholder);
    s.gpsValid = 0;
    s.flagB = 0;
    EXPECT_TRUE(GpsOffShown(s));
    s.flagB = 1;
    EXPECT_FALSE(GpsOffShown(s));
}

TEST(PanelTexts, VoltageNeedsTheTraceMarkerAndAParkingRecording) {
    PanelState s = At(0);
    s.voltageTenths = 124;
    s.parkingVoltage = true;
    EXPECT_FALSE(VoltageShown(s, RecorderFamily::TX50)); // no "pvtrace.txt"
    s.voltageTrace = true;
    EXPECT_TRUE(VoltageShown(s, RecorderFamily::TX50));
    EXPECT_FALSE(VoltageShown(s, RecorderFamily::TX40));
    s.parkingVoltage = false;
    EXPECT_FALSE(VoltageShown(s, RecorderFamily::TX50));
    EXPECT_EQ(VoltageText(124), "12.4");
    EXPECT_EQ(VoltageText(-1), "");
}

TEST(PanelState, RecordsResetAndIcons) {
    playcore::GpsRecord gps;
    playcore::AccelRecord rec;
    rec.gps = &gps;
    rec.gx = 0.5;
    rec.extra = 'R';
    rec.number = 121;
    gps.valid = 1;
    gps.speed = 40;
    PanelState s = At(0);
    s.ApplyRecord(12, &rec);
    EXPECT_EQ(s.frameIndex, 12);
    EXPECT_EQ(s.speed, 40);
    EXPECT_EQ(s.cameraLetter, 'R');
    EXPECT_EQ(s.voltageTenths, 121);
    // An invalid fix keeps the last speed.
    gps.valid = 0;
    gps.speed = 0;
    s.ApplyRecord(13, &rec);
    EXPECT_EQ(s.speed, 40);
    EXPECT_EQ(s.gpsValid, 0);
    s.ApplyRecord(14, nullptr);
    EXPECT_EQ(s.gx, -5.0);
    s.Reset();
    EXPECT_EQ(s.frameIndex, -1);
    EXPECT_EQ(s.speed, -1.0);
    EXPECT_EQ(s.cameraLetter, 77);
    EXPECT_TRUE(s.hasData); // kept

    EXPECT_EQ(ResolutionIconFor(720), 3);
    EXPECT_EQ(ResolutionIconFor(1080), 5);
    EXPECT_EQ(ResolutionIconFor(480), 0);
    EXPECT_EQ(CameraIconFor('R'), CameraIcon::FamilyRear);
    EXPECT_EQ(CameraIconFor('r'), CameraIcon::Rear);
    EXPECT_EQ(CameraIconFor('M'), CameraIcon::Default);
}

TEST(InfoCheck, BitsOfTheSettingReadAndWrittenBack) {
    struct Row {
        const char* text;
        bool panel, graph, x, y, z;
        const char* written;
    } rows[] = {
        {"31", true, true, true, true, true, "31"},
        {"", true, true, true, true, true, "31"}, // no key yet: the first-run value
        {"30", false, true, true, true, true, "30"},
        {"29", true, false, true, true, true, "29"},
        {"27", true, true, false, true, true, "27"},
        {"23", true, true, true, false, true, "23"},
        {"15", true, true, true, true, false, "15"},
        {" 19 xyz", true, true, false, false, true, "19"}, // leading digits
        {"63", true, true, true, true, true, "31"},        // unknown bits dropped
        {"abc", false, false, false, false, false, "0"},
        {"-1", false, false, false, false, false, "0"},
    };
    for (const Row& r : rows) {
        const InfoCheck c = ParseInfoCheck(r.text);
        EXPECT_EQ(c.panelShown, r.panel) << r.text;
        EXPECT_EQ(c.graphShown, r.graph) << r.text;
        EXPECT_EQ(c.axisOn, (std::array<bool, 3>{r.x, r.y, r.z})) << r.text;
        EXPECT_EQ(InfoCheckText(c), r.written) << r.text;
    }
    EXPECT_EQ(InfoCheckText(InfoCheck{}), std::to_string(kInfoCheckFirstRun));
}

} // namespace
} // namespace kinetta
