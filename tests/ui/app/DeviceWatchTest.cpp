#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "app/DeviceWatch.h"
#include "support/TestSupport.h"

namespace {

TEST(DeviceWatch, ReportsDevicesThatComeAndGoEvenBeforeTheFolderExists) {
    testing_support::TempDir dir;
    const std::string folder = dir / "serial/by-id";  // not there yet
    int changes = 0;
    DeviceWatch watch(QString::fromStdString(folder), [&] { ++changes; });
    EXPECT_TRUE(watch.Watched().contains(QString::fromStdString(dir.Path())));

    std::filesystem::create_directories(folder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return watch.Watched().contains(QString::fromStdString(folder)); }, 20000));

    changes = 0;
    std::filesystem::create_symlink("/dev/null", folder + "/usb-Dongle-if00");
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, 20000));
    changes = 0;
    std::filesystem::remove(folder + "/usb-Dongle-if00");
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, 20000));
}

}  // namespace
