#include <gtest/gtest.h>

#include <functional>
#include <QImage>
#include <QVariantAnimation>

#include <QAccessible>
#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QVBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include "UiFixtures.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/widgets/FormSection.h"
#include "app/ui/widgets/GroupedSurface.h"
#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {
namespace {

TEST(TierStyle, OfFindsExactIdentifiersAndFallsBackToGated) {
    const std::pair<const char*, const char*> cases[] = {
        {"injectable", "AI-Usable"}, {"human_gated", "Gated"}, {"ai_hidden", "Hidden"}, {"", "Gated"},
        {"INJECTABLE", "Gated"},     {"human-gated", "Gated"}, {"ai_hidden ", "Gated"},
    };
    for (const auto& [id, title] : cases) EXPECT_EQ(TierStyle::of(std::string_view(id)).title, title) << id;
    ASSERT_EQ(TierStyle::all().size(), 3u);
    EXPECT_EQ(TierStyle::all()[0].id, "injectable");
    EXPECT_EQ(TierStyle::all()[1].id, "human_gated");
    EXPECT_EQ(TierStyle::all()[2].id, "ai_hidden");
    EXPECT_EQ(TierStyle::humanGated().blurb,
              "Visible to agents as metadata only. Revealing the value requires your approval.");
}

TEST(TierStyle, HiddenTintFollowsThePalette) {
    const auto& tint = TierStyle::aiHidden().tint;
    const auto rgb = [](const QColor& c) { return std::array{c.redF(), c.greenF(), c.blueF()}; };
    const auto near = [](std::array<float, 3> got, std::array<float, 3> want) {
        for (int i = 0; i < 3; ++i)
            if (std::abs(got[i] - want[i]) > 0.002f) return false;
        return true;
    };
    EXPECT_TRUE(near(rgb(tint.resolve(testing::darkPalette())), {0.62f, 0.66f, 0.74f}));
    EXPECT_TRUE(near(rgb(tint.resolve(testing::lightPalette())), {0.36f, 0.40f, 0.48f}));
    EXPECT_TRUE(VaelTheme::isDark(testing::darkPalette()));
    EXPECT_FALSE(VaelTheme::isDark(testing::lightPalette()));
}

TEST(FieldGlyph, KeywordsInOrderOnTheLowerCasedLabel) {
    const std::pair<const char*, const char*> cases[] = {
        {"Username", "person.fill"},
        {"Login", "person.fill"},
        {"Email", "person.fill"},
        {"E-mail address", "lock.fill"},
        {"API key", "key.horizontal.fill"},
        {"Capital", "key.horizontal.fill"},
        {"user_key", "person.fill"},
        {"Recovery code", "number"},
        {"passcode", "number"},
        {"OTP", "number"},
        {"PIN", "lock.fill"},
        {"Card PIN", "creditcard.fill"},
        {"Company", "creditcard.fill"},
        {"Keynote", "key.horizontal.fill"},
        {"Notes", "note.text"},
        {"Password", "lock.fill"},
        {"Secret", "lock.fill"},
        {"", "lock.fill"},
        {"USERNAME", "person.fill"},
    };
    for (const auto& [label, symbol] : cases) EXPECT_EQ(FieldGlyph::symbol(label), symbol) << label;
}

TEST(TextStyles, AreRelativeToTheApplicationFont) {
    QFont base;
    base.setPointSizeF(10);
    EXPECT_EQ(VaelFont::style(TextStyle::body, base).pointSizeF(), 10);
    EXPECT_EQ(VaelFont::style(TextStyle::callout, base).pointSizeF(), 9);
    EXPECT_EQ(VaelFont::style(TextStyle::caption, base).pointSizeF(), 8);
    EXPECT_EQ(VaelFont::style(TextStyle::title, base).pointSizeF(), 19);
    EXPECT_EQ(VaelFont::style(TextStyle::headline, base).weight(), QFont::Bold);
    base.setPointSizeF(9);
    EXPECT_EQ(VaelFont::style(TextStyle::caption2, base).pointSizeF(), 8);  // never below 8
}

TEST(BrandMark, MetricsCarryTheProportions) {
    const auto small = brandMarkMetrics(40);
    EXPECT_DOUBLE_EQ(small.cornerRadius, 11.2);
    EXPECT_DOUBLE_EQ(small.gemSide, 21.6);
    EXPECT_DOUBLE_EQ(small.shadowRadius, 6.4);
    EXPECT_DOUBLE_EQ(small.shadowOffset, 3.2);
    EXPECT_DOUBLE_EQ(small.facetLineWidth, 1.0);  // 0.72 is raised to the minimum
    const auto large = brandMarkMetrics(100);
    EXPECT_DOUBLE_EQ(large.facetLineWidth, 1.8);
    EXPECT_DOUBLE_EQ(large.wordmarkPointSize, 46);
}

TEST(BrandMark, GemShapesInARectangle) {
    const QRectF rect(10, 20, 100, 50);
    const QPainterPath gem = vaelGemPath(rect);
    ASSERT_EQ(gem.elementCount(), 6);  // five corners and the close back to the start
    const auto at = [&](int i) { return QPointF(gem.elementAt(i).x, gem.elementAt(i).y); };
    EXPECT_EQ(at(0), QPointF(40, 30));
    EXPECT_EQ(at(1), QPointF(80, 30));
    EXPECT_EQ(at(3), QPointF(60, 67.5));
    EXPECT_EQ(at(5), at(0));

    const QPainterPath facets = vaelGemFacetsPath(rect);
    ASSERT_EQ(facets.elementCount(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(facets.elementAt(i).type, i % 2 ? QPainterPath::LineToElement : QPainterPath::MoveToElement);
    EXPECT_EQ(QPointF(facets.elementAt(0).x, facets.elementAt(0).y), QPointF(15, 41));
    EXPECT_EQ(QPointF(facets.elementAt(1).x, facets.elementAt(1).y), QPointF(105, 41));
}

TEST(TierChipPicker, CheckedChipFollowsTheIdentifierAndAClickSetsIt) {
    TierChipPicker picker("something else");
    QSignalSpy changes(&picker, &TierChipPicker::tierIDChanged);
    for (auto* chip : picker.chips()) EXPECT_FALSE(chip->isChecked()) << chip->objectName().toStdString();
    EXPECT_EQ(picker.chips()[1]->accessibleName(), "Gated tier");

    QTest::mouseClick(picker.chips()[2], Qt::LeftButton);
    EXPECT_EQ(picker.tierID(), "ai_hidden");
    ASSERT_EQ(changes.count(), 1);
    EXPECT_TRUE(picker.chips()[2]->isChecked());
    EXPECT_FALSE(picker.chips()[0]->isChecked());

    // The chip already selected sets the same identifier: no signal, and it stays checked.
    QTest::mouseClick(picker.chips()[2], Qt::LeftButton);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(picker.chips()[2]->isChecked());

    picker.setTierID("injectable");
    EXPECT_TRUE(picker.chips()[0]->isChecked());
    EXPECT_EQ(changes.count(), 2);
}

// Outlines of unselected chips and cards: half a point, one device pixel at 2x, never less than one.
TEST(Hairline, HalfAPointAndNeverUnderOneDevicePixel) {
    for (const auto& [ratio, width] : {std::pair{1.0, 1.0}, std::pair{2.0, 0.5}, std::pair{3.0, 0.5}}) {
        QImage device(4, 4, QImage::Format_ARGB32);
        device.setDevicePixelRatio(ratio);
        EXPECT_DOUBLE_EQ(hairline(Qt::black, device).widthF(), width) << ratio;
    }
    const QPen thin(Qt::black, 0.5);
    EXPECT_EQ(hairlineBox(QRect(0, 0, 10, 10), thin), QRectF(0.25, 0.25, 9.5, 9.5));
}

// Under reduced motion (as every screen test runs) a motion lands at its end at once, with no
// animation left running.
TEST(Motion, ReducedMotionLandsAtOnce) {
    ASSERT_TRUE(MotionPreference::reduced());
    QObject owner;
    QVariantAnimation* slot = nullptr;
    std::vector<double> steps;
    MotionPreference::animate(&owner, slot, 0.2, 1.0, 350, MotionPreference::spring(), [&](double v) { steps.push_back(v); });
    EXPECT_EQ(steps, std::vector<double>{1.0});
    EXPECT_EQ(slot, nullptr);
}

TEST(TierBadge, ReadsTheTierInBothModes) {
    TierBadge full(TierStyle::injectable());
    TierBadge compact(TierStyle::injectable(), true);
    EXPECT_EQ(full.accessibleName(), "AI access: AI-Usable");
    EXPECT_EQ(compact.accessibleName(), "AI access: AI-Usable");
    EXPECT_LT(compact.sizeHint().width(), full.sizeHint().width());
}

// Every symbol the code draws must come out as a visible picture, themed or painted.
TEST(SymbolCatalog, EveryNameDrawsSomething) {
    for (const auto& name : SymbolCatalog::names()) {
        const QImage image = SymbolCatalog::pixmap(name, Qt::black, 24).toImage();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) inked += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(inked, 12) << name;
        if (!SymbolCatalog::isPainted(name)) {
            EXPECT_FALSE(QIcon::fromTheme(SymbolCatalog::iconName(name)).isNull()) << name;
        }
    }
    for (const auto& tier : TierStyle::all()) EXPECT_TRUE(SymbolCatalog::knows(tier.icon)) << tier.icon;
    for (const char* label : {"user", "token", "otp", "card", "note", "x"})
        EXPECT_TRUE(SymbolCatalog::knows(FieldGlyph::symbol(label))) << label;
}

// On a dark card or form section a text field's border and a check box's box stay visible in the
// Fusion style (what Qt draws under a GTK dark theme).
TEST(GroupedSurface, ControlsOnADarkCardKeepTheirOutline) {
    std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    ASSERT_NE(fusion, nullptr);
    const std::pair<const char*, std::function<std::pair<QWidget*, QLayout*>()>> cards[] = {
        {"card", [] { auto* card = new GroupedSurface(12); return std::pair<QWidget*, QLayout*>(card, card->content()); }},
        {"form section", [] { auto* section = new FormSection("Section"); return std::pair<QWidget*, QLayout*>(section, section->form()); }},
    };
    for (const auto& [name, make] : cards) {
        QWidget window;
        QPalette dark = testing::darkPalette();
        dark.setColor(QPalette::Window, QColor(53, 53, 53));
        dark.setColor(QPalette::Base, QColor(45, 45, 45));
        window.setPalette(dark);
        auto [card, content] = make();
        auto* field = new QLineEdit;
        auto* box = new QCheckBox("Exact host only");
        for (QWidget* control : {static_cast<QWidget*>(field), static_cast<QWidget*>(box)}) {
            control->setStyle(fusion.get());
            content->addWidget(control);
        }
        (new QVBoxLayout(&window))->addWidget(card);
        window.resize(300, 140);
        window.show();
        QApplication::processEvents();
        const auto seen = [](QWidget* w, QPoint at) { return w->grab().toImage().pixelColor(at * w->devicePixelRatioF()); };
        const auto apart = [](const QColor& a, const QColor& b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
        };
        const QColor base = dark.color(QPalette::Base);
        EXPECT_GE(apart(seen(field, {0, field->height() / 2}), base), 60) << name;
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator = fusion->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        EXPECT_GE(apart(seen(box, {indicator.left(), indicator.center().y()}), base), 60) << name;
    }
}

}  // namespace
}  // namespace vael
