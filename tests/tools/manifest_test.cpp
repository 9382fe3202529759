// mkcard's manifest: one line of JSON whose numbers keep the values of the
// plan they describe (the tests read the card through it).

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tools/mkcard/card.h"
#include "tools/mkcard/scene.h"

TEST(MkcardManifest, NumbersKeepTheirValues) {
    const mkcard::CardPlan plan =
        mkcard::MakeCardPlan(kinetta::RecorderFamily::TX50, mkcard::Preset::Test, 7);
    const std::string text = mkcard::ManifestJson(plan, {}, {});
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    const nlohmann::json m = nlohmann::json::parse(text);
    EXPECT_EQ(m.at("generator"), "mkcard");
    EXPECT_EQ(m.at("seed"), 7);
    EXPECT_EQ(text.rfind(R"({"generator":"mkcard","format":1,"family":"TX50",)", 0), 0u)
        << text.substr(0, 80);
    EXPECT_EQ(m.at("files").size(), plan.files.size());

    const auto& picture = m.at("picture");
    EXPECT_DOUBLE_EQ(picture.at("lens_radius").get<double>(), mkcard::kLensRadius);
    EXPECT_DOUBLE_EQ(picture.at("image_circle").get<double>(), mkcard::kImageCircle);
    const auto& marks = picture.at("landmarks");
    ASSERT_EQ(marks.size(), mkcard::Landmarks().size());
    for (size_t i = 0; i < marks.size(); ++i) {
        const mkcard::Landmark& l = mkcard::Landmarks()[i];
        SCOPED_TRACE(l.name);
        EXPECT_EQ(marks[i].at("name"), l.name);
        EXPECT_DOUBLE_EQ(marks[i].at("azimuth").get<double>(), l.azimuthDeg);
        EXPECT_DOUBLE_EQ(marks[i].at("half_width").get<double>(), l.halfWidthDeg);
        EXPECT_DOUBLE_EQ(marks[i].at("bottom_elevation").get<double>(), l.bottomDeg);
        EXPECT_DOUBLE_EQ(marks[i].at("top_elevation").get<double>(), l.topDeg);
    }
}
