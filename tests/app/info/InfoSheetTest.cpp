// The information window: the rows of its three pages for a set, an image and a map
// overlay, "Unavailable" for what is missing, and the pages following the active image
// window of the fixture project.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>

#include <memory>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/info/CCsiInfoPage.h"
#include "app/info/CImgInfoPage.h"
#include "app/info/CInfoSheet.h"
#include "app/CMainFrame.h"
#include "app/info/CMapInfoPage.h"
#include "app/CModelessInfoFrame.h"
#include "app/CVexaraApp.h"
#include "app/CommandIds.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "support/GuiFixture.h"
#include "support/ScriptedReport.h"
#include "app/AppSessionTest.h"

using namespace vx::test;

namespace {

std::vector<std::string> Values(const CInfoPage& page)
{
    std::vector<std::string> values;
    for (int k = 0; k < page.FieldCount(); ++k)
        values.push_back(page.Value(k).toStdString());
    return values;
}

std::vector<std::string> Labels(const CInfoPage& page)
{
    std::vector<std::string> labels;
    for (int k = 0; k < page.FieldCount(); ++k)
        labels.push_back(page.Label(k).toStdString());
    return labels;
}

bool AllUnavailable(const CInfoPage& page)
{
    for (const std::string& value : Values(page))
        if (value != "Unavailable")
            return false;
    return page.FieldCount() > 0;
}

TEST(InfoPagesTest, CsiPageWritesTheSetsParametersWithTheirDecimals)
{
    struct TCase {
        int slice;
        int dim[3];
        float fov[3], offCentre[3], angulation[3];
        float tr, te;
        std::vector<std::string> rows;
    } cases[] = {
        {2, {16, 16, 1}, {160, 160, 15}, {1.234f, -5, 0}, {0, 12.5f, 0}, 1500, 144,
         {"brain", "Axial", "16 x 16 x 1", "160 x 160 x 15", "10 x 10 x 15 (1.5cc)", "1.23 x -5 x 0",
          "0 x 12.5 x 0", "exam 7", "1500", "144"}},
        {0, {8, 12, 10}, {200, 180.25f, 100}, {0.006f, 0, 2}, {0, 0, 0}, 20.125f, 0.5f,
         {"brain", "Saggital", "8 x 12 x 10", "200 x 180.3 x 100", "25 x 15 x 10 (3.76cc)", ".01 x 0 x 2",
          "0 x 0 x 0", "exam 7", "20.13", ".5"}},
        {4, {1, 1, 1}, {10, 10, 10}, {0, 0, 0}, {0, 0, 0}, 0, 0,
         {"brain", "", "1 x 1 x 1", "10 x 10 x 10", "10 x 10 x 10 (1cc)", "0 x 0 x 0", "0 x 0 x 0", "exam 7", "0",
          "0"}},
    };
    CCsiInfoPage page;
    EXPECT_EQ(Labels(page), std::vector<std::string>({"CSI Set Name:", "CSI slice orientation:", "Matrix size:",
                                                      "FOV(rl,ap,hf) [mm]:", "Voxel size(rl,ap,hf) [mm]:",
                                                      "Center(rl,ap,hf)[mm]:", "Angulation(rl,ap,hf):", "Exam Name:",
                                                      "TR (ms):", "TE (ms):"}));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.rows[1]);
        TCSISet set;
        set.m_strName = "brain";
        set.m_strExamName = "exam 7";
        set.m_nSliceAxis = c.slice;
        for (int d = 0; d < 3; ++d) {
            set.m_nDim[d] = c.dim[d];
            set.m_fFOV[d] = c.fov[d];
            set.m_fOffCentre[d] = c.offCentre[d];
            set.m_fAngulation[d] = c.angulation[d];
        }
        set.m_fTR = c.tr;
        set.m_fTE = c.te;
        page.Fill(&set);
        EXPECT_EQ(Values(page), c.rows);
    }
    page.Fill(nullptr);
    EXPECT_TRUE(AllUnavailable(page));
}

TEST(InfoPagesTest, ImagePageLeavesAnUnknownOrientationEmpty)
{
    TMRImage image(nullptr);
    image.SetWidth(128, false);
    image.SetHeight(96, false);
    image.SetParameter(230, TMRImage::ParamFOVX, false);
    image.SetParameter(172.5f, TMRImage::ParamFOVY, false);
    image.SetParameter(4, TMRImage::ParamThickness, false);
    image.SetParameter(2000, TMRImage::ParamTR, false);
    image.SetParameter(15.25f, TMRImage::ParamTE, false);
    const float position[3] = {1.5f, -20, 33.333f};
    for (int k = 0; k < 3; ++k) {
        image.SetParameter(position[k], TMRImage::ParamPositionX + k, false);
        image.SetParameter(float(k) * 10, TMRImage::ParamAngulationX + k, false);
    }
    image.SetInfoText("knee", TMRImage::InfoExamName, false);
    CImgInfoPage page;
    page.Fill(&image);
    const std::vector<std::string> unknown = {"", "230 x 172.5", "128 x 96", "1.5 x -20 x 33.33", "4",
                                              "knee", "2000", "15.25", "0 x 10 x 20"};
    EXPECT_EQ(Values(page), unknown);
    image.SetOrientation(1, false);
    page.Fill(&image);
    EXPECT_EQ(Values(page)[0], "Coronal");
    page.Fill(nullptr);
    EXPECT_TRUE(AllUnavailable(page));
}

class InfoWindowTest : public AppSessionTest {
protected:
    InfoWindowTest() : AppSessionTest(2) {}
    void SetUp() override
    {
        AppSessionTest::SetUp();
        frame = &Main();
        frame->UpdateCommandStates();
        frame->Action(cmd::ProjectInformation)->trigger();
        info = dynamic_cast<CModelessInfoFrame*>(frame->InfoFrame());
        ASSERT_NE(info, nullptr);
    }
    TMap* AddMap(const std::string& name) { return AddRisingMap(*session->Project()->m_pWorkSet, name); }

    CMainFrame* frame = nullptr;
    CModelessInfoFrame* info = nullptr;
};

TEST_F(InfoWindowTest, PagesFollowTheWorkSetAndTheActiveImageWindow)
{
    CInfoSheet* sheet = info->Sheet();
    EXPECT_EQ(sheet->tabText(0), "CSI Info");
    EXPECT_EQ(sheet->tabText(1), "Image Info");
    EXPECT_EQ(sheet->tabText(2), "Map Info");
    EXPECT_EQ(Values(*sheet->CsiPage()),
              std::vector<std::string>({TGuiFixture::kSetName, "Axial", "8 x 8 x 2", "240 x 240 x 20",
                                        "30 x 30 x 10 (9cc)", "0 x 0 x 0", "0 x 0 x 0", "n/a", "1500", "144"}));

    // The axial window shows the image of its slice.
    CChildFrame* second = nullptr;
    for (CChildFrame* child : session->ImageFrames())
        if (child->m_nAxis == 2)
            second = child;
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second->GetImage(), nullptr);
    TMRImage* image = second->GetImage();
    Activate(second);
    const std::vector<std::string> imageRows = Values(*sheet->ImagePage());
    ASSERT_EQ(imageRows.size(), 9u);
    EXPECT_EQ(imageRows[0], "Axial");
    EXPECT_EQ(imageRows[1], "240 x 240");
    EXPECT_EQ(imageRows[2], "64 x 64");
    EXPECT_EQ(imageRows[3], "0 x 0 x " + FloatToString(image->GetParameter(TMRImage::ParamPositionX + 2), 2));
    EXPECT_EQ(imageRows[4], "10");
    EXPECT_TRUE(AllUnavailable(*sheet->MapPage()));

    // A slice window without an image.
    CChildFrame* sagittal = session->FrameTitled("(Sagittal) No image @ 100%");
    ASSERT_NE(sagittal, nullptr);
    Activate(sagittal);
    EXPECT_TRUE(AllUnavailable(*sheet->ImagePage()));

    // One map over the image: its rows, the slice position in patient coordinates, which
    // is the image's own; a second map leaves the page "Unavailable".
    CVexaraApp app;  // holds the multiple-map setting
    app.SetSetting(2, 1);
    TMap* naa = AddMap("NAA_map");
    ASSERT_TRUE(second->AddMapOverlay(naa, 2, second->GetSlice()->GetSlicePosition()));
    Activate(sagittal);
    Activate(second);
    EXPECT_EQ(Values(*sheet->MapPage()),
              std::vector<std::string>({"NAA_map", "Axial", "240 x 240", "8 x 8",
                                        FloatToString(image->GetParameter(TMRImage::ParamPositionX + 2), 2)}));
    ASSERT_TRUE(second->AddMapOverlay(AddMap("Cho_map"), 2, second->GetSlice()->GetSlicePosition()));
    Activate(sagittal);
    Activate(second);
    EXPECT_TRUE(AllUnavailable(*sheet->MapPage()));
    EXPECT_EQ(report.Count(), 0u);
}

}  // namespace
