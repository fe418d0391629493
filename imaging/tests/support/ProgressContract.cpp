#include "support/ProgressContract.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "kivo/imaging/File.h"

namespace kivo::test {
namespace {

struct ProgressLog {
    std::vector<int> Percents;
    int AbortAt = 1000;
};

int RecordProgress(int percent, void* user) {
    auto* log = static_cast<ProgressLog*>(user);
    log->Percents.push_back(percent);
    return percent >= log->AbortAt ? 0 : 1;
}

void ExpectRisingToHundred(const ProgressLog& log, size_t minReports) {
    ASSERT_FALSE(log.Percents.empty());
    EXPECT_GE(log.Percents.size(), minReports);
    EXPECT_TRUE(std::is_sorted(log.Percents.begin(), log.Percents.end()));
    EXPECT_EQ(log.Percents.back(), 100);
}

// The report that returned 0 is the last one, and it came soon after the abort point.
void ExpectStoppedAtOnce(const ProgressLog& log) {
    ASSERT_FALSE(log.Percents.empty());
    EXPECT_GE(log.Percents.back(), 30);
    EXPECT_LE(log.Percents.back(), 40);
    EXPECT_EQ(std::count_if(log.Percents.begin(), log.Percents.end(),
                            [](int p) { return p >= 30; }),
              1);
}

void ExpectLoadContract(const EncodedFile& file, size_t minReports) {
    SCOPED_TRACE("load " + file.Name);
    ProgressLog log;
    L_SetStatusCallBack(RecordProgress, &log);
    BitmapHandle loaded;
    EXPECT_EQ(L_LoadBitmapMemory(file.Data.data(), file.Data.size(), &loaded), SUCCESS);
    ExpectRisingToHundred(log, minReports);

    ProgressLog stop;
    stop.AbortAt = 30;
    L_SetStatusCallBack(RecordProgress, &stop);
    BitmapHandle partial;
    EXPECT_EQ(L_LoadBitmapMemory(file.Data.data(), file.Data.size(), &partial), ERROR_USER_ABORT);
    EXPECT_FALSE(partial.Allocated());
    ExpectStoppedAtOnce(stop);
    L_SetStatusCallBack(nullptr);
}

}  // namespace

void ExpectProgressContract(const BitmapHandle& picture, int format, int bpp, size_t minReports,
                            const std::vector<EncodedFile>& moreFiles) {
    EncodedFile saved{"own file", {}};
    {
        SCOPED_TRACE("save");
        ProgressLog log;
        L_SetStatusCallBack(RecordProgress, &log);
        const int status = L_SaveBitmapMemory(&saved.Data, &picture, format, bpp);
        L_SetStatusCallBack(nullptr);
        ASSERT_EQ(status, SUCCESS);
        ExpectRisingToHundred(log, minReports);

        ProgressLog stop;
        stop.AbortAt = 30;
        L_SetStatusCallBack(RecordProgress, &stop);
        Bytes aborted;
        EXPECT_EQ(L_SaveBitmapMemory(&aborted, &picture, format, bpp), ERROR_USER_ABORT);
        L_SetStatusCallBack(nullptr);
        EXPECT_TRUE(aborted.empty());
        ExpectStoppedAtOnce(stop);
    }
    ExpectLoadContract(saved, minReports);
    for (const EncodedFile& file : moreFiles) ExpectLoadContract(file, minReports);
}

}  // namespace kivo::test
