// The main window's command 4: it opens the asset-versus-index chart itself, once.
#include <gtest/gtest.h>

#include "charts/forms/invest_compare_form.h"
#include "fixtures/db_fixture.h"
#include "mainwindow/forms/mf.h"
#include "storage/params.h"

namespace {

class MFInvestTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ResetFormParamSets();
    }
    void TearDown() override
    {
        delete LoadedInvestCompare();
        delete LoadedMF();
        DbFixture::TearDown();
    }
};

TEST_F(MFInvestTest, CommandFourShowsTheOneChartWindow)
{
    MF()->Com_Click(4);
    InvestCompareForm *chart = LoadedInvestCompare();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    EXPECT_EQ(chart->windowTitle(), "炒股资产变化比较图");
    MF()->Com_Click(4);
    EXPECT_EQ(LoadedInvestCompare(), chart);
}

}  // namespace
