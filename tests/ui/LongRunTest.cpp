// A long session: the chart keeps a bounded history, so memory stays flat.
#include "Application.h"
#include "Main.h"

#include "../support/Frames.h"
#include "../support/Proc.h"

#include <QTest>
#include <qcustomplot.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace vemor {
namespace {

TEST(LongRun, MillionFramesKeepMemoryFlatAndTheNewestPoints) {
    Form1 = new TForm1;
    const testing::Bytes block = testing::LineOf(1000, 0, [](int n) {
        return testing::Payload().Set(byte_pos::Map, n).Set(byte_pos::Rpm, n | 1);
    });
    long afterFirst = 0;
    for (int round = 1; round <= 1000; ++round) {
        Form1->FeedBytes(block.data(), block.size());
        if (round % 50 == 0) {
            QCoreApplication::processEvents(); // let folded repaints happen now and then
        }
        if (round == 100) {
            afterFirst = testing::ResidentKiB();
        }
    }
    const long atEnd = testing::ResidentKiB();
    std::printf("resident memory: %ld KiB after 100,000 frames, %ld KiB after 1,000,000\n",
                afterFirst, atEnd);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers keep freed memory in quarantine, so resident memory says nothing here.
#else
    EXPECT_LT(atEnd - afterFirst, 30 * 1024) << afterFirst << " KiB -> " << atEnd << " KiB";
#endif
    for (int s = 0; s < 6; ++s) {
        const SeriesHistory& h = Form1->Display().History(s);
        EXPECT_EQ(h.Count(), 1000000);
        EXPECT_EQ(h.FirstX(), 1000000 - FormDisplay::HistoryPoints);
        const QCPGraph* g = Form1->Chart1->graph(s);
        EXPECT_GE(g->dataCount(), 151);
        EXPECT_EQ((g->data()->constEnd() - 1)->key, 999999);
    }
    EXPECT_EQ(Form1->Chart1->xAxis->range(), QCPRange(999849, 999999));
    EXPECT_EQ(Form1->Display().LastX(0), 999999);
    delete Form1;
    Form1 = nullptr;
}

} // namespace
} // namespace vemor
