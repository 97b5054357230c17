// The reasons gathered while an operation runs: its plain messages held back, what is
// written to the standard error stream caught, questions answered as usual.
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/TReasonCollector.h"
#include "support/ScriptedReport.h"

using namespace vx;
using namespace vx::test;

TEST(TReasonCollector, HoldsMessagesCatchesErrorLinesAndLetsQuestionsThrough)
{
    TScriptedReport report;
    report.PlanAnswer(ReportAnswer::No);
    {
        TReasonCollector collector;
        Report("The header is short.\r\n");
        EXPECT_EQ(Ask("Continue?", ReportButtons::YesNo, ReportAnswer::Yes), ReportAnswer::No);
        std::cerr << "Header size 800 does not fit file.dcm (512 bytes)\n";
        std::fprintf(stderr, "\nsecond\nthird\nfourth\nfifth, left out\n");
        collector.Finish();
        EXPECT_EQ(collector.Reasons(),
                  "The header is short.\nHeader size 800 does not fit file.dcm (512 bytes)\nsecond\nthird\nfourth");
        // What was said after the No is why the operation failed: it was not declined.
        EXPECT_FALSE(collector.EndedOnADecline());
        // Held, not shown; shown later as they were.
        EXPECT_EQ(report.Messages(), std::vector<std::string>{});
        collector.ShowHeld();
    }
    EXPECT_EQ(report.Questions(), std::vector<std::string>{"Continue?"});
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"The header is short.\r\n"});
    // Finished, the report service and the stream are the program's again.
    Report("after");
    EXPECT_EQ(report.Messages().back(), "after");
}
