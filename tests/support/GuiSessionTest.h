#pragma once
// Tests on the fixture project opened as the program opens one (TGuiSession), with the
// report service scripted and the program's globals reset around each test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/GuiFixture.h"
#include "support/ScriptedReport.h"

namespace vx::test {

class GuiSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vx::ResetGlobals();
        ASSERT_TRUE(fixture.Ok());
        session = std::make_unique<TGuiSession>(fixture);
        ASSERT_TRUE(session->Ok());
        set = session->Project()->m_pWorkSet;
        ASSERT_NE(set, nullptr);
    }
    void TearDown() override
    {
        session.reset();
        vx::ResetGlobals();
    }
    // A map of nx x ny x 1 values (value k at index k), added to the work set.
    TMap* AddMap(const std::string& name, int nx, int ny, int32_t state)
    {
        auto* map = new TMap(set);
        const int dim[3] = {nx, ny, 1};
        std::vector<TComplex> values;
        for (int k = 0; k < nx * ny; ++k)
            values.emplace_back(static_cast<float>(k), 0.0f);
        EXPECT_TRUE(map->SetGrid(dim, values));
        map->name = name;
        std::copy(set->m_fFOV, set->m_fFOV + 3, map->fov);
        map->SetState(state);
        set->AddMap(map);
        return map;
    }

    TScriptedReport report;
    TGuiFixture fixture;
    std::unique_ptr<TGuiSession> session;
    TCSISet* set = nullptr;
};

}  // namespace vx::test
