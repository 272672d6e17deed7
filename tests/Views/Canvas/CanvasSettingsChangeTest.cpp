#include "Views/Canvas/CanvasViewTestSupport.h"
#include "Models/CalcSettings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The open editor reads its rows again when a setting that changes their
// values changes, in the settings window or anywhere else.
TEST(CanvasSettingsChangeTest, AnOpenCanvasFollowsNumberStyleAndTaxRates)
{
    EditorPreferences preferences;
    CalcSettings& settings = CalcSettings::shared();
    const DecimalStyle savedStyle = settings.decimalStyle();
    const QList<CalcSettings::TaxRate> savedRates = settings.taxRates();
    settings.setDecimalStyle(DecimalStyle::germanComma);

    CanvasPtr canvas = makeCanvas();
    BlockPtr thousand = addRow(canvas, "Rent", "1.200", 20);
    BlockPtr taxed = addRow(canvas, "Power", "100 + MwSt", 76);
    ShownEditor editor(canvas);
    ASSERT_EQ(thousand->result(), 1200.0);
    ASSERT_EQ(taxed->result(), 119.0);

    struct Step {
        const char* name;
        std::function<void()> change;
        double thousand;
        double taxed;
    };
    const Step steps[] = {
        {"US number style", [&] { settings.setDecimalStyle(DecimalStyle::usPeriod); }, 1.2, 119.0},
        {"tax rate changed",
         [&] {
             QList<CalcSettings::TaxRate> rates = settings.taxRates();
             rates[0].rate = 20;
             settings.setTaxRates(rates);
         },
         1.2, 120.0},
        {"German again", [&] { settings.setDecimalStyle(DecimalStyle::germanComma); }, 1200.0, 120.0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        EXPECT_TRUE(waitUntil([&] { return thousand->result() == step.thousand && taxed->result() == step.taxed; },
                              2000))
            << thousand->result().value_or(-1) << " " << taxed->result().value_or(-1);
    }
    settings.setTaxRates(savedRates);
    settings.setDecimalStyle(savedStyle);
}

} // namespace
